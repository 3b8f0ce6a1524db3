// The explorer tree's drag and drop and clipboard through the shell, on the
// mapped test drive: the tree's data object answers its own formats first and
// the shell's behind them, a scripted drop onto a folder node copies exactly
// the dragged file through the folder's shell drop target.
#include <shlobj.h>

#include "ExplorerTestSupport.h"
#include "../ImportPatch.h"
#include "shell/VETDataObject.h"
#include "win/Forms.h"

using namespace explorertest;

namespace {

using ExplorerDragDrop = ExplorerFixture;

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
bool Exists(const std::u16string& path) { return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES; }

FORMATETC Format(CLIPFORMAT format) { return FORMATETC{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }
CLIPFORMAT Registered(const wchar_t* name) { return CLIPFORMAT(RegisterClipboardFormatW(name)); }

std::vector<CLIPFORMAT> Enumerated(IDataObject* object) {
  std::vector<CLIPFORMAT> formats;
  IEnumFORMATETC* enumerator = nullptr;
  if (FAILED(object->EnumFormatEtc(DATADIR_GET, &enumerator)) || enumerator == nullptr) return formats;
  FORMATETC format{};
  while (enumerator->Next(1, &format, nullptr) == S_OK) {
    formats.push_back(format.cfFormat);
    if (format.ptd != nullptr) CoTaskMemFree(format.ptd);
  }
  enumerator->Release();
  return formats;
}

// The paths of a CF_HDROP the object renders (empty when it does not).
std::vector<std::u16string> DroppedFiles(IDataObject* object) {
  std::vector<std::u16string> files;
  FORMATETC format = Format(CF_HDROP);
  STGMEDIUM medium{};
  if (object->GetData(&format, &medium) != S_OK) return files;
  auto drop = static_cast<HDROP>(medium.hGlobal);
  UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    wchar_t name[MAX_PATH * 2]{};
    DragQueryFileW(drop, i, name, MAX_PATH * 2);
    files.emplace_back(reinterpret_cast<const char16_t*>(name));
  }
  ReleaseStgMedium(&medium);
  return files;
}

void SelectOnly(TVirtualExplorerTreeview* tree, PVirtualNode node) {
  tree->ClearSelection();
  tree->SetFocusedNode(node);
  tree->SetSelected(node, true);
}

// The screen point at the middle of node's text.
POINTL LabelPoint(TVirtualExplorerTreeview* tree, PVirtualNode node) {
  tree->ScrollIntoView(node, false);
  TRect r = tree->GetDisplayRect(node, NoColumn, /*textOnly=*/true);
  POINT p{(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
  ClientToScreen(tree->Handle(), &p);
  return POINTL{p.x, p.y};
}

}  // namespace

TEST_F(ExplorerDragDrop, TheDataObjectAnswersTheTreesFormatsFirstThenTheShells) {
  MakeFile(folder + u"\\dragged.txt", 32);
  MakeFile(folder + u"\\other.txt", 32);
  PVirtualNode node = NodeOf(folder + u"\\dragged.txt");
  ASSERT_NE(node, nullptr);
  SelectOnly(tree, node);

  IDataObject* object = tree->DoCreateDataObject();
  ASSERT_NE(object, nullptr);
  ASSERT_NE(dynamic_cast<TVETDataObject*>(object), nullptr);
  ASSERT_NE(tree->DragSourceDataObject(), nullptr);

  // The tree's formats come first, the shell's follow.
  std::vector<CLIPFORMAT> formats = Enumerated(object);
  CLIPFORMAT treeData = Registered(L"Virtual Tree Data");
  auto at = [&](CLIPFORMAT f) { return std::find(formats.begin(), formats.end(), f) - formats.begin(); };
  ASSERT_LT(at(treeData), ptrdiff_t(formats.size()));
  ASSERT_LT(at(CF_HDROP), ptrdiff_t(formats.size()));
  EXPECT_LT(at(treeData), at(CF_HDROP));

  // The tree renders its own format; the shell's data object answers the dragged file, and only it.
  FORMATETC own = Format(treeData);
  STGMEDIUM medium{};
  ASSERT_EQ(object->GetData(&own, &medium), S_OK);
  EXPECT_EQ(medium.tymed, DWORD(TYMED_HGLOBAL));
  ReleaseStgMedium(&medium);
  EXPECT_EQ(DroppedFiles(object), std::vector<std::u16string>{folder + u"\\dragged.txt"});
  // The shell's ID list comes from the shell as well.
  FORMATETC idList = Format(Registered(L"Shell IDList Array"));
  ASSERT_EQ(object->GetData(&idList, &medium), S_OK);
  ReleaseStgMedium(&medium);
  // A format nobody offers stays refused; asking is the tree's own answer.
  FORMATETC unknown = Format(Registered(L"Quorvanell unknown test format"));
  EXPECT_NE(object->QueryGetData(&unknown), S_OK);
  EXPECT_NE(object->GetData(&unknown, &medium), S_OK);
  object->Release();

  // The clipboard's copy goes through the shell: a shell paste finds the file.
  SelectOnly(tree, node);
  tree->CopyToClipBoard();
  IDataObject* clip = nullptr;
  ASSERT_EQ(OleGetClipboard(&clip), S_OK);
  EXPECT_EQ(DroppedFiles(clip), std::vector<std::u16string>{folder + u"\\dragged.txt"});
  clip->Release();
  OleSetClipboard(nullptr);
}

TEST_F(ExplorerDragDrop, AFileDroppedOnAFolderNodeIsCopiedThroughTheShell) {
  MakeFolder(folder + u"\\from");
  MakeFolder(folder + u"\\to");
  MakeFile(folder + u"\\from\\dragged.txt", 77);
  MakeFile(folder + u"\\from\\left.txt", 5);
  form->Show();
  PVirtualNode source = NodeOf(folder + u"\\from\\dragged.txt");
  PVirtualNode target = NodeOf(folder + u"\\to");
  ASSERT_NE(source, nullptr);
  ASSERT_NE(target, nullptr);
  SelectOnly(tree, source);
  IDataObject* data = tree->SelectedToDataObject();
  ASSERT_NE(data, nullptr);
  Application->ProcessMessages();

  IDropTarget* dropTarget = nullptr;
  ASSERT_EQ(tree->GetDragManager()->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&dropTarget)), S_OK);
  POINTL pt = LabelPoint(tree, target);
  const DWORD keys = MK_LBUTTON | MK_CONTROL;  // Ctrl: copy
  DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  ASSERT_EQ(dropTarget->DragEnter(data, keys, pt, &effect), S_OK);
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  ASSERT_EQ(dropTarget->DragOver(keys, pt, &effect), S_OK);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));
  effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
  EXPECT_EQ(dropTarget->Drop(data, keys & ~MK_LBUTTON, pt, &effect), S_OK);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_COPY));

  // A source that only allows copying is never offered a move, whatever the keys say.
  effect = DROPEFFECT_COPY;
  ASSERT_EQ(dropTarget->DragEnter(data, MK_LBUTTON | MK_SHIFT, pt, &effect), S_OK);
  effect = DROPEFFECT_COPY;
  ASSERT_EQ(dropTarget->DragOver(MK_LBUTTON | MK_SHIFT, pt, &effect), S_OK);
  EXPECT_EQ(effect & DROPEFFECT_MOVE, DWORD(0));
  dropTarget->DragLeave();
  dropTarget->Release();
  data->Release();

  // The dragged file stays where it was and nothing lands beside the target folder.
  EXPECT_TRUE(Exists(folder + u"\\from\\dragged.txt"));
  EXPECT_FALSE(Exists(folder + u"\\dragged.txt"));
  EXPECT_FALSE(Exists(folder + u"\\to\\left.txt"));
  // Wine's shell folders only log such a drop; a shell that copies puts the file in the folder.
  WIN32_FILE_ATTRIBUTE_DATA copied{};
  if (GetFileAttributesExW(W(folder + u"\\to\\dragged.txt"), GetFileExInfoStandard, &copied))
    EXPECT_EQ(copied.nFileSizeLow, 77u);
}

