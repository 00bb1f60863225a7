// The road from the program's folder to an engine that can start, as the window has
// always taken it and as an unattended run takes it too: the machine's identity,
// the paths beside the program, the download plan and the package's path, and what
// the run must say when the configuration gives nothing to download.
#pragma once

#include <string>

#include "app/support_log.h"
#include "config/download_plan.h"
#include "config/kit_files.h"
#include "download/download_manager.h"

namespace app {

struct RunStart {
  enum Verdict {
    kReady,
    kXmlMissing,        // "Xml file is missing!": no configuration, or no link for this machine
    kUnrecognizedUrl,   // "Unrecognized URL": no link parses, even with "http://"
  };
  std::u16string modulePath;
  std::u16string osName;
  std::u16string bitness;
  // Where the configuration and the texts come from, with the paths beside the
  // program filled in.
  KitFiles kit;
  std::u16string targetPath;
  DownloadPlan plan;
  Verdict verdict = kUnrecognizedUrl;
};

// The folder of a program's path: up to its last backslash; empty without one.
std::u16string FolderOf(const std::u16string& path);

// Reads the platform identity, forms the paths and the plan, from the files beside
// the program at modulePath or from what it carries (kit, as LoadEmbeddedKit left
// it). A modulePath without a folder reads nothing and ends at "Unrecognized URL".
// What was found goes to log, when there is one, which is named after the product
// from here on.
RunStart PrepareRun(const std::u16string& modulePath, const KitFiles& kit, CSupportLog* log);

// Starts the engine for a prepared run, as StartDownloadEngine does, except that a
// program named like its own package is not downloaded over: false then, and
// nothing runs. The log hears why a start failed.
bool StartRunEngine(const RunStart& run, CSupportLog* log);

}  // namespace app
