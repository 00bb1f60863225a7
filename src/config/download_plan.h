// What one machine downloads: the whole road from the configuration to the links
// the engine is given, answered in one place for the installer window, the vendor
// kit's checker and the tests. In the order the window has always taken it: the
// links for the machine, the patch rule (the link and everything said about it
// swapped as one), the package file's name, and the "http://" repair.
#pragma once

#include <string>

#include "config/installer_config.h"
#include "config/package_link.h"

class CXmlDocument;

struct DownloadPlan {
  // The configuration was read and an entry gave this machine a link; false means
  // "Xml file is missing!".
  bool hasLink = false;
  // The file was loaded and is well-formed; when not, the XML library's result
  // text says why.
  bool configRead = false;
  std::u16string configResult;
  std::u16string productName;
  std::u16string registryKey;
  // The package's file name in the installer's folder (PackageFileName).
  std::u16string packageFileName = u".exe";
  int retries = InstallerConfig::kDefaultRetries;
  int segments = InstallerConfig::kDefaultSegments;
  // The product counts as installed, so the patch rule applied; patch: it found a
  // patch link, which is now the download link.
  bool installed = false;
  bool patch = false;
  // What the engine is given, after the patch rule and the "http://" repair.
  PackageLink download;
  PackageLink fallback;
  // The repair put "http://" in front of the link.
  bool downloadRepaired = false;
  bool fallbackRepaired = false;
  // At least one link parses after the repair; false means "Unrecognized URL".
  bool linksParse = false;
};

// The plan from the configuration file at path, for a machine of this Windows
// version name and bitness (platform_identity.h), the registry telling whether the
// product is installed.
DownloadPlan ResolveDownloadPlan(const std::u16string& path, const std::u16string& osName,
                                 const std::u16string& bitness);
// The same from a document already loaded (from a file or from text); it is parsed
// again, so its positions need not be at the start.
DownloadPlan ResolveDownloadPlan(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness);
// The same for a product stated to be installed or not, without asking the
// registry (the kit's table shows a machine in both states). As the registry
// would, a bitness other than "32" or "64" never counts as installed and an empty
// registry key always does (it names HKEY_LOCAL_MACHINE itself). A missing patch
// link is not reported to the debugger: the state is only supposed.
DownloadPlan ResolveDownloadPlanAs(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                                   bool keyExists);

// The package's file name: the product name with the characters Windows refuses in
// a file name (\ / : * ? " < > | and control characters) replaced by "_", a "_"
// before a device name (CON, NUL, COM1, CONIN$, CONOUT$...), and ".exe".
std::u16string PackageFileName(const std::u16string& productName);
