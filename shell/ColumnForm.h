#pragma once
// TFormColumnSettings: the modal dialog in which the user of an explorer view
// picks the visible detail columns, their order (drag a name onto another)
// and their widths. The column menu's "More ..." entry fills it with one node
// per column, shows it and applies the nodes on OK (CheckBoxLiveUpdate:
// after every change, through OnUpdate). The layout is the form definition
// "TFormColumnSettings"; its texts come from the toolkit's texts when shown.
#include <string>

#include "core/PublishedMethods.h"
#include "tree/VirtualTrees.h"
#include "win/Forms.h"

class TEdit;
class TCheckBox;
class TButton;
class TLabel;

// The check images of the toolkit's dialogs.
extern TCheckImageKind VETCheckImageKind;

// A column's widths the dialog accepts (the columns' own limits).
inline constexpr int kColumnWidthMax = 10000;

// One node of VSTColumnNames.
struct TColumnNodeData {
  std::u16string* Title;  // owned (freed with the node)
  bool Visible;
  int32_t Width;
  uint32_t Value;  // the caller's (the column index)
};

class TFormColumnSettings : public TForm {
  QV_MESSAGE_MAP(TFormColumnSettings, TForm)

public:
  QV_PUBLISHED_METHODS(TFormColumnSettings, TForm, QV_METHOD(FormCreate), QV_METHOD(FormShow),
                       QV_METHOD(FormResize), QV_METHOD(FormKeyPress), QV_METHOD(VSTColumnNamesInitNode),
                       QV_METHOD(VSTColumnNamesGetText), QV_METHOD(VSTColumnNamesFreeNode),
                       QV_METHOD(VSTColumnNamesChecking), QV_METHOD(VSTColumnNamesFocusChanging),
                       QV_METHOD(VSTColumnNamesDragAllowed), QV_METHOD(VSTColumnNamesDragOver),
                       QV_METHOD(VSTColumnNamesDragDrop), QV_METHOD(EditPixelWidthKeyPress),
                       QV_METHOD(EditPixelWidthExit), QV_METHOD(CheckBoxLiveUpdateClick))

  // The controls of the definition.
  TVirtualStringTree* VSTColumnNames() const;
  TEdit* EditPixelWidth() const;
  TCheckBox* CheckBoxLiveUpdate() const;

  // Adds a top-level node (the list's end) for a column; null when the list takes no node.
  PVirtualNode AddColumn(const std::u16string& title, bool visible, int width, uint32_t value);
  // The data of a node of VSTColumnNames; null for null.
  TColumnNodeData* NodeData(PVirtualNode node) const;
  // The node with title (compared without case), or null.
  PVirtualNode FindTitle(const std::u16string& title) const;
  // Moves dragged before target when it comes from below, else after it; a
  // node dropped on itself, or either node missing, changes nothing.
  void MoveColumnNode(PVirtualNode dragged, PVirtualNode target);

  // Called with the form after every change while CheckBoxLiveUpdate is checked.
  TNotifyEvent OnUpdate;

  void FormCreate(TObject* sender);
  void FormShow(TObject* sender);
  void FormResize(TObject* sender);
  void FormKeyPress(TObject* sender, char& key);
  void VSTColumnNamesInitNode(TBaseVirtualTree* sender, PVirtualNode parentNode, PVirtualNode node,
                              TVirtualNodeInitStates& initialStates);
  void VSTColumnNamesGetText(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column,
                             TVSTTextType textType, std::u16string& cellText);
  void VSTColumnNamesFreeNode(TBaseVirtualTree* sender, PVirtualNode node);
  void VSTColumnNamesChecking(TBaseVirtualTree* sender, PVirtualNode node, TCheckState& newState, bool& allowed);
  void VSTColumnNamesFocusChanging(TBaseVirtualTree* sender, PVirtualNode oldNode, PVirtualNode newNode,
                                   TColumnIndex oldColumn, TColumnIndex newColumn, bool& allowed);
  void VSTColumnNamesDragAllowed(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, bool& allowed);
  void VSTColumnNamesDragOver(TBaseVirtualTree* sender, TObject* source, TShiftState shift, TDragStateKind state,
                              TPoint pt, TDropMode mode, int& effect, bool& accept);
  void VSTColumnNamesDragDrop(TBaseVirtualTree* sender, TObject* source, IDataObject* dataObject,
                              const TFormatArray& formats, TShiftState shift, TPoint pt, int& effect,
                              TDropMode mode);
  void EditPixelWidthKeyPress(TObject* sender, char& key);
  void EditPixelWidthExit(TObject* sender);
  void CheckBoxLiveUpdateClick(TObject* sender);

private:
  // The edit's width becomes node's Width when it is a number within
  // 0..kColumnWidthMax; an empty or other text keeps the old width.
  void StoreWidth(PVirtualNode node);
  void LiveUpdate();
  void WMGetMinMaxInfo(TMessage& m);
  template <class T>
  T* Control(const char* name) const;

  PVirtualNode dragNode = nullptr;
  int minWidth = 0;   // the window's size from the definition is its least
  int minHeight = 0;
};

// The dialog while it is shown by the column menu, else null.
extern TFormColumnSettings* FormColumnSettings;

// The width text of the edit as a width: false for an empty text, a text that
// is not all digits, or a number past kColumnWidthMax.
bool ParseColumnWidth(const std::string& text, int& width);
