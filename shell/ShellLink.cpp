#include "shell/ShellLink.h"

#include "shell/VirtualUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace {

constexpr int kPathChars = MAX_PATH;
constexpr int kTextChars = 1024;

}  // namespace

TVirtualShellLink::~TVirtualShellLink() {
  if (targetIDList != nullptr) CoTaskMemFree(targetIDList);
  targetIDList = nullptr;
  ReleaseAndNil(linkW);
  ReleaseAndNil(linkA);
}

IShellLinkW* TVirtualShellLink::ShellLinkW() {
  if (linkW == nullptr) {
    void* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, &link))) link = nullptr;
    linkW = static_cast<IShellLinkW*>(link);
  }
  return linkW;
}

IShellLinkA* TVirtualShellLink::ShellLinkA() {
  if (linkA == nullptr) {
    void* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &link))) link = nullptr;
    linkA = static_cast<IShellLinkA*>(link);
  }
  return linkA;
}

void TVirtualShellLink::TakeHotKey(WORD hotKeyWord) {
  hotKey = LOBYTE(hotKeyWord);
  BYTE modifiers = HIBYTE(hotKeyWord);
  hotKeyModifiers = THotKeyModifiers();
  if (modifiers & HOTKEYF_ALT) hotKeyModifiers.Include(hkmAlt);
  if (modifiers & HOTKEYF_CONTROL) hotKeyModifiers.Include(hkmControl);
  if (modifiers & HOTKEYF_EXT) hotKeyModifiers.Include(hkmExtended);
  if (modifiers & HOTKEYF_SHIFT) hotKeyModifiers.Include(hkmShift);
}

void TVirtualShellLink::TakeShowCmd(int show) {
  if (show >= 0 && show <= 10) showCmd = static_cast<TCmdShow>(show);
}

namespace {

std::u16string FromText(const wchar_t* text) { return vws::FromW(text); }
std::u16string FromText(const char* text) { return vws::FromAnsi(text); }

}  // namespace

// Reads the shortcut's fields through its wide or ANSI interface (Char is
// the interface's character type).
template <class Link, class Char>
bool TVirtualShellLink::ReadFields(IPersistFile* file, Link* link) {
  // Reading only: a shortcut on a read-only medium or without write access still opens.
  if (FAILED(file->Load(vws::W(fileName), STGM_READ))) return false;
  Char path[kPathChars + 1] = {};
  Char text[kTextChars + 1] = {};
  if (SUCCEEDED(link->GetPath(path, kPathChars, nullptr, 0))) targetPath = FromText(path);
  if (SUCCEEDED(link->GetArguments(text, kTextChars))) arguments = FromText(text);
  text[0] = 0;
  if (SUCCEEDED(link->GetDescription(text, kTextChars))) description = FromText(text);
  text[0] = 0;
  if (SUCCEEDED(link->GetWorkingDirectory(text, kTextChars))) workingDirectory = FromText(text);
  text[0] = 0;
  int index = 0;
  if (SUCCEEDED(link->GetIconLocation(text, kTextChars, &index))) {
    iconLocation = FromText(text);
    iconIndex = index;
  }
  if (targetIDList != nullptr) CoTaskMemFree(targetIDList);
  targetIDList = nullptr;
  if (FAILED(link->GetIDList(&targetIDList))) targetIDList = nullptr;
  WORD hotKeyWord = 0;
  if (SUCCEEDED(link->GetHotkey(&hotKeyWord))) TakeHotKey(hotKeyWord);
  int show = -1;
  if (SUCCEEDED(link->GetShowCmd(&show))) TakeShowCmd(show);
  return true;
}

bool TVirtualShellLink::ReadLink(const std::u16string& linkFileName) {
  fileName = linkFileName;
  bool wideApi = vws::UseWideApi();
  IUnknown* link = wideApi ? static_cast<IUnknown*>(ShellLinkW()) : static_cast<IUnknown*>(ShellLinkA());
  if (link == nullptr) return false;
  void* persist = nullptr;
  if (FAILED(link->QueryInterface(IID_IPersistFile, &persist)) || persist == nullptr) return false;
  auto* file = static_cast<IPersistFile*>(persist);
  bool ok = wideApi ? ReadFields<IShellLinkW, wchar_t>(file, linkW) : ReadFields<IShellLinkA, char>(file, linkA);
  file->Release();
  return ok;
}
