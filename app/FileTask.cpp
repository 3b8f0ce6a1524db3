// The file task's tree and confirm step: the tree of the computer's drives
// whose check marks say what is wiped, the checked items listed with their
// content, and the paths the engine is handed. The listing shows every checked
// item once; the engine gets only the topmost ones, since what a checked
// folder holds is wiped with it.
#include "FileConfirmList.h"
#include "Language.h"
#include "MainForm.h"
#include "NeededFolders.h"
#include "Units.h"
#include "shell/ExplorerTree.h"
#include "shell/NodeStorage.h"
#include "shell/ShellUtilities.h"
#include "win/controls/ComCtrls.h"

std::vector<std::string> TMainForm::DeferredComponents() const { return {"FileSelectTree"}; }

TVirtualExplorerTreeview* TMainForm::FileSelectTree() {
  // The shell toolkit starts here, on the main thread, before the tree's
  // first shell item.
  InitializeShellToolkit();
  const int madeBefore = ComponentCount();
  auto* tree = dynamic_cast<TVirtualExplorerTreeview*>(MakeDeferred("FileSelectTree"));
  // Made after the form was translated: it takes the language the form shows.
  if (ComponentCount() > madeBefore) TranslateLaterComponents(this, madeBefore);
  if (tree != nullptr && FileTreeStorage == nullptr) FileTreeStorage = tree->GetStorage();
  return tree;
}

void TMainForm::FileSelectTreeEnumFolder(TCustomVirtualExplorerTree*, TNamespace* ns, bool& allowAsChild) {
  allowAsChild = ns->FileSystem() || ns->IsMyComputer();
}

void TMainForm::FileSelectTreeInitNode(TBaseVirtualTree*, TVirtualNode*, TVirtualNode* node, TVirtualNodeInitStates&) {
  node->CheckType = ctTriStateCheckBox;
}

void TMainForm::BuildTree() {
  TVirtualExplorerTreeview* tree = FileSelectTree();
  if (tree == nullptr) return;
  tree->BeginUpdate();
  try {
    tree->GetStorage()->Clear(false);
    tree->SetActive(false);
    tree->SetActive(true);
    if (TNamespace* drives = DrivesFolder()) {
      PVirtualNode computer = tree->FindNodeByPIDL(drives->AbsolutePIDL());
      if (computer != nullptr) tree->SetExpanded(computer, true);
    }
  } catch (...) {
    tree->EndUpdate();
    throw;
  }
  tree->EndUpdate();
}

void TMainForm::TransferFileListFromTree() {
  TotalBytes = FilesCount = FoldersCount = FilesWiped = 0;
  FilesFinished.clear();
  const TCursor oldCursor = Screen->Cursor();
  Screen->SetCursor(crHourGlass);
  std::vector<std::u16string> checked;
  AbsentTicks.clear();
  if (FileTreeStorage != nullptr) {
    // The storage refills its one list on every call: read it before asking again.
    TWideStringList* every = FileTreeStorage->GetCheckedFileNames(cnkEveryItem, &AbsentTicks);
    checked.reserve(static_cast<size_t>(every->Count()));
    for (int i = 0; i < every->Count(); ++i) checked.push_back(every->Strings(i));
  }
  ConfirmedItems = TConfirmListing();
  // Made for every confirm step: the program's folder may have moved since.
  const TNeededFolders needed = TNeededFolders::OfThisSystem();
  try {
    const TConfirmTotals totals =
        FillFileConfirmList(Item<TListView>("FileConfirmListView"), checked, &ConfirmedItems, &needed);
    TotalBytes = totals.bytes;
    FilesCount = totals.files;
    FoldersCount = totals.folders;
  } catch (...) {
    Screen->SetCursor(oldCursor);
    throw;
  }
  FilesToWipeList = FileTreeStorage != nullptr ? FileTreeStorage->GetCheckedFileNames(cnkTopmost) : nullptr;
  Screen->SetCursor(oldCursor);
}

void LinkFileTask() {
  LinkExplorerTreeProperties();
  WizardLinks.buildTree = [](TMainForm* form) { form->BuildTree(); };
  WizardLinks.transferFileList = [](TMainForm* form) { form->TransferFileListFromTree(); };
}

namespace {

const TUnitRegistrar kFileTaskLinks(LinkFileTask, nullptr, "file task links");

}  // namespace
