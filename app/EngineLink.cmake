# The engine link's tests: the wizard's forms in the test process with the real
# engine beside them, run against test drives that
# tests/engine/run-engine-link-tests.sh maps into the private Wine prefix.
set(QV_APP_ENGINE_LINK_SOURCES ${QV_APP_SOURCES})
list(FILTER QV_APP_ENGINE_LINK_SOURCES EXCLUDE REGEX "/Main\\.cpp$")
file(GLOB QV_APP_ENGINE_LINK_TESTS CONFIGURE_DEPENDS tests/engine/*_test.cpp)
add_executable(app_engine_link_tests ${QV_APP_ENGINE_LINK_SOURCES} ${QV_APP_ENGINE_LINK_TESTS}
  ${CMAKE_SOURCE_DIR}/resources/Quorvanell.rc)
target_include_directories(app_engine_link_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(app_engine_link_tests PRIVATE qv_shell qv_win_testing qv_xml version comctl32 ole32 shell32
  gtest_main gtest)
# Beside the program, where the engine and the patterns file are found.
set_target_properties(app_engine_link_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_TEST_PROGRAM_DIR})
add_dependencies(app_engine_link_tests Quorvanell QuorvanellEngine)
add_test(NAME app_engine_link_tests
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/engine/run-engine-link-tests.sh $<TARGET_FILE:app_engine_link_tests>)
set_tests_properties(app_engine_link_tests PROPERTIES TIMEOUT 600 RUN_SERIAL ON)
