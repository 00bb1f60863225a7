// The checks of `zarn-kit check`. Each one asks the installer's own code (the
// configuration readers and link selection, the link repair, the package file-name
// rule, the profile strings, the skin loader, the engine's requests) what it would
// do, and turns the answers into a table and findings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "kit_report.h"

namespace kit {

// The configuration file: the table for the eight machines in both states of the
// product, and the findings about the file. display is the file's name in findings.
void CheckConfiguration(const std::u16string& path, const std::string& display, Report& report);
// The same over a configuration's bytes (the one a single-file installer carries).
void CheckConfiguration(std::string_view bytes, const std::string& display, Report& report);
// Windows XP machines (rows of the table) whose every link is https: XP's HTTP
// stack cannot reach servers that accept only TLS 1.2 and later.
void CheckOldWindowsTls(const std::string& display, Report& report);
// The interface string file.
void CheckStrings(const std::u16string& path, const std::string& display, Report& report);
// The ten skin images in a folder, against the default skin's sizes.
void CheckSkin(const std::u16string& folder, Report& report);
// Where a kit folder keeps its images: beside the configuration, as the installer
// wants them; or, when none is there, in its skin folder (the kit's own layout).
std::u16string SkinFolderOf(const std::u16string& folder);
// The skin on screens of every DPI: double-size variants that are not twice their
// image, and a background larger than a common screen's work area.
void CheckSkinForScreens(const std::u16string& folder, Report& report);
// A string file with letters beyond ASCII but no UTF-16 byte order mark.
void CheckStringEncoding(const std::u16string& path, const std::string& display, Report& report);
// Texts of the string file wider than their places (status panel, Cancel button of
// the skin in skinFolder, or the default skin's when it is empty), and what the
// window does with them.
void CheckTextFit(const std::u16string& iniPath, const std::string& display, const std::u16string& skinFolder,
                  Report& report);
// The line of key in the string file's [UISTRING] section; 0 when it is not there.
uint32_t KeyLine(const std::u16string& iniPath, const std::u16string& key);
// Every distinct link of the table: the engine's size probe, then a one-byte range
// request; with an expected SHA-256 the package is downloaded and hashed.
void CheckOnline(Report& report);

// A file opened for binary reading by its wide name, on either platform; null when
// it cannot be opened.
std::FILE* OpenForReading(const std::u16string& path);

// A position in a text as people count it: lines from 1, columns from 1 in
// characters (a surrogate pair is one character).
struct TextPlace {
  uint32_t line = 0;
  uint32_t column = 0;
};
TextPlace PlaceOf(const std::u16string& text, size_t offset);

// The same for many offsets into one text, each in logarithmic time, so that a
// file with thousands of findings is not read once per finding.
class LineIndex {
 public:
  void Build(const std::u16string& text);
  bool Built() const { return built_; }
  TextPlace Place(size_t offset) const;  // an offset past the end counts as the end

 private:
  std::vector<size_t> lineStarts_;
  std::vector<uint32_t> pairsBefore_;  // surrogate pairs that end before each unit
  bool built_ = false;
};

}  // namespace kit
