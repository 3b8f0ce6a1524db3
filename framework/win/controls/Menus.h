#pragma once
// Menus: items with captions, shortcuts, check marks and sub-items; the menu
// bar of a form (TMainMenu) and pop-up menus (TPopupMenu). A caption "-" is
// a separator. Menus build their system menus from the items when shown.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Component.h"
#include "core/Events.h"
#include "win/Controls.h"
#include "win/Forms.h"

// A key with modifiers: the virtual key in the low byte plus scShift, scCtrl, scAlt.
using TShortCut = uint16_t;
constexpr TShortCut scNone = 0;
constexpr TShortCut scShift = 0x2000;
constexpr TShortCut scCtrl = 0x4000;
constexpr TShortCut scAlt = 0x8000;

TShortCut ShortCut(uint16_t key, TShiftState shift);
// "Ctrl+Shift+S", "F5", "Del"; "" for scNone.
std::string ShortCutToText(TShortCut shortCut);
// The reverse (ignoring ASCII case), also a plain decimal; scNone for text it cannot read.
TShortCut TextToShortCut(const std::string& text);

class TMenu;

class TMenuItem : public TComponent {
public:
  void Create(TComponent* owner) override;
  void BeforeDestruction() override;
  ~TMenuItem() override;

  const std::string& Caption() const { return caption; }
  void SetCaption(const std::string& value);
  TShortCut ShortCut() const { return shortCut; }
  void SetShortCut(TShortCut value);
  bool Checked() const { return checked; }
  void SetChecked(bool value);
  bool Enabled() const { return enabled; }
  void SetEnabled(bool value);
  bool Visible() const { return visible; }
  void SetVisible(bool value);
  // A checked radio item unchecks the others of its GroupIndex among its siblings.
  bool RadioItem() const { return radioItem; }
  void SetRadioItem(bool value);
  int GroupIndex() const { return groupIndex; }
  void SetGroupIndex(int value) { groupIndex = value; }
  // Shown bold; the item a double click would choose.
  bool Default() const { return isDefault; }
  void SetDefault(bool value);
  const std::string& Hint() const { return hint; }
  void SetHint(const std::string& value) { hint = value; }
  // True for a separator.
  bool IsLine() const { return caption == "-"; }

  int Count() const { return static_cast<int>(items.size()); }
  // Raises EListError out of range.
  TMenuItem* Items(int index) const;
  // Adds item at the end (an item without an owner becomes owned by this one);
  // an item in another menu leaves it first.
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  // Takes item out (it is not freed).
  void Remove(TMenuItem* item);
  // Frees the sub-item at index.
  void Delete(int index);
  void Clear();
  int IndexOf(const TMenuItem* item) const;
  TMenuItem* Parent() const { return parentItem; }
  // The menu the item is in (through its parents), or null.
  TMenu* GetParentMenu() const;
  // The item whose command id is id among this one and its descendants, or null.
  TMenuItem* FindItem(UINT id);
  UINT Command() const { return command; }

  // Fires OnClick when enabled.
  virtual void Click();

  TNotifyEvent OnClick;

private:
  friend class TMenu;
  void Changed();
  // Appends this item's entry (and sub-menu) to menu.
  void AppendTo(HMENU menu);

  std::string caption;
  TShortCut shortCut = scNone;
  bool checked = false;
  bool enabled = true;
  bool visible = true;
  bool radioItem = false;
  int groupIndex = 0;
  bool isDefault = false;
  std::string hint;
  std::vector<TMenuItem*> items;  // not owned here (owners free them); each knows this as parent
  TMenuItem* parentItem = nullptr;  // not owned
  TMenu* rootOf = nullptr;          // the menu whose root this is, not owned
  UINT command = 0;
};

class TMenu : public TComponent {
public:
  void Create(TComponent* owner) override;

  // The root item; the menu's entries are its sub-items.
  TMenuItem* Items() const { return items; }
  // Clicks the enabled, visible item with this shortcut; true when there was one.
  bool IsShortCut(uint16_t key, TShiftState shift);
  // The item of command id id, or null.
  TMenuItem* FindItem(UINT id) { return items->FindItem(id); }
  // Builds the system menu of the items (caller owns it: DestroyMenu).
  HMENU BuildMenu(bool popup);

protected:
  friend class TMenuItem;
  virtual void MenuChanged() {}

private:
  TMenuItem* items = nullptr;  // owned (through the component list)
};

// A form's menu bar: give it to a form (its Menu), which shows it with
// SetMenu and keeps it through a recreated window. Handle() is the bar itself,
// owned by the menu; a window showing it must let go before it is destroyed.
class TMainMenu : public TMenu, public IMainMenu {
public:
  ~TMainMenu() override;
  HMENU Handle() override;
  // The window showing this menu bar, redrawn when items change (not owned).
  void SetWindow(HWND value) override { window = value; }
  bool IsShortCut(uint16_t key, TShiftState shift) override { return TMenu::IsShortCut(key, shift); }

protected:
  void MenuChanged() override;

private:
  HMENU handle = nullptr;  // owned
  HWND window = nullptr;   // not owned
};

enum TPopupAlignment { paLeft, paRight, paCenter };

class TPopupMenu : public TMenu, public IPopupMenu {
public:
  // Shows the menu at screen (x, y) and runs the chosen item's OnClick.
  void Popup(int x, int y);
  void PopupFor(TComponent* control, int x, int y) override;
  bool AutoPopup() const override { return autoPopup; }
  bool IsShortCut(uint16_t key, TShiftState shift) override { return TMenu::IsShortCut(key, shift); }
  void SetAutoPopup(bool value) { autoPopup = value; }
  // The control the menu was last shown for (null when shown by Popup alone).
  TComponent* PopupComponent() const { return popupComponent; }
  void SetPopupComponent(TComponent* value) { popupComponent = value; }
  TPopupAlignment Alignment() const { return alignment; }
  void SetAlignment(TPopupAlignment value) { alignment = value; }

  TNotifyEvent OnPopup;

protected:
  void Notification(TComponent* component, TOperation operation) override;

private:
  bool autoPopup = true;
  TComponent* popupComponent = nullptr;  // not owned
  TPopupAlignment alignment = paLeft;
};
