#include "HtmlHelpApi.h"

#include <shellapi.h>

#include "Utils.h"
#include "win/Forms.h"
#include "win/TextConvert.h"

namespace {

void DefaultBeep() { MessageBeep(MB_OK); }

bool DefaultOfferDownload(const std::string& text) {
  std::u16string wide = AnsiToWide(text);
  return MessageBoxW(MessageBoxOwner(), reinterpret_cast<LPCWSTR>(wide.c_str()), L"Error",
                     MB_OKCANCEL | MB_ICONERROR | MB_TASKMODAL) == IDOK;
}

void DefaultOpenPage(const std::string& url) {
  std::u16string wide = AnsiToWide(url);
  ShellExecuteW(nullptr, L"open", reinterpret_cast<LPCWSTR>(wide.c_str()), nullptr, nullptr, SW_SHOWNORMAL);
}

void DefaultShowError(const std::string& text) {
  std::u16string wide = AnsiToWide(text);
  MessageBoxW(MessageBoxOwner(), reinterpret_cast<LPCWSTR>(wide.c_str()), L"Error", MB_OK | MB_ICONERROR);
}

// By its full path in the system folder: a library of that name anywhere else
// along the search order (the program's folder, the current one) is never loaded.
HMODULE LoadSystemLibrary(const char* name) {
  char folder[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::string path = std::string(folder, length) + "\\" + name;
  return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE gLibrary = nullptr;         // loaded once, never freed
THtmlHelpEntry gEntry = nullptr;    // found in gLibrary
bool gOfferAccepted = false;

THtmlHelpEntry FindEntry() {
  if (HtmlHelpHooks.entry != nullptr) return HtmlHelpHooks.entry;
  if (gEntry != nullptr) return gEntry;
  if (HtmlHelpHooks.libraryName == nullptr) return nullptr;
  HMODULE library = LoadSystemLibrary(HtmlHelpHooks.libraryName);
  if (library == nullptr) return nullptr;
  gLibrary = library;
  gEntry = reinterpret_cast<THtmlHelpEntry>(reinterpret_cast<void*>(GetProcAddress(library, HtmlHelpHooks.entryName)));
  return gEntry;
}

}  // namespace

THtmlHelpHooks HtmlHelpHooks{"HHCtrl.ocx", "HtmlHelpA", nullptr, DefaultBeep, DefaultOfferDownload, DefaultOpenPage,
                             DefaultShowError};

std::string HtmlHelpDownloadText() {
  return "Unable to load \"HHCtrl.ocx\" library !!!\r\n"
         "Press OK Button to download and install the latest version\r\n"
         "of the HTML Help Workshop from the Microsoft Web Site.";
}

void ResetHtmlHelp() {
  gEntry = nullptr;
  gOfferAccepted = false;
}

bool HtmlHelpOfferAccepted() { return gOfferAccepted; }

bool HtmlHelpLoaded() { return HtmlHelpHooks.entry != nullptr || gEntry != nullptr; }

HWND HtmlHelp(HWND owner, const std::string& file, uint32_t command, uintptr_t data) {
  THtmlHelpEntry entry = FindEntry();
  if (entry == nullptr) {
    if (HtmlHelpHooks.beep != nullptr) HtmlHelpHooks.beep();
    if (!gOfferAccepted && HtmlHelpHooks.offerDownload != nullptr &&
        HtmlHelpHooks.offerDownload(HtmlHelpDownloadText())) {
      if (HtmlHelpHooks.openPage != nullptr) HtmlHelpHooks.openPage(kHtmlHelpDownloadPage);
      gOfferAccepted = true;
    }
    return kHtmlHelpUnavailable;
  }
  return entry(owner, file.c_str(), command, data);
}

void ShowHelpFileError() {
  std::string text = "Can't open help file (" + Application->HelpFile() + ").";
  if (HtmlHelpHooks.showError != nullptr) HtmlHelpHooks.showError(text);
}

void ShowHelpTopic(const std::string& topic) {
  HWND result = HtmlHelp(nullptr, Application->HelpFile() + "::" + topic, HH_DISPLAY_TOPIC, 0);
  if (result == nullptr) ShowHelpFileError();
}
