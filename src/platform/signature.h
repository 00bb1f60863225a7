// The publisher of a package, as the system's code-signing check sees it. A vendor
// who names the publisher instead of a digest can put new packages behind the same
// link without shipping a new configuration.
#pragma once

#include <string>

namespace platform {

class HeldFile;

// Whether the file at path, held open as file, carries a valid Authenticode
// signature (WinVerifyTrust with the generic verify action: no user interface,
// revocation as the system's policy has it, chain to a root the machine trusts)
// whose signing certificate's subject common name is exactly signer. The check
// reads the file through the held handle. Windows only: elsewhere there is no
// system to ask, and the answer is false.
bool FileSignedBy(HeldFile& file, const std::u16string& path, const std::u16string& signer);

}  // namespace platform
