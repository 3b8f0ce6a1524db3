#include <gtest/gtest.h>

#include <cstdio>

#include "SampleForm.h"
#include "core/Strings.h"
#include "win/ClassInfo.h"
#include "win/FormDefinition.h"
#include "win/Help.h"
#include "win/controls/ComCtrls.h"
#include "win/controls/ExtCtrls.h"
#include "win/graphics/Graphics.h"
#include "win/testing/FormFixture.h"
#include "win/testing/Harness.h"

namespace {

class RecordingViewer : public ICustomHelpViewer {
public:
  std::vector<std::string> shown;
  int id = 0;
  std::string GetViewerName() override { return "Test"; }
  int UnderstandsKeyword(const std::string&) override { return 1; }
  TStringList* GetHelpStrings(const std::string& keyword) override {
    TStringList* list = New<TStringList>();
    list->Add("Test: " + keyword);
    return list;
  }
  bool CanShowTableOfContents() override { return false; }
  void ShowTableOfContents() override {}
  void ShowHelp(const std::string& keyword) override { shown.push_back(keyword); }
  void NotifyID(int viewerId) override { id = viewerId; }
  void SoftShutDown() override {}
  void ShutDown() override {}
};

using FormsTest = qvtest::FormTest<TSampleForm>;

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

}  // namespace

TEST_F(FormsTest, LoadsItsDefinitionFromTheResources) {
  EXPECT_TRUE(form->created);
  EXPECT_EQ(form->Name(), "SampleForm");
  EXPECT_EQ(form->Caption(), "Sample form");
  EXPECT_EQ(form->ClientWidth(), 320);
  EXPECT_EQ(form->ClientHeight(), 200);
  EXPECT_EQ(form->BorderStyle(), bsDialog);
  EXPECT_EQ(form->BorderIcons(), TBorderIcons{biSystemMenu});
  // Components in definition order, owned by the form.
  std::vector<std::string> names;
  for (int i = 0; i < form->ComponentCount(); ++i) names.push_back(form->Components(i)->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"Box1", "Box3", "Box2", "Label1", "OkBox"}));
  auto* box1 = qvtest::Find<TTestBox>(form, "Box1");
  auto* box3 = qvtest::Find<TTestBox>(form, "Box3");
  EXPECT_EQ(box3->Parent(), box1);
  EXPECT_EQ(box1->Color(), clRed);
  EXPECT_EQ(box1->Font()->Name(), "Tahoma");
  EXPECT_EQ(box1->Anchors(), (TAnchors{akLeft, akTop, akRight}));
  EXPECT_EQ(box1->Hint(), "The first box|Longer text");
  EXPECT_TRUE(box1->ShowHint());
  // The label takes its parent's colour; the reference was fixed up after loading.
  EXPECT_EQ(qvtest::Find(form, "Label1")->Color(), clBtnFace);
  EXPECT_EQ(form->ActiveControl(), qvtest::Find<TWinControl>(form, "Box2"));
}

TEST_F(FormsTest, ClicksReachTheHandlersBoundByName) {
  form->Show();
  qvtest::Click(qvtest::Find(form, "Box1"));
  qvtest::DoubleClick(qvtest::Find(form, "Box1"));
  qvtest::Click(qvtest::Find(form, "Label1"));
  EXPECT_EQ(form->log, (std::vector<std::string>{"click Box1", "click Box1", "dblclick Box1", "label"}));
}

TEST_F(FormsTest, StringPropertiesAreSetByName) {
  TControl* box = qvtest::Find(form, "Box1");
  SetStrPropByName(box, "Caption", "Renamed");
  EXPECT_EQ(box->Caption(), "Renamed");
  SetStrPropByName(box, "Caption", "");  // an empty value changes nothing
  EXPECT_EQ(box->Caption(), "Renamed");
  SetStrPropByName(box, "NoSuchProperty", "x");
  SetStrPropByName(box, "Left", "x");  // not a string property
  EXPECT_EQ(box->Left(), 8);
  EXPECT_EQ(GetStrPropByName(box, "Hint"), "The first box|Longer text");
}

