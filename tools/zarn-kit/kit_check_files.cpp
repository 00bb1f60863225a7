// The interface string file and the skin images.
#include <cerrno>
#include <cstdio>

#include "config/ui_strings.h"
#include "kit_check.h"
#include "kit_image.h"
#include "kit_links.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "ui/skin_files.h"

namespace kit {

namespace {

std::string U8(const std::u16string& s) { return platform::WideToUtf8(s); }

enum class FileState { kMissing, kUnreadable, kReadable };

// A folder opens on some systems but gives no bytes: only a read tells.
FileState ProbeFile(const std::u16string& path) {
  errno = 0;
  std::FILE* f = OpenForReading(path);
  if (!f) return errno == ENOENT ? FileState::kMissing : FileState::kUnreadable;
  unsigned char byte;
  const bool failed = std::fread(&byte, 1, 1, f) == 0 && std::ferror(f);
  std::fclose(f);
  return failed ? FileState::kUnreadable : FileState::kReadable;
}

// The file's lines, only to say where a section or key stands: what the file means
// is the profile reader's business. ASCII names are found whatever the encoding.
std::vector<std::u16string> Lines(const std::u16string& path) {
  std::vector<unsigned char> bytes;
  if (std::FILE* f = OpenForReading(path)) {
    unsigned char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
    std::fclose(f);
  }
  std::u16string text;
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text.push_back(static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
  } else {
    for (unsigned char c : bytes) text.push_back(c);
  }
  std::vector<std::u16string> lines(1);
  for (char16_t c : text) {
    if (c == u'\n') {
      lines.emplace_back();
    } else if (c != u'\r') {
      lines.back().push_back(c);
    }
  }
  return lines;
}

std::u16string Trimmed(const std::u16string& s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == u' ' || s[b] == u'\t' || s[b] == 0xFEFF || s[b] == 0xEF || s[b] == 0xBB || s[b] == 0xBF))
    ++b;
  while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t')) --e;
  return s.substr(b, e - b);
}

// Line (1-based) of the header of section, or of key inside it; 0 when not found.
uint32_t LineOf(const std::vector<std::u16string>& lines, const std::u16string& section, const std::u16string* key) {
  bool in = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::u16string line = Trimmed(lines[i]);
    if (!line.empty() && line[0] == u'[') {
      const size_t close = line.rfind(u']');
      const bool match = close != std::u16string::npos && SameIgnoringAsciiCase(Trimmed(line.substr(1, close - 1)), section);
      if (in && key) return 0;
      if (match && !key) return static_cast<uint32_t>(i + 1);
      in = match;
      continue;
    }
    if (in && key && !line.empty() && line[0] != u';' && SameIgnoringAsciiCase(Trimmed(line.substr(0, line.find(u'='))), *key))
      return static_cast<uint32_t>(i + 1);
  }
  return 0;
}

// The default skin's image sizes (kit/skin), by the window's loading order.
struct SkinSize {
  int width;
  int height;
};
const SkinSize kDefaultSkin[ui::SkinImageCount] = {{600, 340}, {300, 24}, {23, 23}, {23, 23}, {23, 23},
                                                    {23, 23},   {96, 32},  {96, 32}, {96, 32}, {45, 14}};

}  // namespace

std::FILE* OpenForReading(const std::u16string& path) {
#ifdef _WIN32
  return _wfopen(platform::W(path), L"rb");
#else
  return std::fopen(platform::WideToUtf8(path).c_str(), "rb");
#endif
}

uint32_t KeyLine(const std::u16string& iniPath, const std::u16string& key) {
  return LineOf(Lines(iniPath), kUiStringSection, &key);
}

