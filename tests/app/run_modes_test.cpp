// What an administrator's command line asks for, the exit code a run ends with, and
// the support log's file: named, not overwritten, never in the way.
#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/exit_codes.h"
#include "app/support_log.h"
#include "support/test_support.h"

namespace app {
namespace {

using testing_support::TempDir;

std::string Contents(const std::filesystem::path& p) {
  const std::vector<uint8_t> bytes = testing_support::ReadBytes(p);
  return std::string(bytes.begin(), bytes.end());
}

TEST(CommandLine, TheSpellingsAdministratorsKnowAndNothingElse) {
  struct Case {
    std::vector<std::u16string> args;
    RunMode mode;
    bool log;
    std::u16string logFile;
    bool help;
    std::u16string unknown;
  };
  const RunMode N = RunMode::kNormal, Q = RunMode::kQuiet, P = RunMode::kPassive;
  const Case cases[] = {
      {{}, N, false, u"", false, u""},
      {{u"/quiet"}, Q, false, u"", false, u""},
      {{u"-Q"}, Q, false, u"", false, u""},
      {{u"/SILENT"}, Q, false, u"", false, u""},
      {{u"-s"}, Q, false, u"", false, u""},
      {{u"/Passive"}, P, false, u"", false, u""},
      {{u"/passive", u"/q"}, Q, false, u"", false, u""},  // the one that asks less
      {{u"/log"}, N, true, u"", false, u""},
      {{u"/LOG", u"C:\\logs\\run one.log", u"-passive"}, P, true, u"C:\\logs\\run one.log", false, u""},
      {{u"/log", u"/quiet"}, Q, true, u"", false, u""},  // a switch after /log is no file name
      {{u"/?"}, N, false, u"", true, u""},
      {{u"-Help", u"/q"}, Q, false, u"", true, u""},
      {{u"/quiet", u"/norestart"}, Q, false, u"", false, u"/norestart"},
      {{u"--quiet"}, N, false, u"", false, u"--quiet"},
      {{u"/"}, N, false, u"", false, u"/"},
      {{u"setup.exe"}, N, false, u"", false, u"setup.exe"},
      {{u"/log", u"a.log", u"b.log"}, N, true, u"a.log", false, u"b.log"},
      {{u""}, N, false, u"", false, u"\"\""},
  };
  for (const Case& c : cases) {
    std::string trace;
    for (const auto& a : c.args) trace += std::string(a.begin(), a.end()) + " ";
    SCOPED_TRACE(trace);
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.mode, c.mode);
    EXPECT_EQ(line.log, c.log);
    EXPECT_EQ(line.logFile, c.logFile);
    EXPECT_EQ(line.help, c.help);
    EXPECT_EQ(line.unknown, c.unknown);
    EXPECT_EQ(line.Bad(), !c.unknown.empty());
  }
  const std::u16string help = CommandLineHelp(u"Setup", u"/x");
  EXPECT_EQ(help.find(u"Unknown argument: /x"), 0u);
  for (const char16_t* code : {u"1602", u"1603", u"1618", u"1619", u"1622", u"1639"})
    EXPECT_NE(help.find(code), std::u16string::npos) << "the help names every exit code";
}

TEST(ExitCode, ThePackagesOwnWhenWaitedForAndTheLogOnlyWhenNothingElseFailed) {
  RunResult launched;
  launched.end = RunEnd::kLaunched;
  launched.packageStarted = true;
  EXPECT_EQ(ExitCodeFor(launched, false), 0u) << "a normal run: the package was started";
  EXPECT_EQ(ExitCodeFor(launched, true), 1622u);
  RunResult waited = launched;
  waited.waited = true;
  waited.packageExit = 3010;
  EXPECT_EQ(ExitCodeFor(waited, true), 3010u) << "passed through unchanged";
  waited.packageExit = 0;
  EXPECT_EQ(ExitCodeFor(waited, true), 1622u);
  RunResult notStarted = launched;
  notStarted.packageStarted = false;
  EXPECT_EQ(ExitCodeFor(notStarted, false), 1603u);
  const std::pair<RunEnd, uint32_t> ends[] = {{RunEnd::kCancelled, 1602}, {RunEnd::kFailed, 1603},
                                              {RunEnd::kAlreadyRunning, 1618},
                                              {RunEnd::kStartFailed, 1603}, {RunEnd::kNoConfiguration, 1619},
                                              {RunEnd::kNone, 1603}};
  for (const auto& e : ends) {
    RunResult r;
    r.end = e.first;
    EXPECT_EQ(ExitCodeFor(r, true), e.second);
  }
}

TEST(SupportLog, LinksLoseTheirCredentialsAndNothingElse) {
  EXPECT_EQ(LinkForLog(u"http://user:pa:ss@dl.example:8080/p.exe?to=a@b"), u"http://dl.example:8080/p.exe?to=a@b");
  EXPECT_EQ(LinkForLog(u"https://me@dl.example/p.exe"), u"https://dl.example/p.exe");
  EXPECT_EQ(LinkForLog(u"user:pw@dl.example/p.exe"), u"dl.example/p.exe");
  EXPECT_EQ(LinkForLog(u"https://dl.example/mail@home.exe"), u"https://dl.example/mail@home.exe");
  EXPECT_EQ(LinkForLog(u""), u"");
}

TEST(SupportLog, TimedUtf8LinesInAFileThatIsNeverOverwrittenAndNeverInTheWay) {
  TempDir dir;
  const platform::LocalTime at = {2024, 3, 9, 7, 5, 1};
  // A log waiting for its name keeps its lines, then takes a name not yet taken.
  testing_support::WriteText(dir.path() / "Zarn_ Demo_20240309070501.log", "someone else's");
  CSupportLog log(u"", 1000, at);
  log.Write(u"first, before the name \u00e9");
  log.Settle(u"Zarn: Demo", dir.Wide());
  log.Write(u"second\r\nstill the second");
  const std::filesystem::path second = dir.path() / "Zarn_ Demo_20240309070501_2.log";
  EXPECT_EQ(log.Path(), dir.Wide("Zarn_ Demo_20240309070501_2.log"));
  EXPECT_FALSE(log.Failed());
  EXPECT_EQ(Contents(dir.path() / "Zarn_ Demo_20240309070501.log"), "someone else's");
  const std::string text = Contents(second);
  EXPECT_NE(text.find(" ms  first, before the name \xc3\xa9\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" ms  second  still the second\r\n"), std::string::npos) << "one event, one line";
  log.Settle(u"Other", dir.Wide());
  EXPECT_EQ(log.Path(), dir.Wide("Zarn_ Demo_20240309070501_2.log")) << "named once";

  // A file that cannot be made: the log says so and takes every line without harm.
  CSupportLog nowhere(dir.Wide("no/such/folder/run.log"));
  EXPECT_TRUE(nowhere.Failed());
  nowhere.Write(u"lost");
  nowhere.OnStateChange(DownloadStatus{STATUS_DOWNLOAD_FAILED, 0, 0},
                        EngineFailure{FailureReason::kHttpStatus, FailureReason::kNone, 404});
  CSupportLog noFolder(u"", 0, at);
  noFolder.Write(u"lost too");
  noFolder.Settle(u"Demo", u"");
  EXPECT_TRUE(noFolder.Failed());
}

}  // namespace
}  // namespace app
