#include <gtest/gtest.h>

#include "SampleForm.h"
#include "win/ClassInfo.h"
#include "win/HintWindow.h"
#include "win/Timer.h"
#include "win/graphics/Graphics.h"
#include "win/testing/Harness.h"

namespace {

// Answers the layer's notifications so tests can see them arrive.
class TProbe : public TTestBox {
  QV_MESSAGE_MAP(TProbe, TTestBox)

public:
  std::vector<UINT> seen;
  bool takesReturn = false;
  std::string hintOverride;
  bool refuseHint = false;

protected:
  void Record(TMessage& m) {
    seen.push_back(m.Msg);
    if (m.Msg == CM_DIALOGKEY) m.Result = takesReturn && m.WParam == VK_RETURN ? 1 : 0;
    if (m.Msg == CN_CTLCOLORSTATIC) m.Result = 77;
    if (m.Msg == CM_DIALOGCHAR) m.Result = IsAccel(static_cast<unsigned>(m.WParam), Caption()) ? 1 : 0;
    if (m.Msg == CM_HINTSHOW) {
      auto* info = reinterpret_cast<THintInfo*>(m.LParam);
      if (!hintOverride.empty()) info->HintStr = hintOverride;
      m.Result = refuseHint ? 1 : 0;
    }
  }
};

const TMessageMap* TProbe::ClassMessageMap() {
  static const TMessageMap map(TTestBox::ClassMessageMap(), {
      OnMessage(CN_COMMAND, &TProbe::Record),
      OnMessage(CN_NOTIFY, &TProbe::Record),
      OnMessage(CN_CTLCOLORSTATIC, &TProbe::Record),
      OnMessage(CN_DRAWITEM, &TProbe::Record),
      OnMessage(CM_DIALOGKEY, &TProbe::Record),
      OnMessage(CM_DIALOGCHAR, &TProbe::Record),
      OnMessage(CM_FOCUSCHANGED, &TProbe::Record),
      OnMessage(CM_HINTSHOW, &TProbe::Record),
  });
  return &map;
}

class TFakePopup : public TComponent, public IPopupMenu {
public:
  TComponent* shownFor = nullptr;
  int x = 0, y = 0;
  bool autoPopup = true;
  void PopupFor(TComponent* control, int x_, int y_) override { shownFor = control, x = x_, y = y_; }
  bool AutoPopup() const override { return autoPopup; }
};

struct ControlsTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    form = New<TForm>(Application);
    form->SetClientSize(300, 200);
    token = form->Alive();
  }
  void TearDown() override {
    if (*token) form->Free();
  }
  template <class T>
  T* Add(const char* name, int x, int y, TWinControl* parent = nullptr) {
    T* c = New<T>(form);
    c->SetName(name);
    c->SetBounds(x, y, 60, 40);
    c->SetParent(parent != nullptr ? parent : form);
    return c;
  }
  TForm* form = nullptr;
  TAliveToken token;
};

}  // namespace

