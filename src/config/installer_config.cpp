#include "config/installer_config.h"

#include "platform/registry.h"
#include "platform/system.h"
#include "platform/text.h"
#include "xml/xml_document.h"

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

void ReportBadHash(const InstallerEntry& e) {
  platform::DebugOutput(u"sha256 is not 64 hex digits, link ignored: " + e.link.url);
}

// The data of the first child element of parent called name, found through the
// index so that the navigation position of the caller stays where it is.
bool ChildData(const CXmlDocument& doc, uint32_t parent, const std::u16string& name, std::u16string* data) {
  const std::u16string& text = doc.GetDocumentText();
  for (uint32_t r = doc.GetRecord(parent).firstChild; r; r = doc.GetRecord(r).nextSibling) {
    const size_t at = doc.GetRecord(r).offset + 1;
    if (text.compare(at, name.size(), name) != 0) continue;
    const size_t end = at + name.size();
    if (end < text.size() && !IsBlank(text[end]) && text[end] != u'>' && text[end] != u'/') continue;
    *data = doc.GetData(r);
    return true;
  }
  return false;
}

// A count element under product (the document entered into it): read wherever it
// stands, the first one only; a text that is no number keeps the default, and the
// debugger hears why.
void ReadCount(const CXmlDocument& doc, const std::u16string& name, int lowest, int highest, int* count) {
  std::u16string text;
  if (ChildData(doc, doc.GetParentPosition(), name, &text) && !ParseCountText(text, lowest, highest, count)) {
    platform::DebugOutput(name + u" is not a number, " + platform::Decimal(*count) + u" kept: " +
                          text);
  }
}

}  // namespace

bool EnterProduct(CXmlDocument& doc) {
  if (!doc.FindElement(u"zarnwebinstaller")) return false;
  if (!doc.FindChildElement(u"product")) return false;
  return doc.EnterElement() && doc.EnterElement();
}

InstallerEntry ReadInstallerEntry(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                                  const char16_t* wanted) {
  InstallerEntry e;
  if (!doc.FindChildElement(u"os")) return e;
  e.hasOs = true;
  doc.EnterElement();  // main = os; the rest of the entry follows it at this level
  e.osRecord = doc.GetMainPosition();
  e.osText = doc.GetData();
  e.sameOs = e.osText == osName;
  if (doc.FindElement(u"bit")) {
    e.bitRecord = doc.GetMainPosition();
    e.bitText = doc.GetData();
    if (e.bitText == bitness && doc.FindElement(wanted)) {
      e.linkRecord = doc.GetMainPosition();
      e.link.url = doc.GetData();
      e.link.quietArgs = doc.GetAttribute(u"quietArgs");
      const std::u16string hash = doc.GetAttribute(u"sha256");
      e.linked = hash.empty() || ParseSha256Text(hash, &e.link.sha256);
      e.badHash = !e.linked;
      e.link.signer = doc.GetAttribute(u"signer");
    }
  }
  doc.LeaveElement();
  return e;
}

bool ParseSha256Text(const std::u16string& text, std::u16string* normalized) {
  if (text.size() != 64) return false;
  std::u16string out(text);
  for (char16_t& c : out) {
    if (c >= u'A' && c <= u'F') c = static_cast<char16_t>(c - u'A' + u'a');
    if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f'))) return false;
  }
  if (normalized) *normalized = out;
  return true;
}

bool ParseCountText(const std::u16string& text, int lowest, int highest, int* count) {
  size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  if (b == e) return false;
  int value = 0;
  for (size_t i = b; i < e; ++i) {
    if (text[i] < u'0' || text[i] > u'9') return false;
    // Saturates rather than overflows: any long number means "as many as allowed".
    if (value <= highest) value = value * 10 + (text[i] - u'0');
  }
  *count = value > highest ? highest : value < lowest ? lowest : value;
  return true;
}

bool SelectInstallerLinks(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                          InstallerConfig& config) {
  config.downloadLink = PackageLink();
  bool matched = false, defaultTaken = false, found = false;
  if (!EnterProduct(doc)) return false;
  ReadCount(doc, u"retries", 0, InstallerConfig::kMaxRetries, &config.retries);
  ReadCount(doc, u"segments", 1, InstallerConfig::kMaxSegments, &config.segments);
  if (doc.FindElement(u"name")) config.productName = doc.GetData();
  if (doc.FindElement(u"registry")) config.registryKey = doc.GetData();

  // Carried from entry to entry until an entry with another os clears it, so an
  // unmatched default entry hands its mark on to the next candidate.
  bool defaultMark = false;
  while (doc.FindElement(u"installerInfo")) {
    if (doc.GetAttribute(u"default") == u"YES") defaultMark = true;
    const InstallerEntry e = ReadInstallerEntry(doc, osName, bitness, u"rlink");
    if (!e.hasOs) continue;
    if (e.sameOs) {
      if (e.badHash) ReportBadHash(e);
      if (!e.linked) continue;
      config.downloadLink = e.link;
      matched = true;
      if (defaultMark) {
        config.fallbackLink = e.link;
        return true;
      }
      if (defaultTaken) return true;
      found = true;
      continue;
    }
    // Another os only matters as the default entry, for the fallback link.
    if (!defaultMark) continue;
    if (e.badHash) ReportBadHash(e);
    if (e.linked) {
      config.fallbackLink = e.link;
      found = defaultTaken = true;
      if (matched) return true;
    }
    defaultMark = false;
  }
  return found;
}

bool SelectPatchLink(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                     PackageLink& patchLink) {
  if (!EnterProduct(doc)) return false;
  while (doc.FindElement(u"installerInfo")) {
    const InstallerEntry e = ReadInstallerEntry(doc, osName, bitness, u"patch");
    if (e.sameOs && e.badHash) ReportBadHash(e);
    if (e.sameOs && e.linked) {
      patchLink = e.link;
      return true;
    }
  }
  return false;
}

bool ProductKeyExists(const std::u16string& bitness, const std::u16string& registryKey) {
  if (bitness == u"32") return platform::LocalMachineKeyExists(registryKey, platform::RegistryView::k32);
  if (bitness == u"64") return platform::LocalMachineKeyExists(registryKey, platform::RegistryView::k64);
  return false;
}

bool ApplyPatchRule(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                    PackageLink& patchLink) {
  if (SelectPatchLink(doc, osName, bitness, patchLink)) return true;
  platform::DebugOutput(u"patch link not found!");
  return false;
}
