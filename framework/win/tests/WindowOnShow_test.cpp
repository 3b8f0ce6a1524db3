// A window control's window is made when the control shows (itself and every
// parent visible) or when something asks for its handle; a hidden control
// keeps its state without one, and its window shows that state when made.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "win/Forms.h"
#include "win/controls/ExtCtrls.h"
#include "win/controls/StdCtrls.h"
#include "win/graphics/Graphics.h"
#include "win/testing/FormFixture.h"
#include "win/testing/Harness.h"

namespace {

std::string WindowText(HWND hwnd) {
  wchar_t text[256] = {};
  GetWindowTextW(hwnd, text, 256);
  std::string out;
  for (const wchar_t* p = text; *p != 0; ++p) out += static_cast<char>(*p);
  return out;
}

// The bounds of a child window in its parent's client area.
TRect WindowBounds(HWND hwnd) {
  RECT r;
  GetWindowRect(hwnd, &r);
  MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  return TRect::FromRECT(r);
}

struct WindowOnShowTest : qvtest::ApplicationTest {
  void SetUp() override {
    ApplicationTest::SetUp();
    form = New<TForm>(Application);
    form->SetBounds(40, 40, 520, 400);
  }
  void TearDown() override {
    form->Free();
    ApplicationTest::TearDown();
  }
  TForm* form = nullptr;
};

TEST_F(WindowOnShowTest, AControlOnAHiddenPanelGetsItsWindowWhenThePanelShows) {
  auto* panel = New<TPanel>(form);
  panel->SetParent(form);
  panel->SetBounds(10, 10, 300, 200);
  panel->Hide();
  auto* edit = New<TEdit>(form);
  edit->SetParent(panel);
  edit->SetBounds(8, 30, 120, 21);
  edit->SetTabStop(true);
  form->Show();
  qvtest::Pump(10);
  EXPECT_TRUE(form->HandleAllocated());
  EXPECT_FALSE(panel->HandleAllocated());
  EXPECT_FALSE(edit->HandleAllocated());

  // State set while hidden: kept, and in the window once it is made.
  edit->SetCaption("kept");
  edit->Font()->SetSize(14);
  edit->SetEnabled(false);
  edit->SetEnabled(true);
  edit->SetTop(36);
  EXPECT_EQ(edit->Text(), "kept");
  EXPECT_FALSE(edit->HandleAllocated());
  panel->Show();
  ASSERT_TRUE(edit->HandleAllocated());
  EXPECT_EQ(WindowText(edit->Handle()), "kept");
  EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageW(edit->Handle(), WM_GETFONT, 0, 0)), edit->Font()->Handle());
  EXPECT_TRUE(WindowBounds(edit->Handle()) == Bounds(8, 36, 120, 21));
  EXPECT_TRUE(IsWindowVisible(edit->Handle()));
  edit->SetFocus();
  EXPECT_TRUE(edit->Focused());

  // Asking for a hidden control's handle makes its window (hidden) at once,
  // and its parent's, but not the windows of its hidden parent's other children.
  auto* other = New<TPanel>(form);
  other->SetParent(form);
  other->SetBounds(320, 10, 150, 200);
  other->Hide();
  auto* box = New<TCheckBox>(form);
  box->SetParent(other);
  box->SetChecked(true);
  auto* list = New<TListBox>(form);
  list->SetParent(other);
  list->SetTop(40);
  list->Items()->Add("one");
  list->Items()->Add("two");
  list->SetItemIndex(1);
  HWND boxWindow = box->Handle();
  EXPECT_TRUE(other->HandleAllocated());
  EXPECT_FALSE(list->HandleAllocated());
  EXPECT_FALSE(IsWindowVisible(boxWindow));
  EXPECT_EQ(SendMessageW(boxWindow, BM_GETCHECK, 0, 0), BST_CHECKED);
  other->Show();
  ASSERT_TRUE(list->HandleAllocated());
  EXPECT_EQ(SendMessageW(list->Handle(), LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(list->Handle(), LB_GETCURSEL, 0, 0), 1);
  EXPECT_TRUE(IsWindowVisible(boxWindow));
}

// The model of one control: what its properties and its window must say.
struct ModelControl {
  TWinControl* control = nullptr;
  int parent = -1;  // index in the model, -1: the form
  bool visible = true;
  bool enabled = true;
  TRect bounds;
  bool windowed = false;
  std::string text;                 // edits
  TCheckBoxState check = cbUnchecked;  // check boxes
  std::vector<std::string> items;   // list and combo boxes
  int itemIndex = -1;
  bool checked = false;             // radio buttons
};

