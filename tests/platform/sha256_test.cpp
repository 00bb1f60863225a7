// The SHA-256 seam against the standard test vectors (FIPS 180-2 and the NIST
// byte-oriented examples), fed whole, in odd pieces and from a file.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/output_file.h"
#include "platform/sha256.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

struct Vector {
  std::string message;
  const char16_t* digest;
};

std::vector<Vector> Vectors() {
  return {
      {"", u"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", u"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       u"248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       u"cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), u"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      // 55 and 56 bytes: the last block that still fits the length, and the first that does not.
      {std::string(55, 'a'), u"9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), u"b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
  };
}

TEST(Sha256, StandardVectorsWholeAndInPieces) {
  for (const Vector& v : Vectors()) {
    uint8_t digest[platform::kSha256Bytes] = {};
    platform::Sha256 whole;
    ASSERT_TRUE(whole.Update(v.message.data(), v.message.size()));
    ASSERT_TRUE(whole.Final(digest));
    EXPECT_EQ(platform::Sha256Hex(digest), v.digest) << v.message.size();

    platform::Sha256 pieces;
    size_t at = 0, step = 1;
    while (at < v.message.size()) {
      size_t n = std::min(step, v.message.size() - at);
      ASSERT_TRUE(pieces.Update(v.message.data() + at, n));
      at += n;
      step = step * 3 + 1;  // 1, 4, 13, 40 ... crosses the 64-byte blocks at odd places
    }
    ASSERT_TRUE(pieces.Update(nullptr, 0));
    uint8_t again[platform::kSha256Bytes] = {};
    ASSERT_TRUE(pieces.Final(again));
    EXPECT_EQ(platform::Sha256Hex(again), v.digest) << v.message.size();
  }
}

TEST(Sha256, NothingFollowsTheFinalCall) {
  platform::Sha256 h;
  uint8_t digest[platform::kSha256Bytes];
  ASSERT_TRUE(h.Final(digest));
  EXPECT_FALSE(h.Update("x", 1));
  EXPECT_FALSE(h.Final(digest));
}

TEST(Sha256, FileDigestAndMissingFile) {
  testing_support::TempDir dir;
  const std::u16string path = dir.Wide() + u"/pak\u00e9t.bin";
  const std::string million(1000000, 'a');
  {
    platform::OutputFile f;
    ASSERT_TRUE(f.Create(path));
    ASSERT_TRUE(f.WriteAt(0, million.data(), million.size()));
  }
  uint8_t digest[platform::kSha256Bytes] = {};
  ASSERT_TRUE(platform::Sha256File(path, digest));
  EXPECT_EQ(platform::Sha256Hex(digest), u"cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

  uint8_t untouched[platform::kSha256Bytes] = {7};
  EXPECT_FALSE(platform::Sha256File(dir.Wide() + u"/absent.bin", untouched));
  EXPECT_EQ(untouched[0], 7);
  EXPECT_FALSE(platform::Sha256File(dir.Wide(), untouched));  // a folder is no file
}

}  // namespace
