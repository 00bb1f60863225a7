#include "kit_links.h"

#include "download/download_manager.h"

namespace kit {

namespace {

// Stand-in for the installer's own repair and digest syntax until they are merged
// into this branch; same rules as the window's link check.
bool RepairLinks(std::u16string* downloadLink, std::u16string* fallbackLink) {
  if (!LinkParses(*downloadLink)) *downloadLink = u"http://" + *downloadLink;
  if (!fallbackLink->empty() && !LinkParses(*fallbackLink)) *fallbackLink = u"http://" + *fallbackLink;
  return LinkParses(*downloadLink) || LinkParses(*fallbackLink);
}

bool ParseSha256Text(const std::u16string& text, std::u16string* normalized) {
  if (text.size() != 64) return false;
  std::u16string out;
  for (char16_t c : text) {
    if (c >= u'A' && c <= u'F') c = static_cast<char16_t>(c + 32);
    if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return false;
    out.push_back(c);
  }
  *normalized = out;
  return true;
}

}  // namespace

LinkRepair RepairInstallerLinks(std::u16string& download, std::u16string& fallback) {
  const std::u16string download0 = download, fallback0 = fallback;
  LinkRepair r;
  r.usable = RepairLinks(&download, &fallback);
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

bool ParseExpectedSha256(const std::u16string& text, std::u16string* normalized) {
  return ParseSha256Text(text, normalized);
}

}  // namespace kit
