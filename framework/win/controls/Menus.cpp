#include "win/controls/Menus.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "core/Exception.h"
#include "core/Format.h"
#include "win/ClassInfo.h"

namespace {

// Command ids of live items, for WM_COMMAND from menu bars and pop-ups.
// Never destroyed: items of forms freed at exit still leave it.
std::map<UINT, TMenuItem*>& ItemsByCommand() {
  static auto* items = new std::map<UINT, TMenuItem*>;
  return *items;
}

UINT NextCommand() {
  static UINT next = 100;
  // Ids are 16-bit in WM_COMMAND; skip any still in use after wrapping.
  do {
    next = next >= 0xFFF0 ? 100 : next + 1;
  } while (ItemsByCommand().count(next) != 0);
  return next;
}

bool DispatchMenuCommand(UINT id) {
  auto found = ItemsByCommand().find(id);
  if (found == ItemsByCommand().end()) return false;
  found->second->Click();
  return true;
}

const bool kDispatcherInstalled = [] {
  MenuCommandDispatcher = &DispatchMenuCommand;
  return true;
}();

// ShortCut as text in definitions ("F5", "Ctrl+S").
TPropInfo ShortCutProp() {
  TPropInfo p;
  p.name = "ShortCut";
  p.kind = pkString;
  p.getStr = [](TObject* o) { return ShortCutToText(static_cast<TMenuItem*>(o)->ShortCut()); };
  p.setStr = [](TObject* o, const std::string& v) { static_cast<TMenuItem*>(o)->SetShortCut(TextToShortCut(v)); };
  return p;
}

// Where a definition nests an item: under its parent item, or under its menu
// for a top-level item (whose parent is the menu's root item).
TComponent* MenuItemParent(TComponent* child) {
  auto* item = dynamic_cast<TMenuItem*>(child);
  TMenuItem* parent = item != nullptr ? item->Parent() : nullptr;
  if (parent == nullptr) return nullptr;
  if (parent->Parent() == nullptr && parent->GetParentMenu() != nullptr) return parent->GetParentMenu();
  return parent;
}

void AddMenuChild(TComponent* parent, TComponent* child) {
  auto* item = dynamic_cast<TMenuItem*>(child);
  if (item == nullptr) return;
  if (auto* parentItem = dynamic_cast<TMenuItem*>(parent)) parentItem->Add(item);
  else if (auto* menu = dynamic_cast<TMenu*>(parent)) menu->Items()->Add(item);
}

const TClassRegistrar<TMenuItem, TComponent> kMenuItemRegistrar(
    "TMenuItem",
    {
        Prop("Caption", &TMenuItem::Caption, &TMenuItem::SetCaption),
        ShortCutProp(),
        Prop("Checked", &TMenuItem::Checked, &TMenuItem::SetChecked),
        Prop("Enabled", &TMenuItem::Enabled, &TMenuItem::SetEnabled),
        Prop("Visible", &TMenuItem::Visible, &TMenuItem::SetVisible),
        Prop("RadioItem", &TMenuItem::RadioItem, &TMenuItem::SetRadioItem),
        Prop("GroupIndex", &TMenuItem::GroupIndex, &TMenuItem::SetGroupIndex),
        Prop("Default", &TMenuItem::Default, &TMenuItem::SetDefault),
        Prop("Hint", &TMenuItem::Hint, &TMenuItem::SetHint),
        EventProp("OnClick", &TMenuItem::OnClick),
    },
    AddMenuChild, MenuItemParent);
const TClassRegistrar<TMenu, TComponent> kMenuRegistrar("TMenu", {}, AddMenuChild);
const TClassRegistrar<TMainMenu, TMenu> kMainMenuRegistrar("TMainMenu", {});
const TEnumNames kPopupAlignmentNames = {"paLeft", "paRight", "paCenter"};
const TClassRegistrar<TPopupMenu, TMenu> kPopupMenuRegistrar("TPopupMenu", {
    Prop("AutoPopup", &TPopupMenu::AutoPopup, &TPopupMenu::SetAutoPopup),
    EnumProp("Alignment", &TPopupMenu::Alignment, &TPopupMenu::SetAlignment, kPopupAlignmentNames),
    EventProp("OnPopup", &TPopupMenu::OnPopup),
});

struct TKeyName {
  uint16_t key;
  const char* name;
};
constexpr TKeyName kKeyNames[] = {
    {VK_BACK, "BkSp"}, {VK_TAB, "Tab"},     {VK_RETURN, "Enter"}, {VK_ESCAPE, "Esc"},   {VK_SPACE, "Space"},
    {VK_PRIOR, "PgUp"}, {VK_NEXT, "PgDn"},  {VK_END, "End"},      {VK_HOME, "Home"},    {VK_LEFT, "Left"},
    {VK_UP, "Up"},      {VK_RIGHT, "Right"}, {VK_DOWN, "Down"},   {VK_INSERT, "Ins"},   {VK_DELETE, "Del"},
};

std::string KeyName(uint16_t key) {
  for (const TKeyName& entry : kKeyNames)
    if (entry.key == key) return entry.name;
  if (key >= VK_F1 && key <= VK_F24) return "F" + std::to_string(key - VK_F1 + 1);
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, static_cast<char>(key));
  return {};
}

