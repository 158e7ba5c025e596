# Checks of the macOS front that every platform's CI runs. Included from front/ on every
# platform, so paths are spelled from this file's directory. The cross build of the front
# itself is scripts/check-macos, run by scripts/test.
if(NOT ZORVIK_TESTS)
  return()
endif()

target_sources(zorvik_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/launchd_plist_test.cpp)
