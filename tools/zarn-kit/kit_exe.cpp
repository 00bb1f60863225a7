// Reading a single-file installer: our own small reader of the PE resource
// directory, so that the checker answers alike on Linux (where no system service
// reads a Windows program) and on Windows. The file is untrusted: every offset is
// checked against the bytes before it is followed.
#include "kit_exe.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "ui/skin_files.h"
#include "config/kit_resources.h"
#include "kit_check.h"
#include "kit_links.h"
#include "platform/text.h"

namespace kit {

namespace {

constexpr uint32_t kRcData = 10;
constexpr uint32_t kVersionType = 16;

uint32_t U16At(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at]) | (static_cast<unsigned char>(b[at + 1]) << 8));
}
uint32_t U32At(const std::string& b, size_t at) { return U16At(b, at) | (U16At(b, at + 2) << 16); }

class PeReader {
 public:
  explicit PeReader(const std::string& file) : f_(file) {}

  bool Read(std::vector<PeResource>* out) {
    if (!Has(0, 0x40) || f_[0] != 'M' || f_[1] != 'Z') return false;
    const size_t pe = U32At(f_, 0x3C);
    if (!Has(pe, 24) || f_.compare(pe, 4, std::string("PE\0\0", 4)) != 0) return false;
    const size_t sections = U16At(f_, pe + 6), optionalSize = U16At(f_, pe + 20);
    const size_t optional = pe + 24;
    if (!Has(optional, 2)) return false;
    const uint32_t magic = U16At(f_, optional);
    if (magic != 0x10B && magic != 0x20B) return false;
    const size_t countAt = optional + (magic == 0x10B ? 92 : 108);
    if (!Has(countAt, 4) || optionalSize < (countAt - optional) + 4) return false;
    const uint32_t directories = U32At(f_, countAt);
    sectionTable_ = optional + optionalSize;
    sectionCount_ = sections;
    if (!Has(sectionTable_, sectionCount_ * 40)) return false;
    if (directories < 3 || optionalSize < (countAt - optional) + 4 + 3 * 8) return true;
    const uint32_t rva = U32At(f_, countAt + 4 + 2 * 8), size = U32At(f_, countAt + 4 + 2 * 8 + 4);
    if (rva == 0 || size == 0) return true;
    if (!Offset(rva, 16, &root_)) return false;
    return Walk(root_, 0, {}, out);
  }

 private:
  bool Has(size_t at, size_t n) const { return at <= f_.size() && n <= f_.size() - at; }

  // The file offset of n bytes at rva, inside one section's raw data.
  bool Offset(uint64_t rva, size_t n, size_t* at) const {
    for (size_t i = 0; i < sectionCount_; ++i) {
      const size_t s = sectionTable_ + i * 40;
      const uint64_t va = U32At(f_, s + 12), raw = U32At(f_, s + 16), pointer = U32At(f_, s + 20);
      if (rva < va || rva - va >= raw || n > raw - (rva - va)) continue;
      *at = static_cast<size_t>(pointer + (rva - va));
      return Has(*at, n);
    }
    return false;
  }

  bool Walk(size_t directory, int depth, std::vector<uint32_t> path, std::vector<PeResource>* out) {
    if (!Has(directory, 16)) return false;
    const size_t named = U16At(f_, directory + 12), numbered = U16At(f_, directory + 14);
    if (!Has(directory + 16, (named + numbered) * 8)) return false;
    for (size_t i = named; i < named + numbered; ++i) {
      const size_t entry = directory + 16 + i * 8;
      const uint32_t id = U32At(f_, entry), target = U32At(f_, entry + 4);
      const bool sub = (target & 0x80000000u) != 0;
      const size_t next = root_ + (target & 0x7FFFFFFFu);
      std::vector<uint32_t> here = path;
      here.push_back(id);
      if (depth < 2) {
        // Only type, then id, then language: anything deeper is malformed.
        if (!sub || !Walk(next, depth + 1, here, out)) return false;
        continue;
      }
      if (sub || !Has(next, 16)) return false;
      const uint32_t dataRva = U32At(f_, next), dataSize = U32At(f_, next + 4);
      size_t at = 0;
      if (!Offset(dataRva, dataSize, &at)) return false;
      out->push_back({here[0], here[1], here[2], f_.substr(at, dataSize)});
    }
    return true;
  }

  const std::string& f_;
  size_t sectionTable_ = 0;
  size_t sectionCount_ = 0;
  size_t root_ = 0;
};

// One node of a version resource: length, value length, type, key, then the value
// and the children, each on a 4-byte boundary.
struct VersionNode {
  size_t end = 0;
  size_t value = 0;
  size_t valueLength = 0;  // in bytes
  size_t children = 0;
  std::u16string key;
};

bool ReadNode(const std::string& b, size_t at, size_t limit, VersionNode* node) {
  if (at + 6 > limit) return false;
  const size_t length = U16At(b, at), valueLength = U16At(b, at + 2), type = U16At(b, at + 4);
  if (length < 6 || at + length > limit) return false;
  node->end = at + length;
  size_t p = at + 6;
  node->key.clear();
  while (p + 2 <= node->end && U16At(b, p) != 0) {
    node->key.push_back(static_cast<char16_t>(U16At(b, p)));
    p += 2;
  }
  p = (p + 2 + 3) & ~size_t{3};
  node->value = p;
  node->valueLength = type == 1 ? valueLength * 2 : valueLength;
  node->children = (p + node->valueLength + 3) & ~size_t{3};
  return node->value <= node->end;
}

std::string BaseName(const std::u16string& path) {
  const size_t slash = path.find_last_of(u"/\\");
  return platform::WideToUtf8(slash == std::u16string::npos ? path : path.substr(slash + 1));
}

