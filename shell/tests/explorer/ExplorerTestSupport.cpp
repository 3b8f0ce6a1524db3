#include "ExplorerTestSupport.h"

#include <cstdlib>
#include <string>

#include "shell/ShellUtilities.h"
#include "win/Forms.h"
#include "win/testing/Harness.h"

namespace explorertest {

namespace {
const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
int gFolderCounter = 0;
}  // namespace

std::u16string TestDrive() {
  const char* value = std::getenv("QV_TEST_EXPLORER_DRIVE");
  if (value == nullptr || value[0] < 'A' || value[0] > 'Z' || value[0] == 'C' || value[0] == 'Z') return {};
  return std::u16string{char16_t(value[0]), u':'};
}

void MakeFile(const std::u16string& path, uint32_t size, DWORD attributes) {
  HANDLE h = CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << Narrow(path);
  std::string data(size, 'q');
  DWORD written = 0;
  WriteFile(h, data.data(), size, &written, nullptr);
  CloseHandle(h);
  if (attributes != FILE_ATTRIBUTE_NORMAL) SetFileAttributesW(W(path), attributes);
}

void MakeFolder(const std::u16string& path) { ASSERT_TRUE(CreateDirectoryW(W(path), nullptr)) << Narrow(path); }

void RemoveTree(const std::u16string& path) {
  // By exact names: the plain calls take "dir." for "dir".
  if (path.rfind(u"\\\\?\\", 0) != 0 && path.size() > 2 && path[1] == u':') {
    RemoveTree(u"\\\\?\\" + path);
    return;
  }
  DWORD attributes = GetFileAttributesW(W(path));
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL | (attributes & FILE_ATTRIBUTE_DIRECTORY));
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    if (!DeleteFileW(W(path))) RemoveDirectoryW(W(path));
    return;
  }
  WIN32_FIND_DATAW data;
  HANDLE h = FindFirstFileW(W(path + u"\\*"), &data);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::u16string name(reinterpret_cast<const char16_t*>(data.cFileName));
      if (name != u"." && name != u"..") RemoveTree(path + u"\\" + name);
    } while (FindNextFileW(h, &data));
    FindClose(h);
  }
  RemoveDirectoryW(W(path));
}

std::string Narrow(const std::u16string& s) {
  int n = WideCharToMultiByte(CP_UTF8, 0, W(s), static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, W(s), static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::vector<std::u16string> Strings(TWideStringList* list) {
  std::vector<std::u16string> out;
  for (int i = 0; i < list->Count(); ++i) out.push_back(list->Strings(i));
  return out;
}

PVirtualNode LoadedNodeOf(TCustomVirtualExplorerTree* tree, const std::u16string& path) {
  LPITEMIDLIST pidl = PathToPIDL(path);
  if (pidl == nullptr) return nullptr;
  PVirtualNode node = tree->FindLoadedNodeByPIDL(pidl);
  NamespacePIDLManager->FreePIDL(pidl);
  return node;
}

void SelectOnly(TBaseVirtualTree* tree, PVirtualNode node) {
  tree->ClearSelection();
  tree->AddToSelection(node);
  tree->SetFocusedNode(node);
}

void PressWith(TWinControl* control, BYTE modifier, WORD vk) {
  BYTE keys[256];
  GetKeyboardState(keys);
  BYTE held = keys[modifier];
  if (modifier != 0) keys[modifier] = 0x80;
  SetKeyboardState(keys);
  qvtest::PressKey(control, vk);
  if (modifier != 0) keys[modifier] = held;
  SetKeyboardState(keys);
}

void ExplorerFixture::SetUp() {
  REQUIRE_EXPLORER_DRIVE();
  Application->Initialize();
  // t00, t01, ... t99, t100: a test program may hold any number of tests.
  std::string number = std::to_string(gFolderCounter);
  if (number.size() < 2) number.insert(0, 1, '0');
  folder = TestDrive() + u"\\t" + std::u16string(number.begin(), number.end());
  ++gFolderCounter;
  RemoveTree(folder);
  MakeFolder(folder);
  // A neighbour on the drive, never ticked: the drive itself never becomes fully checked.
  if (GetFileAttributesW(W(TestDrive() + u"\\neighbour.txt")) == INVALID_FILE_ATTRIBUTES)
    MakeFile(TestDrive() + u"\\neighbour.txt");
  MakeForm();
  tree->SetRootFolder(rfDrives);
  tree->SetActive(true);
}

void ExplorerFixture::MakeForm() {
  form = New<TForm>(Application);
  form->SetBounds(10, 10, 420, 520);
  form->SetCaption("Explorer tree");
  tree = New<TVirtualExplorerTreeview>(form);
  tree->SetParent(form);
  tree->SetBounds(4, 4, 400, 480);
  tree->SetColor(clWhite);
  tree->SetFileObjects({foFolders, foNonFolders, foHidden});
  TCustomVirtualExplorerTreeOptions* o = tree->TreeOptions();
  o->SetMiscOptions(o->MiscOptions().Include(toCheckSupport));
  o->SetAutoOptions(o->AutoOptions().Include(toAutoTristateTracking));
  o->SetVETImageOptions(o->VETImageOptions().Exclude(toThreadedImages));
  tree->OnInitNode = [](TBaseVirtualTree*, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
    if (node->CheckType == ctNone) node->CheckType = ctTriStateCheckBox;
  };
}

void ExplorerFixture::TearDown() {
  if (form != nullptr) form->Free();
  form = nullptr;
  if (!folder.empty()) RemoveTree(folder);
}

PVirtualNode ExplorerFixture::NodeOf(const std::u16string& path) {
  LPITEMIDLIST pidl = PathToPIDL(path);
  if (pidl == nullptr) return nullptr;
  PVirtualNode node = tree->FindNodeByPIDL(pidl);
  NamespacePIDLManager->FreePIDL(pidl);
  return node;
}

void ExplorerFixture::Click(const std::u16string& path) {
  PVirtualNode node = NodeOf(path);
  ASSERT_NE(node, nullptr) << Narrow(path);
  tree->SetCheckState(node, tree->DetermineNextCheckState(node->CheckType, node->CheckState));
}

std::vector<std::u16string> ExplorerFixture::Topmost() {
  return Strings(tree->GetStorage()->GetCheckedFileNames(cnkTopmost));
}

std::vector<std::u16string> ExplorerFixture::EveryItem() {
  return Strings(tree->GetStorage()->GetCheckedFileNames(cnkEveryItem));
}

}  // namespace explorertest
