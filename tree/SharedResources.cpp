// Resources shared by all trees: the check-box and button images (drawn here
// with GDI, our own artwork), the header split cursor (generated), OLE and the
// registered clipboard formats.
#include <cpuid.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <memory>

#include "tree/VirtualTrees.h"

#include "core/SysUtils.h"

uint16_t CF_VIRTUALTREE = 0;
uint16_t CF_VTREFERENCE = 0;
uint16_t CF_HTML = 0;
uint16_t CF_VRTF = 0;
uint16_t CF_VRTFNOOBJS = 0;
uint16_t CF_CSV = 0;

class TCustomVirtualStringTree;

namespace {
bool gInitialized = false;
bool gNeedToUninitializeOLE = false;
bool gTimerPeriodSet = false;
// The header split cursor put on the screen, and the program's own cursor it
// displaced there (nullptr: none).
HCURSOR gSplitCursor = nullptr;
HCURSOR gDisplacedSplitCursor = nullptr;
CRITICAL_SECTION gWatcher;
bool gWatcherReady = false;
// The seven drawn lists in TCheckImageKind order, then the two system sets.
TCustomImageList* gCheckLists[9] = {};
std::unique_ptr<TClipboardFormatList> gFormats;

// The look of one check image list.
struct TCheckStyle {
  COLORREF frame;
  COLORREF face;
  COLORREF mark;
  bool tick;  // a tick mark instead of a cross-bar check
  bool flat;
};

bool SameStyle(const TCheckStyle& a, const TCheckStyle& b) {
  return a.frame == b.frame && a.face == b.face && a.mark == b.mark && a.tick == b.tick && a.flat == b.flat;
}

// The seven drawn lists in TCheckImageKind order. They follow the system
// colours (window, button face, shadow) like colour-mapped bitmaps; the
// themed-look list keeps its own colours.
std::array<TCheckStyle, 7> CurrentCheckStyles() {
  COLORREF window = GetSysColor(COLOR_WINDOW);
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  COLORREF text = GetSysColor(COLOR_WINDOWTEXT);
  return {{
      {shadow, window, text, false, false},                                                  // light check
      {RGB(0x40, 0x40, 0x40), face, RGB(0x00, 0x00, 0x00), false, false},                    // dark check
      {shadow, window, RGB(0x00, 0x80, 0x00), true, false},                                  // light tick
      {RGB(0x40, 0x40, 0x40), face, RGB(0x00, 0x60, 0x00), true, false},                     // dark tick
      {shadow, window, text, true, true},                                                    // flat
      {RGB(0x1C, 0x51, 0x80), RGB(0xF4, 0xF4, 0xF0), RGB(0x21, 0xA1, 0x21), true, false},   // themed look
      {RGB(0x60, 0x60, 0x90), RGB(0xFF, 0xFF, 0xFF), RGB(0x40, 0x40, 0x80), false, true},   // utilities
  }};
}

// The styles the lists were last drawn with.
std::array<TCheckStyle, 7> gDrawnStyles = {};

const COLORREF kTransparent = RGB(255, 0, 255);

void FillRectColor(HDC dc, int l, int t, int r, int b, COLORREF c) { FillSolidRect(dc, TRect{l, t, r, b}, c); }

COLORREF Dim(COLORREF c) { return RGB((GetRValue(c) + 0xC0) / 2, (GetGValue(c) + 0xC0) / 2, (GetBValue(c) + 0xC0) / 2); }

// Draws image index (1 .. 24) of a list at x0: radio (1-8), box (9-20), push button (21-24).
void DrawCheckImage(HDC dc, int x0, int index, const TCheckStyle& style) {
  if (index == 0) return;
  int variant = (index - 1) % 4;  // normal, hot, pressed, disabled
  COLORREF frame = variant == 3 ? Dim(style.frame) : style.frame;
  COLORREF face = variant == 2 ? RGB(0xD8, 0xD8, 0xD8) : (variant == 1 ? RGB(0xF0, 0xF6, 0xFF) : style.face);
  if (variant == 3) face = RGB(0xE8, 0xE8, 0xE8);
  COLORREF mark = variant == 3 ? Dim(style.mark) : style.mark;
  HPEN pen = CreatePen(PS_SOLID, 1, frame);
  HBRUSH brush = CreateSolidBrush(face);
  HGDIOBJ oldPen = SelectObject(dc, pen);
  HGDIOBJ oldBrush = SelectObject(dc, brush);
  if (index <= 8) {
    Ellipse(dc, x0 + 2, 2, x0 + 14, 14);
    if (index >= 5) FillRectColor(dc, x0 + 6, 6, x0 + 10, 10, mark);
  } else if (index <= 20) {
    Rectangle(dc, x0 + 2, 2, x0 + 15, 15);
    if (!style.flat) FillRectColor(dc, x0 + 3, 3, x0 + 14, 4, Dim(frame));
    if (index >= 13 && index <= 16) {
      HPEN markPen = CreatePen(PS_SOLID, 2, mark);
      SelectObject(dc, markPen);
      if (style.tick) {
        MoveToEx(dc, x0 + 5, 8, nullptr);
        LineTo(dc, x0 + 7, 11);
        LineTo(dc, x0 + 12, 5);
      } else {
        MoveToEx(dc, x0 + 5, 5, nullptr);
        LineTo(dc, x0 + 12, 12);
        MoveToEx(dc, x0 + 12, 5, nullptr);
        LineTo(dc, x0 + 5, 12);
      }
      SelectObject(dc, pen);
      DeleteObject(markPen);
    }
    if (index >= 17) FillRectColor(dc, x0 + 5, 5, x0 + 12, 12, mark);
  } else {
    RoundRect(dc, x0 + 1, 3, x0 + 15, 13, 4, 4);
    FillRectColor(dc, x0 + 5, 7, x0 + 11, 9, mark);
  }
  SelectObject(dc, oldPen);
  SelectObject(dc, oldBrush);
  DeleteObject(pen);
  DeleteObject(brush);
}

// A 25-image strip of size x size pixels as a masked image list. Images 1 to
// 24 are drawn in style; with frameControls, 1 to 20 are the system's own
// button frames (radio 0-7, box 8-15, three-state 16-19 by source index;
// index mod 4: normal, hot, pushed, inactive) and 21 to 24 come from buttons.
TCustomImageList* MakeCheckList(const TCheckStyle& style, int size, bool frameControls = false,
                                TCustomImageList* buttons = nullptr, bool flat = false) {
  int offset = (size - 16) / 2;
  return MakeImageListFromStrip(size, 25, [&](HDC dc, int i, int left) {
    if (i == 0) return;
    if (frameControls && i <= 20) {
      int source = i - 1;
      UINT state = source <= 7 ? DFCS_BUTTONRADIO : (source <= 15 ? DFCS_BUTTONCHECK : DFCS_BUTTON3STATE);
      const UINT variants[4] = {0, DFCS_HOT, DFCS_PUSHED, DFCS_INACTIVE};
      state |= variants[source % 4];
      if ((source >= 4 && source <= 7) || source >= 12) state |= DFCS_CHECKED;
      if (flat) state |= DFCS_FLAT;
      RECT r{left + 1, 1, left + size - 1, size - 1};
      DrawFrameControl(dc, &r, DFC_BUTTON, state);
      return;
    }
    if (frameControls && buttons != nullptr) {
      ImageList_Draw(buttons->Handle(), i, dc, left + offset, offset, ILD_TRANSPARENT);
      return;
    }
    SetViewportOrgEx(dc, 0, offset, nullptr);
    DrawCheckImage(dc, left + offset, i, style);
    SetViewportOrgEx(dc, 0, 0, nullptr);
  });
}

// The header split cursor: two vertical bars with arrows left and right, 32 x 32.
HCURSOR MakeHeaderSplitCursor() {
  uint8_t andMask[128];
  uint8_t xorMask[128];
  std::fill(andMask, andMask + 128, 0xFF);
  std::fill(xorMask, xorMask + 128, 0x00);
  auto black = [&](int x, int y) { andMask[y * 4 + x / 8] &= uint8_t(~(0x80 >> (x % 8))); };
  for (int y = 8; y < 24; ++y) {
    black(14, y);
    black(17, y);
  }
  for (int i = 0; i < 5; ++i) {
    for (int x = 8 + i; x < 14; ++x) {
      if (x == 8 + i) {
        black(x, 16 - i);
        black(x, 16 + i);
      }
    }
    black(23 - i, 16 - i);
    black(23 - i, 16 + i);
  }
  for (int x = 8; x < 14; ++x) black(x, 16);
  for (int x = 18; x < 24; ++x) black(x, 16);
  return CreateCursor(GetModuleHandleW(nullptr), 16, 16, 32, 32, andMask, xorMask);
}

const char* kSystemFormatNames[17] = {"",
                                      "Plain text",
                                      "Windows bitmap",
                                      "Windows metafile",
                                      "Symbolic link",
                                      "Data interchange format",
                                      "Tiff image",
                                      "OEM text",
                                      "DIB image",
                                      "Palette data",
                                      "Pen data",
                                      "Riff audio data",
                                      "Wav audio data",
                                      "Unicode text",
                                      "Enhanced metafile image",
                                      "File name(s)",
                                      "Locale descriptor"};

FORMATETC MakeFormatEtc(uint16_t format, DWORD tymed, DVTARGETDEVICE* ptd, DWORD aspect, LONG lindex) {
  FORMATETC f{};
  f.cfFormat = format;
  f.ptd = ptd;
  f.dwAspect = aspect;
  f.lindex = lindex;
  f.tymed = tymed;
  return f;
}
}  // namespace

