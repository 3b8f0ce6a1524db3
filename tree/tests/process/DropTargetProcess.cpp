// A second process for drag-and-drop tests: one tree (ids 70 and 71) that
// takes drops. Arguments: the file where it writes the screen point of its
// first node's label once it is shown, and the file where it writes its
// nodes after the first drop (or after 60 s), ending with "end".
#include <shellapi.h>

#include <fstream>

#include "../TransferTree.h"
#include "win/testing/Harness.h"

namespace {
bool gDropped = false;

void WriteFile(const std::wstring& name, const std::string& text) {
  // Written beside and renamed, so the reader never sees half of it.
  std::wstring partial = name + L".part";
  {
    std::ofstream out(partial.c_str(), std::ios::binary);
    out << text;
  }
  MoveFileExW(partial.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING);
}
}  // namespace

int main() {
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (args == nullptr || count < 3) return 2;
  std::wstring ready = args[1], result = args[2];
  LocalFree(args);

  OleInitialize(nullptr);
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  form->SetBounds(480, 0, 240, 260);
  auto* tree = New<TVirtualStringTree>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 220, 220);
  transfer::SetUp(tree);
  transfer::Fill(tree, 70, 2);
  tree->OnDragDrop = [](TBaseVirtualTree* sender, TObject*, IDataObject* data, const TFormatArray&, TShiftState,
                        TPoint, int& effect, TDropMode mode) {
    sender->ProcessDrop(data, sender->DropTargetNode(), effect, transfer::AttachModeFor(mode));
    gDropped = true;
  };
  form->Show();
  qvtest::Pump(50);
  TRect label = tree->GetDisplayRect(tree->GetFirst(), NoColumn, true);
  TPoint at = tree->ClientToScreen(TPoint{label.Left + 3, label.Top + 3});
  WriteFile(ready, std::to_string(at.X) + " " + std::to_string(at.Y) + "\n");
  // Long enough for a drop across processes on a busy machine: quitting
  // while the drop is under way would leave the source thinking it moved.
  qvtest::PumpUntil([] { return gDropped; }, 60000);
  qvtest::Pump(50);
  WriteFile(result, transfer::Describe(tree) + "end\n");
  form->Free();
  OleUninitialize();
  return 0;
}
