#pragma once
// The process-wide view manager: named views of explorer trees that carry
// their node storage with them, so that a view shown again brings back its
// check marks too. Nothing in the program stores or shows a view through it;
// it lives from first use to the end of the process.
#include "shell/VETPersistent.h"

class TGlobalViewManager : public TViewManager {
public:
  // Frees every view first; always reads the stream's version word.
  void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) override;
  // Always writes version 3 with its version word.
  void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) override;
  // Copies the view's storage into tree's, restores the view and initialises
  // every node, so that all take their stored check states; an unknown name
  // changes nothing.
  void ShowView(const std::u16string& viewName, TCustomVirtualExplorerTree* tree) override;

protected:
  // StoreView empties the view first and saves a copy of tree's storage with it.
  void SaveView(TView* view, TCustomVirtualExplorerTree* tree) override;
};

// The one global view manager, made on first use and freed at exit.
TGlobalViewManager* GlobalViewManager();
