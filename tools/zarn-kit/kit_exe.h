// A single-file installer as zarn-kit sees it: the resources of a Windows program,
// read from its bytes on any platform, and the kit they carry.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kit_report.h"

namespace kit {

struct PeResource {
  uint32_t type = 0;
  uint32_t id = 0;
  uint32_t language = 0;
  std::string bytes;
};

// The resources of a PE file that have a numbered type and id (every one a kit or a
// version resource uses). False when the bytes are no PE file or its resource
// directory points outside them; a program without resources gives true and none.
bool ReadPeResources(const std::string& file, std::vector<PeResource>* out);

// The name/value pairs of a version resource's first string table, in the order
// written; empty when the bytes are no version resource.
std::vector<std::pair<std::string, std::string>> ReadVersionStrings(const std::string& resource);

// Whether a path names a Windows program rather than a kit folder or a
// configuration file: its first bytes are a DOS header.
bool LooksLikeProgram(const std::u16string& path);

// `zarn-kit check` on a single-file installer: the kit it carries is checked as a
// folder would be, its version resource is reported, and a program whose name is
// its own package's file name is a warning (the download would overwrite it).
void CheckInstallerProgram(const std::u16string& path, const std::string& display, Report& report);

// `zarn-kit pack KIT_DIR --out FILE [--from EXE]`: Windows only (UpdateResourceW);
// elsewhere a usage error. Returns the exit status.
int Pack(const std::vector<std::u16string>& args);

// Reads a whole file; false when it cannot be read.
bool ReadWholeFile(const std::u16string& path, std::string* bytes);

}  // namespace kit
