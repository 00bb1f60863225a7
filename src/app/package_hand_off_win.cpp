#include "app/package_hand_off.h"

#include <shellapi.h>

#include "download/download_manager.h"
#include "platform/text.h"

namespace app {

PackageProcess HandOffPackage(HWND owner, const std::u16string& path, const std::u16string& arguments,
                              CSupportLog* log) {
  SHELLEXECUTEINFOW sei = {};
  sei.cbSize = sizeof sei;
  // The process handle is what ends the hold: by the time the shell returns it,
  // the image is mapped and the file can no longer change under it.
  sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  sei.hwnd = owner;
  sei.lpVerb = L"open";
  sei.lpFile = platform::W(path);
  sei.lpParameters = arguments.empty() ? nullptr : platform::W(arguments);
  sei.nShow = SW_SHOWDEFAULT;
  PackageProcess result;
  if (::ShellExecuteExW(&sei)) {
    result.process = sei.hProcess;
  } else {
    result.error = ::GetLastError();
  }
  ReleaseHeldPackage();
  if (log) log->PackageStarted(path, arguments, result.process != nullptr, result.error);
  return result;
}

bool WaitForPackage(HANDLE process, uint32_t* exitCode) {
  if (::WaitForSingleObject(process, INFINITE) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) return false;
  *exitCode = code;
  return true;
}

}  // namespace app
