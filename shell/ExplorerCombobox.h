#pragma once
// The path combo box: an edit with the current folder's icon in front and a
// drop button behind. The button drops down a small folder tree; typing drops
// down the auto-complete candidates; Enter resolves the typed path. It takes
// part in the change links, so it can follow or drive an explorer tree.
#include <uxtheme.h>

#include <cstdint>
#include <string>

#include "shell/ChangeLink.h"
#include "shell/Namespace.h"
#include "shell/PopupDropDowns.h"
#include "win/controls/StdCtrls.h"
#include "win/graphics/Graphics.h"

class TCustomVirtualExplorerCombobox;

using TOnComboInvalidPath = TEvent<void(TCustomVirtualExplorerCombobox* sender, const std::u16string& invalidPath)>;
using TOnComboPathChange = TEvent<void(TCustomVirtualExplorerCombobox* sender, TNamespace* selectedNamespace)>;

// The combo box's borderless edit.
class TComboEdit : public TCustomEdit {
  QV_MESSAGE_MAP(TComboEdit, TCustomEdit)

public:
  void Create(TComponent* owner) override;
  ~TComboEdit() override;
  TCustomVirtualExplorerCombobox* ComboBox() const { return comboBox; }
  void SetComboBox(TCustomVirtualExplorerCombobox* value) { comboBox = value; }
  std::u16string TextW();
  // Sets the text (not as typing: the icon shows again).
  void SetTextW(const std::u16string& value);
  // The text changed by typing since it was last set.
  bool TextChangedByTyping() const { return typedSinceSet; }
  // Resolves the text as Enter does: an existing item becomes the combo's
  // folder; otherwise the part after the longest existing folder is selected
  // and the invalid path is reported. True when it resolved.
  bool ResolveText();

protected:
  void CreateParams(TCreateParams& params) override;
  void Change() override;
  void WMKeyDown(TMessage& m);
  void WMChar(TMessage& m);
  void WMSysKeyDown(TMessage& m);
  void WMPaint(TMessage& m);

private:
  void OpenAutoComplete();
  // The default handling of a key message, marked as typing (a text change then opens the list).
  void InheritedTyping(TMessage& m);
  TCustomVirtualExplorerCombobox* comboBox = nullptr;  // not owned
  TNamespace* oldNamespace = nullptr;  // owned: the combo's folder when typing began (null: none)
  bool typedSinceSet = false;
  bool typing = false;
  bool settingText = false;
};

// Published view of a drop-down's settings; reads and writes go to the drop-down or its tree.
class TPopupOptionsView : public TPersistent {
public:
  int AnimationSpeed() const { return dropDown->AnimationSpeed(); }
  void SetAnimationSpeed(int v) { dropDown->SetAnimationSpeed(v); }
  int AutoScrollTimeFast() const { return dropDown->AutoScrollTimeFast(); }
  void SetAutoScrollTimeFast(int v) { dropDown->SetAutoScrollTimeFast(v); }
  int AutoScrollTimeSlow() const { return dropDown->AutoScrollTimeSlow(); }
  void SetAutoScrollTimeSlow(int v) { dropDown->SetAutoScrollTimeSlow(v); }
  int DropDownCount() const { return dropDown->DropDownCount(); }
  void SetDropDownCount(int v) { dropDown->SetDropDownCount(v); }
  TPopupOptions Options() const { return dropDown->Options(); }
  void SetOptions(TPopupOptions v) { dropDown->SetOptions(v); }
  TColor Color() const { return tree->Color(); }
  void SetColor(TColor v) { tree->SetColor(v); }
  uint32_t DefaultNodeHeight() const { return tree->DefaultNodeHeight(); }
  void SetDefaultNodeHeight(uint32_t v) { tree->SetDefaultNodeHeight(v); }
  int Indent() const;
  void SetIndent(int v);
  int BackgroundOffsetX() const { return tree->BackgroundOffsetX(); }
  void SetBackgroundOffsetX(int v) { tree->SetBackgroundOffsetX(v); }
  int BackgroundOffsetY() const { return tree->BackgroundOffsetY(); }
  void SetBackgroundOffsetY(int v) { tree->SetBackgroundOffsetY(v); }
  TPicture* Background() const { return tree->Background(); }
  void SetBackground(TPicture* v) { tree->SetBackground(v); }
  TOnPopupRollDown OnRollDown() const { return dropDown->OnRollDown; }
  void SetOnRollDown(TOnPopupRollDown v) { dropDown->OnRollDown = v; }
  TOnPopupRollUp OnRollUp() const { return dropDown->OnRollUp; }
  void SetOnRollUp(TOnPopupRollUp v) { dropDown->OnRollUp = v; }

protected:
  void Bind(TDropDownWnd* dropDown_, TBaseVirtualTree* tree_) {
    dropDown = dropDown_;
    tree = tree_;
  }
  TDropDownWnd* dropDown = nullptr;  // not owned
  TBaseVirtualTree* tree = nullptr;  // not owned
};

class TPopupExplorerOptions : public TPopupOptionsView {
public:
  void Create(TPopupExplorerDropDown* dropDown_);
  vst::TComboBoxStyle ComboBoxStyle() const { return explorer->ComboBoxStyle(); }
  void SetComboBoxStyle(vst::TComboBoxStyle v) { explorer->SetComboBoxStyle(v); }
  TVETOnEnumFolder OnEnumFolder() const { return explorer->PopupExplorerTree()->OnEnumFolder; }
  void SetOnEnumFolder(TVETOnEnumFolder v) { explorer->PopupExplorerTree()->OnEnumFolder = v; }

private:
  TPopupExplorerDropDown* explorer = nullptr;  // not owned
};

