// The publisher check against packages signed at test time with a throwaway root
// (tests/support/signing.py, run by this test's fixture), the root trusted by the
// machine for the test's length.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/output_file.h"
#include "platform/signature.h"
#include "platform/text.h"

namespace {

std::u16string SigningFile(const char* name) {
  const char* dir = std::getenv("ZARN_SIGNING_DIR");
  std::string path = std::string("Z:") + (dir ? dir : "") + "/" + name;
  for (char& c : path)
    if (c == '/') c = '\\';
  return platform::Utf8ToWide(path);
}

bool SignedBy(const char* file, const std::u16string& signer) {
  platform::HeldFile held;
  const std::u16string path = SigningFile(file);
  return held.Open(path) && platform::FileSignedBy(held, path, signer);
}

bool UnderWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

class PublisherCheck : public ::testing::Test {
 protected:
  // The root goes into the machine's trusted roots and out again.
  static void SetUpTestSuite() { ASSERT_TRUE(Trust(true)); }
  static void TearDownTestSuite() { Trust(false); }
  static bool Trust(bool add) {
    std::vector<uint8_t> der(65536);
    platform::HeldFile file;
    size_t got = 0;
    if (!file.Open(SigningFile("root.der")) || !file.ReadAt(0, der.data(), der.size(), &got)) return false;
    der.resize(got);
    HCERTSTORE store =
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_REGISTRY_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
    if (!store || der.empty()) return false;
    PCCERT_CONTEXT cert = ::CertCreateCertificateContext(X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()));
    BOOL ok = FALSE;
    if (cert && add) {
      ok = ::CertAddCertificateContextToStore(store, cert, CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    } else if (cert) {
      PCCERT_CONTEXT found = ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, cert, nullptr);
      ok = !found || ::CertDeleteCertificateFromStore(found);
    }
    if (cert) ::CertFreeCertificateContext(cert);
    ::CertCloseStore(store, 0);
    return ok;
  }
};

TEST_F(PublisherCheck, OnlyTheNamedSignerOverAnUnchangedImage) {
  EXPECT_TRUE(SignedBy("good.exe", u"Zarn Test Publisher"));
  // The name must be the certificate's, exactly.
  EXPECT_FALSE(SignedBy("good.exe", u"Other Publisher"));
  EXPECT_FALSE(SignedBy("good.exe", u"zarn test publisher"));
  EXPECT_FALSE(SignedBy("other.exe", u"Zarn Test Publisher"));
  EXPECT_FALSE(SignedBy("unsigned.exe", u"Zarn Test Publisher"));
  EXPECT_FALSE(SignedBy("tampered.exe", u"Zarn Test Publisher")) << "one byte of the signed image changed";
  EXPECT_FALSE(SignedBy("missing.exe", u"Zarn Test Publisher"));
}

TEST_F(PublisherCheck, AChainToARootTheMachineDoesNotTrustIsRefused) {
  if (UnderWine())
    GTEST_SKIP() << "Wine's WinVerifyTrust accepts a signature whose chain ends in an untrusted root (or in none)";
  EXPECT_FALSE(SignedBy("untrusted.exe", u"Zarn Test Publisher"));
}

}  // namespace