bool SharedResourcesReady() { return gInitialized; }

TClipboardFormatList& ClipboardFormatList() {
  if (!gFormats) gFormats = std::make_unique<TClipboardFormatList>();
  return *gFormats;
}

void TClipboardFormatList::Add(const std::string& description, const std::type_info& treeClass, uint32_t priority,
                               const FORMATETC& formatEtc) {
  TClipboardFormatEntry entry{description, &treeClass, priority, formatEtc};
  auto at = std::upper_bound(entries.begin(), entries.end(), priority,
                             [](uint32_t p, const TClipboardFormatEntry& e) { return p < e.Priority; });
  entries.insert(at, entry);
}

std::vector<FORMATETC> TClipboardFormatList::CollectFormats(bool (*isA)(const std::type_info& entryClass),
                                                            const std::vector<std::string>* allowed) const {
  std::vector<FORMATETC> result;
  for (const TClipboardFormatEntry& e : entries) {
    if (!isA(*e.TreeClass)) continue;
    if (allowed != nullptr && std::none_of(allowed->begin(), allowed->end(),
                                           [&](const std::string& name) { return SameText(name, e.Description); }))
      continue;
    result.push_back(e.FormatEtc);
  }
  return result;
}

const std::type_info* TClipboardFormatList::FindFormatByName(const std::string& description,
                                                             uint16_t& formatId) const {
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    if (!SameText(it->Description, description)) continue;
    formatId = it->FormatEtc.cfFormat;
    return it->TreeClass;
  }
  return nullptr;
}

