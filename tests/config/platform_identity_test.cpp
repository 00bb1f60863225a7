#include <gtest/gtest.h>

#include "config/platform_identity.h"
#include "platform/os_identity.h"

namespace {

TEST(PlatformIdentity, EveryVersionRowGivesItsName) {
  struct Row {
    uint32_t platformId, major, minor;
    const char16_t* name;
  } rows[] = {
      {2, 4, 0, u""},            {2, 4, 10, u""},              {2, 5, 0, u""},  // NT 4, 2000
      {2, 5, 1, u"Windows XP"},  {2, 5, 2, u"Windows XP"},                   // XP, 2003 / XP x64
      {2, 6, 0, u"Windows Vista"}, {2, 6, 1, u"Windows 7"},
      {2, 6, 2, u"Windows 8"},   {2, 6, 3, u"Windows 8"},  {2, 6, 4, u"Windows 8"},
      {2, 10, 0, u"Windows 8"},  {2, 10, 1, u"Windows 8"},                   // true numbers of 10/11
      {1, 5, 1, u""},            {0, 6, 1, u""},                             // 9x family, Win32s
      {3, 6, 1, u"Windows 7"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(OsNameForVersion(r.platformId, r.major, r.minor), r.name)
        << r.platformId << " " << r.major << "." << r.minor;
  }
}

TEST(PlatformIdentity, OnlyX64AndItaniumAre64Bit) {
  EXPECT_EQ(BitnessForArchitecture(9), u"64");
  EXPECT_EQ(BitnessForArchitecture(6), u"64");
  for (uint16_t a : {0, 5, 10, 12, 0xFFFF}) EXPECT_EQ(BitnessForArchitecture(a), u"32") << a;
}

#ifndef _WIN32
TEST(PlatformIdentity, StandInIsUnrecognisedUntilAVersionIsSet) {
  std::u16string os = u"x", bit = u"y";
  platform::ClearOsVersionForTest();
  EXPECT_FALSE(ReadPlatformIdentity(os, bit));
  EXPECT_EQ(os, u"x");
  EXPECT_EQ(bit, u"y");

  platform::SetOsVersionForTest({2, 5, 0});
  EXPECT_FALSE(ReadPlatformIdentity(os, bit));
  EXPECT_EQ(bit, u"y");

  platform::SetProcessorArchitectureForTest(9);
  platform::SetOsVersionForTest({2, 6, 1});
  EXPECT_TRUE(ReadPlatformIdentity(os, bit));
  EXPECT_EQ(os, u"Windows 7");
  EXPECT_EQ(bit, u"64");
  platform::SetProcessorArchitectureForTest(0);
  platform::SetOsVersionForTest({2, 5, 2});
  EXPECT_TRUE(ReadPlatformIdentity(os, bit));
  EXPECT_EQ(os, u"Windows XP");
  EXPECT_EQ(bit, u"32");
  platform::ClearOsVersionForTest();
  platform::SetProcessorArchitectureForTest(9);
}
#endif

}  // namespace

#ifdef _WIN32
#include <windows.h>

#include <string>

#include "platform/system.h"
#include "platform/text.h"
#include "support/test_support.h"

namespace {

// Wine reads the version to report for a program from its AppDefaults key at
// start; the key names only the probe, and is removed again afterwards.
TEST(PlatformIdentityUnderWine, ReportsTheVersionWineIsSetTo) {
  std::wstring exe = reinterpret_cast<const wchar_t*>(platform::ExecutablePath().c_str());
  exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"os_identity_probe.exe";
  const std::wstring key = L"HKCU\\Software\\Wine\\AppDefaults\\os_identity_probe.exe";
  // The bitness is the machine's, not the program's: "64" for this 32-bit probe on
  // 64-bit Windows, "32" on 32-bit Windows.
  const std::string bit = testing_support::MachineIs64Bit() ? "64" : "32";
  struct Row {
    const wchar_t* wineVersion;
    const char* name;
  } rows[] = {
      {L"winxp64", "Windows XP"}, {L"vista", "Windows Vista"}, {L"win7", "Windows 7"},
      {L"win81", "Windows 8"},    {L"win10", "Windows 8"},
  };
  for (const Row& r : rows) {
    ASSERT_EQ(testing_support::RunProgram(L"reg.exe add " + key + L" /v Version /d " + r.wineVersion + L" /f", nullptr), 0);
    std::string out;
    EXPECT_EQ(testing_support::RunProgram(L"\"" + exe + L"\"", &out), 0);
    // Output through the console may carry \r\n.
    std::string clean;
    for (char c : out)
      if (c != '\r') clean.push_back(c);
    EXPECT_EQ(clean, std::string("1|") + r.name + "|" + bit + "\n") << platform::WideToUtf8(platform::FromW(r.wineVersion));
  }
  EXPECT_EQ(testing_support::RunProgram(L"reg.exe delete " + key + L" /f", nullptr), 0);
}

}  // namespace
#endif
