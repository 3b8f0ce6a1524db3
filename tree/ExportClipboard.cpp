// The string tree's clipboard and drag-and-drop rendering: the text formats
// it announces, rendered from the content export into global memory.
#include "tree/VirtualTrees.h"

#include <cstring>
#include <new>

#include "tree/ExportFormat.h"

namespace {

// The user's list separator (the CSV cell separator), ',' when the locale has none.
char ListSeparator() {
  char text[4] = {};
  if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SLIST, text, sizeof(text)) >= 2 && text[0] != '\0') return text[0];
  return ',';
}

// A new moveable, shareable block holding bytes; null when memory runs out.
HGLOBAL CopyToGlobal(const void* data, size_t bytes) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_SHARE, bytes);
  if (block == nullptr) return nullptr;
  void* target = GlobalLock(block);
  if (target == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  std::memcpy(target, data, bytes);
  GlobalUnlock(block);
  return block;
}

// The registered formats are 0 until the first tree registers them.
bool IsRegistered(UINT format, uint16_t registered) { return registered != 0 && format == registered; }

}  // namespace

HGLOBAL TCustomVirtualStringTree::ContentToClipboard(UINT format, TVSTTextSourceType source) {
  // A handler that frees the tree or changes its columns cuts the export
  // short: what was written so far is no rendering of the content.
  THold hold(this);
  exportCut = false;
  std::string text;
  if (format == CF_UNICODETEXT) {
    std::u16string wide = ContentToUnicode(source, u'\t');
    if (exportCut) return nullptr;
    return CopyToGlobal(wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
  }
  if (format == CF_TEXT)
    text = ContentToText(source, '\t');
  else if (IsRegistered(format, CF_CSV))
    text = ContentToText(source, ListSeparator());
  else if (IsRegistered(format, CF_VRTF) || IsRegistered(format, CF_VRTFNOOBJS))
    text = ContentToRTF(source);
  else if (IsRegistered(format, CF_HTML))
    text = WrapHtmlClipboardFormat(ContentToHTML(source));
  else
    return nullptr;
  if (exportCut) return nullptr;
  return CopyToGlobal(text.c_str(), text.size() + 1);
}

HRESULT TCustomVirtualStringTree::RenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard) {
  // The render handler may free the tree: a data object asks outside any
  // message. The tree's own release flushes the clipboard through here, so
  // what stops the rendering is a teardown done (TreeGoing), not one begun.
  THold hold(this);
  HRESULT result = TBaseVirtualTree::RenderOLEData(formatEtcIn, medium, forClipboard);
  if (TreeGoing() || SUCCEEDED(result) || !(formatEtcIn.tymed & TYMED_HGLOBAL)) return result;
  HGLOBAL data;
  try {
    data = ContentToClipboard(formatEtcIn.cfFormat, forClipboard ? tstCutCopySet : tstSelected);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  if (data == nullptr) return exportCut ? E_FAIL : result;
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = data;
  medium.pUnkForRelease = nullptr;
  return S_OK;
}