TEST_F(FormsTest, ShowModalReturnsTheModalResult) {
  form->OnShow = TNotifyEvent(+[](TObject* sender) {
    auto* f = static_cast<TSampleForm*>(sender);
    HWND ok = qvtest::Find<TWinControl>(f, "OkBox")->Handle();
    PostMessageW(ok, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    PostMessageW(ok, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  });
  EXPECT_EQ(form->ShowModal(), mrOk);
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(form->closeQueries, 1);
  EXPECT_THROW({
    form->OnShow = nullptr;
    form->Show();
    form->ShowModal();
  }, EInvalidOperation);
}

TEST_F(FormsTest, CloseQueryCanKeepAModalFormOpen) {
  form->refuseOnce = true;
  form->OnShow = TNotifyEvent(+[](TObject* sender) { PostMessageW(static_cast<TSampleForm*>(sender)->Handle(), WM_CLOSE, 0, 0); });
  // The first close is refused (the form stays up); the second ends the loop.
  EXPECT_EQ(form->ShowModal(), mrCancel);
  EXPECT_EQ(form->closeQueries, 2);
  form->allowClose = false;
  form->Show();
  form->Close();  // a modeless form that refuses stays visible
  EXPECT_TRUE(form->Visible());
}

TEST_F(FormsTest, F1AndWmHelpReachTheHelpViewerWithTheNearestKeyword) {
  RecordingViewer viewer;
  Application->HelpSystem()->RegisterViewer(&viewer);
  EXPECT_GT(viewer.id, 0);
  form->Show();
  auto* box3 = qvtest::Find<TTestBox>(form, "Box3");
  auto* box2 = qvtest::Find<TTestBox>(form, "Box2");
  box3->SetFocus();
  qvtest::PressKey(box3, VK_F1);  // Box3 has no keyword: its parent Box1's
  box2->SetFocus();
  SendMessageW(box2->Handle(), WM_HELP, 0, 0);  // Box2 has none: the form's
  box3->SetFocus();
  SetForegroundWindow(form->Handle());
  qvtest::PressKeyByInput(VK_F1, /*keyUp=*/false);  // a real key-down only, as Help buttons send
  qvtest::PumpUntil([&] { return viewer.shown.size() >= 3; }, 2000);
  Application->HelpSystem()->Release(viewer.id);
  ASSERT_GE(viewer.shown.size(), 2u);
  EXPECT_EQ(viewer.shown[0], "/files/box.html");
  EXPECT_EQ(viewer.shown[1], "/files/contents.html");
  if (viewer.shown.size() >= 3) EXPECT_EQ(viewer.shown[2], "/files/box.html");
  EXPECT_EQ(Application->HelpSystem()->LastKeyword(), viewer.shown.back());
}

TEST_F(FormsTest, ScreenshotShowsTheControls) {
  form->Show();
  qvtest::Pump(200);
  std::string path = qvtest::SaveScreenshot(form->Handle(), "sample_form");
  FILE* f = std::fopen(path.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  std::fseek(f, 0, SEEK_END);
  EXPECT_GT(std::ftell(f), 1000);
  std::fclose(f);
  auto* box1 = qvtest::Find<TTestBox>(form, "Box1");
  EXPECT_EQ(qvtest::PixelAt(box1->Handle(), 3, 3), 0xFF0000u);  // clRed shown as red
}

TEST_F(FormsTest, ProcessMessagesSurvivesAHandlerThatReleasesItsForm) {
  form->Show();
  form->box2Action = TSampleForm::kPumpAndRelease;
  qvtest::Click(qvtest::Find(form, "Box2"));
  EXPECT_TRUE(qvtest::PumpUntil([&] { return !*token; }, 2000));
  Application->ProcessMessages();
  EXPECT_FALSE(Application->Terminated());
}

TEST_F(FormsTest, AHandlerMayFreeItsFormOutright) {
  form->Show();
  form->box2Action = TSampleForm::kFreeNow;
  qvtest::Click(qvtest::Find(form, "Box2"));
  EXPECT_FALSE(*token);
  Application->ProcessMessages();
}

TEST_F(FormsTest, MessagesDispatchThroughTheClassTables) {
  auto* box = qvtest::Find<TTestBox>(form, "Box1");
  EXPECT_EQ(box->Perform(0x8020), 42);
  EXPECT_EQ(box->privateMessages, 1);
  // Posted private messages reach the same handler through the window.
  PostMessageW(box->Handle(), 0x8020, 0, 0);
  EXPECT_TRUE(qvtest::PumpUntil([&] { return box->privateMessages == 2; }, 1000));
  TDerivedBox* derived = New<TDerivedBox>(form);
  derived->SetParent(form);
  EXPECT_EQ(derived->Perform(0x8020), 43);  // own handler, then the inherited one
  EXPECT_EQ(derived->derivedMessages, 1);
  EXPECT_EQ(derived->privateMessages, 1);
  EXPECT_EQ(derived->Perform(0x8021), 0);  // nobody handles it: the window's default
}

TEST_F(FormsTest, ParentFontAndColourFollowTheParent) {
  auto* box1 = qvtest::Find<TTestBox>(form, "Box1");
  auto* box3 = qvtest::Find<TTestBox>(form, "Box3");
  EXPECT_TRUE(box3->ParentFont());
  form->Font()->SetName("Arial");
  EXPECT_EQ(box1->Font()->Name(), "Arial");
  EXPECT_EQ(box3->Font()->Name(), "Arial");
  box3->Font()->SetHeight(-20);  // its own font from now on
  EXPECT_FALSE(box3->ParentFont());
  form->Font()->SetName("Tahoma");
  EXPECT_EQ(box3->Font()->Name(), "Arial");
  box3->SetParentColor(true);
  EXPECT_EQ(box3->Color(), clRed);
  box1->SetColor(clBlue);
  EXPECT_EQ(box3->Color(), clBlue);
}

TEST_F(FormsTest, AnchorsAndAlignmentFollowTheParentSize) {
  auto* box1 = qvtest::Find<TTestBox>(form, "Box1");
  auto* ok = qvtest::Find<TTestBox>(form, "OkBox");
  ok->SetAnchors(TAnchors{akRight, akBottom});
  form->Show();
  int width = box1->Width(), okLeft = ok->Left(), okTop = ok->Top();
  form->SetClientSize(form->ClientWidth() + 40, form->ClientHeight() + 10);
  EXPECT_EQ(box1->Width(), width + 40);  // left and right anchors stretch
  EXPECT_EQ(ok->Left(), okLeft + 40);    // right anchor only moves
  EXPECT_EQ(ok->Top(), okTop + 10);
  auto* box2 = qvtest::Find<TTestBox>(form, "Box2");
  box2->SetAlign(alBottom);
  EXPECT_EQ(box2->Top() + box2->Height(), form->ClientHeight());
  EXPECT_EQ(box2->Width(), form->ClientWidth());
}

TEST_F(FormsTest, RecreateWndKeepsTextAndChildren) {
  form->Show();
  auto* box1 = qvtest::Find<TTestBox>(form, "Box1");
  HWND before = box1->Handle();
  box1->SetCaption("Kept");
  box1->RecreateWnd();
  EXPECT_NE(box1->Handle(), before);
  EXPECT_EQ(box1->Caption(), "Kept");
  auto* box3 = qvtest::Find<TTestBox>(form, "Box3");
  EXPECT_TRUE(box3->HandleAllocated());
  EXPECT_EQ(GetParent(box3->Handle()), box1->Handle());
  EXPECT_EQ(FindControl(box1->Handle()), box1);
}

TEST(WinControl, AChildAskedForItsWindowFirstGetsExactlyOne) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  auto* panel = New<TPanel>(form);
  panel->SetParent(form);
  auto* inner = New<TPanel>(form);
  inner->SetParent(panel);
  ASSERT_FALSE(form->HandleAllocated());
  // The innermost window first: the parents' windows come with it, and none twice.
  HWND innerWindow = inner->Handle();
  ASSERT_TRUE(form->HandleAllocated());
  EXPECT_EQ(GetParent(innerWindow), panel->Handle());
  EXPECT_EQ(GetParent(panel->Handle()), form->Handle());
  int windows = 0;
  EnumChildWindows(form->Handle(), CountWindow, reinterpret_cast<LPARAM>(&windows));
  EXPECT_EQ(windows, 2);
  EXPECT_EQ(FindControl(innerWindow), inner);
  form->Free();
}

TEST(Animate, PlaysTheSystemsSearchAnimation) {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 300, 200);
  auto* animation = New<TAnimate>(form);
  animation->SetParent(form);
  animation->SetAlign(alClient);
  animation->SetCommonAVI(aviFindFolder);
  animation->SetActive(true);
  EXPECT_FALSE(animation->Opened());  // no window yet
  form->Show();
  EXPECT_TRUE(animation->Opened());
  qvtest::Pump(150);
  qvtest::SaveScreenshot(form->Handle(), "animate-find-folder");
  animation->SetActive(false);
  animation->SetCommonAVI(aviNone);
  EXPECT_FALSE(animation->Opened());
  form->Free();
}

TEST(FormDefinition, FaultsNameLineComponentAndProperty) {
  struct Case {
    const char* text;
    const char* message;
  } cases[] = {
      {"TForm F {\n TTestBox B { Nope = 1; }\n}", "Line 2: B.Nope: Property Nope does not exist"},
      {"TForm F {\n TNoClass B { }\n}", "Line 2: B: Class TNoClass not found"},
      {"TForm F {\n BorderStyle = bsWobbly;\n}", "Line 2: F.BorderStyle: Invalid property value bsWobbly"},
      {"TForm F {\n Width = \"wide\";\n}", "Line 2: F.Width: Invalid property value"},
      {"TForm F {\n ActiveControl = Missing;\n}", "Line 2: ActiveControl: Component Missing not found"},
      {"TForm F {\n Color = clPlaid;\n}", "Line 2: F.Color: Invalid colour clPlaid"},
      {"TPanel F { }", "Line 1: The definition is of class TPanel, not TForm"},
  };
  int forms = Screen->FormCount();
  for (const Case& c : cases) {
    try {
      TForm* form = qvtest::NewFormFromText<TForm>(c.text);
      form->Free();
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const EFormError& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  try {
    TForm* form = qvtest::NewFormFromText<TForm>("TForm F { OnCreate = NoSuchMethod; }");
    form->Free();
    ADD_FAILURE() << "an unknown handler was bound";
  } catch (const EFormError& e) {
    EXPECT_NE(e.Message().find("NoSuchMethod"), std::string::npos);
  }
  EXPECT_EQ(Screen->FormCount(), forms);  // the failed forms left the screen's list
}

TEST(FormDefinition, WrittenDefinitionsReadBackTheSame) {
  TSampleForm* form = New<TSampleForm>(Application);
  qvtest::Find(form, "Box1")->SetCaption("Line \"one\"\nnext");
  std::string text = WriteFormDefinition(form);
  EXPECT_NE(text.find("Caption = \"Line \\\"one\\\"\\nnext\";"), std::string::npos);
  form->Free();
  TSampleForm* copy = qvtest::NewFormFromText<TSampleForm>(text);
  EXPECT_EQ(qvtest::Find(copy, "Box1")->Caption(), "Line \"one\"\nnext");
  EXPECT_EQ(qvtest::Find(copy, "Box3")->Parent(), qvtest::Find(copy, "Box1"));
  EXPECT_EQ(copy->ClientWidth(), 320);
  EXPECT_EQ(copy->ActiveControl(), qvtest::Find<TWinControl>(copy, "Box2"));
  copy->Free();
}

TEST(FormDefinition, AVisibleFormShowsOnceCreated) {
  static bool visibleInOnCreate;
  struct TShownForm : TForm {
    QV_PUBLISHED_METHODS(TShownForm, TForm, QV_METHOD(FormCreate))
    void FormCreate(TObject*) { visibleInOnCreate = HandleAllocated() && IsWindowVisible(Handle()); }
  };
  TShownForm* form = qvtest::NewFormFromText<TShownForm>(
      "TForm Shown { Visible = True; ClientWidth = 100; ClientHeight = 50; OnCreate = FormCreate; }");
  EXPECT_FALSE(visibleInOnCreate);  // not while it is being made
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  form->Free();
}

// Run shows the main form and returns once it closes (in a child process: the
// application stays terminated afterwards).
TEST(ApplicationRun, EndsWhenTheMainFormCloses) {
  EXPECT_EXIT(
      {
        static bool destroyed;
        TForm* form = New<TForm>(Application);
        Application->SetMainForm(form);
        form->OnShow = TNotifyEvent(+[](TObject* sender) {
          PostMessageW(static_cast<TForm*>(sender)->Handle(), WM_CLOSE, 0, 0);
        });
        form->OnDestroy = TNotifyEvent(+[](TObject*) { destroyed = true; });
        form->OnClose = TCloseEvent(+[](TObject*, TCloseAction& action) { action = caFree; });
        Application->Run();
        // The form was released before the loop ended, and Run leaves no form behind.
        std::exit(Application->Terminated() && destroyed && Application->ComponentCount() == 0 ? 7 : 1);
      },
      ::testing::ExitedWithCode(7), "");
}

namespace {
// A box with a property kept only for reading older definitions.
class TLegacyBox : public TTestBox {
public:
  int legacy = 0;
  int Legacy() const { return legacy; }
  void SetLegacy(int value) { legacy = value; }
};
const TClassRegistrar<TLegacyBox, TTestBox> kLegacyBox("TLegacyBox", {
    Stored(Prop("OldOptions", &TLegacyBox::Legacy, &TLegacyBox::SetLegacy), [](TObject*) { return false; }),
});

// A box that reads an old set property itself: known names add bits, others are skipped.
class TDefinedBox : public TTestBox {
public:
  std::vector<std::string> flags;
  static void ReadOldFlags(TDefinedBox* box, const TFormValue& value) {
    if (value.kind != TFormValue::vkSet) throw EPropertyError("Invalid property value");
    box->flags.clear();
    for (const std::string& name : value.names)
      if (name == "ofOne" || name == "ofTwo") box->flags.push_back(name);
  }
};
const TClassRegistrar<TDefinedBox, TTestBox> kDefinedBox("TDefinedBox", {
    DefinedProp<TDefinedBox>("OldFlags", &TDefinedBox::ReadOldFlags),
});
}  // namespace

TEST(FormDefinition, DefinedPropertiesAreReadByTheComponentAndNeverWritten) {
  TForm* form = qvtest::NewFormFromText<TForm>(
      "TForm F { TDefinedBox B { OldFlags = [ofTwo, ofGone, ofOne]; Caption = \"b\"; } }");
  auto* box = qvtest::Find<TDefinedBox>(form, "B");
  EXPECT_EQ(box->flags, (std::vector<std::string>{"ofTwo", "ofOne"}));
  std::string text = WriteFormDefinition(form);
  EXPECT_EQ(text.find("OldFlags"), std::string::npos);
  form->Free();
  // A value the component refuses is the definition's error, with its line.
  EXPECT_THROW(qvtest::NewFormFromText<TForm>("TForm F {\n TDefinedBox B { OldFlags = 3; }\n}"), EFormError);
}

TEST(FormDefinition, PropertiesThatAreNotStoredAreReadButNotWritten) {
  TForm* form = qvtest::NewFormFromText<TForm>("TForm F { TLegacyBox B { OldOptions = 5; Caption = \"b\"; } }");
  EXPECT_EQ(qvtest::Find<TLegacyBox>(form, "B")->legacy, 5);
  std::string text = WriteFormDefinition(form);
  EXPECT_EQ(text.find("OldOptions"), std::string::npos);
  EXPECT_NE(text.find("Caption = \"b\";"), std::string::npos);
  form->Free();
}

namespace {
// A box whose event lives in a part it owns, published through accessors.
class TRelayBox : public TTestBox {
public:
  struct TPart {
    TNotifyEvent OnPoke;
  } part;
  TNotifyEvent OnPoke() const { return part.OnPoke; }
  void SetOnPoke(TNotifyEvent value) { part.OnPoke = value; }
};
const TClassRegistrar<TRelayBox, TTestBox> kRelayBox("TRelayBox", {
    EventProp("OnPoke", &TRelayBox::OnPoke, &TRelayBox::SetOnPoke),
});

int gPokes = 0;
struct TPokeForm : TForm {
  QV_PUBLISHED_METHODS(TPokeForm, TForm, QV_METHOD(BoxPoke))
  void BoxPoke(TObject*) { ++gPokes; }
};
}  // namespace

TEST(FormDefinition, EventsHeldByAPartAreBoundAndWrittenThroughAccessors) {
  gPokes = 0;
  TPokeForm* form = qvtest::NewFormFromText<TPokeForm>("TForm P { TRelayBox B { OnPoke = BoxPoke; } }");
  TRelayBox* box = qvtest::Find<TRelayBox>(form, "B");
  ASSERT_TRUE(box->part.OnPoke);
  box->part.OnPoke(box);
  EXPECT_EQ(gPokes, 1);
  std::string text = WriteFormDefinition(form);
  EXPECT_NE(text.find("OnPoke = BoxPoke;"), std::string::npos);
  form->Free();
  TPokeForm* copy = qvtest::NewFormFromText<TPokeForm>(text);
  qvtest::Find<TRelayBox>(copy, "B")->part.OnPoke(nullptr);
  EXPECT_EQ(gPokes, 2);
  copy->Free();
}

// A part left out of a definition is read when asked for as the whole would
// have read it: nested where it stood, its handlers bound by name; a part
// whose parent has gone meanwhile fails with its line.
TEST(FormDefinition, APartLeftOutIsReadWhenAskedFor) {
  const char* text =
      "TSampleForm S { ClientWidth = 320; ClientHeight = 200;\n"
      "  TTestBox Box1 { Width = 150; Height = 100;\n"
      "    TTestBox Box3 { Left = 10; Width = 60; Height = 30; OnClick = BoxClick;\n"
      "      TTestLabel Inner { Caption = \"in\"; }\n"
      "    }\n"
      "  }\n"
      "  TTestBox Box2 { Left = 170; Width = 100; Height = 100; }\n"
      "}";
  auto* form = new TSampleForm;
  form->CreateNew(Application);
  std::vector<TDeferredFormPart> parts = ReadFormDefinition(form, text, {"box3", "Box2"});
  form->AfterConstruction();
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(parts[0].parentName, "Box1");
  EXPECT_EQ(parts[1].parentName, "");
  for (const char* name : {"Box3", "Inner", "Box2"}) EXPECT_EQ(form->FindComponent(name), nullptr) << name;
  form->Show();
  auto* box3 = dynamic_cast<TTestBox*>(ReadFormPart(form, parts[0]));
  ASSERT_NE(box3, nullptr);
  EXPECT_EQ(box3->Parent(), qvtest::Find(form, "Box1"));
  EXPECT_EQ(qvtest::Find(form, "Inner")->Parent(), box3);
  EXPECT_FALSE(box3->ComponentState().Contains(csLoading));
  EXPECT_FALSE(box3->HandleAllocated());  // not while its properties were read
  box3->Handle();
  qvtest::Click(box3);
  EXPECT_EQ(form->log, (std::vector<std::string>{"click Box3"}));
  qvtest::Find(form, "Box1")->Free();
  try {
    ReadFormPart(form, parts[0]);
    ADD_FAILURE() << "a part without its parent was read";
  } catch (const EFormError& e) {
    EXPECT_EQ(e.Message(), "Line 3: Box3: Component Box1 not found");
  }
  EXPECT_EQ(ReadFormPart(form, parts[1])->Name(), "Box2");
  form->Free();
}
