# The dialogs' share of the program's build: their form definitions in the
# program's resources, the help file beside the program, and their tests.

set(QV_DIALOG_FORMS ${CMAKE_SOURCE_DIR}/resources/Dialogs.rc ${CMAKE_SOURCE_DIR}/resources/forms/AboutForm.qvf
  ${CMAKE_SOURCE_DIR}/resources/forms/AdvancedParamsForm.qvf ${CMAKE_SOURCE_DIR}/resources/forms/LanguageSelectForm.qvf
  ${CMAKE_SOURCE_DIR}/resources/forms/ColumnForm.qvf)
set_property(SOURCE ${CMAKE_SOURCE_DIR}/resources/Quorvanell.rc APPEND PROPERTY OBJECT_DEPENDS ${QV_DIALOG_FORMS})

# Quorvanell.chm: the pages of resources/help compiled by chmcmd (fp-utils)
# in a copy under the build tree, then placed in the program folder.
find_program(QV_CHMCMD chmcmd)
file(GLOB QV_HELP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/resources/help/*.hh?
  ${CMAKE_SOURCE_DIR}/resources/help/files/*)
if(QV_CHMCMD)
  set(QV_HELP_WORK ${CMAKE_BINARY_DIR}/help)
  add_custom_command(OUTPUT ${QV_PROGRAM_DIR}/Quorvanell.chm
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${QV_HELP_WORK}
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/resources/help ${QV_HELP_WORK}
    COMMAND ${CMAKE_COMMAND} -E chdir ${QV_HELP_WORK} ${QV_CHMCMD} --no-html-scan Quorvanell.hhp
    COMMAND ${CMAKE_COMMAND} -E copy ${QV_HELP_WORK}/Quorvanell.chm ${QV_PROGRAM_DIR}/Quorvanell.chm
    COMMAND ${CMAKE_COMMAND} -E copy ${QV_HELP_WORK}/Quorvanell.chm ${QV_TEST_PROGRAM_DIR}/Quorvanell.chm
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
    DEPENDS ${QV_HELP_SOURCES}
    COMMENT "Compiling the help file Quorvanell.chm"
    VERBATIM)
  add_custom_target(QuorvanellHelp ALL DEPENDS ${QV_PROGRAM_DIR}/Quorvanell.chm)
  add_dependencies(Quorvanell QuorvanellHelp)
else()
  message(WARNING "chmcmd not found (Debian package fp-utils): Quorvanell.chm is not built")
endif()

# The dialogs in the test process: their sources and the start-up services
# they stand on, with the program's resources. The tests run in a folder of
# their own, where they lay out language files as the program's folder would.
file(GLOB QV_APP_DIALOG_SOURCES CONFIGURE_DEPENDS HtmlHelp*.cpp AboutForm*.cpp PreferencesForm*.cpp
  SelectLanguageForm*.cpp LngFileList*.cpp BrowseDir*.cpp ExImageList*.cpp Settings.cpp Language.cpp Utils*.cpp
  IORoutines*.cpp XPTheme*.cpp OleStartup*.cpp Units*.cpp StartupTrace.cpp MiscTexts*.cpp)
file(GLOB QV_APP_DIALOG_TESTS CONFIGURE_DEPENDS tests/dialogs/*_test.cpp tests/dialogs/*Helpers.cpp)
qv_add_test(app_dialogs_tests SOURCES ${QV_APP_DIALOG_SOURCES} ${QV_APP_DIALOG_TESTS}
  ${CMAKE_SOURCE_DIR}/resources/Quorvanell.rc LIBS qv_win_testing qv_xml version comctl32 ole32 shell32)
target_include_directories(app_dialogs_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
set_target_properties(app_dialogs_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dialogs)
set_tests_properties(app_dialogs_tests PROPERTIES RUN_SERIAL TRUE)
if(TARGET QuorvanellHelp)
  add_dependencies(app_dialogs_tests QuorvanellHelp)
endif()

# The dialogs as the wizard reaches them: every program source but the entry,
# beside the program (its patterns file).
set(QV_APP_DIALOG_WIZARD_SOURCES ${QV_APP_SOURCES})
list(FILTER QV_APP_DIALOG_WIZARD_SOURCES EXCLUDE REGEX "/Main\\.cpp$")
file(GLOB QV_APP_DIALOG_WIZARD_TESTS CONFIGURE_DEPENDS tests/dialogs/wizard/*_test.cpp)
qv_add_test(app_dialogs_wizard_tests SOURCES ${QV_APP_DIALOG_WIZARD_SOURCES} ${QV_APP_DIALOG_WIZARD_TESTS}
  tests/dialogs/DialogsHelpers.cpp ${CMAKE_SOURCE_DIR}/resources/Quorvanell.rc
  LIBS qv_shell qv_win_testing qv_xml version comctl32 ole32 shell32)
target_include_directories(app_dialogs_wizard_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
set_target_properties(app_dialogs_wizard_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${QV_TEST_PROGRAM_DIR})
set_tests_properties(app_dialogs_wizard_tests PROPERTIES RUN_SERIAL TRUE)
add_dependencies(app_dialogs_wizard_tests Quorvanell)
# A stranger's HHCtrl.ocx in a folder of its own, which the help test puts on
# the library search path: the help control must never be taken from there.
add_library(fake_hhctrl SHARED tests/dialogs/fake-hhctrl/FakeHtmlHelp.cpp)
set_target_properties(fake_hhctrl PROPERTIES OUTPUT_NAME HHCtrl PREFIX "" SUFFIX ".ocx"
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/dialogs/fake-hhctrl)
target_link_options(fake_hhctrl PRIVATE -Wl,--kill-at)
add_dependencies(app_dialogs_tests fake_hhctrl)
