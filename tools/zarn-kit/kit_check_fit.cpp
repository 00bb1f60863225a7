// How the kit looks on a screen: double-size variants of the skin, a background
// too large for common screens, the string file's encoding and texts too wide for
// their places. The decisions are the window's own (ui/text_fit, ui/skin_scale).
#include <cstdio>
#include <vector>

#include "config/ui_strings.h"
#include "kit_check.h"
#include "kit_image.h"
#include "kit_text_measure.h"
#include "platform/text.h"
#include "ui/skin_files.h"
#include "ui/skin_scale.h"
#include "ui/text_fit.h"

namespace kit {

namespace {

std::string U8(const std::u16string& s) { return platform::WideToUtf8(s); }
std::string Px(int n) { return std::to_string(n) + " pixels"; }
std::u16string InFolder(const std::u16string& folder, const std::u16string& file) {
  return folder.empty() ? file : folder + u"/" + file;
}

std::vector<unsigned char> ReadAll(const std::u16string& path) {
  std::vector<unsigned char> bytes;
  std::FILE* f = OpenForReading(path);
  if (!f) return bytes;
  unsigned char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return bytes;
}

bool IsUtf8(const std::vector<unsigned char>& b) {
  for (size_t i = 0; i < b.size();) {
    const unsigned char c = b[i];
    const size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > b.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((b[i + k] & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

// A 1280 x 1024 screen less a 40-pixel taskbar: the smallest screen still common.
constexpr ui::Size kSmallScreenWorkArea{1280, 984};
// The default skin's Cancel face and status backdrop, for a kit checked without one.
constexpr ui::Size kDefaultCancel{96, 32};
constexpr ui::Size kDefaultStatus{300, 24};
using ui::kCancelFontHeight;
using ui::kCancelFontWidth;
using ui::kCaptionMargin;
using ui::kStatusFontHeight;
using ui::kStatusFontWidth;

ui::Size SkinSize(const std::u16string& folder, const char16_t* file, const ui::Size& fallback) {
  ImageSize size;
  if (folder.empty() || ReadImageSize(InFolder(folder, file), &size) != ImageRead::kDecoded) return fallback;
  return {size.width, size.height};
}

}  // namespace

void CheckSkinForScreens(const std::u16string& folder, Report& report) {
  for (int i = 0; i < ui::SkinImageCount; ++i) {
    const std::u16string file = ui::kSkinFileNames[i];
    const std::u16string variant = ui::DoubleSizeVariantName(file);
    ImageSize base, doubled;
    const bool hasBase = ReadImageSize(InFolder(folder, file), &base) == ImageRead::kDecoded;
    if (i == 0 && hasBase && (base.width > kSmallScreenWorkArea.width || base.height > kSmallScreenWorkArea.height))
      report.Add(Grade::kWarning, "skin-too-large", U8(file), 0, 0,
                 std::to_string(base.width) + "x" + std::to_string(base.height) +
                     " pixels: larger than the work area of a 1280x1024 screen (" +
                     std::to_string(kSmallScreenWorkArea.width) + "x" + std::to_string(kSmallScreenWorkArea.height) +
                     "), where the installer shrinks the whole window and its background to fit");
    switch (ReadImageSize(InFolder(folder, variant), &doubled)) {
      case ImageRead::kMissing:
        break;
      case ImageRead::kUndecodable:
        report.Add(Grade::kWarning, "skin-undecodable", U8(variant), 0, 0,
                   "not an image the installer can decode: at high DPI it resamples " + U8(file) + " instead");
        break;
      case ImageRead::kDecoded:
        if (hasBase && (doubled.width != 2 * base.width || doubled.height != 2 * base.height))
          report.Add(Grade::kWarning, "skin-2x-size", U8(variant), 0, 0,
                     std::to_string(doubled.width) + "x" + std::to_string(doubled.height) + " pixels, not twice " +
                         U8(file) + "'s " + std::to_string(base.width) + "x" + std::to_string(base.height) +
                         ": the installer resamples it to the size it needs, so it is never drawn as it is");
        break;
    }
  }
}

void CheckStringEncoding(const std::u16string& path, const std::string& display, Report& report) {
  const std::vector<unsigned char> bytes = ReadAll(path);
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return;  // UTF-16 LE, as the reader wants
  uint32_t line = 1, column = 1;
  size_t i = 0;
  for (; i < bytes.size() && bytes[i] < 0x80; ++i) {
    if (bytes[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  if (i == bytes.size()) return;
  if (IsUtf8(bytes)) {
    report.Add(Grade::kWarning, "ini-encoding", display, line, column,
               "UTF-8 text without a UTF-16 byte order mark: Windows reads the file in the machine's ANSI code "
               "page, so every letter beyond ASCII shows as two or three wrong ones; save it as UTF-16 LE with byte "
               "order mark (\"Unicode\")");
  } else {
    report.Add(Grade::kWarning, "ini-encoding", display, line, column,
               "letters beyond ASCII in an ANSI code page: they show right only where the machine's code page is "
               "the one the file was written in; save it as UTF-16 LE with byte order mark (\"Unicode\")");
  }
}

void CheckTextFit(const std::u16string& iniPath, const std::string& display, const std::u16string& skinFolder,
                  Report& report) {
  const ui::Size panel = SkinSize(skinFolder, u"StatusBkg.jpg", kDefaultStatus);
  const ui::Size button = SkinSize(skinFolder, u"Cancel_N.jpg", kDefaultCancel);
  const std::string how = MeasuresExactly() ? "" : " (estimated from the font's average character width)";
  auto status = [](const std::u16string& s) { return MeasureText(kStatusFontHeight, kStatusFontWidth, false, s); };
  const int lineHeight = kStatusFontHeight;
  for (int code = 1; code <= 10; ++code) {
    UiStringId id;
    if (!GetStatusUiStringId(code, id)) continue;
    const std::u16string text = GetUiString(id, iniPath);
    const ui::StatusFit fit = ui::FitStatusText(text, panel.width, panel.height, lineHeight, status);
    if (fit.kind == ui::StatusFit::AsIs) continue;
    const std::string what = std::string("key ") + U8(GetUiStringEntry(id).key) + " is " + Px(status(text)) +
                             " wide" + how + ", the status panel " + Px(panel.width) + ": ";
    report.Add(Grade::kWarning, "ini-text-too-wide", display, KeyLine(iniPath, GetUiStringEntry(id).key), 1,
               what + (fit.kind == ui::StatusFit::Wrapped
                           ? "the window breaks it over more lines"
                           : "the window shows \"" + U8(fit.text) + "\" and leaves the rest out"));
  }
  const std::u16string caption = GetUiString(IDS_TEXT_CANCEL, iniPath);
  auto bold = [](int h, int w, const std::u16string& s) { return MeasureText(h, w, true, s); };
  const ui::CaptionFit fit = ui::FitCaption(caption, kCancelFontHeight, kCancelFontWidth, button.width,
                                            button.width * 3 / 2, kCaptionMargin, bold);
  if (fit.fontHeight == kCancelFontHeight && fit.buttonWidth == button.width) return;
  std::string what = "key IDS_TEXT_CANCEL is " + Px(bold(kCancelFontHeight, kCancelFontWidth, caption)) + " wide" +
                     how + ", the Cancel button has room for " + Px(button.width - 2 * kCaptionMargin) + ": ";
  if (fit.buttonWidth == button.width) {
    what += "the window draws it in a smaller font";
  } else {
    const bool fits = bold(fit.fontHeight, fit.fontWidth, caption) <= fit.buttonWidth - 2 * kCaptionMargin;
    what += "the window draws it smaller and widens the button to " + Px(fit.buttonWidth) +
            (fits ? "" : ", and even so both ends are cut");
  }
  report.Add(Grade::kWarning, "ini-text-too-wide", display, KeyLine(iniPath, u"IDS_TEXT_CANCEL"), 1, what);
}

}  // namespace kit
