// SHA-256 from the system's own cryptography: CryptoAPI on Windows (the AES
// provider, present since Windows XP SP3), libcrypto elsewhere. The package is
// checked with it before it is started, so the digest must come from a maintained
// implementation rather than one of ours.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

constexpr size_t kSha256Bytes = 32;

// An incremental hasher. Every call reports failure rather than a wrong digest:
// once a call has failed, the hasher stays failed.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  bool Update(const void* data, size_t size);
  // Ends the hash; the hasher takes no more data afterwards.
  bool Final(uint8_t digest[kSha256Bytes]);

 private:
  void* state_ = nullptr;  // the backend's context; null when it could not be made
  bool failed_ = false;
#ifdef _WIN32
  uintptr_t provider_ = 0;
#endif
};

class HeldFile;

// The digest of the whole file at path, read from disk as it is now; false when
// the file cannot be opened or read (the digest is then left as it was).
bool Sha256File(const std::u16string& path, uint8_t digest[kSha256Bytes]);
// The same through a file already held open, from its first byte.
bool Sha256File(HeldFile& file, uint8_t digest[kSha256Bytes]);

// The digest as 64 lower-case hex digits, the form the configuration is compared in.
inline std::u16string Sha256Hex(const uint8_t digest[kSha256Bytes]) {
  static const char16_t kDigits[] = u"0123456789abcdef";
  std::u16string out;
  out.reserve(2 * kSha256Bytes);
  for (size_t i = 0; i < kSha256Bytes; ++i) {
    out += kDigits[digest[i] >> 4];
    out += kDigits[digest[i] & 15];
  }
  return out;
}

}  // namespace platform