TEST(ControlHelpers, AcceleratorsFollowTheAmpersand) {
  struct Case {
    unsigned ch;
    const char* caption;
    bool accel;
  } cases[] = {
      {'N', "&Next >", true},  {'n', "&Next >", true},   {'x', "&Next >", false}, {'B', "< &Back", true},
      {'A', "A&&B", false},    {'B', "A&&&B", true},    {'C', "", false},        {'C', "trailing&", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsAccel(c.ch, c.caption), c.accel) << c.caption << " " << char(c.ch);
}

TEST_F(ControlsTest, BiDiModeDecidesTheTextFlags) {
  TControl* c = Add<TTestBox>("Box", 0, 0);
  struct Case {
    TBiDiMode mode;
    UINT in, out;
  } cases[] = {
      {bdLeftToRight, DT_LEFT, DT_LEFT},
      {bdRightToLeft, DT_LEFT, DT_RIGHT | DT_RTLREADING},
      {bdRightToLeft, DT_RIGHT, DT_RTLREADING},
      {bdRightToLeft, DT_CENTER, DT_CENTER | DT_RTLREADING},
      {bdRightToLeftNoAlign, DT_LEFT, DT_RTLREADING},
      {bdRightToLeftReadingOnly, DT_RIGHT, DT_RIGHT | DT_RTLREADING},
  };
  for (const Case& k : cases) {
    c->SetBiDiMode(k.mode);
    EXPECT_EQ(c->DrawTextBiDiModeFlags(k.in), k.out) << k.mode;
  }
  EXPECT_FALSE(c->ParentBiDiMode());
  form->SetBiDiMode(bdRightToLeft);
  TControl* child = Add<TTestBox>("Child", 0, 0);
  EXPECT_EQ(child->BiDiMode(), bdRightToLeft);  // taken from the parent
  EXPECT_TRUE(child->UseRightToLeftScrollBar());
}

TEST(ClassInfo, LooksUpClassesAndPropertiesUpTheChain) {
  const TClassInfo* box = FindClassInfo("ttestbox");  // names ignore case
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->Parent(), FindClassInfo("TCustomControl"));
  EXPECT_NE(box->FindProp("caption"), nullptr);   // from TControl
  EXPECT_NE(box->FindProp("TabStop"), nullptr);   // from TWinControl
  EXPECT_EQ(box->FindProp("Nothing"), nullptr);
  EXPECT_TRUE(box->InheritsFrom(FindClassInfo("TControl")));
  EXPECT_FALSE(FindClassInfo("TControl")->InheritsFrom(box));
  std::vector<const TPropInfo*> all = box->AllProps();
  ASSERT_FALSE(all.empty());
  EXPECT_EQ(all.front()->name, "Tag");  // parents' properties first
  // An unregistered class finds its nearest registered ancestor.
  TProbe* probe = New<TProbe>(nullptr);
  EXPECT_EQ(ClassInfoOf(probe), box);
  probe->Free();
  EXPECT_EQ(ClassInfoOf(nullptr), nullptr);
  // Registered again, a type is found under its new name only.
  struct TRenamed {};
  TClassInfo renamed;
  renamed.type = typeid(TRenamed);
  renamed.name = "TRenamedOld";
  RegisterClassInfo(renamed);
  renamed.name = "TRenamedNew";
  RegisterClassInfo(renamed);
  EXPECT_EQ(FindClassInfo("TRenamedOld"), nullptr);
  EXPECT_EQ(FindClassInfo("trenamednew"), FindClassInfo(typeid(TRenamed)));
  const TEnumNames names{"alNone", "alTop"};
  EXPECT_EQ(EnumOrdinal(names, "ALTOP"), 1);
  EXPECT_EQ(EnumOrdinal(names, "alLeft"), -1);
  EXPECT_EQ(EnumName(names, 5), "5");
}

TEST_F(ControlsTest, ParentsReflectNotificationsToTheChild) {
  TProbe* probe = Add<TProbe>("Probe", 10, 10);
  HWND parent = form->Handle();
  HWND child = probe->Handle();
  SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), 7), reinterpret_cast<LPARAM>(child));
  NMHDR hdr{child, 0, 0};
  SendMessageW(parent, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&hdr));
  HDC dc = GetDC(child);
  EXPECT_EQ(SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child)), 77);
  ReleaseDC(child, dc);
  DRAWITEMSTRUCT dis{};
  dis.CtlType = ODT_BUTTON;
  dis.hwndItem = child;
  SendMessageW(parent, WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
  EXPECT_EQ(probe->seen, (std::vector<UINT>{CN_COMMAND, CN_NOTIFY, CN_CTLCOLORSTATIC, CN_DRAWITEM}));
  // A control that does not handle CN_CTLCOLOR answers its own colours.
  TTestBox* plain = Add<TTestBox>("Plain", 100, 10);
  dc = GetDC(plain->Handle());
  EXPECT_NE(SendMessageW(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(plain->Handle())), 0);
  ReleaseDC(plain->Handle(), dc);
}

