#include <gtest/gtest.h>

#include <vector>

#include "platform/output_file.h"
#include "platform/system.h"
#include "platform/text.h"
#include "support/test_support.h"

using testing_support::ReadBytes;
using testing_support::SmallFileSystem;
using testing_support::TempDir;

namespace {

TEST(OutputFile, PositionedWritesLandAtTheirOffsetsInAnyOrder) {
  TempDir dir;
  platform::OutputFile f;
  ASSERT_TRUE(f.Create(dir.Wide("pkg.exe")));
  const std::vector<uint8_t> a(40960, 'a'), b(40960, 'b'), c(7, 'c');
  ASSERT_TRUE(f.WriteAt(81920, c.data(), c.size()));
  ASSERT_TRUE(f.WriteAt(0, a.data(), a.size()));
  ASSERT_TRUE(f.WriteAt(40960, b.data(), b.size()));
  ASSERT_TRUE(f.Flush());
  f.Close();
  auto bytes = ReadBytes(dir.path() / "pkg.exe");
  ASSERT_EQ(bytes.size(), 81927u);
  EXPECT_EQ(bytes[0], 'a');
  EXPECT_EQ(bytes[40959], 'a');
  EXPECT_EQ(bytes[40960], 'b');
  EXPECT_EQ(bytes[81919], 'b');
  EXPECT_EQ(bytes[81926], 'c');
}

TEST(OutputFile, CreateTruncatesAndDeleteRemoves) {
  TempDir dir;
  testing_support::WriteText(dir.path() / "old.exe", "previous content that is long");
  platform::OutputFile f;
  ASSERT_TRUE(f.Create(dir.Wide("old.exe")));
  ASSERT_TRUE(f.WriteAt(0, "x", 1));
  f.Close();
  EXPECT_EQ(ReadBytes(dir.path() / "old.exe").size(), 1u);
  EXPECT_TRUE(platform::PathExists(dir.Wide("old.exe")));
  EXPECT_TRUE(platform::DeleteFileByPath(dir.Wide("old.exe")));
  EXPECT_FALSE(platform::PathExists(dir.Wide("old.exe")));
  EXPECT_FALSE(platform::DeleteFileByPath(dir.Wide("old.exe")));
}

TEST(OutputFile, FailuresAreReported) {
  TempDir dir;
  platform::OutputFile f;
  EXPECT_FALSE(f.Create(dir.Wide("no-such-folder/pkg.exe")));
  EXPECT_FALSE(f.IsOpen());
  EXPECT_FALSE(f.WriteAt(0, "x", 1));
  EXPECT_FALSE(f.Flush());
}

TEST(OutputFile, WideFileNamesRoundTrip) {
  TempDir dir;
  std::u16string name = dir.Wide() + u"/\u00c9t\u00e9 \u4e2d\u6587.exe";
  platform::OutputFile f;
  ASSERT_TRUE(f.Create(name));
  f.Close();
  EXPECT_TRUE(platform::PathExists(name));
  EXPECT_TRUE(platform::DeleteFileByPath(name));
}

TEST(OutputFile, FullFileSystemReportsFailureNotAShortWrite) {
  SmallFileSystem small(64 * 1024);
  if (!small.available()) GTEST_SKIP() << small.why();
  platform::OutputFile f;
  ASSERT_TRUE(f.Create(platform::Utf8ToWide((small.path() / "pkg.exe").u8string())));
  std::vector<uint8_t> block(40960, 'z');
  bool failed = false;
  for (uint64_t off = 0; off < 1024 * 1024 && !failed; off += block.size()) {
    failed = !f.WriteAt(off, block.data(), block.size());
  }
  EXPECT_TRUE(failed);
  EXPECT_NE(platform::LastErrorCode(), 0u);
}

TEST(Text, Utf8AndUtf16RoundTrip) {
  const std::string s = "plain \xc3\xa9 \xe4\xb8\xad \xf0\x9f\x98\x80 end";
  std::u16string w = platform::Utf8ToWide(s);
  EXPECT_EQ(w, u"plain \u00e9 \u4e2d \U0001F600 end");
  EXPECT_EQ(platform::WideToUtf8(w), s);
}

TEST(Text, IllFormedInputBecomesReplacementCharacters) {
  EXPECT_EQ(platform::Utf8ToWide("a\x80" "b"), u"a\uFFFDb");
  EXPECT_EQ(platform::Utf8ToWide("a\xc3"), u"a\uFFFD");           // cut at the end
  EXPECT_EQ(platform::Utf8ToWide("\xc0\xaf"), u"\uFFFD");          // overlong
  EXPECT_EQ(platform::Utf8ToWide("\xed\xa0\x80"), u"\uFFFD");      // encoded surrogate
  EXPECT_EQ(platform::Utf8ToWide("\xf5\x80\x80\x80"), u"\uFFFD");  // beyond U+10FFFF
  EXPECT_EQ(platform::WideToUtf8(std::u16string(1, char16_t(0xD800))), "\xef\xbf\xbd");
}

TEST(System, ErrorMessageIsOneLineAndExecutablePathIsAbsolute) {
  platform::OutputFile f;
  TempDir dir;
  EXPECT_FALSE(f.Create(dir.Wide("missing/x")));
  uint32_t code = platform::LastErrorCode();
  EXPECT_NE(code, 0u);
  std::u16string msg = platform::ErrorMessage(code);
  EXPECT_FALSE(msg.empty());
  EXPECT_EQ(msg.find_first_of(u"\r\n"), std::u16string::npos);
  std::u16string exe = platform::ExecutablePath();
  ASSERT_FALSE(exe.empty());
#ifdef _WIN32
  EXPECT_EQ(exe[1], u':');
#else
  EXPECT_EQ(exe[0], u'/');
#endif
}

}  // namespace
