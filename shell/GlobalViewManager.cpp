#include "shell/GlobalViewManager.h"

#include "shell/ExplorerTree.h"

namespace {
struct GlobalViewManagerLifetime {
  TGlobalViewManager* manager = nullptr;
  ~GlobalViewManagerLifetime() { FreeAndNil(manager); }
} gGlobalViewManager;
}  // namespace

TGlobalViewManager* GlobalViewManager() {
  if (gGlobalViewManager.manager == nullptr) gGlobalViewManager.manager = New<TGlobalViewManager>();
  return gGlobalViewManager.manager;
}

void TGlobalViewManager::LoadFromStream(TStream* stream, int32_t version, bool /*readVerFromStream*/) {
  Clear();
  TViewManager::LoadFromStream(stream, version, /*readVerFromStream=*/true);
}

void TGlobalViewManager::SaveToStream(TStream* stream, int32_t /*version*/, bool /*writeVerToStream*/) {
  TViewManager::SaveToStream(stream, /*version=*/3, /*writeVerToStream=*/true);
}

void TGlobalViewManager::ShowView(const std::u16string& viewName, TCustomVirtualExplorerTree* tree) {
  // Restoring and initialising reach the tree's handlers, which may free any
  // node (the walk starts over) or the tree (it stops).
  TCustomVirtualExplorerTree::THandlerWatch watch(*tree);
  tree->WaitCursor(true);
  try {
    if (TView* view = FindView(viewName)) {
      tree->GetStorage()->CopyFrom(view->Storage);
      TViewManager::ShowView(viewName, tree);
      PVirtualNode node = tree->GetFirstNoInit();
      while (node != nullptr && !watch.TreeGone()) {
        if (!(node->States & vsInitialized)) {
          tree->InitNode(node);
          if (watch.Gone(node)) {
            node = tree->GetFirstNoInit();
            continue;
          }
        }
        node = tree->GetNextNoInit(node);
      }
    }
  } catch (...) {
    tree->WaitCursor(false);
    throw;
  }
  tree->WaitCursor(false);
}

void TGlobalViewManager::SaveView(TView* view, TCustomVirtualExplorerTree* tree) {
  view->Clear();
  view->SaveTree(tree, /*saveSelection=*/true, /*saveFocus=*/true);
  view->Storage->CopyFrom(tree->GetStorage());
}
