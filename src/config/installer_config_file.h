// The configuration readers over the file itself: each loads its own document.
#pragma once

#include <string>

#include "config/installer_config.h"

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
