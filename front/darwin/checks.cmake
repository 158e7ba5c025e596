# Checks of the macOS front that every platform's CI runs. Included from front/ on every
# platform, so paths are spelled from this file's directory.
if(NOT ZORVIK_TESTS)
  return()
endif()

if(NOT APPLE)
  # No Mac here: compile the .mm files against the SDK stand-in instead.
  add_test(NAME darwin-syntax COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-darwin-syntax)
  add_test(NAME darwin-syntax-self-test
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-darwin-syntax --self-test)
  set_tests_properties(darwin-syntax darwin-syntax-self-test PROPERTIES LABELS darwin-syntax)
endif()