class TPopupAutoCompleteOptions : public TPopupOptionsView {
public:
  void Create(TPopupAutoCompleteDropDown* dropDown_);
  TAutoCompleteContents Contents() const { return list->AutoComplete()->Contents(); }
  void SetContents(TAutoCompleteContents v) { list->AutoComplete()->SetContents(v); }
  TOnAutoCompleteUpdateList OnAutoCompleteUpdateList() const { return list->OnAutoCompleteUpdateList; }
  void SetOnAutoCompleteUpdateList(TOnAutoCompleteUpdateList v) { list->OnAutoCompleteUpdateList = v; }
  // Older form definitions may hold this; its value is ignored.
  bool AlwaysShow() const { return false; }
  void SetAlwaysShow(bool) {}

private:
  TPopupAutoCompleteTree* list = nullptr;  // not owned
};

class TCustomVirtualExplorerCombobox : public TCustomControl {
  QV_MESSAGE_MAP(TCustomVirtualExplorerCombobox, TCustomControl)

public:
  // Options bits.
  static constexpr uint8_t kThreadedIcons = 0x01;
  static constexpr uint8_t kUseVisualStyles = 0x02;
  static constexpr uint8_t kSelectCurrentOnOpen = 0x04;
  // State bits.
  static constexpr uint8_t kButtonHot = 0x01;
  static constexpr uint8_t kButtonPressed = 0x02;

  void Create(TComponent* owner) override;
  ~TCustomVirtualExplorerCombobox() override;

  // The current folder (owned by the combo box), or null.
  TNamespace* ActiveNamespace() const { return activeNamespace; }
  // Keeps a clone of value (null clears); tells linked views and fires OnPathChange.
  void SetActiveNamespace(TNamespace* value);
  // 0: the item's normal name; 1: its parsing address (the normal name when empty).
  int TextStyle() const { return textStyle; }
  void SetTextStyle(int value);
  uint8_t ComboOptions() const { return options; }
  void SetComboOptions(uint8_t value);
  uint8_t ComboState() const { return comboState; }
  int ImageIndex() const { return imageIndex; }
  TComboEdit* ComboEdit() const { return edit; }
  TPopupExplorerDropDown* PopupExplorerDropDown() const { return explorerDropDown; }
  TPopupAutoCompleteDropDown* PopupAutoCompleteDropDown() const { return autoCompleteDropDown; }
  TPopupExplorerOptions* PopupExplorerOptions() const { return explorerOptions; }
  TPopupAutoCompleteOptions* PopupAutoCompleteOptions() const { return autoCompleteOptions; }
  // The explorer tree this combo box follows and drives (links both ways; null unlinks).
  TCustomVirtualExplorerTree* VirtualExplorerTree() const { return linkedTree; }
  void SetVirtualExplorerTree(TCustomVirtualExplorerTree* value);
  bool Themed() const { return themed; }
  // The drop button's rectangle (client coordinates) as last painted.
  TRect ButtonRect() const;
  // Drops the folder tree down, or rolls it up when it is down.
  void DropExplorer();

  virtual void ChangeLinkDispatch(TObject* server, LPCITEMIDLIST pidl);
  virtual void ChangeLinkFreeing(IVETChangeLink* link);

  TOnComboInvalidPath OnInvalidPath;
  TOnComboPathChange OnPathChange;

  // The text shown for the current folder.
  std::u16string NamespaceText();
  // Reports a path that does not resolve (OnInvalidPath, else a message box).
  virtual void DoInvalidPath(const std::u16string& path);

protected:
  virtual TPopupAutoCompleteOptions* CreatePopupAutoCompleteOptions();
  virtual TPopupAutoCompleteDropDown* CreatePopupAutoCompleteDropDown();
  virtual TPopupExplorerOptions* CreatePopupExplorerOptions();
  virtual TPopupExplorerDropDown* CreatePopupExplorerDropDown();
  virtual void DoPathChange();
  void CreateWnd() override;
  void DestroyWnd() override;
  void Paint() override;
  void FontChanged() override;
  void Resize() override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  void WMThemeChanged(TMessage& m);
  void WMEraseBkgnd(TMessage& m);
  void WMSetFocus(TMessage& m);

private:
  friend class TComboEdit;
  void RefreshText();
  void OpenThemes();
  void CloseThemes();
  void AdjustHeight();
  void PlaceEdit();
  TRect InnerRect();
  TRect ImageRect();
  bool ShowsIcon() const;

  TNamespace* activeNamespace = nullptr;  // owned clone
  int imageIndex = -1;
  uint8_t options = kUseVisualStyles | kSelectCurrentOnOpen;
  int textStyle = 0;
  uint8_t comboState = 0;
  bool dispatching = false;
  bool themed = false;
  TComboEdit* edit = nullptr;                                // owned (a child)
  TPopupAutoCompleteDropDown* autoCompleteDropDown = nullptr;  // owned
  TPopupAutoCompleteOptions* autoCompleteOptions = nullptr;    // owned
  TPopupExplorerDropDown* explorerDropDown = nullptr;          // owned
  TPopupExplorerOptions* explorerOptions = nullptr;            // owned
  TCustomVirtualExplorerTree* linkedTree = nullptr;            // not owned
  HTHEME comboTheme = nullptr;   // owned
  HTHEME buttonTheme = nullptr;  // owned
  HTHEME editTheme = nullptr;    // owned
  TRect buttonRect;
};

class TVirtualExplorerCombobox : public TCustomVirtualExplorerCombobox {};

// Does nothing; the combo box calls it so that its published properties are linked.
void LinkExplorerComboboxProperties();
