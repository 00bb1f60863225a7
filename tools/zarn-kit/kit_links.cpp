#include "kit_links.h"

#include "app/link_repair.h"
#include "download/download_manager.h"

namespace kit {


LinkRepair RepairInstallerLinks(std::u16string& download, std::u16string& fallback) {
  const std::u16string download0 = download, fallback0 = fallback;
  LinkRepair r;
  r.usable = app::RepairLinks(&download, &fallback);
  r.downloadAdded = download != download0;
  r.fallbackAdded = fallback != fallback0;
  return r;
}

LinkFacts ExamineLink(const std::u16string& link) {
  LinkFacts f;
  std::u16string download = link, none;
  const LinkRepair r = RepairInstallerLinks(download, none);
  f.parses = LinkParses(download);
  f.needsPrefix = r.downloadAdded;
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
