// The installer's link handling as the checker needs it: the "http://" repair of the
// two links handed to the engine and what a single link turns into.
#pragma once

#include <string>

#include "platform/http.h"

namespace kit {

struct LinkRepair {
  bool usable = false;  // a link parses after the repair: the engine is started
  bool downloadAdded = false;
  bool fallbackAdded = false;
};
// Repairs the two links in place exactly as the installer window does before it
// starts the engine, and says what it changed.
LinkRepair RepairInstallerLinks(std::u16string& download, std::u16string& fallback);

struct LinkFacts {
  bool parses = false;       // as written or with "http://" in front
  bool needsPrefix = false;  // only with "http://" in front
  std::u16string effective;  // what the engine is given
  platform::UrlScheme scheme = platform::UrlScheme::kUnknown;
};
LinkFacts ExamineLink(const std::u16string& link);

// Names compared as the profile functions compare keys, and as a vendor who mixed
// up case would read them: A-Z and a-z alike.
bool SameIgnoringAsciiCase(const std::u16string& a, const std::u16string& b);

}  // namespace kit