uint16_t RegisterTreeClipboardFormat(const std::string& description, const std::type_info& treeClass,
                                     uint32_t priority, DWORD tymed, DVTARGETDEVICE* ptd, DWORD aspect,
                                     LONG lindex) {
  uint16_t id = static_cast<uint16_t>(RegisterClipboardFormatA(description.c_str()));
  ClipboardFormatList().Add(description, treeClass, priority, MakeFormatEtc(id, tymed, ptd, aspect, lindex));
  return id;
}

std::string RegisterTreeClipboardFormat(uint16_t format, const std::type_info& treeClass, uint32_t priority) {
  std::string name;
  if (format >= 1 && format <= 16) {
    name = kSystemFormatNames[format];
  } else {
    char buffer[2049] = {};
    int length = GetClipboardFormatNameA(format, buffer, 2048);
    name.assign(buffer, length > 0 ? length : 0);
  }
  ClipboardFormatList().Add(name, treeClass, priority,
                            MakeFormatEtc(format, TYMED_HGLOBAL, nullptr, DVASPECT_CONTENT, -1));
  return name;
}

namespace {
// The slot of a kind in gCheckLists, or -1 for a kind without a shared list.
int CheckListSlot(TCheckImageKind kind) {
  switch (kind) {
    case ckLightCheck: return 0;
    case ckDarkCheck: return 1;
    case ckLightTick: return 2;
    case ckDarkTick: return 3;
    case ckFlat: return 4;
    case ckXP: return 5;
    case ckSystem: return 7;
    case ckSystemFlat: return 8;
    default: return -1;
  }
}

// Draws the list of a slot unless it is there; the system sets take their
// push buttons from the dark check (slot 1) and flat (slot 4) lists. Called
// holding gWatcher.
TCustomImageList* CheckListInSlot(int slot) {
  if (gCheckLists[slot] != nullptr) return gCheckLists[slot];
  if (slot < 7) {
    const TCheckStyle style = CurrentCheckStyles()[slot];
    gCheckLists[slot] = MakeCheckList(style, 16);
    gDrawnStyles[slot] = style;
    return gCheckLists[slot];
  }
  const bool flat = slot == 8;
  TCustomImageList* buttons = CheckListInSlot(flat ? 4 : 1);
  // The system sets take the size of the system's menu check mark plus 3.
  int size = std::max(GetSystemMetrics(SM_CXMENUCHECK), GetSystemMetrics(SM_CYMENUCHECK)) + 3;
  gCheckLists[slot] = MakeCheckList(CurrentCheckStyles()[flat ? 4 : 1], size, /*frameControls=*/true, buttons, flat);
  return gCheckLists[slot];
}
}  // namespace

// A list is drawn the first time it is asked for: a program whose first
// window has no tree with check boxes draws none.
TCustomImageList* GetCheckImageListFor(TCheckImageKind kind) {
  int slot = CheckListSlot(kind);
  if (slot < 0 || !gInitialized) return nullptr;
  EnterCriticalSection(&gWatcher);
  TCustomImageList* list = CheckListInSlot(slot);
  LeaveCriticalSection(&gWatcher);
  return list;
}

