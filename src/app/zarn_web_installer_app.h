// The application object: runs the installer window and ends with it.
#pragma once

#include "framework/app.h"

namespace app {

class CZarnWebInstallerApp : public framework::CWinApp {
 public:
  BOOL InitInstance() override;
};

extern CZarnWebInstallerApp theApp;

}  // namespace app