bool WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(f);
}

}  // namespace

bool ReadPeResources(const std::string& file, std::vector<PeResource>* out) {
  out->clear();
  return PeReader(file).Read(out);
}

std::vector<std::pair<std::string, std::string>> ReadVersionStrings(const std::string& b) {
  std::vector<std::pair<std::string, std::string>> strings;
  VersionNode root;
  if (!ReadNode(b, 0, b.size(), &root) || root.key != u"VS_VERSION_INFO") return strings;
  for (size_t at = root.children; at < root.end;) {
    VersionNode block;
    if (!ReadNode(b, at, root.end, &block)) break;
    if (block.key == u"StringFileInfo") {
      VersionNode table;
      if (!ReadNode(b, block.children, block.end, &table)) break;
      for (size_t s = table.children; s < table.end;) {
        VersionNode value;
        if (!ReadNode(b, s, table.end, &value)) break;
        std::u16string text;
        for (size_t p = value.value; p + 2 <= value.value + value.valueLength && p + 2 <= value.end; p += 2) {
          const char16_t c = static_cast<char16_t>(U16At(b, p));
          if (c == 0) break;
          text.push_back(c);
        }
        strings.emplace_back(platform::WideToUtf8(value.key), platform::WideToUtf8(text));
        s = (value.end + 3) & ~size_t{3};
      }
      break;
    }
    at = (block.end + 3) & ~size_t{3};
  }
  return strings;
}

bool ReadWholeFile(const std::u16string& path, std::string* bytes) {
  std::FILE* f = OpenForReading(path);
  if (!f) return false;
  bytes->clear();
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes->append(buf, n);
  const bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool LooksLikeProgram(const std::u16string& path) {
  std::FILE* f = OpenForReading(path);
  if (!f) return false;
  char head[2] = {};
  const bool mz = std::fread(head, 1, 2, f) == 2 && head[0] == 'M' && head[1] == 'Z';
  std::fclose(f);
  return mz;
}

void CheckInstallerProgram(const std::u16string& path, const std::string& display, Report& report) {
  std::string file;
  std::vector<PeResource> resources;
  if (!ReadWholeFile(path, &file)) {
    report.Add(Grade::kError, "file-unreadable", display, 0, 0, "cannot be read");
    return;
  }
  if (!ReadPeResources(file, &resources)) {
    report.Add(Grade::kError, "program-malformed", display, 0, 0,
               "not a Windows program whose resources can be read: Windows would not start it either");
    return;
  }
  report.program = display;
  const PeResource* config = nullptr;
  const PeResource* strings = nullptr;
  const PeResource* skin[KIT_SKIN_COUNT] = {};
  for (const PeResource& r : resources) {
    if (r.type == kVersionType && report.programVersion.empty()) report.programVersion = ReadVersionStrings(r.bytes);
    if (r.type != kRcData) continue;
    if (r.id == IDR_KIT_CONFIG) config = &r;
    if (r.id == IDR_KIT_STRINGS) strings = &r;
    if (r.id >= IDR_KIT_SKIN_FIRST && r.id < IDR_KIT_SKIN_FIRST + KIT_SKIN_COUNT) skin[r.id - IDR_KIT_SKIN_FIRST] = &r;
  }
  if (!config) {
    report.Add(Grade::kError, "program-no-kit", display, 0, 0,
               "carries no configuration: it is the plain installer, which reads the files beside it; check that "
               "folder instead");
    return;
  }
  // The configuration is read from the carried bytes, as the installer reads it.
  CheckConfiguration(std::string_view(config->bytes), display + ":ZarnWebInstaller.xml", report);
  // The string file's and the images' checks read files; the carried ones are
  // written to a folder of our own for them and removed after. The installer itself
  // never writes them anywhere.
  std::error_code error;
  std::random_device random;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path(error) / ("zarn-kit-" + std::to_string(random()) + std::to_string(random()));
  if (error || !std::filesystem::create_directory(folder, error) || error) {
    report.Add(Grade::kError, "temp-folder", display, 0, 0, "no temporary folder to unpack the kit into");
    return;
  }
  bool written = !strings || WriteBytes(folder / "ZarnWebInstallerString.ini", strings->bytes);
  for (int i = 0; i < KIT_SKIN_COUNT; ++i)
    if (skin[i])
      written = WriteBytes(folder / platform::WideToUtf8(ui::kSkinFileNames[i]), skin[i]->bytes) && written;
  if (!written) {
    report.Add(Grade::kError, "temp-folder", display, 0, 0, "the kit could not be unpacked into a temporary folder");
  } else {
#ifdef _WIN32
    const std::u16string base = platform::FromW(folder.wstring().c_str());
#else
    const std::u16string base = platform::Utf8ToWide(folder.string());
#endif
    const std::u16string ini = base + u"/ZarnWebInstallerString.ini";
    CheckStrings(ini, display + ":ZarnWebInstallerString.ini", report);
    CheckSkin(base, report);
    if (strings) CheckTextFit(ini, display + ":ZarnWebInstallerString.ini", base, report);
  }
  std::filesystem::remove_all(folder, error);
  // The package lands beside the installer under its own name: an installer of that
  // name would be overwritten by its own download.
  if (SameIgnoringAsciiCase(platform::Utf8ToWide(BaseName(path)), platform::Utf8ToWide(report.packageFileName)))
    report.Add(Grade::kWarning, "program-is-package", display, 0, 0,
               "the program is named like the package it downloads (\"" + report.packageFileName +
                   "\"): it would overwrite itself, so it refuses to start the download; rename it");
}

}  // namespace kit
