#include "config/installer_config_file.h"

#include "platform/output_file.h"
#include "xml/xml_document.h"

bool LoadInstallerConfig(CXmlDocument& doc, const std::u16string& path, bool* tooLarge) {
  uint64_t size = 0;
  const bool large = platform::FileSizeOf(path, &size) && size > kMaxInstallerConfigBytes;
  if (tooLarge) *tooLarge = large;
  if (large) {
    doc.SetDocument();
    return false;
  }
  return doc.LoadFile(path);
}

bool ReadInstallerConfig(const std::u16string& path, const std::u16string& osName,
                         const std::u16string& bitness, InstallerConfig& config) {
  config.downloadLink = PackageLink();
  CXmlDocument doc;
  if (!LoadInstallerConfig(doc, path)) return false;
  return SelectInstallerLinks(doc, osName, bitness, config);
}

bool ReadPatchLink(const std::u16string& path, const std::u16string& osName, const std::u16string& bitness,
                   InstallerConfig& config) {
  CXmlDocument doc;
  if (!LoadInstallerConfig(doc, path)) return false;
  return SelectPatchLink(doc, osName, bitness, config.patchLink);
}

bool CheckPatchLink(const std::u16string& path, const std::u16string& osName, const std::u16string& bitness,
                    const std::u16string& registryKey, InstallerConfig& config) {
  // The key decides first: an uninstalled product never needs the file again.
  if (!ProductKeyExists(bitness, registryKey)) return false;
  CXmlDocument doc;
  // A file that does not load has no patch link, which the rule reports.
  if (!LoadInstallerConfig(doc, path)) doc.SetDocument();
  ApplyPatchRule(doc, osName, bitness, config.patchLink);
  return true;
}