TEST_F(ExplorerDragDrop, AFolderNodesDropTargetIsTheFolderItselfAndAFileHasNone) {
  MakeFolder(folder + u"\\to");
  MakeFile(folder + u"\\plain.txt", 9);
  PVirtualNode to = NodeOf(folder + u"\\to");
  PVirtualNode plain = NodeOf(folder + u"\\plain.txt");
  ASSERT_NE(to, nullptr);
  ASSERT_NE(plain, nullptr);
  TNamespace* ns = tree->NodeNamespace(to);
  IDropTarget* target = ns->GetDropTargetInterface();
  ASSERT_NE(target, nullptr);
  IPersistFolder2* persist = nullptr;
  if (SUCCEEDED(target->QueryInterface(IID_IPersistFolder2, reinterpret_cast<void**>(&persist)))) {
    LPITEMIDLIST current = nullptr;
    ASSERT_EQ(persist->GetCurFolder(&current), S_OK);
    wchar_t path[MAX_PATH]{};
    SHGetPathFromIDListW(current, path);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(path)), folder + u"\\to");
    CoTaskMemFree(current);
    persist->Release();
  }
  // A plain file takes no drop (a shell answering with the folder's target is refused).
  EXPECT_EQ(tree->NodeNamespace(plain)->GetDropTargetInterface(), nullptr);
}