TEST_F(ControlsTest, TabMovesTheFocusAndDialogKeysReachTheControls) {
  TProbe* a = Add<TProbe>("A", 0, 0);
  TProbe* b = Add<TProbe>("B", 70, 0);
  TProbe* c = Add<TProbe>("C", 140, 0);
  for (TProbe* p : {a, b, c}) p->SetTabStop(true);
  b->SetTabOrder(0);  // tab order: B, A, C
  std::vector<std::string> log;
  static std::vector<std::string>* gLog;
  gLog = &log;
  a->OnEnter = TNotifyEvent(+[](TObject* s) { gLog->push_back("enter " + static_cast<TComponent*>(s)->Name()); });
  a->OnExit = TNotifyEvent(+[](TObject* s) { gLog->push_back("exit " + static_cast<TComponent*>(s)->Name()); });
  form->Show();
  EXPECT_TRUE(b->Focused());  // the first tab stop
  qvtest::PressKey(b, VK_TAB);
  EXPECT_TRUE(a->Focused());
  qvtest::PressKey(a, VK_TAB);
  EXPECT_TRUE(c->Focused());
  qvtest::PressKey(c, VK_TAB);  // wraps around
  EXPECT_TRUE(b->Focused());
  EXPECT_EQ(log, (std::vector<std::string>{"enter A", "exit A"}));
  EXPECT_EQ(form->ActiveControl(), b);
  // Enter goes round as CM_DIALOGKEY until a control takes it.
  c->takesReturn = true;
  a->seen.clear();
  c->seen.clear();
  qvtest::PressKey(b, VK_RETURN);
  EXPECT_EQ(std::count(c->seen.begin(), c->seen.end(), CM_DIALOGKEY), 1);
  EXPECT_EQ(std::count(a->seen.begin(), a->seen.end(), CM_DIALOGKEY), 1);
}

TEST_F(ControlsTest, KeyPreviewLetsTheFormTakeKeysFirst) {
  TTestBox* box = Add<TTestBox>("Box", 0, 0);
  box->SetTabStop(true);
  static int formKeys, boxKeys;
  formKeys = boxKeys = 0;
  form->OnKeyDown = TKeyEvent(+[](TObject*, uint16_t& key, TShiftState) {
    ++formKeys;
    if (key == 'A') key = 0;
  });
  box->OnKeyDown = TKeyEvent(+[](TObject*, uint16_t&, TShiftState) { ++boxKeys; });
  form->SetKeyPreview(true);
  form->Show();
  box->SetFocus();
  qvtest::PressKey(box, 'A');  // eaten by the form
  qvtest::PressKey(box, 'B');  // seen by both
  EXPECT_EQ(formKeys, 2);
  EXPECT_EQ(boxKeys, 1);
  form->SetKeyPreview(false);
  qvtest::PressKey(box, 'B');
  EXPECT_EQ(formKeys, 2);
  EXPECT_EQ(boxKeys, 2);
}

TEST_F(ControlsTest, PopupMenusOpenForTheirControlAndForgetFreedMenus) {
  TTestBox* box = Add<TTestBox>("Box", 0, 0);
  TTestLabel* label = New<TTestLabel>(form);
  label->SetBounds(100, 100, 80, 20);
  label->SetParent(form);
  TFakePopup* menu = New<TFakePopup>(form);
  TFakePopup* labelMenu = New<TFakePopup>(form);
  box->SetPopupMenu(menu);
  label->SetPopupMenu(labelMenu);
  form->Show();
  qvtest::RightClick(box);
  EXPECT_EQ(menu->shownFor, box);
  qvtest::RightClick(label);
  EXPECT_EQ(labelMenu->shownFor, label);
  menu->shownFor = nullptr;
  menu->autoPopup = false;
  qvtest::RightClick(box);
  EXPECT_EQ(menu->shownFor, nullptr);
  EXPECT_THROW(box->SetPopupMenu(New<TComponent>(form)), EComponentError);
  menu->Free();
  EXPECT_EQ(box->PopupMenu(), nullptr);
}

TEST_F(ControlsTest, WindowlessControlsHearTheMouseComeAndGo) {
  TTestLabel* label = New<TTestLabel>(form);
  label->SetBounds(10, 10, 80, 20);
  label->SetParent(form);
  static std::vector<std::string> log;
  log.clear();
  label->OnMouseEnter = TNotifyEvent(+[](TObject*) { log.push_back("enter"); });
  label->OnMouseLeave = TNotifyEvent(+[](TObject*) { log.push_back("leave"); });
  label->OnMouseMove = TMouseMoveEvent(+[](TObject*, TShiftState, int x, int y) { log.push_back("move " + std::to_string(x)); });
  form->Show();
  HWND hwnd = form->Handle();
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(15, 15));
  SendMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(200, 150));
  EXPECT_EQ(log, (std::vector<std::string>{"enter", "move 5", "leave"}));
}

