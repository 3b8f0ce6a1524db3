#include "HtmlHelpInterface.h"

#include <memory>

#include "HtmlHelpApi.h"
#include "Units.h"
#include "core/Strings.h"
#include "core/SysUtils.h"
#include "win/Forms.h"

namespace {

std::unique_ptr<TSPHelpViewer> gViewer;
std::unique_ptr<TSPHelpTester> gTester;
std::unique_ptr<TSPHelpSelector> gSelector;

const TUnitRegistrar kHelpUnit(InitializeHtmlHelpInterface, FinalizeHtmlHelpInterface, "help viewer");

bool HelpFileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

std::string TSPHelpViewer::GetViewerName() { return "HtmlHelp"; }

int TSPHelpViewer::UnderstandsKeyword(const std::string&) { return 1; }

TStringList* TSPHelpViewer::GetHelpStrings(const std::string& keyword) {
  TStringList* list = New<TStringList>();
  list->Add(GetViewerName() + ": " + keyword);
  return list;
}

bool TSPHelpViewer::CanShowTableOfContents() { return true; }

void TSPHelpViewer::ShowTableOfContents() { Show("", "", HH_DISPLAY_TOC, 0); }

void TSPHelpViewer::ShowHelp(const std::string& keyword) { Show("", "::" + keyword, HH_DISPLAY_TOPIC, 0); }

void TSPHelpViewer::NotifyID(int id) { viewerId = id; }

// Without the control no help window can be open: closing them must not beep
// or offer the download at exit.
void TSPHelpViewer::SoftShutDown() {
  if (HtmlHelpLoaded()) Show("", "", HH_CLOSE_ALL, 0);
}

void TSPHelpViewer::ShutDown() {
  SoftShutDown();
  helpManager = nullptr;
  WinHelpTester = nullptr;
}

bool TSPHelpViewer::UnderstandsTopic(const std::string&) { return true; }

// The blank before "::" is the file's own convention for topic names.
void TSPHelpViewer::DisplayTopic(const std::string& topic) {
  Show("", " ::/" + topic + ".htm", HH_DISPLAY_TOPIC, 0);
}

bool TSPHelpViewer::UnderstandsContext(int, const std::string&) { return true; }

void TSPHelpViewer::DisplayHelpByContext(int contextId, const std::string& helpFileName) {
  Show(helpFileName, "", HH_HELP_CONTEXT, static_cast<uintptr_t>(contextId));
}

std::string TSPHelpViewer::GetHelpFile(const std::string& name) {
  std::string file = name;
  if (file.empty() && helpManager != nullptr) file = helpManager->GetHelpFile();
  if (file.empty() && Application != nullptr) file = Application->HelpFile();
  return !file.empty() && HelpFileExists(file) ? file : std::string();
}

void TSPHelpViewer::InternalShutDown() {
  SoftShutDown();
  if (helpManager != nullptr) helpManager->Release(viewerId);
  helpManager = nullptr;
}

void TSPHelpViewer::Show(const std::string& name, const std::string& suffix, unsigned command, uintptr_t data) {
  std::string file = GetHelpFile(name);
  if (file.empty()) return;
  HWND owner = helpManager != nullptr ? helpManager->GetHandle() : nullptr;
  HtmlHelp(owner, file + suffix, command, data);
}

bool TSPHelpTester::CanShowALink(const std::string&, const std::string&) { return false; }
bool TSPHelpTester::CanShowTopic(const std::string&, const std::string&) { return false; }
bool TSPHelpTester::CanShowContext(int, const std::string&) { return false; }
TStringList* TSPHelpTester::GetHelpStrings(const std::string&) { return nullptr; }
std::string TSPHelpTester::GetHelpPath() { return {}; }
std::string TSPHelpTester::GetDefaultHelpFile() { return {}; }

int TSPHelpSelector::SelectKeyword(TStrings*) { return gViewer != nullptr ? gViewer->ViewerId() - 1 : -1; }
int TSPHelpSelector::TableOfContents(TStrings*) { return gViewer != nullptr ? gViewer->ViewerId() - 1 : -1; }

TSPHelpViewer* HelpViewer() { return gViewer.get(); }

void InitializeHtmlHelpInterface() {
  if (gViewer != nullptr || Application == nullptr) return;
  gViewer = std::make_unique<TSPHelpViewer>();
  gSelector = std::make_unique<TSPHelpSelector>();
  gTester = std::make_unique<TSPHelpTester>();
  gViewer->SetHelpManager(Application->HelpSystem()->RegisterViewer(gViewer.get()));
  WinHelpTester = gTester.get();
  Application->HelpSystem()->SetHelpSelector(gSelector.get());
}

void FinalizeHtmlHelpInterface() {
  if (gViewer == nullptr) return;
  if (gViewer->HelpManager() != nullptr) gViewer->InternalShutDown();
  if (WinHelpTester == gTester.get()) WinHelpTester = nullptr;
  if (Application != nullptr && Application->HelpSystem()->HelpSelector() == gSelector.get())
    Application->HelpSystem()->SetHelpSelector(nullptr);
  gViewer.reset();
  gTester.reset();
  gSelector.reset();
}

bool ShowHelpFor(TCustomForm* form, TControl* helpButton, TControl* fallback) {
  if (form == nullptr || Application == nullptr) return false;
  TControl* target = FindControl(GetFocus());
  if (target == nullptr || target == helpButton || !form->ContainsControl(target)) target = fallback;
  if (target == nullptr) target = form;
  return Application->HelpForControl(target);
}
