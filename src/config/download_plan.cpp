#include "config/download_plan.h"

#include "config/installer_config_file.h"
#include "platform/text.h"
#include "xml/xml_document.h"

namespace {

// statedKey: null, the registry decides; else whether the key is supposed to exist.
DownloadPlan Resolve(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                     const bool* statedKey) {
  DownloadPlan plan;
  if (!doc.ParseDocument()) {
    plan.configResult = doc.GetResultText();
    return plan;
  }
  plan.configRead = true;
  InstallerConfig config;
  plan.hasLink = SelectInstallerLinks(doc, osName, bitness, config);
  plan.productName = config.productName;
  plan.registryKey = config.registryKey;
  plan.retries = config.retries;
  plan.segments = config.segments;
  plan.packageFileName = PackageFileName(plan.productName);
  plan.installed = statedKey ? (bitness == u"32" || bitness == u"64") && (*statedKey || plan.registryKey.empty())
                             : ProductKeyExists(bitness, plan.registryKey);
  if (!plan.hasLink) return plan;

  // The patch link starts as the chosen link, so that an installed product without
  // a patch for this machine keeps it.
  PackageLink patchLink = config.downloadLink;
  if (plan.installed) {
    doc.ParseDocument();
    // A supposed state is no news for the debugger.
    plan.patch = statedKey ? SelectPatchLink(doc, osName, bitness, patchLink)
                           : ApplyPatchRule(doc, osName, bitness, patchLink);
  }
  plan.download = plan.installed ? patchLink : config.downloadLink;
  plan.fallback = config.fallbackLink;

  const std::u16string download = plan.download.url, fallback = plan.fallback.url;
  plan.linksParse = RepairLinks(&plan.download.url, &plan.fallback.url);
  plan.downloadRepaired = plan.download.url != download;
  plan.fallbackRepaired = plan.fallback.url != fallback;
  return plan;
}

}  // namespace

DownloadPlan ResolveDownloadPlan(const std::u16string& path, const std::u16string& osName,
                                 const std::u16string& bitness) {
  CXmlDocument doc;
  bool tooLarge = false;
  if (!LoadInstallerConfig(doc, path, &tooLarge)) {
    DownloadPlan plan;
    plan.configResult = tooLarge ? u"larger than " + platform::Decimal(kMaxInstallerConfigBytes) +
                                       u" bytes: not read"
                                 : doc.GetResultText();
    return plan;
  }
  return Resolve(doc, osName, bitness, nullptr);
}

DownloadPlan ResolveDownloadPlan(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness) {
  return Resolve(doc, osName, bitness, nullptr);
}

DownloadPlan ResolveDownloadPlanAs(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                                   bool keyExists) {
  return Resolve(doc, osName, bitness, &keyExists);
}

std::u16string PackageFileName(const std::u16string& productName) {
  std::u16string name = productName;
  for (char16_t& c : name) {
    if (c < 0x20 || c == u'\\' || c == u'/' || c == u':' || c == u'*' || c == u'?' || c == u'"' || c == u'<' ||
        c == u'>' || c == u'|')
      c = u'_';
  }
  // Device names stay devices whatever the extension ("NUL.exe" writes nowhere), so
  // they get a prefix.
  std::u16string stem = name.substr(0, name.find(u'.'));
  while (!stem.empty() && stem.back() == u' ') stem.pop_back();
  for (char16_t& c : stem)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  static const char16_t* const kDevices[] = {u"CON", u"PRN", u"AUX", u"NUL", u"CONIN$", u"CONOUT$"};
  bool device = false;
  for (const char16_t* d : kDevices) device = device || stem == d;
  // COM1..COM9 and LPT1..LPT9, and the same with a superscript one, two or three.
  if (stem.size() == 4 && (stem.compare(0, 3, u"COM") == 0 || stem.compare(0, 3, u"LPT") == 0) &&
      ((stem[3] >= u'1' && stem[3] <= u'9') || stem[3] == u'\u00B9' || stem[3] == u'\u00B2' || stem[3] == u'\u00B3'))
    device = true;
  if (device) name.insert(name.begin(), u'_');
  return name + u".exe";
}