TEST_F(ControlsTest, TheScreenCursorWinsOverTheControlsCursor) {
  TTestBox* box = Add<TTestBox>("Box", 0, 0);
  box->SetCursor(crHandPoint);
  form->Show();
  HWND hwnd = box->Handle();
  LPARAM hit = MAKELPARAM(HTCLIENT, WM_MOUSEMOVE);
  EXPECT_EQ(SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), hit), 1);
  EXPECT_EQ(GetCursor(), Screen->Cursors(crHandPoint));
  Screen->SetCursor(crHourGlass);
  SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd), hit);
  EXPECT_EQ(GetCursor(), Screen->Cursors(crHourGlass));
  Screen->SetCursor(crDefault);
  EXPECT_EQ(Screen->Cursors(crNone), nullptr);
  EXPECT_EQ(Screen->Cursors(1234), Screen->Cursors(crArrow));
}

TEST_F(ControlsTest, VisibleAndEnabledReachTheWindow) {
  TTestBox* box = Add<TTestBox>("Box", 0, 0);
  form->Show();
  EXPECT_TRUE(IsWindowVisible(box->Handle()));
  box->Hide();
  EXPECT_FALSE(IsWindowVisible(box->Handle()));
  EXPECT_FALSE(box->Showing());
  box->Show();
  box->SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(box->Handle()));
  EXPECT_FALSE(box->CanFocus());
  EXPECT_THROW(form->SetActiveControl(box), EInvalidOperation);
  // A child added to a shown form gets its window at once.
  TTestBox* late = Add<TTestBox>("Late", 100, 0);
  EXPECT_TRUE(late->HandleAllocated());
  EXPECT_EQ(FindControl(late->Handle()), late);
}

TEST_F(ControlsTest, HintsShowAfterThePauseAndCanBeCancelled) {
  TProbe* probe = Add<TProbe>("Probe", 10, 10);
  probe->SetHint("Short|Long");
  probe->SetShowHint(true);
  Application->SetHintPause(20);
  form->Show();
  qvtest::MoveMouseTo(probe);
  TPoint p = probe->ScreenToClient(probe->ClientToScreen(Point(5, 5)));
  SendMessageW(probe->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(p.X, p.Y));
  ASSERT_TRUE(qvtest::PumpUntil([] { return Application->HintWindow() != nullptr && Application->HintWindow()->IsShown(); }));
  EXPECT_EQ(Application->HintWindow()->Caption(), "Short");
  EXPECT_EQ(Application->HintControl(), probe);
  Application->CancelHint();
  EXPECT_FALSE(Application->HintWindow()->IsShown());
  // The control may change the text, or refuse.
  probe->hintOverride = "Changed";
  Application->ActivateHint(probe->ClientToScreen(Point(5, 5)));
  EXPECT_FALSE(Application->HintWindow()->IsShown());  // no control followed after cancel
  SendMessageW(probe->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(6, 6));
  ASSERT_TRUE(qvtest::PumpUntil([] { return Application->HintWindow()->IsShown(); }));
  EXPECT_EQ(Application->HintWindow()->Caption(), "Changed");
  Application->CancelHint();
  probe->refuseHint = true;
  SendMessageW(probe->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(7, 7));
  qvtest::Pump(150);
  EXPECT_FALSE(Application->HintWindow()->IsShown());
  Application->CancelHint();
  Application->SetHintPause(500);
}

TEST_F(ControlsTest, TimersFireUntilDisabled) {
  TTimer* timer = New<TTimer>(form);
  static int ticks;
  ticks = 0;
  timer->SetInterval(10);
  timer->OnTimer = TNotifyEvent(+[](TObject*) { ++ticks; });
  ASSERT_TRUE(qvtest::PumpUntil([] { return ticks >= 3; }, 2000));
  timer->SetEnabled(false);
  int stopped = ticks;
  qvtest::Pump(100);
  EXPECT_EQ(ticks, stopped);
  timer->SetEnabled(true);
  EXPECT_TRUE(qvtest::PumpUntil([&] { return ticks > stopped; }, 2000));
  // A new interval keeps it running; interval 0 stops it.
  timer->SetInterval(20);
  stopped = ticks;
  EXPECT_TRUE(qvtest::PumpUntil([&] { return ticks > stopped; }, 2000));
  timer->SetInterval(0);
  stopped = ticks;
  qvtest::Pump(100);
  EXPECT_EQ(ticks, stopped);
  // Setting what it already has, or another handler, keeps a running timer's
  // count: set again and again faster than it ticks, it still ticks.
  timer->SetInterval(100);
  stopped = ticks;
  EXPECT_TRUE(qvtest::PumpUntil(
      [&] {
        timer->SetEnabled(true);
        timer->SetInterval(100);
        timer->SetOnTimer(TNotifyEvent(+[](TObject*) { ++ticks; }));
        return ticks > stopped + 1;
      },
      5000));
}

