#include "config/installer_config_file.h"

#include "xml/xml_document.h"

bool ReadInstallerConfig(const std::u16string& path, const std::u16string& osName,
                         const std::u16string& bitness, InstallerConfig& config) {
  config.downloadLink = PackageLink();
  CXmlDocument doc;
  if (!doc.LoadFile(path)) return false;
  return SelectInstallerLinks(doc, osName, bitness, config);
}

bool ReadPatchLink(const std::u16string& path, const std::u16string& osName, const std::u16string& bitness,
                   InstallerConfig& config) {
  CXmlDocument doc;
  if (!doc.LoadFile(path)) return false;
  return SelectPatchLink(doc, osName, bitness, config.patchLink);
}

bool CheckPatchLink(const std::u16string& path, const std::u16string& osName, const std::u16string& bitness,
                    const std::u16string& registryKey, InstallerConfig& config) {
  // The key decides first: an uninstalled product never needs the file again.
  if (!ProductKeyExists(bitness, registryKey)) return false;
  CXmlDocument doc;
  // A file that does not load has no patch link, which the rule reports.
  if (!doc.LoadFile(path)) doc.SetDocument();
  ApplyPatchRule(doc, osName, bitness, config.patchLink);
  return true;
}
