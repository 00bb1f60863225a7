#include "config/package_link.h"

#include "platform/http.h"

bool LinkParses(const std::u16string& link) {
  std::u16string canonical;
  platform::UrlParts parts;
  return platform::CanonicalizeUrl(link, &canonical) && platform::CrackUrl(canonical, &parts);
}

bool RepairLinks(std::u16string* downloadLink, std::u16string* fallbackLink) {
  bool usable = LinkParses(*downloadLink);
  if (!usable) {
    *downloadLink = u"http://" + *downloadLink;
    usable = LinkParses(*downloadLink);
  }
  if (LinkParses(*fallbackLink)) return true;
  if (fallbackLink->empty()) return usable;
  *fallbackLink = u"http://" + *fallbackLink;
  return LinkParses(*fallbackLink) || usable;
}
