// The application object: reads the command line, runs the installer window (or,
// with /quiet, the run without it), waits for the package of an unattended run and
// ends with the run's exit code.
#pragma once

#include <cstdint>

#include "framework/app.h"

namespace app {

class CZarnWebInstallerApp : public framework::CWinApp {
 public:
  BOOL InitInstance() override;
  int ExitInstance() override { return static_cast<int>(exitCode); }

  uint32_t exitCode = 0;
};

extern CZarnWebInstallerApp theApp;

}  // namespace app
