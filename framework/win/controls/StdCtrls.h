#pragma once
// The standard controls: label, button, check box, radio button, edit, memo,
// combo box, list box and group box. Each lives in its own .cpp, which also
// registers its published properties for form definitions.
//
// Events fired from code follow one rule: setting a value in code fires the
// control's event only where stated (Checked fires OnClick when the value
// changes; combo and list box Items and ItemIndex fire nothing).
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "core/Strings.h"
#include "win/Controls.h"
#include "win/Forms.h"

enum TTextLayout { tlTop, tlCenter, tlBottom };

// A caption drawn on the parent (no window): transparent or filled, one line
// or word-wrapped, sized to its text with AutoSize. With HotTrack its font is
// underlined while the mouse is over it (a link label).
class TCustomLabel : public TGraphicControl {
  QV_MESSAGE_MAP(TCustomLabel, TGraphicControl)

public:
  void Create(TComponent* owner) override;

  TAlignment Alignment() const { return alignment; }
  void SetAlignment(TAlignment value);
  TTextLayout Layout() const { return layout; }
  void SetLayout(TTextLayout value);
  bool AutoSize() const { return autoSize; }
  void SetAutoSize(bool value);
  bool WordWrap() const { return wordWrap; }
  void SetWordWrap(bool value);
  bool Transparent() const { return transparent; }
  void SetTransparent(bool value);
  bool ShowAccelChar() const { return showAccelChar; }
  void SetShowAccelChar(bool value);
  bool HotTrack() const { return hotTrack; }
  void SetHotTrack(bool value) { hotTrack = value; }
  // The control an accelerator in the caption focuses (not owned; may be null).
  TWinControl* FocusControl() const { return focusControl; }
  void SetFocusControl(TWinControl* value);

  // Sizes the control to its text (width kept when word-wrapping).
  void AdjustBounds();

protected:
  void Paint() override;
  void Loaded() override;
  void Notification(TComponent* component, TOperation operation) override;
  // DrawText flags for the current settings.
  UINT TextFlags() const;
  void DoDrawText(TRect& r, UINT flags);

  void CMTextChanged(TMessage& m);
  void CMFontChanged(TMessage& m);
  void CMDialogChar(TMessage& m);
  void CMMouseEnter(TMessage& m);
  void CMMouseLeave(TMessage& m);

private:
  TAlignment alignment = taLeftJustify;
  TTextLayout layout = tlTop;
  bool autoSize = true;
  bool wordWrap = false;
  bool transparent = false;
  bool showAccelChar = true;
  bool hotTrack = false;
  bool underlinedByHover = false;
  TWinControl* focusControl = nullptr;  // not owned
};

class TLabel : public TCustomLabel {};

// Base of the button classes: the system BUTTON window with its click reflected.
class TButtonControl : public TWinControl {
public:
  void Create(TComponent* owner) override;
  // Word-wrapped caption (BS_MULTILINE).
  bool WordWrap() const { return wordWrap; }
  void SetWordWrap(bool value);

protected:
  void CreateParams(TCreateParams& params) override;

private:
  bool wordWrap = false;
};

class TButton : public TButtonControl {
  QV_MESSAGE_MAP(TButton, TButtonControl)

public:
  void Create(TComponent* owner) override;

  // The button Enter presses while no other button has the focus.
  bool Default() const { return isDefault; }
  void SetDefault(bool value);
  // The button Esc presses.
  bool Cancel() const { return cancel; }
  void SetCancel(bool value) { cancel = value; }
  // Given to the form as its ModalResult when clicked (mrNone: nothing).
  int ModalResult() const { return modalResult; }
  void SetModalResult(int value) { modalResult = value; }

  // Sets the form's ModalResult, then fires OnClick.
  void Click() override;

protected:
  void CreateParams(TCreateParams& params) override;
  void SetButtonStyle(bool defaultLook);

  void CNCommand(TMessage& m);
  void CMDialogKey(TMessage& m);
  void CMDialogChar(TMessage& m);
  void CMFocusChanged(TMessage& m);

private:
  bool isDefault = false;
  bool cancel = false;
  bool active = false;  // shows the default look now
  int modalResult = mrNone;
};

enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };

class TCheckBox : public TButtonControl {
  QV_MESSAGE_MAP(TCheckBox, TButtonControl)

public:
  void Create(TComponent* owner) override;

