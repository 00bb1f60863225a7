// What a single link of the configuration turns into under the installer's
// "http://" repair, as the checker's findings need it.
#pragma once

#include <string>

#include "platform/http.h"

namespace kit {

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