bool CheckImageListDrawn(TCheckImageKind kind) {
  int slot = CheckListSlot(kind);
  return slot >= 0 && gCheckLists[slot] != nullptr;
}

void SetUpSharedResources() {
  if (gInitialized) return;
  gInitialized = true;
  if (!gWatcherReady) {
    InitializeCriticalSection(&gWatcher);
    gWatcherReady = true;
  }
  gNeedToUninitializeOLE = SUCCEEDED(OleInitialize(nullptr));
  CF_VTREFERENCE = static_cast<uint16_t>(RegisterClipboardFormatA("Virtual Tree Reference"));
  gTimerPeriodSet = timeBeginPeriod(1) == TIMERR_NOERROR;
  if (Screen != nullptr) {
    gDisplacedSplitCursor = Screen->TakeCursor(crHeaderSplit);
    gSplitCursor = MakeHeaderSplitCursor();
    Screen->SetCursors(crHeaderSplit, gSplitCursor);
  }
  // The format list lives until the program ends: set up again after a
  // release, the resources find their formats registered already.
  static bool formatsRegistered = false;
  if (formatsRegistered) return;
  formatsRegistered = true;
  const std::type_info& base = typeid(TBaseVirtualTree*);
  const std::type_info& stringTree = typeid(TCustomVirtualStringTree*);
  CF_VIRTUALTREE = RegisterTreeClipboardFormat("Virtual Tree Data", base, 50);
  CF_HTML = RegisterTreeClipboardFormat("HTML Format", stringTree, 80);
  CF_VRTFNOOBJS = RegisterTreeClipboardFormat("Rich Text Format Without Objects", stringTree, 84);
  CF_VRTF = RegisterTreeClipboardFormat("Rich Text Format", stringTree, 85);
  CF_CSV = RegisterTreeClipboardFormat("CSV", stringTree, 90);
  RegisterTreeClipboardFormat(static_cast<uint16_t>(CF_UNICODETEXT), stringTree, 95);
  RegisterTreeClipboardFormat(static_cast<uint16_t>(CF_TEXT), stringTree, 100);
}

void RefreshCheckImagesForSystemColors() {
  if (!gInitialized) return;
  const std::array<TCheckStyle, 7> styles = CurrentCheckStyles();
  EnterCriticalSection(&gWatcher);
  for (int i : {0, 1, 2, 3, 4, 6}) {
    if (gCheckLists[i] == nullptr || SameStyle(styles[i], gDrawnStyles[i])) continue;
    TCustomImageList* fresh = MakeCheckList(styles[i], 16);
    gCheckLists[i]->SetHandle(ImageList_Duplicate(fresh->Handle()));
    fresh->Free();
    gDrawnStyles[i] = styles[i];
  }
  LeaveCriticalSection(&gWatcher);
}

const TTreePlatform& TreePlatform() {
  static const TTreePlatform platform = [] {
    TTreePlatform p;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
      const unsigned familyModel = (eax >> 4) & 0xFF;  // family, then model
      p.mmx = familyModel >= 0x50 && (edx & (1u << 23)) != 0;
    }
    const DWORD version = GetVersion();
    p.nt = (version & 0x80000000u) == 0;
    const unsigned major = LOBYTE(LOWORD(version)), minor = HIBYTE(LOWORD(version));
    p.win2k = major == 5 && minor == 0;
    p.winXP = major == 5 && minor == 1;
    return p;
  }();
  return platform;
}

void ReleaseSharedResources() {
  if (!gInitialized) return;
  gInitialized = false;
  if (gTimerPeriodSet) timeEndPeriod(1);
  gTimerPeriodSet = false;
  for (TCustomImageList*& list : gCheckLists) FreeAndNil(list);
  if (gNeedToUninitializeOLE) OleUninitialize();
  gNeedToUninitializeOLE = false;
  // The screen gets back the cursor it had before ours, unless the program has
  // put another there since (the screen may be gone already at program end:
  // it destroyed ours with its own).
  if (gSplitCursor != nullptr && Screen != nullptr && Screen->Cursors(crHeaderSplit) == gSplitCursor) {
    DestroyCursor(Screen->TakeCursor(crHeaderSplit));
    if (gDisplacedSplitCursor != nullptr) Screen->SetCursors(crHeaderSplit, gDisplacedSplitCursor);
  } else if (gDisplacedSplitCursor != nullptr) {
    DestroyCursor(gDisplacedSplitCursor);
  }
  gSplitCursor = nullptr;
  gDisplacedSplitCursor = nullptr;
}

namespace {
// Releases the shared resources when the program ends.
struct TUnitFinalisation {
  ~TUnitFinalisation() {
    try {
      ReleaseSharedResources();
    } catch (...) {
    }
    if (gWatcherReady) DeleteCriticalSection(&gWatcher);
    gFormats.reset();
  }
} gUnitFinalisation;
}  // namespace
