// The installer window: one borderless skinned dialog.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "app/skin_images.h"
#include "framework/dialog.h"
#include "ui/zarn_button.h"

namespace app {

class CZarnWebInstallerDlg : public framework::CDialog {
 public:
  explicit CZarnWebInstallerDlg(framework::CWnd* parent = nullptr);
  ~CZarnWebInstallerDlg() override;

  HICON appIcon = nullptr;
  std::u16string moduleFolder;
  std::u16string stringFilePath;
  std::u16string downloadLink;
  std::u16string fallbackLink;
  std::u16string patchLink;
  std::u16string registryKey;
  std::u16string osName;
  std::u16string bitness;
  std::u16string productName;
  std::u16string targetPath;
  std::u16string statusText;
  int32_t lastShownState = 0;
  BOOL cancelRequested = FALSE;
  uint64_t bytesDone = 0;
  uint64_t bytesTotal = 0;
  HBITMAP skin[SkinImageCount] = {};
  HBITMAP progressTiles[3] = {};
  // painting state
  BOOL progressDirty = FALSE;
  BOOL statusDirty = FALSE;
  BOOL closeHot = FALSE;
  BOOL minHot = FALSE;
  BOOL dragging = FALSE;
  RECT titleRect{}, nameRect{}, bandRect{}, statusRect{}, closeRect{}, minRect{};
  ui::CZarnButton cancelButton;
  ui::CZarnButton helpLinkButton;

 protected:
  bool OnWndMsg(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
  void DoDataExchange(framework::CDataExchange* dx) override;
  BOOL OnInitDialog() override;

 private:
  void ReleaseEngineObjects();
};

}  // namespace app
