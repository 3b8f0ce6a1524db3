#pragma once
// The string tree's in-place editor: TStringEditLink drives a TVTEdit placed
// over the cell. The link ends in exactly one of EndEdit or CancelEdit; the
// edit control outlives it until the CM_RELEASE it posts to itself arrives
// (or its owner, the tree, goes first), so it is freed exactly once.
#include <memory>
#include <string>

#include "tree/VirtualTrees.h"

// The formatting rectangle of the editor: client inflated by the border
// offset (3 with themes, 2 without) vertically and narrowed by the text margin
// less that offset on both sides, moved down by shiftDown (single-line nodes:
// the text's top below the editor's).
TRect EditFormattingRect(TRect client, int textMargin, bool themed, int shiftDown);

class TStringEditLink;

class TVTEdit : public TCustomEdit {
  QV_MESSAGE_MAP(TVTEdit, TCustomEdit)

public:
  void Create(TComponent* owner) override;
  ~TVTEdit() override;
  // Edit controls alive now (tests check that each is freed once).
  static int LiveCount();

  // The text as the user sees it (UTF-16).
  std::u16string WideText();
  void SetWideText(const std::u16string& text);
  // Fits the width to the text (single-line nodes).
  void AutoAdjustSize();

protected:
  void CreateParams(TCreateParams& params) override;
  void WMGetDlgCode(TMessage& m);
  void WMKeyDown(TMessage& m);
  void WMChar(TMessage& m);
  void WMPaste(TMessage& m);
  void WMDestroy(TMessage& m);
  void CMExit(TMessage& m);
  void CMAutoAdjust(TMessage& m);
  void CMRelease(TMessage& m);
  void CNCommandUpdate(TMessage& m);

private:
  friend class TStringEditLink;
  // Ends or cancels the edit through the tree (focus lost, window gone).
  void Leave(bool accept);
  bool SingleLine() const;

  std::shared_ptr<TStringEditLink> ref;  // keeps the link alive while the edit acts on it
  TStringEditLink* link = nullptr;       // not owned
  TAlignment alignment = taLeftJustify;
  bool multiLineNode = false;
};

class TStringEditLink : public IVTEditLink, public std::enable_shared_from_this<TStringEditLink> {
public:
  ~TStringEditLink() override;

  bool BeginEdit() override;
  bool CancelEdit() override;
  bool EndEdit() override;
  void GetBounds(int& left, int& top, int& right, int& bottom) override;
  bool PrepareEdit(TBaseVirtualTree* tree, PVirtualNode node, TColumnIndex column) override;
  void ProcessMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) override;
  void SetBounds(int left, int top, int right, int bottom) override;

  TVTEdit* Edit() const { return edit; }
  TCustomVirtualStringTree* Tree() const { return tree; }
  PVirtualNode Node() const { return node; }
  TColumnIndex Column() const { return column; }
  bool Stopping() const { return stopping; }

private:
  friend class TVTEdit;
  // The edit forgets the link (editing is over).
  void Disconnect();

  TVTEdit* edit = nullptr;                   // owned by the tree; released through CM_RELEASE
  TAliveToken editAlive;                     // false once the edit went with its tree
  TCustomVirtualStringTree* tree = nullptr;  // not owned
  PVirtualNode node = nullptr;
  TColumnIndex column = NoColumn;
  TAlignment alignment = taLeftJustify;
  TRect textBounds;  // tree client coordinates
  bool stopping = false;
};
