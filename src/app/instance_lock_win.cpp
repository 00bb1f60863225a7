#include "app/instance_lock_win.h"

#include "app/instance_lock.h"
#include "platform/text.h"

namespace app {

namespace {

// One spelling per file: the folder as its long path (a short 8.3 name of the same
// folder would otherwise be another lock), upper-cased as the file system compares.
std::u16string CanonicalPath(const std::u16string& path) {
  std::u16string folder = path, file;
  const size_t slash = path.rfind(u'\\');
  if (slash != std::u16string::npos) {
    folder = path.substr(0, slash);
    file = path.substr(slash);
  }
  wchar_t buffer[32768];
  const DWORD n = ::GetLongPathNameW(platform::W(folder), buffer, 32768);
  std::u16string canonical = (n > 0 && n < 32768 ? platform::FromW(buffer, n) : folder) + file;
  if (!canonical.empty())
    ::CharUpperBuffW(platform::W(&canonical[0]), static_cast<DWORD>(canonical.size()));
  return canonical;
}

struct HolderSearch {
  const wchar_t* property;
  HWND found;
};

BOOL CALLBACK FindHolder(HWND hwnd, LPARAM lp) {
  auto* search = reinterpret_cast<HolderSearch*>(lp);
  if (!::GetPropW(hwnd, search->property)) return TRUE;
  search->found = hwnd;
  return FALSE;
}

}  // namespace

CInstanceLock::~CInstanceLock() {
  if (marked_ && ::IsWindow(marked_)) ::RemovePropW(marked_, platform::W(name_));
  if (mutex_) ::CloseHandle(mutex_);
}

bool CInstanceLock::Take(const std::u16string& packagePath) {
  name_ = InstanceLockName(CanonicalPath(packagePath));
  // Global: an installer of another session writing the same file is as much in
  // the way as one of this session.
  const std::u16string objectName = u"Global\\" + name_;
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, platform::W(objectName));
  const DWORD error = ::GetLastError();
  // Another user's mutex may refuse us access: it is there all the same.
  if (!mutex) return error != ERROR_ACCESS_DENIED;
  if (error == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return false;
  }
  mutex_ = mutex;
  return true;
}

void CInstanceLock::MarkWindow(HWND hwnd) {
  if (!mutex_ || !hwnd) return;
  if (::SetPropW(hwnd, platform::W(name_), reinterpret_cast<HANDLE>(1))) marked_ = hwnd;
}

bool CInstanceLock::ActivateHolder() const {
  HolderSearch search{platform::W(name_), nullptr};
  ::EnumWindows(&FindHolder, reinterpret_cast<LPARAM>(&search));
  if (!search.found) return false;
  if (::IsIconic(search.found)) ::ShowWindowAsync(search.found, SW_RESTORE);
  ::SetForegroundWindow(search.found);
  return true;
}

}  // namespace app
