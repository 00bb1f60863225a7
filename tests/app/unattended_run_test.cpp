// The run without a window against the loopback server: the same plan, engine and
// monitor decisions as the window's, the package handed on with the quiet arguments
// of the link it came from, and a log a support desk can read.
#include <gtest/gtest.h>

#include "app/unattended_run.h"
#include "platform/text.h"
#include "support/test_support.h"
#include "testserver/test_server.h"
#include "xml/xml_document.h"

namespace app {
namespace {

using testing_support::TempDir;

class UnattendedRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Start(0));
    testing_support::WriteText(root.path() / "p.bin", std::string(30000, 'z'));
  }
  std::u16string Link(const std::string& pathAndQuery) { return platform::Utf8ToWide(server.Url(pathAndQuery)); }
  // Windows 7 64-bit has its own link; the default entry gives the fallback.
  RunStart Prepared(const std::u16string& own, const std::u16string& fallback) {
    CXmlDocument doc(u"<zarnwebinstaller><product><name>P</name><registry>SOFTWARE\\Absent</registry>"
                     u"<installerInfo default=\"YES\"><os>Windows XP</os><bit>64</bit><rlink quietArgs=\"/S /fallback\">" +
                     fallback +
                     u"</rlink></installerInfo><installerInfo><os>Windows 7</os><bit>64</bit>"
                     u"<rlink quietArgs=\"/own\">" + own + u"</rlink></installerInfo></product></zarnwebinstaller>");
    RunStart run;
    run.plan = ResolveDownloadPlanAs(doc, u"Windows 7", u"64", false);
    run.targetPath = out.Wide("P.exe");
    run.verdict = run.plan.hasLink && run.plan.linksParse ? RunStart::kReady : RunStart::kXmlMissing;
    return run;
  }
  RunResult Run(const RunStart& run, CSupportLog* log) {
    started.clear();
    return RunUnattended(run, log,
                         [this](const std::u16string& path, const std::u16string& args) {
                           started.push_back({path, args});
                           return true;
                         },
                         &platform::SleepMs);
  }
  std::string Log() {
    const std::vector<uint8_t> bytes = testing_support::ReadBytes(out.path() / "run.log");
    return std::string(bytes.begin(), bytes.end());
  }

  TempDir root, out;
  testserver::TestServer server{root.path().string()};
  std::vector<std::pair<std::u16string, std::u16string>> started;
};

TEST_F(UnattendedRun, TheFallbacksQuietArgumentsAndALogWithoutCredentials) {
  // The own link answers 404; the fallback, with credentials in it, has the package.
  std::string withCredentials = server.Url("/p.bin");
  withCredentials.insert(7, "admin:s3cret@");
  RunStart run = Prepared(Link("/missing.bin"), platform::Utf8ToWide(withCredentials));
  CSupportLog log(out.Wide("run.log"));
  RunResult r = Run(run, &log);
  EXPECT_EQ(r.end, RunEnd::kLaunched);
  EXPECT_TRUE(r.packageStarted);
  ASSERT_EQ(started.size(), 1u) << "started once";
  EXPECT_EQ(started[0].first, run.targetPath);
  EXPECT_EQ(started[0].second, u"/S /fallback") << "the arguments of the link the package came from";
  EXPECT_TRUE(platform::PathExists(run.targetPath));
  const std::string text = Log();
  EXPECT_NE(text.find("probe " + server.Url("/missing.bin") + ": status 404"), std::string::npos) << text;
  EXPECT_NE(text.find("transfer " + server.Url("/p.bin") + " bytes=0-29999: status 206"), std::string::npos) << text;
  EXPECT_NE(text.find("state 8 \"Preparing installation...\""), std::string::npos) << text;
  EXPECT_EQ(text.find("s3cret"), std::string::npos) << "a password in the log";
  EXPECT_FALSE(log.Failed());

  // Neither link gives a size: the failure, no package, nothing started.
  platform::DeleteFileByPath(run.targetPath);
  RunStart none = Prepared(Link("/missing.bin"), Link("/p.bin?status=503"));
  CSupportLog failed(out.Wide("run.log"));
  r = Run(none, &failed);
  EXPECT_EQ(r.end, RunEnd::kFailed);
  EXPECT_EQ(ExitCodeFor(r, false), kExitFailed);
  EXPECT_TRUE(started.empty());
  EXPECT_FALSE(platform::PathExists(none.targetPath));
  EXPECT_NE(Log().find("reason 1 no-size"), std::string::npos) << Log();

  // No usable configuration: its own end, and the server never hears of it.
  server.ClearRequests();
  RunStart missing;
  missing.verdict = RunStart::kXmlMissing;
  EXPECT_EQ(Run(missing, nullptr).end, RunEnd::kNoConfiguration);
  EXPECT_TRUE(server.Requests().empty());
}

}  // namespace
}  // namespace app