void CheckStrings(const std::u16string& path, const std::string& display, Report& report) {
  switch (ProbeFile(path)) {
    case FileState::kMissing:
      report.Add(Grade::kNote, "ini-missing", display, 0, 0,
                 "no string file: the window shows the built-in English texts");
      return;
    case FileState::kUnreadable:
      report.Add(Grade::kWarning, "ini-unreadable", display, 0, 0,
                 "cannot be read: the window shows the built-in English texts instead of this file's");
      return;
    case FileState::kReadable:
      break;
  }
  CheckStringEncoding(path, display, report);
  const std::vector<std::u16string> lines = Lines(path);
  for (const std::u16string& section : platform::ReadProfileSectionNames(path)) {
    if (SameIgnoringAsciiCase(section, kUiStringSection)) continue;
    report.Add(Grade::kWarning, "ini-unread-section", display, LineOf(lines, section, nullptr), 1,
               "section [" + U8(section) + "] is never read: the installer reads [UISTRING] only");
  }
  const std::vector<std::u16string> keys = platform::ReadProfileKeyNames(kUiStringSection, path);
  for (const std::u16string& key : keys) {
    bool known = false;
    for (int i = 0; i < kUiStringCount; ++i) known = known || SameIgnoringAsciiCase(key, GetUiStringEntry(static_cast<UiStringId>(i)).key);
    if (!known)
      report.Add(Grade::kWarning, "ini-unread-key", display, LineOf(lines, kUiStringSection, &key), 1,
                 "key " + U8(key) + " is never read by the installer");
  }
  const uint32_t sectionLine = LineOf(lines, kUiStringSection, nullptr);
  for (int i = 0; i < kUiStringCount; ++i) {
    const UiString& entry = GetUiStringEntry(static_cast<UiStringId>(i));
    bool present = false;
    for (const std::u16string& key : keys) present = present || SameIgnoringAsciiCase(key, entry.key);
    if (!present) {
      report.Add(Grade::kNote, "ini-missing-key", display, sectionLine, sectionLine ? 1 : 0,
                 std::string("key ") + U8(entry.key) + " is missing: the built-in text \"" + U8(entry.defaultText) +
                     "\" is shown");
    } else if (GetUiString(static_cast<UiStringId>(i), path).empty()) {
      const std::u16string key = entry.key;
      report.Add(Grade::kNote, "ini-empty-key", display, LineOf(lines, kUiStringSection, &key), 1,
                 std::string("key ") + U8(entry.key) + " is empty: the window shows no text there");
    }
  }
}

std::u16string SkinFolderOf(const std::u16string& folder) {
  ImageSize size;
  for (const char16_t* file : ui::kSkinFileNames)
    if (ReadImageSize(folder + u"/" + file, &size) != ImageRead::kMissing) return folder;
  for (const char16_t* file : ui::kSkinFileNames)
    if (ReadImageSize(folder + u"/skin/" + file, &size) != ImageRead::kMissing) return folder + u"/skin";
  return folder;
}

void CheckSkin(const std::u16string& folder, Report& report) {
  for (int i = 0; i < ui::SkinImageCount; ++i) {
    const SkinSize& image = kDefaultSkin[i];
    const std::u16string file = ui::kSkinFileNames[i];
    const std::u16string path = folder.empty() ? file : folder + u"/" + file;
    const std::string display = U8(file);
    ImageSize size;
    switch (ReadImageSize(path, &size)) {
      case ImageRead::kMissing:
        report.Add(Grade::kWarning, "skin-missing", display, 0, 0,
                   "image missing: the installer fills its place with a plain colour");
        break;
      case ImageRead::kUndecodable:
        report.Add(Grade::kWarning, "skin-undecodable", display, 0, 0,
                   "not an image the installer can decode: it fills its place with a plain colour");
        break;
      case ImageRead::kDecoded:
        if (size.width != image.width || size.height != image.height)
          report.Add(Grade::kWarning, "skin-size", display, 0, 0,
                     std::to_string(size.width) + "x" + std::to_string(size.height) + " pixels, the default skin's is " +
                         std::to_string(image.width) + "x" + std::to_string(image.height) +
                         ": the window's layout is drawn for the default sizes");
        break;
    }
  }
  CheckSkinForScreens(folder, report);
}

}  // namespace kit
