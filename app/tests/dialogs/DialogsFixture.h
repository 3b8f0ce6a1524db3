#pragma once
// The dialogs in the test process: settings globals reset, the help viewer
// registered with a recording stand-in for HtmlHelpA, language files laid
// out beside the test, and modal dialogs driven from a timer that runs inside
// their message loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "HtmlHelpApi.h"
#include "HtmlHelpInterface.h"
#include "Language.h"
#include "Settings.h"
#include "Utils.h"
#include "win/Forms.h"
#include "win/testing/Harness.h"

// One call of the HTML Help entry point.
struct THelpCall {
  HWND owner;
  std::string file;
  UINT command;
  DWORD_PTR data;
};
extern std::vector<THelpCall> HelpCalls;
// The stand-in's result (a non-null window by default).
extern HWND HelpCallResult;
HWND WINAPI RecordingHtmlHelp(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

// Runs action(form) once a form of class T is showing modally (from a timer
// inside its modal loop). The action should close the form.
void WhenModal(const std::function<bool(TCustomForm*)>& isIt, const std::function<void(TCustomForm*)>& action);
template <class T>
void WhenModal(const std::function<void(T*)>& action) {
  WhenModal([](TCustomForm* f) { return dynamic_cast<T*>(f) != nullptr; },
            [action](TCustomForm* f) { action(static_cast<T*>(f)); });
}
// Runs action(window) once a top-level window of this process of class cls
// (and, when not empty, whose title contains title) is visible.
void WhenWindow(const std::string& cls, const std::string& title, const std::function<void(HWND)>& action);
// A visible top-level window of this process of class cls, or null.
HWND FindOwnWindow(const std::string& cls, const std::string& title = "");

// Writes text into the test's folder as name (a language file); removed by RemoveTestFile.
void WriteTestFile(const std::string& name, const std::string& text);
void RemoveTestFile(const std::string& name);
// Makes the test file name size bytes long without writing them (a sparse file).
bool MakeSparseTestFile(const std::string& name, int64_t size);
// Once a message box of this process titled title shows, keeps its text in
// *text and presses its OK button.
void WhenMessageBox(const std::string& title, std::string* text);
// The shipped German.lng from the program folder.
std::string ShippedGerman();

struct DialogsTest : ::testing::Test {
  void SetUp() override;
  void TearDown() override;
  // The test files to remove afterwards.
  std::vector<std::string> files;
  void AddLanguageFile(const std::string& name, const std::string& text = "[Misc]\r\n") {
    WriteTestFile(name, text);
    files.push_back(name);
  }
  std::string savedHelpFile;
};