TEST_F(ControlsTest, TimersRunSideBySideAndOneFreedInItsTickStops) {
  static TTimer* freed;
  static int firstTicks, secondTicks;
  firstTicks = secondTicks = 0;
  freed = New<TTimer>(form);
  freed->SetInterval(10);
  freed->OnTimer = TNotifyEvent(+[](TObject*) {
    ++firstTicks;
    FreeAndNil(freed);
  });
  TTimer* other = New<TTimer>(form);
  other->SetInterval(10);
  other->OnTimer = TNotifyEvent(+[](TObject*) { ++secondTicks; });
  ASSERT_TRUE(qvtest::PumpUntil([] { return firstTicks == 1 && secondTicks >= 5; }, 3000));
  EXPECT_EQ(freed, nullptr);
  EXPECT_EQ(firstTicks, 1);
  other->Free();
}

TEST_F(ControlsTest, AcceleratorsReachTheControlsThroughTheForm) {
  TProbe* save = Add<TProbe>("Save", 0, 0);
  save->SetCaption("&Save");
  TProbe* other = Add<TProbe>("Other", 70, 0);
  other->SetCaption("&Other");
  form->Show();
  other->SetFocus();
  PostMessageW(other->Handle(), WM_SYSCHAR, 's', 1 << 29);  // Alt+S
  Application->ProcessMessages();
  EXPECT_EQ(std::count(save->seen.begin(), save->seen.end(), CM_DIALOGCHAR), 1);
  EXPECT_EQ(std::count(other->seen.begin(), other->seen.end(), CM_DIALOGCHAR), 0);  // Save took it
  // A plain character typed into a control that wants no characters is an accelerator too.
  qvtest::TypeText(other, "o");
  EXPECT_EQ(std::count(save->seen.begin(), save->seen.end(), CM_DIALOGCHAR), 2);
  EXPECT_EQ(std::count(other->seen.begin(), other->seen.end(), CM_DIALOGCHAR), 1);
}

TEST_F(ControlsTest, LeavingTheWindowCancelsTheHintOfAWindowlessChild) {
  TTestLabel* label = New<TTestLabel>(form);
  label->SetBounds(10, 10, 80, 20);
  label->SetHint("Label hint");
  label->SetShowHint(true);
  label->SetParent(form);
  Application->SetHintPause(10);
  form->Show();
  qvtest::MoveMouseTo(label);
  SendMessageW(form->Handle(), WM_MOUSEMOVE, 0, MAKELPARAM(15, 15));
  ASSERT_TRUE(qvtest::PumpUntil([] { return Application->HintWindow() != nullptr && Application->HintWindow()->IsShown(); }));
  EXPECT_EQ(Application->HintControl(), label);
  SendMessageW(form->Handle(), WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(Application->HintWindow()->IsShown());
  EXPECT_EQ(Application->HintControl(), nullptr);
  Application->SetHintPause(500);
}

// A windowless control moved on a shown form leaves its old and new places to
// be painted; on a form not shown yet nothing is noted, and the control is
// still painted where it stands once the form shows.
TEST_F(ControlsTest, WindowlessControlsRepaintWhereTheyMoveAndShowWhereTheyStand) {
  static int paints = 0;
  struct TCountingLabel : TGraphicControl {
    void Paint() override { ++paints; }
  };
  auto* label = New<TCountingLabel>(form);
  label->SetBounds(10, 10, 40, 20);
  label->SetParent(form);
  HWND hwnd = form->Handle();
  RECT update{};
  label->SetBounds(100, 100, 40, 20);
  EXPECT_FALSE(GetUpdateRect(hwnd, &update, FALSE));
  paints = 0;
  form->Show();
  form->Update();
  EXPECT_GE(paints, 1);
  ValidateRect(hwnd, nullptr);
  label->SetBounds(20, 30, 40, 20);
  ASSERT_TRUE(GetUpdateRect(hwnd, &update, FALSE));
  EXPECT_LE(update.left, 20);
  EXPECT_LE(update.top, 30);
  EXPECT_GE(update.right, 140);
  EXPECT_GE(update.bottom, 120);
  paints = 0;
  form->Update();
  EXPECT_EQ(1, paints);
}
