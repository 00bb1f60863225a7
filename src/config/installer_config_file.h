// The configuration readers over the file itself: each loads its own document.
#pragma once

#include <string>

#include "config/installer_config.h"

class CXmlDocument;

// The largest configuration file read, in bytes. A vendor's file is a few
// kilobytes (the kit's sample is 5 KB); anything much larger is not one, and
// reading it whole (as text twice its size, plus an index) could exhaust the
// memory of a 32-bit process and end it silently. A larger file counts as
// unreadable: "Xml file is missing!".
constexpr uint64_t kMaxInstallerConfigBytes = 1024 * 1024;

// Loads the configuration file at path into doc, as every reader of it does; false
// when it is larger than kMaxInstallerConfigBytes (too_large then says so, when
// given), cannot be read, or is not well-formed.
bool LoadInstallerConfig(CXmlDocument& doc, const std::u16string& path, bool* tooLarge = nullptr);

// Loads the file; false when it cannot be loaded or is not well-formed, else as
// SelectInstallerLinks. downloadLink is emptied in every case.
bool ReadInstallerConfig(const std::u16string& path, const std::u16string& osName,
                         const std::u16string& bitness, InstallerConfig& config);
// True when the product counts as installed (its registry key exists in the view
// of this bitness); then patchLink is replaced by the patch link when there is
// one, and when there is none the debugger hears "patch link not found!".
bool CheckPatchLink(const std::u16string& path, const std::u16string& osName, const std::u16string& bitness,
                    const std::u16string& registryKey, InstallerConfig& config);
bool ReadPatchLink(const std::u16string& path, const std::u16string& osName, const std::u16string& bitness,
                   InstallerConfig& config);
