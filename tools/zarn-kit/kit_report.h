// What `zarn-kit check` found out about a vendor's kit: for every machine and both
// states of the product, what the installer would download, and the findings, each
// placed at a line and column of the file it is about.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kit {

enum class Grade { kNote, kWarning, kError };

struct Finding {
  Grade grade = Grade::kNote;
  std::string code;  // stable identifier for pipelines, e.g. "several-entries"
  std::string file;  // the file's name as given, or "" for the kit as a whole
  uint32_t line = 0;  // 1-based; 0 when the finding has no place in the file
  uint32_t column = 0;
  std::string message;
};

struct LinkRow {
  std::string link;       // as handed to the engine, after the "http://" repair
  bool httpAdded = false;  // the installer put "http://" in front
  std::string sha256;     // expected digest, empty when none
  std::string signer;     // expected publisher, empty when none
  std::string quietArgs;  // the package's arguments in an unattended run, empty when none
};

struct MachineRow {
  std::string osName;
  std::string bitness;
  bool installed = false;        // the product's registry key exists
  bool countsInstalled = false;  // installed, or no key to look for
  bool hasLink = false;          // the configuration gives this machine a link
  bool usable = false;           // and one of its links parses, so a download starts
  LinkRow download;
  LinkRow fallback;
  bool patch = false;  // the download link is the entry's patch link
};

// One answer of the online check, for one distinct link.
struct ProbeRow {
  std::string link;
  bool sent = false;          // the probe got an answer
  uint32_t status = 0;        // of the probe
  int64_t size = 0;           // the size the engine takes from the probe (0: none)
  bool rangeSent = false;
  uint32_t rangeStatus = 0;
  std::string contentRange;   // as the server wrote it
  bool rangeHonoured = false;  // 206 with Content-Range "bytes 0-0/<size>"
  std::string expectedSha256;
  std::string actualSha256;   // empty when not downloaded
  bool downloaded = false;
};

struct Report {
  std::string productName;
  std::string packageFileName;
  std::vector<MachineRow> machines;
  std::vector<Finding> findings;
  std::vector<ProbeRow> probes;
  bool online = false;
  // A single-file installer that was checked: its name and its version resource.
  std::string program;
  std::vector<std::pair<std::string, std::string>> programVersion;

  void Add(Grade grade, std::string code, std::string file, uint32_t line, uint32_t column, std::string message) {
    findings.push_back({grade, std::move(code), std::move(file), line, column, std::move(message)});
  }
  size_t Count(Grade grade) const;
  // 0: nothing to fix; 1: warnings only; 2: any error.
  int ExitStatus() const;
};

const char* GradeName(Grade grade);
// The findings sorted by file and place, the table and the probes as a person reads
// them; and the same as one JSON document.
std::string RenderText(const Report& report);
std::string RenderJson(const Report& report);

}  // namespace kit
