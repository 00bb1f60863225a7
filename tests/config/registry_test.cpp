#include <gtest/gtest.h>

#include "platform/registry.h"

#ifdef _WIN32
#include <windows.h>

#include <string>

#include "platform/text.h"
#include "support/test_support.h"
#endif

namespace {

using platform::LocalMachineKeyExists;
using platform::RegistryView;

TEST(Registry, LocalMachineItselfAlwaysExists) {
  EXPECT_TRUE(LocalMachineKeyExists(u"", RegistryView::k32));
  EXPECT_TRUE(LocalMachineKeyExists(u"", RegistryView::k64));
  EXPECT_FALSE(LocalMachineKeyExists(u"Software\\ZarnNoSuchKey\\Deeper", RegistryView::k32));
  EXPECT_FALSE(LocalMachineKeyExists(u"Software\\ZarnNoSuchKey\\Deeper", RegistryView::k64));
}

#ifndef _WIN32
TEST(Registry, StandInAnswersPerViewWithoutRegardToCase) {
  platform::ClearLocalMachineKeysForTest();
  platform::AddLocalMachineKeyForTest(u"SOFTWARE\\Zarn\\Product64", RegistryView::k64);
  platform::AddLocalMachineKeyForTest(u"SOFTWARE\\Zarn\\Product32", RegistryView::k32);
  EXPECT_TRUE(LocalMachineKeyExists(u"software\\zarn\\product64", RegistryView::k64));
  EXPECT_FALSE(LocalMachineKeyExists(u"software\\zarn\\product64", RegistryView::k32));
  EXPECT_TRUE(LocalMachineKeyExists(u"SOFTWARE\\Zarn\\Product32\\", RegistryView::k32));
  EXPECT_FALSE(LocalMachineKeyExists(u"SOFTWARE\\Zarn\\Product32", RegistryView::k64));
  platform::ClearLocalMachineKeysForTest();
  EXPECT_FALSE(LocalMachineKeyExists(u"SOFTWARE\\Zarn\\Product32", RegistryView::k32));
}
#else
// Runs Wine's own reg.exe, the way a vendor's setup would leave keys behind.
int RunReg(const std::wstring& args) { return testing_support::RunProgram(L"reg.exe " + args); }

// 64-bit Windows keeps two views and each sees only its own keys; 32-bit Windows
// has one, which both view flags name.
TEST(Registry, EachViewSeesTheKeysTheMachineKeepsThere) {
  const bool twoViews = testing_support::MachineIs64Bit();
  const std::wstring base = L"HKLM\\Software\\ZarnRegistryTest" + std::to_wstring(GetCurrentProcessId());
  RunReg(L"delete " + base + L"64 /f /reg:64");
  RunReg(L"delete " + base + L"32 /f /reg:32");
  ASSERT_EQ(RunReg(L"add " + base + L"64 /f /reg:64"), 0);
  ASSERT_EQ(RunReg(L"add " + base + L"32 /f /reg:32"), 0);
  const std::u16string sub = u"Software\\ZarnRegistryTest" + platform::Utf8ToWide(std::to_string(GetCurrentProcessId()));
  EXPECT_TRUE(LocalMachineKeyExists(sub + u"64", RegistryView::k64));
  EXPECT_EQ(LocalMachineKeyExists(sub + u"64", RegistryView::k32), !twoViews);
  EXPECT_TRUE(LocalMachineKeyExists(sub + u"32", RegistryView::k32));
  EXPECT_EQ(LocalMachineKeyExists(sub + u"32", RegistryView::k64), !twoViews);
  EXPECT_EQ(RunReg(L"delete " + base + L"64 /f /reg:64"), 0);
  EXPECT_EQ(RunReg(L"delete " + base + L"32 /f /reg:32"), 0);
  EXPECT_FALSE(LocalMachineKeyExists(sub + u"64", RegistryView::k64));
  EXPECT_FALSE(LocalMachineKeyExists(sub + u"32", RegistryView::k32));
}
#endif

}  // namespace