bool SameAscii(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

}  // namespace

TShortCut ShortCut(uint16_t key, TShiftState shift) {
  if ((key & 0xFF00) != 0) return scNone;
  TShortCut result = key;
  if (shift.Contains(ssShift)) result |= scShift;
  if (shift.Contains(ssCtrl)) result |= scCtrl;
  if (shift.Contains(ssAlt)) result |= scAlt;
  return result;
}

std::string ShortCutToText(TShortCut shortCut) {
  std::string name = KeyName(shortCut & 0xFF);
  if (name.empty()) return {};
  std::string text;
  if (shortCut & scShift) text += "Shift+";
  if (shortCut & scCtrl) text += "Ctrl+";
  if (shortCut & scAlt) text += "Alt+";
  return text + name;
}

TShortCut TextToShortCut(const std::string& text) {
  if (text.empty()) return scNone;
  if (std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }) && text.size() <= 5) {
    unsigned long value = std::stoul(text);
    return value <= 0xFFFF ? static_cast<TShortCut>(value) : scNone;
  }
  TShortCut modifiers = 0;
  std::string rest = text;
  for (;;) {
    size_t plus = rest.find('+');
    if (plus == std::string::npos || plus + 1 == rest.size()) break;
    std::string part = rest.substr(0, plus);
    if (SameAscii(part, "Shift")) modifiers |= scShift;
    else if (SameAscii(part, "Ctrl")) modifiers |= scCtrl;
    else if (SameAscii(part, "Alt")) modifiers |= scAlt;
    else return scNone;
    rest = rest.substr(plus + 1);
  }
  for (unsigned key = 1; key < 0x100; ++key) {
    std::string name = KeyName(static_cast<uint16_t>(key));
    if (!name.empty() && SameAscii(name, rest)) return static_cast<TShortCut>(modifiers | key);
  }
  return scNone;
}

// ---------------------------------------------------------------------------
// TMenuItem

void TMenuItem::Create(TComponent* owner) {
  TComponent::Create(owner);
  command = NextCommand();
  ItemsByCommand()[command] = this;
}

void TMenuItem::BeforeDestruction() {
  ItemsByCommand().erase(command);
  if (parentItem != nullptr) parentItem->Remove(this);
  for (TMenuItem* item : items) item->parentItem = nullptr;
  items.clear();
  TComponent::BeforeDestruction();
}

TMenuItem::~TMenuItem() {
  ItemsByCommand().erase(command);
  if (parentItem != nullptr) parentItem->Remove(this);
  for (TMenuItem* item : items) item->parentItem = nullptr;
}

TMenuItem* TMenuItem::Items(int index) const {
  if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", {index}));
  return items[static_cast<size_t>(index)];
}

int TMenuItem::IndexOf(const TMenuItem* item) const {
  auto found = std::find(items.begin(), items.end(), item);
  return found == items.end() ? -1 : static_cast<int>(found - items.begin());
}

void TMenuItem::Add(TMenuItem* item) { Insert(Count(), item); }

void TMenuItem::Insert(int index, TMenuItem* item) {
  if (item == nullptr || item == this) return;
  if (item->parentItem != nullptr) item->parentItem->Remove(item);
  index = std::clamp(index, 0, Count());
  items.insert(items.begin() + index, item);
  item->parentItem = this;
  if (item->Owner() == nullptr) InsertComponent(item);
  Changed();
}

void TMenuItem::Remove(TMenuItem* item) {
  auto found = std::find(items.begin(), items.end(), item);
  if (found == items.end()) return;
  items.erase(found);
  item->parentItem = nullptr;
  Changed();
}

void TMenuItem::Delete(int index) { Items(index)->Free(); }

void TMenuItem::Clear() {
  while (!items.empty()) items.back()->Free();
}

TMenu* TMenuItem::GetParentMenu() const {
  const TMenuItem* item = this;
  while (item->parentItem != nullptr) item = item->parentItem;
  return item->rootOf;
}

TMenuItem* TMenuItem::FindItem(UINT id) {
  if (command == id) return this;
  for (TMenuItem* item : items)
    if (TMenuItem* found = item->FindItem(id)) return found;
  return nullptr;
}

void TMenuItem::Changed() {
  if (TMenu* menu = GetParentMenu()) menu->MenuChanged();
}

void TMenuItem::SetCaption(const std::string& value) {
  if (value == caption) return;
  caption = value;
  Changed();
}

void TMenuItem::SetShortCut(TShortCut value) {
  if (value == shortCut) return;
  shortCut = value;
  Changed();
}

void TMenuItem::SetChecked(bool value) {
  if (value == checked) return;
  checked = value;
  if (value && radioItem && parentItem != nullptr) {
    for (TMenuItem* sibling : parentItem->items)
      if (sibling != this && sibling->radioItem && sibling->groupIndex == groupIndex) sibling->SetChecked(false);
  }
  Changed();
}