  bool Checked() const { return state == cbChecked; }
  // Fires OnClick when the value changes (from code as from the user).
  void SetChecked(bool value) { SetState(value ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return state; }
  void SetState(TCheckBoxState value);
  bool AllowGrayed() const { return allowGrayed; }
  void SetAllowGrayed(bool value) { allowGrayed = value; }
  // Which side the caption is on (taLeftJustify puts the box on the right).
  TAlignment Alignment() const { return alignment; }
  void SetAlignment(TAlignment value);

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateComplete() override;
  // The next state after a user click.
  virtual void Toggle();

  void CNCommand(TMessage& m);
  void CMDialogChar(TMessage& m);

private:
  TCheckBoxState state = cbUnchecked;
  bool allowGrayed = false;
  TAlignment alignment = taRightJustify;
};

class TRadioButton : public TButtonControl {
  QV_MESSAGE_MAP(TRadioButton, TButtonControl)

public:
  void Create(TComponent* owner) override;

  bool Checked() const { return checked; }
  // Checking unchecks the other radio buttons of the same parent and fires
  // OnClick; setting the value it already has does nothing.
  void SetChecked(bool value);
  TAlignment Alignment() const { return alignment; }
  void SetAlignment(TAlignment value);

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateComplete() override;

  void CNCommand(TMessage& m);
  void CMDialogChar(TMessage& m);

private:
  bool checked = false;
  TAlignment alignment = taRightJustify;
};

enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// Base of the edit and memo: the system EDIT window.
class TCustomEdit : public TWinControl {
  QV_MESSAGE_MAP(TCustomEdit, TWinControl)

public:
  void Create(TComponent* owner) override;

  // 0 means no limit.
  int MaxLength() const { return maxLength; }
  void SetMaxLength(int value);
  bool ReadOnly() const { return readOnly; }
  void SetReadOnly(bool value);
  // A character shown for every typed one (0: the text itself).
  char PasswordChar() const { return passwordChar; }
  void SetPasswordChar(char value);
  // Digits only (ES_NUMBER); a paste keeps only the pasted text's digits.
  bool NumbersOnly() const { return numbersOnly; }
  void SetNumbersOnly(bool value);
  TEditCharCase CharCase() const { return charCase; }
  void SetCharCase(TEditCharCase value);
  // A sunken border (WS_EX_CLIENTEDGE).
  bool BorderStyleSingle() const { return border; }
  void SetBorderStyleSingle(bool value);
  bool Modified() const;
  void SetModified(bool value);

  int SelStart() const;
  int SelLength() const;
  void SetSelStart(int value);
  void SetSelLength(int value);
  void SelectAll();
  // Replaces the selection with text (at the caret when nothing is selected).
  void SetSelText(const std::string& text);
  void Clear() { SetTextProp(""); }

  // Fired for every change of the text, by the user or by code (a keystroke
  // that changes nothing, such as one past MaxLength, fires nothing).
  TNotifyEvent OnChange;

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  virtual void Change();

  void CNCommand(TMessage& m);
  void WMPaste(TMessage& m);

private:
  int maxLength = 0;
  bool readOnly = false;
  char passwordChar = 0;
  std::string lastText;  // the text OnChange last reported
  bool numbersOnly = false;
  TEditCharCase charCase = ecNormal;
  bool border = true;
};

class TEdit : public TCustomEdit {};

class TMemo;

// The lines of a memo as a TStrings: it reads and writes the memo's text, so
// what the user typed is there too. A trailing line break adds no empty line.
class TMemoStrings : public TStrings {
public:
  void Create(TMemo* memo_) { memo = memo_; }
  void Insert(int index, const std::string& s) override;
  void Delete(int index) override;
  void Clear() override;
  // Appends at the end without rewriting or reading the rest (fast for logs).
  int Add(const std::string& s) override;
  // The memo's text changed otherwise than through Add.
  void TextChanged() {
    if (!appending) cachedCount = -1;
  }

protected:
  std::string Get(int index) const override;
  int GetCount() const override;
  void Put(int index, const std::string& s) override;

private:
  std::vector<std::string> Split() const;
  void Join(const std::vector<std::string>& lines);
  [[noreturn]] void IndexError(int index) const;

  TMemo* memo = nullptr;  // not owned: it owns us
  int cachedCount = -1;    // line count while only Add changed the window's text; -1 unknown
  bool appending = false;
};

class TMemo : public TCustomEdit {
public:
  void Create(TComponent* owner) override;
  ~TMemo() override;