// Random showing, hiding, state changes and handle requests on panels (one
// nested) holding an edit, a check box, a list box, a combo box and two radio
// buttons each, against a model of which controls have windows and what
// every control holds.
TEST_F(WindowOnShowTest, RandomShowsHidesStateAndHandleRequestsFollowTheModel) {
  std::vector<ModelControl> model;
  auto add = [&](TWinControl* control, int parentIndex, TRect bounds) {
    control->SetParent(parentIndex < 0 ? static_cast<TWinControl*>(form) : model[parentIndex].control);
    control->SetBoundsRect(bounds);
    ModelControl m;
    m.control = control;
    m.parent = parentIndex;
    m.bounds = bounds;
    model.push_back(m);
    return static_cast<int>(model.size()) - 1;
  };
  auto addLeaves = [&](int panelIndex) {
    add(New<TEdit>(form), panelIndex, Bounds(4, 4, 90, 21));
    add(New<TCheckBox>(form), panelIndex, Bounds(4, 30, 90, 17));
    add(New<TListBox>(form), panelIndex, Bounds(4, 50, 90, 60));
    add(New<TComboBox>(form), panelIndex, Bounds(4, 114, 90, 21));
    add(New<TRadioButton>(form), panelIndex, Bounds(4, 140, 90, 17));
    add(New<TRadioButton>(form), panelIndex, Bounds(4, 160, 90, 17));
  };
  const int first = add(New<TPanel>(form), -1, Bounds(4, 4, 240, 340));
  addLeaves(first);
  const int nested = add(New<TPanel>(form), first, Bounds(100, 120, 130, 200));
  addLeaves(nested);
  const int second = add(New<TPanel>(form), -1, Bounds(250, 4, 240, 340));
  addLeaves(second);
  const int rounds = std::getenv("QV_LONG") != nullptr ? 3000 : 300;
  std::mt19937 random(20261208);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  // Some controls are hidden before the form first shows.
  for (ModelControl& m : model) {
    m.text = m.control->Text();
    m.visible = pick(3) != 0;
    m.control->SetVisible(m.visible);
  }
  bool formVisible = true;
  form->Show();
  auto chainVisible = [&](int i) {
    for (int c = i; c >= 0; c = model[c].parent)
      if (!model[c].visible) return false;
    return formVisible;
  };
  for (int round = -1; round < rounds; ++round) {
    ModelControl& m = model[pick(static_cast<int>(model.size()))];
    std::string what = "showing the form";
    switch (round < 0 ? -1 : pick(9)) {
      case 0:
      case 1:
        m.visible = !m.visible;
        m.control->SetVisible(m.visible);
        what = "visible";
        break;
      case 2:
        m.enabled = !m.enabled;
        m.control->SetEnabled(m.enabled);
        what = "enabled";
        break;
      case 3:
        m.bounds = Bounds(pick(40), pick(40), 20 + pick(80), 17 + pick(40));
        m.control->SetBoundsRect(m.bounds);
        what = "bounds";
        break;
      case 4:
      case 5:
        if (auto* edit = dynamic_cast<TEdit*>(m.control)) {
          m.text = "text " + std::to_string(pick(1000));
          edit->SetCaption(m.text);
        } else if (auto* box = dynamic_cast<TCheckBox*>(m.control)) {
          m.check = static_cast<TCheckBoxState>(pick(3));
          box->SetState(m.check);
        } else if (auto* list = dynamic_cast<TListBox*>(m.control)) {
          if (pick(2) == 0 || m.items.empty()) {
            m.items.push_back("item " + std::to_string(round));
            list->Items()->Add(m.items.back());
          } else {
            m.itemIndex = pick(static_cast<int>(m.items.size()) + 1) - 1;
            list->SetItemIndex(m.itemIndex);
          }
        } else if (auto* combo = dynamic_cast<TComboBox*>(m.control)) {
          if (pick(2) == 0 || m.items.empty()) {
            m.items.push_back("entry " + std::to_string(round));
            combo->Items()->Add(m.items.back());
          } else {
            m.itemIndex = pick(static_cast<int>(m.items.size()) + 1) - 1;
            combo->SetItemIndex(m.itemIndex);
          }
        } else if (auto* radio = dynamic_cast<TRadioButton*>(m.control)) {
          // Checking one unchecks the other radio buttons of its parent.
          const bool value = pick(3) != 0;
          if (value)
            for (ModelControl& sibling : model)
              if (sibling.parent == m.parent && dynamic_cast<TRadioButton*>(sibling.control) != nullptr)
                sibling.checked = false;
          m.checked = value;
          radio->SetChecked(value);
        }
        what = "state";
        break;
      case 6:
      case 7:
        m.control->HandleNeeded();
        for (int c = static_cast<int>(&m - model.data()); c >= 0; c = model[c].parent) model[c].windowed = true;
        what = "handle";
        break;
      case 8:
        if (pick(4) != 0) continue;
        formVisible = !formVisible;
        form->SetVisible(formVisible);
        what = "form";
        break;
    }
    // Windows come to the visible children of every control that has one
    // and shows; the model lists parents before their children.
    for (size_t i = 0; i < model.size(); ++i) {
      const bool parentWindowed = model[i].parent < 0 || model[model[i].parent].windowed;
      if (parentWindowed && chainVisible(static_cast<int>(i))) model[i].windowed = true;
    }

    SCOPED_TRACE(testing::Message() << "round " << round << " after " << what);
    for (size_t i = 0; i < model.size(); ++i) {
      const ModelControl& c = model[i];
      SCOPED_TRACE(testing::Message() << "control " << i << " " << c.control->ClassName());
      ASSERT_EQ(c.control->HandleAllocated(), c.windowed);
      EXPECT_EQ(c.control->Visible(), c.visible);
      EXPECT_EQ(c.control->Enabled(), c.enabled);
      auto* box = dynamic_cast<TCheckBox*>(c.control);
      auto* list = dynamic_cast<TListBox*>(c.control);
      auto* combo = dynamic_cast<TComboBox*>(c.control);
      // A combo box's window sets its own height (from its font).
      TRect bounds = c.control->BoundsRect();
      if (combo != nullptr) bounds.Bottom = bounds.Top + c.bounds.Height();
      EXPECT_TRUE(bounds == c.bounds);
      auto* radio = dynamic_cast<TRadioButton*>(c.control);
      if (dynamic_cast<TEdit*>(c.control) != nullptr) EXPECT_EQ(c.control->Text(), c.text);
      if (box != nullptr) EXPECT_EQ(box->State(), c.check);
      if (list != nullptr) {
        ASSERT_EQ(list->Items()->Count(), static_cast<int>(c.items.size()));
        EXPECT_EQ(list->ItemIndex(), c.itemIndex);
      }
      if (combo != nullptr) {
        ASSERT_EQ(combo->Items()->Count(), static_cast<int>(c.items.size()));
        EXPECT_EQ(combo->ItemIndex(), c.itemIndex);
      }
      if (radio != nullptr) EXPECT_EQ(radio->Checked(), c.checked);
      if (!c.windowed) continue;
      // Reading a property asked for no window.
      HWND hwnd = c.control->Handle();
      EXPECT_EQ(IsWindowEnabled(hwnd) != FALSE, c.enabled);
      EXPECT_EQ((GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0, c.visible);
      EXPECT_EQ(IsWindowVisible(hwnd) != FALSE, chainVisible(static_cast<int>(i)));
      EXPECT_TRUE(WindowBounds(hwnd) == c.control->BoundsRect());
      if (dynamic_cast<TEdit*>(c.control) != nullptr) EXPECT_EQ(WindowText(hwnd), c.text);
      if (box != nullptr) EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0), static_cast<LRESULT>(c.check));
      if (list != nullptr) {
        ASSERT_EQ(SendMessageW(hwnd, LB_GETCOUNT, 0, 0), static_cast<LRESULT>(c.items.size()));
        for (size_t k = 0; k < c.items.size(); ++k) {
          wchar_t item[64] = {};
          SendMessageW(hwnd, LB_GETTEXT, k, reinterpret_cast<LPARAM>(item));
          EXPECT_EQ(std::wstring(item), std::wstring(c.items[k].begin(), c.items[k].end()));
        }
        EXPECT_EQ(SendMessageW(hwnd, LB_GETCURSEL, 0, 0), c.itemIndex);
      }
      if (combo != nullptr) {
        ASSERT_EQ(SendMessageW(hwnd, CB_GETCOUNT, 0, 0), static_cast<LRESULT>(c.items.size()));
        for (size_t k = 0; k < c.items.size(); ++k) {
          wchar_t item[64] = {};
          SendMessageW(hwnd, CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(item));
          EXPECT_EQ(std::wstring(item), std::wstring(c.items[k].begin(), c.items[k].end()));
        }
        EXPECT_EQ(SendMessageW(hwnd, CB_GETCURSEL, 0, 0), c.itemIndex);
      }
      if (radio != nullptr) EXPECT_EQ(SendMessageW(hwnd, BM_GETCHECK, 0, 0), c.checked ? BST_CHECKED : BST_UNCHECKED);
      // The child windows stand in tab order, whenever each was made.
      std::vector<HWND> expected, actual;
      for (TWinControl* child : c.control->TabOrderList())
        if (child->HandleAllocated()) expected.push_back(child->Handle());
      for (HWND w = GetWindow(hwnd, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT))
        if (FindControl(w) != nullptr) actual.push_back(w);
      EXPECT_EQ(actual, expected);
    }
    if (HasFatalFailure()) return;
  }
}

}  // namespace
