// The installer configuration file ZarnWebInstaller.xml: the product, the registry
// key that marks it as installed, and the download, fallback and patch links for
// this machine (by its Windows version name and bitness, see platform_identity.h).
//
// Selection rules, in short: among the installerInfo entries of the product, the
// last one whose os and bit equal the machine's gives the download link; an entry
// marked default="YES" gives the fallback link; the search ends as soon as both
// have been taken. The patch link comes from the first matching entry that has a
// patch element, wherever that entry stands in the product.
//
// An rlink or patch may carry sha256="<64 hex digits>": the package that link
// gives must have that digest or it is not started. A value that is not 64 hex
// digits makes the element count as absent (its link is never downloaded
// unchecked), and the debugger hears why. It may also carry signer="<name>": the
// package must then carry a valid Authenticode signature whose certificate's
// subject common name is exactly that name. Both given, both must hold. And it may
// carry quietArgs="...": the arguments that package is started with in an
// unattended run. <retries>N</retries> under product sets how often a broken
// transfer is tried again, <segments>N</segments> over how many connections at
// once the package is fetched.
#pragma once

#include <cstdint>
#include <string>

#include "config/package_link.h"

class CXmlDocument;

constexpr const char16_t* kInstallerConfigFileName = u"ZarnWebInstaller.xml";

struct InstallerConfig {
  std::u16string productName;
  std::u16string registryKey;
  // Each link with the digest its own element gives (empty when none).
  PackageLink downloadLink;
  PackageLink fallbackLink;
  PackageLink patchLink;
  // How many more times a transfer that broke off is tried (0..10).
  int retries = kDefaultRetries;
  // How many ranges of the package are fetched side by side (1..8).
  int segments = kDefaultSegments;

  static constexpr int kDefaultRetries = 3;
  static constexpr int kMaxRetries = 10;
  static constexpr int kDefaultSegments = 1;
  static constexpr int kMaxSegments = 8;
};

// True for exactly 64 hex digits (either case); normalized gets them in lower case.
bool ParseSha256Text(const std::u16string& text, std::u16string* normalized);
// The text of a count element (retries, segments) as a count: decimal digits with
// blanks around them, clamped to lowest..highest; false (count untouched) for
// anything else.
bool ParseCountText(const std::u16string& text, int lowest, int highest, int* count);

// Leaves the document entered into product (its children form the current level,
// none selected yet); false when there is no root zarnwebinstaller or no product.
bool EnterProduct(CXmlDocument& doc);

// What one installerInfo entry (at the document's main position) says for a
// machine: its first os child and whether that is osName, the first bit after the
// os, and, when that bit is bitness, the first `wanted` element after it, whose
// data is the link, with what its attributes say. Records are 0 for what is not
// there. The document is left at the entry, ready for the next one. The vendor
// kit's checker asks the same question.
struct InstallerEntry {
  bool hasOs = false;
  bool sameOs = false;
  bool linked = false;
  // The wanted element was there but its sha256 attribute is not a digest: the
  // link counts as absent.
  bool badHash = false;
  PackageLink link;  // the sha256 normalized
  std::u16string osText;
  std::u16string bitText;
  uint32_t osRecord = 0;
  uint32_t bitRecord = 0;
  uint32_t linkRecord = 0;
};
InstallerEntry ReadInstallerEntry(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                                  const char16_t* wanted);

// Over a document that is already parsed (positions at their start). Fill
// productName, registryKey, retries and segments when present, set downloadLink (emptied
// first) and possibly fallbackLink; true when an entry supplied a link.
bool SelectInstallerLinks(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                          InstallerConfig& config);
// Sets patchLink from the first entry matching osName and bitness that has a usable
// patch; false (untouched) when there is none.
bool SelectPatchLink(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                     PackageLink& patchLink);
// Whether registryKey (empty: HKEY_LOCAL_MACHINE itself) exists in the registry
// view of the machine's bitness; false for a bitness that is neither "32" nor "64".
bool ProductKeyExists(const std::u16string& bitness, const std::u16string& registryKey);
// The patch rule for a product that counts as installed: patchLink is replaced by
// the patch link when there is one (true); when there is none the debugger hears
// "patch link not found!" and patchLink stays.
bool ApplyPatchRule(CXmlDocument& doc, const std::u16string& osName, const std::u16string& bitness,
                    PackageLink& patchLink);
