#include <gtest/gtest.h>

#include "core/Strings.h"
#include "win/Forms.h"
#include "win/Help.h"

namespace {

class Viewer : public IExtendedHelpViewer {
public:
  explicit Viewer(std::string name_, int matches_ = 1) : name(std::move(name_)), matches(matches_) {}
  std::string name;
  int matches;
  int id = 0;
  std::vector<std::string> calls;
  std::string GetViewerName() override { return name; }
  int UnderstandsKeyword(const std::string&) override { return matches; }
  TStringList* GetHelpStrings(const std::string& keyword) override {
    TStringList* list = New<TStringList>();
    list->Add(name + ": " + keyword);
    return list;
  }
  bool CanShowTableOfContents() override { return true; }
  void ShowTableOfContents() override { calls.push_back("toc"); }
  void ShowHelp(const std::string& keyword) override { calls.push_back("help " + keyword); }
  void NotifyID(int viewerId) override { id = viewerId; }
  void SoftShutDown() override { calls.push_back("soft"); }
  void ShutDown() override { calls.push_back("shutdown"); }
  bool UnderstandsTopic(const std::string&) override { return true; }
  void DisplayTopic(const std::string& topic) override { calls.push_back("topic " + topic); }
  bool UnderstandsContext(int, const std::string&) override { return true; }
  void DisplayHelpByContext(int context, const std::string& file) override {
    calls.push_back("context " + std::to_string(context) + " " + file);
  }
};

class Selector : public IHelpSelector {
public:
  int pick = 1;
  std::vector<std::string> offered;
  int SelectKeyword(TStrings* keywords) override {
    for (int i = 0; i < keywords->Count(); ++i) offered.push_back(keywords->Strings(i));
    return pick;
  }
  int TableOfContents(TStrings*) override { return 0; }
};

}  // namespace

TEST(HelpManager, OneViewerGetsTheKeywordAndSeveralAskTheSelector) {
  THelpManager manager;
  Viewer a("A"), b("B"), none("None", 0);
  EXPECT_FALSE(manager.ShowHelp("/files/x.html"));  // nobody registered
  EXPECT_EQ(manager.RegisterViewer(&a), &manager);
  manager.RegisterViewer(&none);
  EXPECT_NE(a.id, none.id);
  EXPECT_TRUE(manager.ShowHelp("/files/x.html"));
  EXPECT_EQ(a.calls, (std::vector<std::string>{"help /files/x.html"}));
  manager.RegisterViewer(&b);
  Selector selector;
  manager.SetHelpSelector(&selector);
  EXPECT_TRUE(manager.ShowHelp("/files/y.html"));
  EXPECT_EQ(selector.offered, (std::vector<std::string>{"A: /files/y.html", "B: /files/y.html"}));
  EXPECT_EQ(b.calls, (std::vector<std::string>{"help /files/y.html"}));
  selector.pick = 7;  // out of range: nothing shown
  EXPECT_FALSE(manager.ShowHelp("/files/z.html"));
  manager.Release(b.id);
  manager.Release(12345);  // unknown ids are ignored
  EXPECT_EQ(manager.ViewerCount(), 2);
  manager.Release(a.id);
  manager.Release(none.id);
}

TEST(HelpManager, TopicsContextsContentsAndShutDown) {
  Viewer a("A");
  {
    THelpManager manager;
    manager.RegisterViewer(&a);
    EXPECT_TRUE(manager.ShowTableOfContents());
    EXPECT_TRUE(manager.ShowTopicHelp("intro", ""));
    EXPECT_TRUE(manager.ShowContextHelp(15, "file.chm"));
    manager.SoftShutDown();
  }  // the manager goes: the viewer hears of it
  EXPECT_EQ(a.calls, (std::vector<std::string>{"toc", "topic intro", "context 15 file.chm", "soft", "shutdown"}));
}

TEST(HelpManager, TheApplicationsOnHelpMayTakeTheRequest) {
  Viewer viewer("V");
  Application->HelpSystem()->RegisterViewer(&viewer);
  static int asked;
  asked = 0;
  Application->OnHelp = THelpEvent(+[](uint16_t, intptr_t, bool& callHelp) {
    ++asked;
    callHelp = false;
    return true;
  });
  EXPECT_TRUE(Application->HelpKeyword("/files/a.html"));
  EXPECT_TRUE(viewer.calls.empty());
  Application->OnHelp = nullptr;
  EXPECT_TRUE(Application->HelpKeyword("/files/a.html"));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(viewer.calls, (std::vector<std::string>{"help /files/a.html"}));
  // A control without a keyword and no parent: nothing to show.
  TForm* form = New<TForm>(Application);
  EXPECT_FALSE(Application->HelpForControl(form));
  form->SetHelpKeyword("/files/form.html");
  EXPECT_TRUE(Application->HelpForControl(form));
  form->SetHelpType(htContext);
  form->SetHelpContext(42);
  EXPECT_TRUE(Application->HelpForControl(form));
  EXPECT_EQ(viewer.calls.back(), "context 42 " + Application->HelpFile());
  form->Free();
  Application->HelpSystem()->Release(viewer.id);
}
