# The release's version, from one place: the file VERSION (three numbers), refined
# by `git describe` where the sources are a repository. A copy of the sources
# without history (the reproducibility check's second build) is given the same
# answer through -DZARN_VERSION=... and SOURCE_DATE_EPOCH in the environment.
#
#   ZARN_VERSION          the text shown: 1.0.0, 1.0.0-4-gabc1234 after a tag v1.0.0,
#                         1.0.0-gabc1234 without any tag; "-dirty" for a changed tree
#   ZARN_VERSION_NUMBERS  the four numbers of FILEVERSION: major,minor,patch,commits
#   ZARN_SOURCE_DATE_EPOCH  the commit's time (what the zip's dates and the copyright
#                         year come from); the environment's SOURCE_DATE_EPOCH wins
file(STRINGS ${PROJECT_SOURCE_DIR}/VERSION zarn_base LIMIT_COUNT 1)
string(STRIP "${zarn_base}" zarn_base)
if(NOT zarn_base MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "VERSION must hold three numbers like 1.2.3, not '${zarn_base}'")
endif()

set(ZARN_VERSION "" CACHE STRING "the release's version text (empty: from VERSION and git describe)")
set(zarn_version "${ZARN_VERSION}")
find_package(Git QUIET)
if(NOT zarn_version AND GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT_EXECUTABLE} describe --tags --match "v[0-9]*" --always --dirty
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE zarn_describe OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE zarn_rc ERROR_QUIET)
  if(zarn_rc EQUAL 0 AND zarn_describe MATCHES "^v(.*)$")
    set(zarn_version "${CMAKE_MATCH_1}")
  elseif(zarn_rc EQUAL 0 AND zarn_describe)
    set(zarn_version "${zarn_base}-g${zarn_describe}")
  endif()
endif()
if(NOT zarn_version)
  set(zarn_version "${zarn_base}")
endif()
if(NOT zarn_version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)(-([0-9]+)-g)?")
  message(FATAL_ERROR "the version '${zarn_version}' does not start with three numbers")
endif()
set(zarn_commits 0)
if(CMAKE_MATCH_5)
  set(zarn_commits ${CMAKE_MATCH_5})
endif()
set(ZARN_VERSION_TEXT "${zarn_version}")
set(ZARN_VERSION_NUMBERS "${CMAKE_MATCH_1},${CMAKE_MATCH_2},${CMAKE_MATCH_3},${zarn_commits}")

if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(ZARN_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
elseif(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE ZARN_SOURCE_DATE_EPOCH OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
endif()
if(NOT ZARN_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  set(ZARN_SOURCE_DATE_EPOCH 315532800)  # 1980-01-01, the earliest date a zip holds
endif()
set(zarn_saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} "${ZARN_SOURCE_DATE_EPOCH}")
string(TIMESTAMP ZARN_COPYRIGHT_YEAR "%Y" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${zarn_saved_epoch}")
