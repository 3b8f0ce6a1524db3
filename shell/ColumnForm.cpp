// The column settings dialog.
#include "shell/ColumnForm.h"

#include "shell/ToolkitTexts.h"
#include "shell/VirtualResources.h"
#include "shell/ViewHold.h"
#include "shell/VirtualWideStrings.h"
#include "win/ClassInfo.h"
#include "win/TextConvert.h"
#include "win/controls/StdCtrls.h"

TCheckImageKind VETCheckImageKind = ckXP;
TFormColumnSettings* FormColumnSettings = nullptr;

namespace {

const TClassRegistrar<TFormColumnSettings, TForm> kRegistrar("TFormColumnSettings", {});

// Space between the width row's label, edit and label.
constexpr int kRowGap = 4;

}  // namespace

bool ParseColumnWidth(const std::string& text, int& width) {
  if (text.empty() || text.size() > 9) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value > kColumnWidthMax) return false;
  width = value;
  return true;
}

const TMessageMap* TFormColumnSettings::ClassMessageMap() {
  static const TMessageMap map(TForm::ClassMessageMap(), {
      OnMessage(WM_GETMINMAXINFO, &TFormColumnSettings::WMGetMinMaxInfo),
  });
  return &map;
}

template <class T>
T* TFormColumnSettings::Control(const char* name) const {
  return dynamic_cast<T*>(const_cast<TFormColumnSettings*>(this)->FindComponent(name));
}

TVirtualStringTree* TFormColumnSettings::VSTColumnNames() const { return Control<TVirtualStringTree>("VSTColumnNames"); }
TEdit* TFormColumnSettings::EditPixelWidth() const { return Control<TEdit>("EditPixelWidth"); }
TCheckBox* TFormColumnSettings::CheckBoxLiveUpdate() const { return Control<TCheckBox>("CheckBoxLiveUpdate"); }

// ---- Nodes ------------------------------------------------------------------------------------

TColumnNodeData* TFormColumnSettings::NodeData(PVirtualNode node) const {
  TVirtualStringTree* tree = VSTColumnNames();
  return node == nullptr || tree == nullptr ? nullptr : static_cast<TColumnNodeData*>(tree->GetNodeData(node));
}

PVirtualNode TFormColumnSettings::AddColumn(const std::u16string& title, bool visible, int width, uint32_t value) {
  TVirtualStringTree* tree = VSTColumnNames();
  PVirtualNode node = tree->AddChild(nullptr);
  // A list that takes no nodes (read-only, or on its way out) adds no column.
  if (node == nullptr) return nullptr;
  TColumnNodeData* data = NodeData(node);
  data->Title = new std::u16string(title);
  data->Visible = visible;
  data->Width = width;
  data->Value = value;
  return node;
}

PVirtualNode TFormColumnSettings::FindTitle(const std::u16string& title) const {
  TVirtualStringTree* tree = VSTColumnNames();
  for (PVirtualNode node = tree->GetFirstChild(nullptr); node != nullptr; node = node->NextSibling) {
    TColumnNodeData* data = NodeData(node);
    if (data->Title != nullptr && vws::WideStrICompOS(data->Title->c_str(), title.c_str()) == 0) return node;
  }
  return nullptr;
}

void TFormColumnSettings::MoveColumnNode(PVirtualNode dragged, PVirtualNode target) {
  TVirtualStringTree* tree = VSTColumnNames();
  if (dragged == nullptr || target == nullptr || dragged == target) return;
  int draggedIndex = -1, targetIndex = -1;
  int index = 0;
  for (PVirtualNode node = tree->GetFirstChild(nullptr); node != nullptr; node = node->NextSibling, ++index) {
    if (node == dragged) draggedIndex = index;
    if (node == target) targetIndex = index;
  }
  if (draggedIndex < 0 || targetIndex < 0) return;
  tree->MoveTo(dragged, target, draggedIndex >= targetIndex ? amInsertBefore : amInsertAfter, /*childrenOnly=*/false);
}

// ---- Width --------------------------------------------------------------------------------------

void TFormColumnSettings::StoreWidth(PVirtualNode node) {
  TColumnNodeData* data = NodeData(node);
  TEdit* edit = EditPixelWidth();
  if (data == nullptr || edit == nullptr) return;
  int width = 0;
  if (ParseColumnWidth(edit->Text(), width)) data->Width = width;
}

void TFormColumnSettings::LiveUpdate() {
  TCheckBox* box = CheckBoxLiveUpdate();
  // The form stays in memory for its callers (a check change, a drop, a key) should the handler free it.
  if (box != nullptr && box->Checked()) FireViewHandler(this, OnUpdate, this);
}

// ---- The form's handlers ----------------------------------------------------------------------

void TFormColumnSettings::FormCreate(TObject*) {
  if (TVirtualStringTree* tree = VSTColumnNames()) tree->SetNodeDataSize(sizeof(TColumnNodeData));
  minWidth = Width();
  minHeight = Height();
}

void TFormColumnSettings::FormShow(TObject*) {
  SetCaption(WideToAnsi(ToolkitText("strColumnSettings", res::ColumnSettings)));
  if (auto* label = Control<TLabel>("Label1"))
    label->SetCaption(WideToAnsi(ToolkitText("strColumnDlgInstructions", res::ColumnDlgInstructions)));
  if (auto* label = Control<TLabel>("Label2"))
    label->SetCaption(WideToAnsi(ToolkitText("strColumnDlgWidthPrefix", res::ColumnDlgWidthPrefix)));
  if (auto* label = Control<TLabel>("Label3"))
    label->SetCaption(WideToAnsi(ToolkitText("strColumnDlgWidthSuffix", res::ColumnDlgWidthSuffix)));
  if (TCheckBox* box = CheckBoxLiveUpdate()) box->SetCaption(WideToAnsi(ToolkitText("strLiveUpdate", res::LiveUpdate)));
  if (auto* button = Control<TButton>("ButtonOk")) button->SetCaption(WideToAnsi(ToolkitText("strOK", res::OK)));
  if (auto* button = Control<TButton>("ButtonCancel"))
    button->SetCaption(WideToAnsi(ToolkitText("strCancel", res::Cancel)));
  if (TVirtualStringTree* tree = VSTColumnNames()) tree->SetCheckImageKind(VETCheckImageKind);
  FormResize(this);
}

