# The Windows versions the build is held to, and the check of what the shipped
# programs import.

# zarn_windows_floor(product|tests): sets _WIN32_WINNT, WINVER and NTDDI_VERSION for
# the targets of the current directory and the folders added after the call.
#   product: Windows XP SP3 for the i686 build; the x86-64 build (a test vehicle)
#            takes the first x64 Windows, XP x64 / Server 2003 SP1.
#            SP3 rather than plain XP: mingw's wincrypt.h shows CALG_SHA_256 only
#            above SP2, which is also where CryptoAPI gained SHA-256.
#   tests:   Windows 7.
function(zarn_windows_floor kind)
  if(NOT WIN32)
    return()
  endif()
  if(kind STREQUAL "product")
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(winnt 0x0501)
      set(ntddi 0x05010300)
    else()
      set(winnt 0x0502)
      set(ntddi 0x05020100)
    endif()
  elseif(kind STREQUAL "tests")
    set(winnt 0x0601)
    set(ntddi 0x06010000)
  else()
    message(FATAL_ERROR "zarn_windows_floor: product or tests, not ${kind}")
  endif()
  get_directory_property(defs COMPILE_DEFINITIONS)
  list(FILTER defs EXCLUDE REGEX "^(_WIN32_WINNT|WINVER|NTDDI_VERSION)=")
  list(APPEND defs _WIN32_WINNT=${winnt} WINVER=${winnt} NTDDI_VERSION=${ntddi})
  set_directory_properties(PROPERTIES COMPILE_DEFINITIONS "${defs}")
endfunction()

# zarn_check_imports(<target>...): a CTest entry "imports" (label imports) that reads
# the built programs' import tables against cmake/windows_imports.txt and fails on
# anything the i686 floor, Windows XP SP3, does not have, and on a statically
# imported DLL that cmake/known_dlls.txt does not name. The x86-64 build is a test
# vehicle, not shipped, and gets no such check.
# Targets after KNOWN_DLLS_ONLY (tools that need not start on XP) are held to the
# KnownDLLs rule alone.
function(zarn_check_imports)
  if(NOT WIN32 OR NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    return()
  endif()
  cmake_parse_arguments(C "" "" "KNOWN_DLLS_ONLY" ${ARGN})
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(programs)
  foreach(t IN LISTS C_UNPARSED_ARGUMENTS)
    list(APPEND programs $<TARGET_FILE:${t}>)
  endforeach()
  foreach(t IN LISTS C_KNOWN_DLLS_ONLY)
    list(APPEND programs --known-dlls-only $<TARGET_FILE:${t}>)
  endforeach()
  add_test(NAME imports
    COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/check_imports.py
      --objdump ${CMAKE_OBJDUMP} --allowed ${PROJECT_SOURCE_DIR}/cmake/windows_imports.txt
      --known-dlls ${PROJECT_SOURCE_DIR}/cmake/known_dlls.txt --floor XPSP3
      ${programs})
  set_tests_properties(imports PROPERTIES LABELS imports TIMEOUT 60)
endfunction()
