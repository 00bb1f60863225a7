#include "platform/sha256.h"

#include <openssl/evp.h>

namespace platform {

Sha256::Sha256() {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  if (ctx && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) != 1) {
    EVP_MD_CTX_free(ctx);
    ctx = nullptr;
  }
  state_ = ctx;
  failed_ = ctx == nullptr;
}

Sha256::~Sha256() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(state_)); }

bool Sha256::Update(const void* data, size_t size) {
  if (failed_) return false;
  if (size == 0) return true;
  if (EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(state_), data, size) != 1) failed_ = true;
  return !failed_;
}

bool Sha256::Final(uint8_t digest[kSha256Bytes]) {
  if (failed_) return false;
  failed_ = true;  // nothing may follow the final call
  unsigned int n = 0;
  uint8_t out[EVP_MAX_MD_SIZE];
  if (EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(state_), out, &n) != 1 || n != kSha256Bytes) return false;
  for (size_t i = 0; i < kSha256Bytes; ++i) digest[i] = out[i];
  return true;
}

}  // namespace platform
