# zarn_add_test(<name> SOURCES <files...> [LIBS <targets...>] [LABEL unit|net|e2e]
#               [NATIVE_ONLY] [WINDOWS_ONLY] [NO_MAIN] [TIMEOUT <s>])
#
# One CTest entry per test executable. Natively the entry carries the given tier
# label (unit by default); in the mingw builds every entry runs under Wine through
# CMAKE_CROSSCOMPILING_EMULATOR and carries the label "wine" (e2e stays e2e).
# Run a single case with:  ctest --test-dir build/native -R <name>
#   or the executable itself with --gtest_filter=<Suite.Case>.

if(ZARN_TESTS)
  if(WIN32)
    # GCC 12's win32 thread model has no std::mutex, which gtest's Notification
    # needs; a kernel-event stand-in is forced in ahead of gtest's own headers.
    set(ZARN_GTEST_FIX -include ${PROJECT_SOURCE_DIR}/cmake/gtest_win32_notification.h)
    if(NOT TARGET gtest)
      set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
      set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
      set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
      add_subdirectory(/usr/src/googletest/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
      # The sources Debian ships are not ours to warn about.
      target_compile_options(gtest PRIVATE -w)
      target_compile_options(gtest_main PRIVATE -w)
      target_compile_options(gtest PUBLIC ${ZARN_GTEST_FIX})
    endif()
    set(ZARN_GTEST gtest)
    set(ZARN_GTEST_MAIN gtest_main)
  else()
    find_package(GTest REQUIRED)
    set(ZARN_GTEST GTest::gtest)
    set(ZARN_GTEST_MAIN GTest::gtest_main)
  endif()
endif()

function(zarn_add_test name)
  cmake_parse_arguments(T "NATIVE_ONLY;WINDOWS_ONLY;NO_MAIN" "LABEL;TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT ZARN_TESTS)
    return()
  endif()
  if(T_NATIVE_ONLY AND WIN32)
    return()
  endif()
  if(T_WINDOWS_ONLY AND NOT WIN32)
    return()
  endif()
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${ZARN_GTEST})
  if(NOT T_NO_MAIN)
    target_link_libraries(${name} PRIVATE ${ZARN_GTEST_MAIN})
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/tests)
  if(WIN32)
    # Test programs are console programs: gtest_main provides main().
    target_link_options(${name} PRIVATE -mconsole)
    if(T_LABEL STREQUAL "e2e")
      set(tier e2e)
    else()
      set(tier wine)
    endif()
  else()
    set(tier ${T_LABEL})
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS ${tier} TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "ZARN_SOURCE_DIR=${PROJECT_SOURCE_DIR};ZARN_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# zarn_add_python_test(<name> <script>): a Python unittest program of the build's own
# tooling, labelled unit and run natively only.
function(zarn_add_python_test name script)
  if(NOT ZARN_TESTS OR WIN32)
    return()
  endif()
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME ${name} COMMAND ${Python3_EXECUTABLE} ${script})
  set_tests_properties(${name} PROPERTIES LABELS unit TIMEOUT 120)
endfunction()