void TFormColumnSettings::FormResize(TObject*) {
  auto* prefix = Control<TLabel>("Label2");
  auto* suffix = Control<TLabel>("Label3");
  TEdit* edit = EditPixelWidth();
  if (prefix == nullptr || suffix == nullptr || edit == nullptr) return;
  int rowWidth = prefix->Width() + kRowGap + edit->Width() + kRowGap + suffix->Width();
  int left = (ClientWidth() - rowWidth) / 2;
  prefix->SetLeft(left);
  edit->SetLeft(left + prefix->Width() + kRowGap);
  suffix->SetLeft(edit->Left() + edit->Width() + kRowGap);
}

void TFormColumnSettings::FormKeyPress(TObject*, char& key) {
  if (key != '\r' || ActiveControl() == EditPixelWidth()) return;
  if (auto* button = Control<TButton>("ButtonOk")) button->Click();
}

void TFormColumnSettings::WMGetMinMaxInfo(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  auto* info = reinterpret_cast<MINMAXINFO*>(m.LParam);
  if (info == nullptr || minWidth <= 0) return;
  info->ptMinTrackSize.x = minWidth;
  info->ptMinTrackSize.y = minHeight;
}

// ---- The column list's handlers ----------------------------------------------------------------

void TFormColumnSettings::VSTColumnNamesInitNode(TBaseVirtualTree*, PVirtualNode, PVirtualNode node,
                                                 TVirtualNodeInitStates&) {
  node->CheckType = ctCheckBox;
  TColumnNodeData* data = NodeData(node);
  if (data != nullptr && data->Visible) node->CheckState = csCheckedNormal;
}

void TFormColumnSettings::VSTColumnNamesGetText(TBaseVirtualTree*, PVirtualNode node, TColumnIndex, TVSTTextType,
                                                std::u16string& cellText) {
  TColumnNodeData* data = NodeData(node);
  if (data != nullptr && data->Title != nullptr) cellText = *data->Title;
}

void TFormColumnSettings::VSTColumnNamesFreeNode(TBaseVirtualTree*, PVirtualNode node) {
  TColumnNodeData* data = NodeData(node);
  if (data == nullptr) return;
  delete data->Title;
  data->Title = nullptr;
  if (node == dragNode) dragNode = nullptr;
}

void TFormColumnSettings::VSTColumnNamesChecking(TBaseVirtualTree*, PVirtualNode node, TCheckState& newState,
                                                 bool& allowed) {
  if (TColumnNodeData* data = NodeData(node))
    data->Visible = newState == csCheckedNormal || newState == csCheckedPressed;
  LiveUpdate();
  allowed = true;
}

void TFormColumnSettings::VSTColumnNamesFocusChanging(TBaseVirtualTree*, PVirtualNode oldNode, PVirtualNode newNode,
                                                      TColumnIndex, TColumnIndex, bool& allowed) {
  if (oldNode != nullptr) StoreWidth(oldNode);
  TColumnNodeData* data = NodeData(newNode);
  if (data != nullptr && EditPixelWidth() != nullptr) EditPixelWidth()->SetTextProp(std::to_string(data->Width));
  allowed = true;
}

void TFormColumnSettings::VSTColumnNamesDragAllowed(TBaseVirtualTree*, PVirtualNode node, TColumnIndex,
                                                    bool& allowed) {
  allowed = true;
  dragNode = node;
}

void TFormColumnSettings::VSTColumnNamesDragOver(TBaseVirtualTree*, TObject*, TShiftState, TDragStateKind, TPoint,
                                                 TDropMode, int&, bool& accept) {
  accept = true;
}

void TFormColumnSettings::VSTColumnNamesDragDrop(TBaseVirtualTree* sender, TObject*, IDataObject*,
                                                 const TFormatArray&, TShiftState, TPoint pt, int& effect,
                                                 TDropMode) {
  PVirtualNode target = sender != nullptr ? sender->GetNodeAt(pt.X, pt.Y) : nullptr;
  MoveColumnNode(dragNode, target);
  dragNode = nullptr;
  LiveUpdate();
  effect = DROPEFFECT_NONE;
}

// ---- The width box and the live-update box -------------------------------------------------------

void TFormColumnSettings::EditPixelWidthKeyPress(TObject*, char& key) {
  // Digits, Backspace and the clipboard keys pass (a paste keeps only digits).
  constexpr char kCopy = 3, kPaste = 22, kCut = 24, kUndo = 26;
  if ((key >= '0' && key <= '9') || key == '\b' || key == kCopy || key == kPaste || key == kCut || key == kUndo)
    return;
  if (key == '\r') {
    StoreWidth(VSTColumnNames()->FocusedNode());
    LiveUpdate();
    key = 0;
    return;
  }
  MessageBeep(MB_OK);
  key = 0;
}

void TFormColumnSettings::EditPixelWidthExit(TObject*) {
  StoreWidth(VSTColumnNames()->FocusedNode());
  LiveUpdate();
}

void TFormColumnSettings::CheckBoxLiveUpdateClick(TObject*) { LiveUpdate(); }
