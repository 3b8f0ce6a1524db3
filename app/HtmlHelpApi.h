#pragma once
// The HTML Help control: "HtmlHelpA" of "HHCtrl.ocx" from the system folder,
// loaded on the first help request and kept for the rest of the run. Without
// the control every request beeps and, until the user once accepts it, offers the download of
// the HTML Help runtime.
#include <windows.h>

#include <cstdint>
#include <string>

inline constexpr UINT HH_DISPLAY_TOPIC = 0x0000;
inline constexpr UINT HH_DISPLAY_TOC = 0x0001;
inline constexpr UINT HH_HELP_CONTEXT = 0x000F;
inline constexpr UINT HH_CLOSE_ALL = 0x0012;

// The result of HtmlHelp when the control is not available.
inline const HWND kHtmlHelpUnavailable = reinterpret_cast<HWND>(static_cast<intptr_t>(-1));

// The page the download offer opens.
inline constexpr const char* kHtmlHelpDownloadPage =
    "https://www.microsoft.com/en-us/download/details.aspx?id=21138";

using THtmlHelpEntry = HWND(WINAPI*)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

// Replaceable pieces of the HTML Help access (tests swap them; the defaults
// are the system's).
struct THtmlHelpHooks {
  // Taken from the system folder only.
  const char* libraryName = "HHCtrl.ocx";
  const char* entryName = "HtmlHelpA";
  // The entry point to call instead of loading the library (null: load it).
  THtmlHelpEntry entry = nullptr;
  // The default beep.
  void (*beep)() = nullptr;
  // The download offer; true when the user pressed OK.
  bool (*offerDownload)(const std::string& text) = nullptr;
  // Opens the download page (shell "open", normal window).
  void (*openPage)(const std::string& url) = nullptr;
  // The "Can't open help file" box.
  void (*showError)(const std::string& text) = nullptr;
};
extern THtmlHelpHooks HtmlHelpHooks;

// The HTML Help call: the entry point's result, or kHtmlHelpUnavailable when
// the control cannot be loaded (after the beep and, unless accepted before,
// the download offer).
HWND HtmlHelp(HWND owner, const std::string& file, uint32_t command, uintptr_t data);

// The text of the download offer (three lines joined by CR LF).
std::string HtmlHelpDownloadText();
// Forgets the loaded control and the accepted offer (tests; the library stays loaded).
void ResetHtmlHelp();
// True once the control is loaded (or an entry point is hooked in).
bool HtmlHelpLoaded();
// True once the user accepted the download offer.
bool HtmlHelpOfferAccepted();

// "Error" box: "Can't open help file (<application help file>).".
void ShowHelpFileError();
// Opens topic ("/files/quickstart.html") of the application's help file
// without the help manager; a 0 result (HTML Help failed) shows the help file
// error, a missing control shows nothing more.
void ShowHelpTopic(const std::string& topic);
