// Where the installer's configuration, string file and skin come from. The plain
// program reads the files beside it, exactly as it always has; a single-file
// installer carries their bytes inside itself (config/kit_resources.h) and reads
// only those: a file of the same name planted beside it is never read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/download_plan.h"
#include "config/kit_resources.h"
#include "config/ui_strings.h"

struct KitFiles {
  // The program carries its configuration: everything is read from the bytes below.
  bool embedded = false;
  // The plain program's files beside it.
  std::u16string configPath;
  std::u16string stringFilePath;
  // What a single-file installer carries; nullopt for what it does not (a missing
  // string file gives the built-in texts, a missing image an empty one). The bytes
  // belong to the caller and must outlive every use.
  std::optional<std::string_view> config;
  std::optional<std::string_view> strings;
  std::optional<std::string_view> skin[KIT_SKIN_COUNT];
};

// The download plan from the kit's configuration: the file beside the plain
// program, or the carried bytes loaded as the same document would be from a file.
// A configuration that cannot be read or is not well-formed gives no link.
DownloadPlan ResolveDownloadPlan(const KitFiles& kit, const std::u16string& osName, const std::u16string& bitness);

// GetUiString and GetStatusUiString over the kit: the string file beside the plain
// program, read again at each call; the carried string file, parsed again at each
// call with the same rules.
std::u16string GetUiString(UiStringId id, const KitFiles& kit);
bool GetStatusUiString(int32_t status, const KitFiles& kit, std::u16string& text);
