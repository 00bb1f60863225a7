#include "kit_links.h"

#include "config/package_link.h"

namespace kit {

LinkFacts ExamineLink(const std::u16string& link) {
  LinkFacts f;
  std::u16string download = link, none;
  RepairLinks(&download, &none);
  f.parses = LinkParses(download);
  f.needsPrefix = download != link;
  f.effective = download;
  std::u16string canonical;
  platform::UrlParts parts;
  if (f.parses && platform::CanonicalizeUrl(download, &canonical) && platform::CrackUrl(canonical, &parts))
    f.scheme = parts.scheme;
  return f;
}

bool SameIgnoringAsciiCase(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x + 32);
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y + 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace kit
