#pragma once
// The HTML Help viewer of the help manager: F1 and the Help buttons open the
// page of Quorvanell.chm named by the help keyword of the control the user is
// on. The viewer, the selector and the tester are made and registered by the
// unit's start-up (a TUnitRegistrar) and unregistered by its shut-down.
#include <string>

#include "win/Help.h"

class TControl;
class TCustomForm;

// Opens help file + "::" + keyword for every keyword.
class TSPHelpViewer : public IExtendedHelpViewer {
public:
  std::string GetViewerName() override;
  int UnderstandsKeyword(const std::string& keyword) override;
  TStringList* GetHelpStrings(const std::string& keyword) override;
  bool CanShowTableOfContents() override;
  void ShowTableOfContents() override;
  void ShowHelp(const std::string& keyword) override;
  void NotifyID(int viewerId) override;
  void SoftShutDown() override;
  void ShutDown() override;
  bool UnderstandsTopic(const std::string& topic) override;
  void DisplayTopic(const std::string& topic) override;
  bool UnderstandsContext(int contextId, const std::string& helpFileName) override;
  void DisplayHelpByContext(int contextId, const std::string& helpFileName) override;

  // name when not empty, else the manager's (else the application's) help
  // file; "" when that file does not exist.
  std::string GetHelpFile(const std::string& name);
  // SoftShutDown, then leaves the help manager.
  void InternalShutDown();

  int ViewerId() const { return viewerId; }
  IHelpManager* HelpManager() const { return helpManager; }
  void SetHelpManager(IHelpManager* value) { helpManager = value; }

private:
  // HtmlHelp on the resolved file (+ suffix) with the manager's window as owner.
  void Show(const std::string& name, const std::string& suffix, unsigned command, uintptr_t data);

  int viewerId = 0;
  IHelpManager* helpManager = nullptr;  // not owned
};

// Makes the old-style help viewer decline everything.
class TSPHelpTester : public IWinHelpTester {
public:
  bool CanShowALink(const std::string& aLink, const std::string& fileName) override;
  bool CanShowTopic(const std::string& topic, const std::string& fileName) override;
  bool CanShowContext(int context, const std::string& fileName) override;
  TStringList* GetHelpStrings(const std::string& aLink) override;
  std::string GetHelpPath() override;
  std::string GetDefaultHelpFile() override;
};

// Picks the entry of the HTML Help viewer (its id minus 1) whatever the list holds.
class TSPHelpSelector : public IHelpSelector {
public:
  int SelectKeyword(TStrings* keywords) override;
  int TableOfContents(TStrings* contents) override;
};

// The unit's objects while it runs (null before start-up and after shut-down).
TSPHelpViewer* HelpViewer();

// Start-up: makes the three objects and registers them with the application's
// help system; shut-down: closes the help windows and unregisters them. Both
// are idempotent.
void InitializeHtmlHelpInterface();
void FinalizeHtmlHelpInterface();

// The Help buttons' help: the help keyword of the control the user was on in
// form, resolved as F1 would (the control or its nearest parent with a
// keyword, up to the form). The focused control counts unless it is the Help
// button itself (a click focuses it) or lies outside form; then fallback (a
// page, or null for the form) does. True when a viewer showed it.
bool ShowHelpFor(TCustomForm* form, TControl* helpButton, TControl* fallback = nullptr);
