#include "platform/sha256.h"

#include <windows.h>
#include <wincrypt.h>

// The product is built for Windows XP, where some headers hide these; the values
// are CryptoAPI's own and do not change.
#ifndef PROV_RSA_AES
#define PROV_RSA_AES 24
#endif
#ifndef ALG_SID_SHA_256
#define ALG_SID_SHA_256 12
#endif
#ifndef CALG_SHA_256
#define CALG_SHA_256 (ALG_CLASS_HASH | ALG_TYPE_ANY | ALG_SID_SHA_256)
#endif

namespace platform {

Sha256::Sha256() {
  HCRYPTPROV prov = 0;
  // A verify-only context needs no key container, so nothing is written to the
  // user's profile. The AES provider is the one that knows SHA-256 on XP SP3.
  if (!::CryptAcquireContextW(&prov, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT | CRYPT_SILENT)) {
    failed_ = true;
    return;
  }
  provider_ = prov;
  HCRYPTHASH hash = 0;
  if (!::CryptCreateHash(prov, CALG_SHA_256, 0, 0, &hash)) {
    failed_ = true;
    return;
  }
  state_ = reinterpret_cast<void*>(hash);
}

Sha256::~Sha256() {
  if (state_) ::CryptDestroyHash(reinterpret_cast<HCRYPTHASH>(state_));
  if (provider_) ::CryptReleaseContext(static_cast<HCRYPTPROV>(provider_), 0);
}

bool Sha256::Update(const void* data, size_t size) {
  const BYTE* p = static_cast<const BYTE*>(data);
  while (!failed_ && size > 0) {
    // CryptHashData takes a DWORD count; feed larger blocks in pieces.
    DWORD n = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    if (!::CryptHashData(reinterpret_cast<HCRYPTHASH>(state_), p, n, 0)) failed_ = true;
    p += n;
    size -= n;
  }
  return !failed_;
}

bool Sha256::Final(uint8_t digest[kSha256Bytes]) {
  if (failed_) return false;
  failed_ = true;  // CryptoAPI refuses more data after the value was read
  BYTE out[kSha256Bytes];
  DWORD n = sizeof out;
  if (!::CryptGetHashParam(reinterpret_cast<HCRYPTHASH>(state_), HP_HASHVAL, out, &n, 0) || n != kSha256Bytes) {
    return false;
  }
  for (size_t i = 0; i < kSha256Bytes; ++i) digest[i] = out[i];
  return true;
}

}  // namespace platform
