// Hashing a file through the file seam, the same on every platform.
#include <memory>

#include "platform/output_file.h"
#include "platform/sha256.h"

namespace platform {

bool Sha256File(HeldFile& file, uint8_t digest[kSha256Bytes]) {
  constexpr size_t kChunk = 65536;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kChunk]);
  Sha256 hash;
  uint64_t offset = 0;
  for (;;) {
    size_t got = 0;
    if (!file.ReadAt(offset, buffer.get(), kChunk, &got)) return false;
    if (got == 0) break;
    if (!hash.Update(buffer.get(), got)) return false;
    offset += got;
  }
  uint8_t out[kSha256Bytes];
  if (!hash.Final(out)) return false;
  for (size_t i = 0; i < kSha256Bytes; ++i) digest[i] = out[i];
  return true;
}

bool Sha256File(const std::u16string& path, uint8_t digest[kSha256Bytes]) {
  HeldFile file;
  return file.Open(path) && Sha256File(file, digest);
}

}  // namespace platform
