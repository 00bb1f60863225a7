// plant_marker: the DLL an attacker would leave in a Downloads folder, under the
// name of a system DLL. Loaded into a process, it leaves a mark beside itself:
// "<its own path>.<the loading program's file name>.marker". It exports nothing: a
// program that really calls into it shows that too.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t mark[2 * MAX_PATH + 16], program[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(self, mark, MAX_PATH);
  const DWORD m = ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || m == 0 || m >= MAX_PATH) return TRUE;
  const wchar_t* name = program;
  for (const wchar_t* p = program; *p; ++p)
    if (*p == L'\\' || *p == L'/') name = p + 1;
  ::lstrcatW(mark, L".");
  ::lstrcatW(mark, name);
  ::lstrcatW(mark, L".marker");
  HANDLE h = ::CreateFileW(mark, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  return TRUE;
}
