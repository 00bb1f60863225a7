// The program reports through results, never through exceptions; the library's
// throw helpers are only reached on conditions it does not handle (out of memory,
// a string past its maximum size). Ending the process there at once keeps the
// exception and demangling machinery, a large part of the download, out of the exe.
#include <windows.h>

namespace {
[[noreturn]] void Fatal() {
  ::TerminateProcess(::GetCurrentProcess(), 3);
  __builtin_unreachable();
}
}  // namespace

namespace std {
[[noreturn]] void __throw_bad_cast() { Fatal(); }
[[noreturn]] void __throw_bad_alloc() { Fatal(); }
[[noreturn]] void __throw_bad_typeid() { Fatal(); }
[[noreturn]] void __throw_logic_error(const char*) { Fatal(); }
[[noreturn]] void __throw_range_error(const char*) { Fatal(); }
[[noreturn]] void __throw_domain_error(const char*) { Fatal(); }
[[noreturn]] void __throw_length_error(const char*) { Fatal(); }
[[noreturn]] void __throw_out_of_range(const char*) { Fatal(); }
[[noreturn]] void __throw_bad_exception() { Fatal(); }
[[noreturn]] void __throw_runtime_error(const char*) { Fatal(); }
[[noreturn]] void __throw_overflow_error(const char*) { Fatal(); }
[[noreturn]] void __throw_underflow_error(const char*) { Fatal(); }
[[noreturn]] void __throw_invalid_argument(const char*) { Fatal(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { Fatal(); }
[[noreturn]] void __throw_bad_array_new_length() { Fatal(); }
}  // namespace std

namespace __gnu_cxx {
[[noreturn]] void __verbose_terminate_handler() { Fatal(); }
}  // namespace __gnu_cxx