  TStrings* Lines() const { return lines; }
  // Wraps long lines at the window's edge (no horizontal scrolling).
  bool WordWrap() const { return wordWrap; }
  void SetWordWrap(bool value);
  TScrollStyle ScrollBars() const { return scrollBars; }
  void SetScrollBars(TScrollStyle value);
  bool WantReturns() const { return wantReturns; }
  void SetWantReturns(bool value);
  bool WantTabs() const { return wantTabs; }
  void SetWantTabs(bool value) { wantTabs = value; }
  TAlignment Alignment() const { return alignment; }
  void SetAlignment(TAlignment value);
  // Appends text at the end and scrolls it into view.
  void Append(const std::string& text);

protected:
  void CreateParams(TCreateParams& params) override;
  void Change() override;
  // The system sends no change notification for text set on a multi-line edit.
  void SetText(const std::string& value) override;

private:
  TMemoStrings* lines = nullptr;  // owned
  bool wordWrap = true;
  TScrollStyle scrollBars = ssNone;
  bool wantReturns = true;
  bool wantTabs = false;
  TAlignment alignment = taLeftJustify;
};

// Items of a combo or list box: held here (with their objects) and copied to
// the window whenever it is made. Changing them fires no event of the control.
class TListControlItems : public TStringList {
public:
  // Window messages of the control kind (CB_xxx or LB_xxx).
  struct TMessages {
    UINT addString, insertString, deleteString, resetContent;
  };
  void Create(TWinControl* control_, const TMessages& messages_);

  void InsertObject(int index, const std::string& s, TObject* object) override;
  int AddObject(const std::string& s, TObject* object) override;
  void Delete(int index) override;
  void Clear() override;
  void Exchange(int index1, int index2) override;
  void Move(int curIndex, int newIndex) override;
  void Sort() override;
  void CustomSort(TStringListSortCompare compare) override;
  // Copies every item into the control's window (after it was made).
  void FillWindow();

protected:
  void Put(int index, const std::string& s) override;

private:
  void WindowInsert(int index, const std::string& s);
  TWinControl* control = nullptr;  // not owned: it owns us
  TMessages messages{};
};

enum TComboBoxStyle { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

class TComboBox : public TWinControl {
  QV_MESSAGE_MAP(TComboBox, TWinControl)

public:
  void Create(TComponent* owner) override;
  ~TComboBox() override;

  TComboBoxStyle Style() const { return style; }
  void SetStyle(TComboBoxStyle value);
  TStrings* Items() const { return items; }
  // Copies value's items (and objects); fires no OnChange.
  void SetItems(TStrings* value);
  // -1 for no selection; out-of-range values select nothing. Fires no OnChange.
  int ItemIndex() const;
  void SetItemIndex(int value);
  // Rows shown when dropped down.
  int DropDownCount() const { return dropDownCount; }
  void SetDropDownCount(int value);
  bool Sorted() const { return sorted; }
  void SetSorted(bool value);
  int MaxLength() const { return maxLength; }
  void SetMaxLength(int value);
  bool DroppedDown() const;
  void SetDroppedDown(bool value);
  void Clear();

  // Fired when the user picks an item or edits the text; never from code.
  TNotifyEvent OnChange;
  // Fired when the user picks an item (after OnChange).
  TNotifyEvent OnSelect;
  TNotifyEvent OnDropDown;
  TNotifyEvent OnCloseUp;

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  virtual void Change();

  void CNCommand(TMessage& m);

private:
  TListControlItems* items = nullptr;  // owned
  TComboBoxStyle style = csDropDown;
  int itemIndex = -1;  // kept while there is no window
  int dropDownCount = 8;
  bool sorted = false;
  int maxLength = 0;
};

class TListBox : public TWinControl {
  QV_MESSAGE_MAP(TListBox, TWinControl)

public:
  void Create(TComponent* owner) override;
  ~TListBox() override;

  TStrings* Items() const { return items; }
  void SetItems(TStrings* value);
  // -1 for none; setting it fires no OnClick.
  int ItemIndex() const;
  void SetItemIndex(int value);
  bool Sorted() const { return sorted; }
  void SetSorted(bool value);
  bool MultiSelect() const { return multiSelect; }
  void SetMultiSelect(bool value);
  // Selection state of row index in a multi-select list (the current row otherwise).
  bool Selected(int index) const;
  void SetSelected(int index, bool value);
  int SelCount() const;
  int TopIndex() const;
  void SetTopIndex(int value);
  bool IntegralHeight() const { return integralHeight; }
  void SetIntegralHeight(bool value);
  void Clear() { items->Clear(); }

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;

  void CNCommand(TMessage& m);

private:
  TListControlItems* items = nullptr;  // owned
  int itemIndex = -1;
  bool sorted = false;
  bool multiSelect = false;
  bool integralHeight = false;
};

// A framed group with a caption, holding other controls.
class TGroupBox : public TCustomControl {
  QV_MESSAGE_MAP(TGroupBox, TCustomControl)

public:
  void Create(TComponent* owner) override;

protected:
  void Paint() override;
  void AdjustClientRect(TRect& r) const override;
  void CMTextChanged(TMessage& m);
  void CMDialogChar(TMessage& m);
};
