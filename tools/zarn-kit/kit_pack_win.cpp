// zarn-kit pack: a single-file installer from a kit and the plain program, with
// Windows' own resource writer (BeginUpdateResourceW..EndUpdateResourceW, on every
// Windows since NT 4), so that a vendor needs nothing but our two programs.
#include <windows.h>

#include <cstdio>

#include "ui/skin_files.h"
#include "config/kit_resources.h"
#include "kit_check.h"
#include "kit_exe.h"
#include "platform/text.h"

namespace kit {

namespace {

int Usage() {
  std::fprintf(stderr, "usage: zarn-kit pack KIT_DIR --out FILE.exe [--from ZarnWebInstaller.exe]\n");
  return 3;
}

void Print(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

std::u16string ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::u16string full = platform::FromW(path, n < MAX_PATH ? n : 0);
  const size_t slash = full.find_last_of(u"\\/");
  return slash == std::u16string::npos ? u"." : full.substr(0, slash);
}

// A signature covers the program as it was: once resources change it is void, and
// a void signature is worse than none. It is taken off before the copy is changed.
void RemoveSignature(std::string* file) {
  const size_t pe = file->size() >= 0x40 ? (static_cast<unsigned char>((*file)[0x3C]) |
                                            static_cast<unsigned char>((*file)[0x3D]) << 8 |
                                            static_cast<unsigned char>((*file)[0x3E]) << 16)
                                         : 0;
  if (pe == 0 || pe + 26 > file->size()) return;
  const size_t optional = pe + 24;
  const unsigned magic = static_cast<unsigned char>((*file)[optional]) | static_cast<unsigned char>((*file)[optional + 1]) << 8;
  const size_t entry = optional + (magic == 0x20B ? 112 : 96) + 4 * 8;
  if (entry + 8 > file->size()) return;
  auto u32 = [&](size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>((*file)[at + i]);
    return v;
  };
  const uint32_t offset = u32(entry), size = u32(entry + 4);
  if (size == 0) return;
  if (offset > 0 && offset <= file->size() && size <= file->size() - offset && offset + size == file->size())
    file->resize(offset);
  for (int i = 0; i < 8; ++i) (*file)[entry + i] = 0;
}

bool WriteFileBytes(const std::u16string& path, const std::string& bytes) {
  HANDLE h = ::CreateFileW(platform::W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  return ::CloseHandle(h) && ok;
}

}  // namespace

int Pack(const std::vector<std::u16string>& args) {
  std::u16string folder, out, from;
  for (size_t i = 1; i < args.size(); ++i) {
    if ((args[i] == u"--out" || args[i] == u"--from") && i + 1 < args.size()) {
      (args[i] == u"--out" ? out : from) = args[i + 1];
      ++i;
    } else if (!args[i].empty() && args[i][0] != u'-' && folder.empty()) {
      folder = args[i];
    } else {
      return Usage();
    }
  }
  if (folder.empty() || out.empty()) return Usage();
  while (folder.size() > 1 && (folder.back() == u'/' || folder.back() == u'\\')) folder.pop_back();
  if (from.empty()) from = ProgramFolder() + u"\\ZarnWebInstaller.exe";

  // The kit first: a kit with errors is never packed.
  Report kitReport;
  CheckConfiguration(folder + u"/ZarnWebInstaller.xml", "ZarnWebInstaller.xml", kitReport);
  CheckStrings(folder + u"/ZarnWebInstallerString.ini", "ZarnWebInstallerString.ini", kitReport);
  const std::u16string skin = SkinFolderOf(folder);
  CheckSkin(skin, kitReport);
  if (kitReport.ExitStatus() == 2) {
    Print(RenderText(kitReport));
    std::fprintf(stderr, "zarn-kit pack: the kit has errors; nothing was written\n");
    return 2;
  }

  std::string program;
  std::vector<PeResource> resources;
  if (!ReadWholeFile(from, &program) || !ReadPeResources(program, &resources)) {
    std::fprintf(stderr, "zarn-kit pack: %s is no installer program to pack into\n", platform::WideToUtf8(from).c_str());
    return 2;
  }
  RemoveSignature(&program);
  if (!WriteFileBytes(out, program)) {
    std::fprintf(stderr, "zarn-kit pack: cannot write %s\n", platform::WideToUtf8(out).c_str());
    return 2;
  }

  // Each kit resource is written, or removed when the kit lacks that file (a copy
  // of a single-file installer must not keep the old kit's image).
  struct Item {
    int id;
    std::u16string path;
  };
  std::vector<Item> items = {{IDR_KIT_CONFIG, folder + u"/ZarnWebInstaller.xml"},
                             {IDR_KIT_STRINGS, folder + u"/ZarnWebInstallerString.ini"}};
  for (int i = 0; i < KIT_SKIN_COUNT; ++i)
    items.push_back({IDR_KIT_SKIN_FIRST + i, skin + u"/" + ui::kSkinFileNames[i]});
  HANDLE update = ::BeginUpdateResourceW(platform::W(out), FALSE);
  bool ok = update != nullptr;
  for (const Item& item : items) {
    if (!ok) break;
    std::string bytes;
    if (ReadWholeFile(item.path, &bytes)) {
      ok = ::UpdateResourceW(update, MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(item.id), KIT_RESOURCE_LANGUAGE,
                             bytes.empty() ? nullptr : &bytes[0], static_cast<DWORD>(bytes.size())) != 0;
      continue;
    }
    for (const PeResource& r : resources)
      if (r.type == 10 && r.id == static_cast<uint32_t>(item.id))
        ok = ::UpdateResourceW(update, MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(item.id),
                               static_cast<WORD>(r.language), nullptr, 0) != 0 && ok;
  }
  if (update && !::EndUpdateResourceW(update, ok ? FALSE : TRUE)) ok = false;
  if (!ok) {
    ::DeleteFileW(platform::W(out));
    std::fprintf(stderr, "zarn-kit pack: Windows could not write the resources into %s (error %lu)\n",
                 platform::WideToUtf8(out).c_str(), static_cast<unsigned long>(::GetLastError()));
    return 2;
  }

  // What the new program carries, read back from it as the checker reads any.
  Report report;
  const size_t slash = out.find_last_of(u"\\/");
  CheckInstallerProgram(out, platform::WideToUtf8(slash == std::u16string::npos ? out : out.substr(slash + 1)), report);
  Print(RenderText(report));
  std::printf("zarn-kit pack: wrote %s (not signed: sign it with your certificate before you ship it)\n",
              platform::WideToUtf8(out).c_str());
  return report.ExitStatus();
}

}  // namespace kit