TEST_F(ExplorerDragDrop, AReadOnlyTreeTakesNoDropAndAFileNodeRefusesIt) {
  MakeFolder(folder + u"\\to");
  MakeFile(folder + u"\\dragged.txt", 9);
  MakeFile(folder + u"\\plain.txt", 9);
  form->Show();
  PVirtualNode source = NodeOf(folder + u"\\dragged.txt");
  ASSERT_NE(source, nullptr);
  SelectOnly(tree, source);
  IDataObject* data = tree->SelectedToDataObject();
  ASSERT_NE(data, nullptr);
  IDropTarget* dropTarget = nullptr;
  ASSERT_EQ(tree->GetDragManager()->QueryInterface(IID_IDropTarget, reinterpret_cast<void**>(&dropTarget)), S_OK);

  // A plain file is no drop target: nothing may be offered there.
  POINTL onFile = LabelPoint(tree, NodeOf(folder + u"\\plain.txt"));
  DWORD effect = DROPEFFECT_COPY;
  dropTarget->DragEnter(data, MK_LBUTTON | MK_CONTROL, onFile, &effect);
  effect = DROPEFFECT_COPY;
  dropTarget->DragOver(MK_LBUTTON | MK_CONTROL, onFile, &effect);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
  dropTarget->DragLeave();

  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetVETMiscOptions(o->VETMiscOptions().Include(toVETReadOnly));
  POINTL onFolder = LabelPoint(tree, NodeOf(folder + u"\\to"));
  effect = DROPEFFECT_COPY;
  dropTarget->DragEnter(data, MK_LBUTTON | MK_CONTROL, onFolder, &effect);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
  effect = DROPEFFECT_COPY;
  dropTarget->DragOver(MK_LBUTTON | MK_CONTROL, onFolder, &effect);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
  effect = DROPEFFECT_COPY;
  dropTarget->Drop(data, MK_CONTROL, onFolder, &effect);
  EXPECT_EQ(effect, DWORD(DROPEFFECT_NONE));
  dropTarget->Release();
  data->Release();
  EXPECT_FALSE(Exists(folder + u"\\to\\dragged.txt"));
  EXPECT_TRUE(Exists(folder + u"\\dragged.txt"));
}

TEST_F(ExplorerDragDrop, APasteRunsTheShellsPasteOfTheSelectedFolderAndTouchesNothingElse) {
  MakeFolder(folder + u"\\from");
  MakeFolder(folder + u"\\to");
  MakeFile(folder + u"\\from\\copied.txt", 41);
  MakeFile(folder + u"\\from\\left.txt", 5);
  PVirtualNode source = NodeOf(folder + u"\\from\\copied.txt");
  PVirtualNode target = NodeOf(folder + u"\\to");
  ASSERT_NE(source, nullptr);
  ASSERT_NE(target, nullptr);
  SelectOnly(tree, source);
  tree->CopyToClipBoard();
  SelectOnly(tree, target);
  EXPECT_TRUE(tree->PasteFromClipboard());
  // The folder's paste verb runs (from its own menu where its item menu has none).
  TNamespace* ns = tree->NodeNamespace(target);
  EXPECT_TRUE(ns->Paste({ns}, /*plainPaste=*/true));
  for (int i = 0; i < 50 && !Exists(folder + u"\\to\\copied.txt"); ++i) {
    Application->ProcessMessages();
    Sleep(10);
  }
  OleSetClipboard(nullptr);
  // Wine's shell runs the paste without copying; a shell that copies puts exactly the file there.
  WIN32_FILE_ATTRIBUTE_DATA copied{};
  if (GetFileAttributesExW(W(folder + u"\\to\\copied.txt"), GetFileExInfoStandard, &copied))
    EXPECT_EQ(copied.nFileSizeLow, 41u);
  EXPECT_TRUE(Exists(folder + u"\\from\\copied.txt"));
  EXPECT_FALSE(Exists(folder + u"\\to\\left.txt"));
  EXPECT_FALSE(Exists(folder + u"\\to\\copied.txt.lnk"));  // a plain paste, never links
  EXPECT_FALSE(Exists(folder + u"\\copied.txt"));
}

TEST_F(ExplorerDragDrop, TheEndOfAControlDragPaintsTheTreeAtOnce) {
  form->Show();
  tree->Update();
  HWND window = tree->Handle();
  // What the dragged picture covered waits to be painted...
  InvalidateRect(window, nullptr, FALSE);
  ASSERT_TRUE(GetUpdateRect(window, nullptr, FALSE));
  // ...and is painted when the drag ends, not at the next idle moment.
  tree->DoEndDrag(nullptr, 0, 0);
  EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
}

