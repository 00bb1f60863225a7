#include "app/run_start.h"

#include "config/platform_identity.h"
#include "config/ui_strings.h"
#include "platform/output_file.h"
#include "platform/text.h"

namespace app {

namespace {

std::u16string LinkLine(const char16_t* what, const PackageLink& link, bool repaired) {
  std::u16string line = std::u16string(what) + u": " + (link.url.empty() ? u"none" : LinkForLog(link.url));
  if (repaired) line += u" (\"http://\" put in front)";
  if (!link.sha256.empty()) line += u", sha256 " + link.sha256;
  if (!link.quietArgs.empty()) line += u", quiet arguments \"" + link.quietArgs + u"\"";
  return line;
}

void Log(const RunStart& run, const std::u16string& moduleFolder, CSupportLog* log) {
  const DownloadPlan& plan = run.plan;
  log->Write(run.osName.empty() ? u"machine: not recognised (no version name, no bitness)"
                                : u"machine: " + run.osName + u", " + run.bitness + u"-bit");
  log->Write(u"folder: " + (moduleFolder.empty() ? u"unknown: nothing is read" : moduleFolder));
  if (moduleFolder.empty()) return;
  log->Write(u"configuration " + (run.kit.embedded ? u"carried in the program" : run.kit.configPath) + u": " +
             (plan.configRead ? u"read" : u"not read: " + plan.configResult));
  if (plan.configRead) {
    log->Write(u"product \"" + plan.productName + u"\", registry key \"" + plan.registryKey + u"\" in the " +
               (run.bitness.empty() ? u"(no)" : run.bitness + u"-bit") + u" view: " +
               (plan.installed ? u"present" : u"absent"));
  }
  if (!plan.hasLink) return;
  if (plan.installed) {
    log->Write(plan.patch ? u"patch rule: installed, the patch link replaces the download link"
                          : u"patch rule: installed, but no patch link for this machine: the download link stays");
  }
  log->Write(LinkLine((u"download link (the entry for " + run.osName + u" " + run.bitness + u"-bit)").c_str(),
                      plan.download, plan.downloadRepaired));
  log->Write(LinkLine(u"fallback link", plan.fallback, plan.fallbackRepaired));
  log->Write(u"retries: " + platform::Decimal(plan.retries));
  log->Write(u"package file: " + run.targetPath);
}

}  // namespace

std::u16string FolderOf(const std::u16string& path) {
  const size_t slash = path.rfind(u'\\');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

RunStart PrepareRun(const std::u16string& modulePath, const KitFiles& kit, CSupportLog* log) {
  RunStart run;
  run.modulePath = modulePath;
  run.kit = kit;
  const std::u16string moduleFolder = FolderOf(modulePath);
  ReadPlatformIdentity(run.osName, run.bitness);
  run.kit.stringFilePath = kUiStringFileName;
  if (!moduleFolder.empty()) {
    run.kit.stringFilePath = moduleFolder + u"\\" + kUiStringFileName;
    run.kit.configPath = moduleFolder + u"\\" + kInstallerConfigFileName;
    run.plan = ResolveDownloadPlan(run.kit, run.osName, run.bitness);
    if (run.plan.hasLink) run.targetPath = moduleFolder + u"\\" + run.plan.packageFileName;
  }
  run.verdict = !moduleFolder.empty() && !run.plan.hasLink ? RunStart::kXmlMissing
                : !run.plan.linksParse                    ? RunStart::kUnrecognizedUrl
                                                          : RunStart::kReady;
  if (log) {
    log->SetKit(run.kit);
    log->Settle(run.plan.productName.empty() ? u"ZarnWebInstaller" : run.plan.productName);
    Log(run, moduleFolder, log);
    if (run.verdict == RunStart::kXmlMissing) log->Write(u"no link for this machine: \"Xml file is missing!\"");
    if (run.verdict == RunStart::kUnrecognizedUrl) log->Write(u"no link parses: \"Unrecognized URL\"");
  }
  return run;
}

bool StartRunEngine(const RunStart& run, CSupportLog* log) {
  // A program named like its own package would have the download overwrite it
  // (and a failed one delete it).
  if (platform::SameFile(run.targetPath, run.modulePath)) {
    if (log) log->Write(u"the package would overwrite the program itself: nothing is downloaded");
    return false;
  }
  EngineSettings settings;
  settings.download = run.plan.download;
  settings.fallback = run.plan.fallback;
  settings.targetPath = run.targetPath;
  settings.retries = run.plan.retries;
  settings.segments = run.plan.segments;
  settings.events = log;
  if (StartDownloadEngine(settings)) return true;
  if (log) log->Write(u"the download could not start: " + FailureForLog(ReadDownloadFailure()));
  return false;
}

}  // namespace app
