#include "config/installer_config.h"

#include "platform/registry.h"
#include "platform/system.h"
#include "xml/xml_document.h"

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
      e.text = doc.GetData();
      e.linked = true;
    }
  }
  doc.LeaveElement();
  return e;
}

bool SelectInstallerLinks(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                          InstallerConfig& config) {
  config.downloadLink.clear();
  bool matched = false, defaultTaken = false, found = false;
  if (!EnterProduct(doc)) return false;
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
      if (!e.linked) continue;
      config.downloadLink = e.text;
      matched = true;
      if (defaultMark) {
        config.fallbackLink = e.text;
        return true;
      }
      if (defaultTaken) return true;
      found = true;
      continue;
    }
    // Another os only matters as the default entry, for the fallback link.
    if (!defaultMark) continue;
    if (e.linked) {
      config.fallbackLink = e.text;
      found = defaultTaken = true;
      if (matched) return true;
    }
    defaultMark = false;
  }
  return found;
}

bool SelectPatchLink(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                     std::u16string& patchLink) {
  if (!EnterProduct(doc)) return false;
  while (doc.FindElement(u"installerInfo")) {
    const InstallerEntry e = ReadInstallerEntry(doc, osName, bitness, u"patch");
    if (e.sameOs && e.linked) {
      patchLink = e.text;
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
                    const std::u16string& registryKey, std::u16string& patchLink) {
  if (!ProductKeyExists(bitness, registryKey)) return false;
  if (!SelectPatchLink(doc, osName, bitness, patchLink)) platform::DebugOutput(u"patch link not found!");
  return true;
}