namespace {

// Stands in for the system's drag loop: records what a drag offers and cancels it.
struct DragLoopProbe {
  static inline int calls = 0;
  static inline TVirtualExplorerTreeview* loser = nullptr;  // loses the focus during the drag
  static inline bool heldAfterFocusLoss = false;
  static inline std::vector<std::u16string> files;
  static inline DWORD allowed = 0;
  static HRESULT WINAPI Fake(IDataObject* data, IDropSource*, DWORD okEffects, DWORD* effect) {
    ++calls;
    if (loser != nullptr) {
      loser->Perform(WM_KILLFOCUS, 0, 0);
      heldAfterFocusLoss = loser->TreeStates().Contains(tsRightButtonDown);
    }
    files = DroppedFiles(data);
    allowed = okEffects;
    *effect = DROPEFFECT_NONE;
    return DRAGDROP_S_CANCEL;
  }
};

LPARAM ClientPoint(TVirtualExplorerTreeview* tree, PVirtualNode node, int dx = 0) {
  tree->ScrollIntoView(node, false);
  TRect r = tree->GetDisplayRect(node, NoColumn, /*textOnly=*/true);
  return MAKELPARAM((r.Left + r.Right) / 2 + dx, (r.Top + r.Bottom) / 2);
}

}  // namespace

TEST_F(ExplorerDragDrop, TheRightButtonDragsAnItemOnlyWhileItIsHeld) {
  MakeFile(folder + u"\\dragged.txt", 12);
  MakeFile(folder + u"\\other.txt", 3);
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  // No shell menu on the release: it would wait for the user.
  o->SetVETShellOptions(o->VETShellOptions().Include(toDragDrop).Exclude(toContextMenus));
  form->Show();
  PVirtualNode dragged = NodeOf(folder + u"\\dragged.txt");
  ASSERT_NE(dragged, nullptr);
  LPARAM at = ClientPoint(tree, dragged);
  LPARAM away = ClientPoint(tree, dragged, 40);
  TImportPatch patch("ole32.dll", "DoDragDrop", reinterpret_cast<void*>(&DragLoopProbe::Fake));
  ASSERT_TRUE(patch.Active());
  DragLoopProbe::calls = 0;

  // Pressed and released in place: a click, and a later move drags nothing.
  tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, at);
  EXPECT_TRUE(tree->TreeStates().Contains(tsOLEDragPending));
  tree->Perform(WM_RBUTTONUP, 0, at);
  EXPECT_FALSE(tree->TreeStates().Contains(tsOLEDragPending));
  EXPECT_EQ(GetCapture(), HWND(nullptr));
  tree->Perform(WM_MOUSEMOVE, 0, away);
  EXPECT_EQ(DragLoopProbe::calls, 0);

  // Pressed and moved past the drag distance: the item under the mouse goes, with every effect on offer.
  tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, at);
  tree->Perform(WM_MOUSEMOVE, MK_RBUTTON, away);
  ASSERT_EQ(DragLoopProbe::calls, 1);
  ASSERT_EQ(DragLoopProbe::files.size(), 1u);
  EXPECT_EQ(DragLoopProbe::files[0], folder + u"\\dragged.txt");
  EXPECT_EQ(DragLoopProbe::allowed & (DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK),
            DWORD(DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK));
  tree->Perform(WM_RBUTTONUP, 0, away);

  // Losing the focus while its own drag runs, the tree still knows the button is held.
  DragLoopProbe::loser = tree;
  tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, at);
  tree->Perform(WM_MOUSEMOVE, MK_RBUTTON, away);
  DragLoopProbe::loser = nullptr;
  EXPECT_TRUE(DragLoopProbe::heldAfterFocusLoss);
  tree->Perform(WM_RBUTTONUP, 0, away);
  DragLoopProbe::calls = 1;

  // A read-only tree, or one without shell drag and drop, arms no drag.
  o->SetVETMiscOptions(o->VETMiscOptions().Include(toVETReadOnly));
  tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, at);
  EXPECT_FALSE(tree->TreeStates().Contains(tsOLEDragPending));
  tree->Perform(WM_RBUTTONUP, 0, at);
  o->SetVETMiscOptions(o->VETMiscOptions().Exclude(toVETReadOnly));
  o->SetVETShellOptions(o->VETShellOptions().Exclude(toDragDrop));
  tree->Perform(WM_RBUTTONDOWN, MK_RBUTTON, at);
  tree->Perform(WM_MOUSEMOVE, MK_RBUTTON, away);
  tree->Perform(WM_RBUTTONUP, 0, away);
  EXPECT_EQ(DragLoopProbe::calls, 1);
}