void TMenuItem::SetEnabled(bool value) {
  if (value == enabled) return;
  enabled = value;
  Changed();
}

void TMenuItem::SetVisible(bool value) {
  if (value == visible) return;
  visible = value;
  Changed();
}

void TMenuItem::SetRadioItem(bool value) {
  if (value == radioItem) return;
  radioItem = value;
  Changed();
}

void TMenuItem::SetDefault(bool value) {
  if (value == isDefault) return;
  isDefault = value;
  Changed();
}

void TMenuItem::Click() {
  if (enabled && OnClick) OnClick(this);
}

void TMenuItem::AppendTo(HMENU menu) {
  if (!visible) return;
  if (IsLine()) {
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    return;
  }
  std::string text = caption;
  std::string keys = ShortCutToText(shortCut);
  if (!keys.empty()) text += "\t" + keys;
  std::u16string wide = AnsiToWide(text);
  MENUITEMINFOW info{};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STRING | MIIM_ID | MIIM_STATE | MIIM_FTYPE;
  info.fType = MFT_STRING | (radioItem ? MFT_RADIOCHECK : 0);
  info.fState = (enabled ? MFS_ENABLED : MFS_DISABLED) | (checked ? MFS_CHECKED : 0) | (isDefault ? MFS_DEFAULT : 0);
  info.wID = command;
  info.dwTypeData = reinterpret_cast<LPWSTR>(wide.data());
  if (!items.empty()) {
    HMENU sub = CreatePopupMenu();
    for (TMenuItem* item : items) item->AppendTo(sub);
    info.fMask |= MIIM_SUBMENU;
    info.hSubMenu = sub;
  }
  InsertMenuItemW(menu, GetMenuItemCount(menu), TRUE, &info);
}

// ---------------------------------------------------------------------------
// TMenu, TMainMenu, TPopupMenu

void TMenu::Create(TComponent* owner) {
  TComponent::Create(owner);
  items = New<TMenuItem>(this);
  items->rootOf = this;
}

HMENU TMenu::BuildMenu(bool popup) {
  HMENU menu = popup ? CreatePopupMenu() : CreateMenu();
  for (TMenuItem* item : items->items) item->AppendTo(menu);
  return menu;
}

namespace {

bool ClickShortCut(TMenuItem* item, TShortCut shortCut) {
  for (int i = 0; i < item->Count(); ++i) {
    TMenuItem* child = item->Items(i);
    if (!child->Visible() || !child->Enabled()) continue;
    if (child->ShortCut() == shortCut && child->Count() == 0) {
      child->Click();
      return true;
    }
    if (ClickShortCut(child, shortCut)) return true;
  }
  return false;
}

}  // namespace

bool TMenu::IsShortCut(uint16_t key, TShiftState shift) {
  TShortCut shortCut = ShortCut(key, shift);
  return shortCut != scNone && ClickShortCut(items, shortCut);
}

TMainMenu::~TMainMenu() {
  if (handle == nullptr) return;
  if (window != nullptr && IsWindow(window) && GetMenu(window) == handle) SetMenu(window, nullptr);
  DestroyMenu(handle);
}

HMENU TMainMenu::Handle() {
  if (handle == nullptr) handle = BuildMenu(/*popup=*/false);
  return handle;
}

void TMainMenu::MenuChanged() {
  if (handle == nullptr) return;
  HMENU old = handle;
  handle = BuildMenu(false);
  if (window != nullptr && GetMenu(window) == old) {
    SetMenu(window, handle);
    DrawMenuBar(window);
  }
  DestroyMenu(old);
}

void TPopupMenu::Popup(int x, int y) { PopupFor(popupComponent, x, y); }

void TPopupMenu::PopupFor(TComponent* control, int x, int y) {
  if (control != popupComponent) {
    if (popupComponent != nullptr) popupComponent->RemoveFreeNotification(this);
    popupComponent = control;
    if (popupComponent != nullptr) popupComponent->FreeNotification(this);
  }
  if (OnPopup) OnPopup(this);
  // The window that owns the menu while it is up: the control's, or the nearest one above it.
  HWND owner = nullptr;
  for (auto* c = dynamic_cast<TControl*>(control); c != nullptr && owner == nullptr; c = c->Parent()) {
    if (auto* win = dynamic_cast<TWinControl*>(c)) owner = win->Handle();
  }
  if (owner == nullptr) owner = GetActiveWindow();
  HMENU menu = BuildMenu(/*popup=*/true);
  static const UINT kAlign[] = {TPM_LEFTALIGN, TPM_RIGHTALIGN, TPM_CENTERALIGN};
  UINT id = static_cast<UINT>(TrackPopupMenuEx(menu, kAlign[alignment] | TPM_RIGHTBUTTON | TPM_RETURNCMD, x, y, owner,
                                               nullptr));
  DestroyMenu(menu);
  if (id == 0) return;
  if (TMenuItem* item = FindItem(id)) item->Click();
}

void TPopupMenu::Notification(TComponent* component, TOperation operation) {
  TMenu::Notification(component, operation);
  if (operation == opRemove && component == popupComponent) popupComponent = nullptr;
}
