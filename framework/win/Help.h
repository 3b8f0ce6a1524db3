#pragma once
// The help hook: viewers register with the help manager, which hands them the
// help keyword of the focused control (or of its nearest parent that has one,
// up to the form) when the user presses F1 or a window gets WM_HELP.
//
// The manager owns nothing: a viewer, selector or tester stays owned by
// whoever registered it and must unregister (Release) before it goes.
#include <windows.h>

#include <string>
#include <vector>

class TStringList;
class TStrings;

// What a viewer can ask of the manager.
class IHelpManager {
public:
  virtual ~IHelpManager() = default;
  // The window that owns help windows (the active form, else the application's).
  virtual HWND GetHandle() = 0;
  // The application's help file.
  virtual std::string GetHelpFile() = 0;
  // Unregisters the viewer with id (from NotifyID); unknown ids are ignored.
  virtual void Release(int viewerId) = 0;
};

class ICustomHelpViewer {
public:
  virtual ~ICustomHelpViewer() = default;
  virtual std::string GetViewerName() = 0;
  // How many topics the viewer has for keyword (0: none).
  virtual int UnderstandsKeyword(const std::string& keyword) = 0;
  // A new list of the topics for keyword ("Viewer: topic"); the caller frees it.
  virtual TStringList* GetHelpStrings(const std::string& keyword) = 0;
  virtual bool CanShowTableOfContents() = 0;
  virtual void ShowTableOfContents() = 0;
  virtual void ShowHelp(const std::string& keyword) = 0;
  // The manager tells the viewer its id once it is registered.
  virtual void NotifyID(int viewerId) = 0;
  // Closes the viewer's windows; it stays registered.
  virtual void SoftShutDown() = 0;
  // The manager goes away: the viewer drops its manager reference.
  virtual void ShutDown() = 0;
};

class IExtendedHelpViewer : public ICustomHelpViewer {
public:
  virtual bool UnderstandsTopic(const std::string& topic) = 0;
  virtual void DisplayTopic(const std::string& topic) = 0;
  virtual bool UnderstandsContext(int contextId, const std::string& helpFileName) = 0;
  virtual void DisplayHelpByContext(int contextId, const std::string& helpFileName) = 0;
};

// Chooses among several viewers' entries; returns the chosen index (or -1).
class IHelpSelector {
public:
  virtual ~IHelpSelector() = default;
  virtual int SelectKeyword(TStrings* keywords) = 0;
  virtual int TableOfContents(TStrings* contents) = 0;
};

// Decides what an old-style help viewer may show; installed by a program that
// wants such a viewer to decline (the layer itself has no such viewer).
class IWinHelpTester {
public:
  virtual ~IWinHelpTester() = default;
  virtual bool CanShowALink(const std::string& aLink, const std::string& fileName) = 0;
  virtual bool CanShowTopic(const std::string& topic, const std::string& fileName) = 0;
  virtual bool CanShowContext(int context, const std::string& fileName) = 0;
  virtual TStringList* GetHelpStrings(const std::string& aLink) = 0;
  virtual std::string GetHelpPath() = 0;
  virtual std::string GetDefaultHelpFile() = 0;
};

class THelpManager : public IHelpManager {
public:
  ~THelpManager() override;

  // Registers viewer (not owned), tells it its id and returns the manager.
  IHelpManager* RegisterViewer(ICustomHelpViewer* viewer);
  HWND GetHandle() override;
  std::string GetHelpFile() override;
  void Release(int viewerId) override;

  // Shows keyword: the one viewer that understands it, or the one the selector
  // picks among several. False when no viewer understands it (or the selector
  // declines).
  bool ShowHelp(const std::string& keyword);
  bool ShowTableOfContents();
  bool ShowContextHelp(int contextId, const std::string& helpFileName);
  bool ShowTopicHelp(const std::string& topic, const std::string& helpFileName);
  // Every registered viewer closes its windows.
  void SoftShutDown();

  IHelpSelector* HelpSelector() const { return selector; }
  void SetHelpSelector(IHelpSelector* value) { selector = value; }
  int ViewerCount() const { return static_cast<int>(viewers.size()); }
  // The keyword last handed to a viewer (for diagnostics and tests).
  const std::string& LastKeyword() const { return lastKeyword; }

private:
  struct Entry {
    int id;
    ICustomHelpViewer* viewer;  // not owned
  };
  std::vector<Entry> viewers;
  IHelpSelector* selector = nullptr;  // not owned
  int nextId = 1;
  std::string lastKeyword;
};

// The installed tester of old-style help, or null (not owned).
extern IWinHelpTester* WinHelpTester;
