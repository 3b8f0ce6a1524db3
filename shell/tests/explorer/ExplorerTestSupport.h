#pragma once
// Support of the explorer tree's tests: the mapped test drive, files made on
// it, and a form holding a file tree set up as the wizard's file page sets it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/ExplorerTree.h"

namespace explorertest {

// "X:" of the drive run-explorer-tests.sh mapped, or "" when none is.
std::u16string TestDrive();
// Declares root as a fresh folder on the test drive (removed by the fixture), or skips the test.
#define REQUIRE_EXPLORER_DRIVE()                                                           \
  if (explorertest::TestDrive().empty())                                                   \
  GTEST_SKIP() << "QV_TEST_EXPLORER_DRIVE is not mapped (see run-explorer-tests.sh)"

void MakeFile(const std::u16string& path, uint32_t size = 16, DWORD attributes = FILE_ATTRIBUTE_NORMAL);
void MakeFolder(const std::u16string& path);
// Removes a folder tree (attributes cleared first); missing paths are ignored.
void RemoveTree(const std::u16string& path);
std::string Narrow(const std::u16string& s);
// The strings of a wide string list, in order.
std::vector<std::u16string> Strings(TWideStringList* list);
// The node of path among those tree has made (FindLoadedNodeByPIDL), or null.
PVirtualNode LoadedNodeOf(TCustomVirtualExplorerTree* tree, const std::u16string& path);
// Makes node the only selected node of tree and its focused one.
void SelectOnly(TBaseVirtualTree* tree, PVirtualNode node);
// Presses vk on control with modifier (0: none) held; the control may be freed by the key.
void PressWith(TWinControl* control, BYTE modifier, WORD vk);

// Replaces one entry of a COM object's method table (shared by every object of its class) for a scope.
class TMethodPatch {
public:
  TMethodPatch(void* object, int slot, void* replacement) {
    entry = *reinterpret_cast<void***>(object) + slot;
    original = *entry;
    Write(replacement);
  }
  ~TMethodPatch() { Write(original); }
  TMethodPatch(const TMethodPatch&) = delete;
  TMethodPatch& operator=(const TMethodPatch&) = delete;
  void* original;

private:
  void Write(void* value) {
    DWORD old = 0;
    VirtualProtect(entry, sizeof(void*), PAGE_READWRITE, &old);
    *entry = value;
    VirtualProtect(entry, sizeof(void*), old, &old);
  }
  void** entry;
};

// A form with a file tree: rfDrives, files, folders and hidden items, tri-state
// check boxes with tracking, icons from the system image list.
struct ExplorerFixture : ::testing::Test {
  void SetUp() override;
  void TearDown() override;
  // Makes form and tree as SetUp does, the tree with no root yet (SetUp then shows the drives).
  void MakeForm();
  // A fresh folder name on the test drive for this test.
  std::u16string folder;
  TForm* form = nullptr;
  TVirtualExplorerTreeview* tree = nullptr;
  // The node of path (FindNodeByPIDL), or null.
  PVirtualNode NodeOf(const std::u16string& path);
  // Checks or unchecks the node of path as a click on its box does.
  void Click(const std::u16string& path);
  std::vector<std::u16string> Topmost();
  std::vector<std::u16string> EveryItem();
};

}  // namespace explorertest
