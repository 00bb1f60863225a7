#include "config/kit_files.h"

#include "platform/profile.h"
#include "xml/xml_document.h"

DownloadPlan ResolveDownloadPlan(const KitFiles& kit, const std::u16string& osName, const std::u16string& bitness) {
  if (!kit.embedded) return ResolveDownloadPlan(kit.configPath, osName, bitness);
  CXmlDocument doc;
  if (!kit.config || !doc.LoadBytes(kit.config->data(), kit.config->size())) {
    DownloadPlan plan;
    plan.configResult = doc.GetResultText();
    return plan;
  }
  return ResolveDownloadPlan(doc, osName, bitness);
}

std::u16string GetUiString(UiStringId id, const KitFiles& kit) {
  if (!kit.embedded) return GetUiString(id, kit.stringFilePath);
  if (id < 0 || id >= kUiStringCount) return {};
  const UiString& entry = GetUiStringEntry(id);
  if (!kit.strings) return platform::ProfileDefault(entry.defaultText);
  return platform::ReadProfileStringFromBytes(kUiStringSection, entry.key, entry.defaultText, *kit.strings);
}

bool GetStatusUiString(int32_t status, const KitFiles& kit, std::u16string& text) {
  UiStringId id;
  if (!GetStatusUiStringId(status, id)) return false;
  text = GetUiString(id, kit);
  return true;
}
