// The lock of one installer per package, held with a named mutex for the life of
// the process. Kept apart from the window, so that a start without one can take it.
#pragma once

#include <windows.h>

#include <string>

namespace app {

class CInstanceLock {
 public:
  CInstanceLock() = default;
  ~CInstanceLock();
  CInstanceLock(const CInstanceLock&) = delete;
  CInstanceLock& operator=(const CInstanceLock&) = delete;

  // Takes the lock for the package at packagePath; false when another installer
  // (of any session) holds it.
  bool Take(const std::u16string& packagePath);
  // Marks the window of the holder, so that a second start finds it.
  void MarkWindow(HWND hwnd);
  // Brings the holder's window to the front; false when none is marked.
  bool ActivateHolder() const;

 private:
  HANDLE mutex_ = nullptr;
  std::u16string name_;
  HWND marked_ = nullptr;
};

}  // namespace app
