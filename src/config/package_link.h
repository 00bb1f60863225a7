// A download address together with what the configuration says about the package
// behind it. It travels as one value, through the patch rule, into the engine and
// over to the fallback, so that what is said about a package never parts from the
// link that fetches it.
#pragma once

#include <string>

struct PackageLink {
  std::u16string url;
  // The digest the package must have: 64 lower-case hex digits; empty, not checked.
  std::u16string sha256;
  // The subject name of the certificate the package must be signed with
  // (Authenticode); empty, not checked.
  std::u16string signer;
  // The arguments the package is started with in an unattended run (/quiet,
  // /passive); a normal run starts it without any.
  std::u16string quietArgs;
};

// True when the link canonicalises (browser mode) and then cracks.
bool LinkParses(const std::u16string& link);

// The "http://" repair made before the engine gets the links, and again by the
// engine on its own copies (CheckLinks), so that both see one rule. A download link
// that does not parse gets "http://" in front, and keeps it even when it still does
// not parse. A fallback that does not parse is mended the same way whether or not
// the download link parses: it is what the engine turns to when the first link
// yields no size, and a bare "host/path" there would make that fallback fail for
// certain. An empty fallback stays empty: there is nothing to mend. True when at
// least one of the two links parses afterwards; false means "Unrecognized URL".
bool RepairLinks(std::u16string* downloadLink, std::u16string* fallbackLink);
