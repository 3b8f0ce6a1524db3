// The string tree: construction and options, texts through events, the
// per-node width cache of the main column, hints, incremental search, the
// caption chunk of node streams and the font metrics it keeps.
#include "tree/VirtualTrees.h"

#include <cstring>

#include "core/Stream.h"

namespace {
// The node-stream chunk that holds a node's main-column text.
constexpr int32_t kCaptionChunk = 3;
}  // namespace

// ---- Options ----------------------------------------------------------------------

void TCustomStringTreeOptions::SetStringOptions(TVTStringOptions value) {
  if (value == stringOptions) return;
  bool staticChanged = value.Contains(toShowStaticText) != stringOptions.Contains(toShowStaticText);
  stringOptions = value;
  TBaseVirtualTree* tree = Owner();
  if (staticChanged && tree != nullptr && tree->HandleAllocated() && !tree->ComponentState().Contains(csLoading))
    tree->Invalidate();
}

void TCustomStringTreeOptions::AssignTo(TPersistent* dest) {
  if (auto* other = dynamic_cast<TCustomStringTreeOptions*>(dest)) other->SetStringOptions(stringOptions);
  TCustomVirtualTreeOptions::AssignTo(dest);
}

// ---- Construction ----------------------------------------------------------------

const TMessageMap* TCustomVirtualStringTree::ClassMessageMap() {
  static const TMessageMap map(TBaseVirtualTree::ClassMessageMap(), {
                                                                       OnMessage(WM_SETFONT, &TCustomVirtualStringTree::WMSetFont),
                                                                   });
  return &map;
}

void TCustomVirtualStringTree::Create(TComponent* owner) {
  TBaseVirtualTree::Create(owner);
  // Four bytes per node: the main column's text width, 0 until measured.
  widthCacheOffset = AllocateInternalDataArea(sizeof(int32_t));
}

TCustomVirtualTreeOptions* TCustomVirtualStringTree::CreateOptions() { return New<TCustomStringTreeOptions>(this); }

TCustomVirtualTreeOptions* TVirtualStringTree::CreateOptions() { return New<TStringTreeOptions>(this); }

TCustomStringTreeOptions* TCustomVirtualStringTree::TreeOptions() const {
  return static_cast<TCustomStringTreeOptions*>(TBaseVirtualTree::TreeOptions());
}

void TCustomVirtualStringTree::CreateWnd() {
  TBaseVirtualTree::CreateWnd();
  RefreshFontMetrics();
}

void TCustomVirtualStringTree::WMSetFont(TMessage& m) {
  Inherited(ClassMessageMap(), m);
  RefreshFontMetrics();
  ClearWidthCaches();
}

void TCustomVirtualStringTree::RefreshFontMetrics() {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  ReleaseDC(nullptr, screen);
  HGDIOBJ old = SelectObject(dc, Font()->Handle());
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  textHeight = metrics.tmHeight;
  SIZE size{};
  GetTextExtentPoint32W(dc, L"...", 3, &size);
  ellipsisWidth = size.cx;
  SelectObject(dc, old);
  DeleteDC(dc);
}

// ---- Texts ------------------------------------------------------------------------

std::u16string TCustomVirtualStringTree::GetText(PVirtualNode node, TColumnIndex column) {
  VT_ASSERT(node != nullptr, "Node must not be nil.");
  std::u16string text = defaultText;
  if (!(node->States & vsInitialized)) {
    // Its initialisation handler may free the node: then it has no text to ask for.
    TCallOutScope scope(*this);
    InitNode(node);
    if (Gone(node)) return text;
  }
  DoGetText(node, column, ttNormal, text);
  return text;
}

void TCustomVirtualStringTree::SetText(PVirtualNode node, TColumnIndex column, const std::u16string& value) {
  TCallOutScope scope(*this);
  DoNewText(node, column, value);
  if (!Gone(node)) InvalidateNode(node);
}

void TCustomVirtualStringTree::SetDefaultText(const std::u16string& value) {
  if (value == defaultText) return;
  defaultText = value;
  if (!IsTreeLoading()) InvalidateWhole();
}

void TCustomVirtualStringTree::DoGetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType,
                                         std::u16string& text) {
  Fire(OnGetText, this, node, column, textType, text);
}

void TCustomVirtualStringTree::DoNewText(PVirtualNode node, TColumnIndex column, const std::u16string& text) {
  // The handler may free the whole tree.
  TCallOutScope scope(*this);
  Fire(OnNewText, this, node, column, text);
  if (!scope.TreeGone() && updateCount == 0) UpdateHorizontalScrollBar(/*doRepaint=*/true);
}

void TCustomVirtualStringTree::DoPaintText(PVirtualNode node, TCanvas* canvas, TColumnIndex column,
                                           TVSTTextType textType) {
  Fire(OnPaintText, this, canvas, node, column, textType);
}

bool TCustomVirtualStringTree::DoGetCellIsEmpty(PVirtualNode node, TColumnIndex column) {
  if (!GetText(node, column).empty()) return false;
  return TBaseVirtualTree::DoGetCellIsEmpty(node, column);
}

std::u16string TCustomVirtualStringTree::DoGetNodeHint(PVirtualNode node, TColumnIndex column,
                                                       TVTHintLineBreakStyle& lineBreakStyle) {
  std::u16string hint = TBaseVirtualTree::DoGetNodeHint(node, column, lineBreakStyle);
  Fire(OnGetHint, this, node, column, lineBreakStyle, hint);
  return hint;
}

std::u16string TCustomVirtualStringTree::DoGetNodeTooltip(PVirtualNode node, TColumnIndex column,
                                                          TVTHintLineBreakStyle& lineBreakStyle) {
  std::u16string tip = TBaseVirtualTree::DoGetNodeHint(node, column, lineBreakStyle);
  if (OnGetHint) {
    Fire(OnGetHint, this, node, column, lineBreakStyle, tip);
    return tip;
  }
  return GetText(node, column);
}

int TCustomVirtualStringTree::DoIncrementalSearch(PVirtualNode node, const std::u16string& text) {
  if (OnIncrementalSearch) return TBaseVirtualTree::DoIncrementalSearch(node, text);
  // A match is the search text at the start of the focused column's text (case-sensitive).
  return GetText(node, focusedColumn).compare(0, text.size(), text) == 0 ? 0 : 1;
}

// ---- Width cache ------------------------------------------------------------------

int32_t* TCustomVirtualStringTree::WidthCache(PVirtualNode node) const {
  if (node == nullptr || node == root) return nullptr;
  return reinterpret_cast<int32_t*>(reinterpret_cast<char*>(node) + widthCacheOffset);
}

int TCustomVirtualStringTree::CachedTextWidth(PVirtualNode node) const {
  const int32_t* cache = WidthCache(node);
  return cache != nullptr ? *cache : 0;
}

void TCustomVirtualStringTree::ClearWidthCaches() {
  if (root == nullptr) return;
  for (PVirtualNode run = GetFirstNoInit(); run != nullptr; run = GetNextNoInit(run)) *WidthCache(run) = 0;
}

int TCustomVirtualStringTree::DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas) {
  if (column > NoColumn && (node->States & vsMultiline)) {
    TVirtualTreeColumn* c = header->Columns()->Items(column);
    return c != nullptr ? c->Width() : 0;
  }
  // The control's own canvas has a DC only while it paints.
  if (canvas == nullptr || (canvas == Canvas() && !canvas->HandleAllocated())) canvas = TextCanvas();
  // The text handler may free the node, or the whole tree and the canvas with
  // it: nothing is measured then (the caller asks its own scope).
  TCallOutScope scope(*this);
  auto measure = [&]() {
    std::u16string text = GetText(node, column);
    return scope.Lost(node) ? 0 : CalculateTextWidth(canvas, node, column, text);
  };
  if (column != HeaderMainColumn()) return measure();
  int32_t* cache = WidthCache(node);
  if (cache == nullptr) return 0;
  if (*cache == 0) *cache = measure();
  return *cache;
}

TRect TCustomVirtualStringTree::InvalidateNode(PVirtualNode node) {
  TRect r = TBaseVirtualTree::InvalidateNode(node);
  if (int32_t* cache = WidthCache(node)) {
    *cache = 0;
    node->States &= ~vsHeightMeasured;
  }
  return r;
}

void TCustomVirtualStringTree::ReinitNode(PVirtualNode node, bool recursive) {
  TCallOutScope scope(*this);
  TBaseVirtualTree::ReinitNode(node, recursive);
  if (node != nullptr && Gone(node)) return;
  if (int32_t* cache = WidthCache(node)) *cache = 0;
}

void TCustomVirtualStringTree::MainColumnChanged() {
  TBaseVirtualTree::MainColumnChanged();
  ClearWidthCaches();
}

// ---- Node streams ---------------------------------------------------------------

void TCustomVirtualStringTree::WriteChunks(TStream* stream, PVirtualNode node) {
  TBaseVirtualTree::WriteChunks(stream, node);
  if (Gone(node) || !TreeOptions()->StringOptions().Contains(toSaveCaptions) || node == root ||
      !(node->States & vsInitialized))
    return;
  std::u16string text = GetText(node, HeaderMainColumn());
  if (text.empty()) return;
  std::vector<uint8_t> chunk(8 + text.size() * 2);
  int32_t size = static_cast<int32_t>(text.size() * 2);
  for (int i = 0; i < 4; ++i) {
    chunk[i] = uint8_t(kCaptionChunk >> (8 * i));
    chunk[4 + i] = uint8_t(size >> (8 * i));
  }
  for (size_t i = 0; i < text.size(); ++i) {
    chunk[8 + 2 * i] = uint8_t(text[i]);
    chunk[9 + 2 * i] = uint8_t(text[i] >> 8);
  }
  stream->WriteBuffer(chunk.data(), static_cast<int32_t>(chunk.size()));
}

bool TCustomVirtualStringTree::ReadChunk(TStream* stream, uint16_t version, PVirtualNode node, int32_t chunkType,
                                         int32_t chunkSize) {
  if (chunkType != kCaptionChunk)
    return TBaseVirtualTree::ReadChunk(stream, version, node, chunkType, chunkSize);
  // The size was checked against the node's end; an odd last byte is read and dropped.
  // The hidden root has no caption: its chunk is skipped.
  if (node == nullptr || IsStreamRootNode(node)) return true;
  std::vector<uint8_t> bytes(static_cast<size_t>(chunkSize));
  if (chunkSize > 0) ReadStreamExact(stream, bytes.data(), chunkSize);
  std::u16string text(static_cast<size_t>(chunkSize / 2), u'\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = char16_t(bytes[2 * i] | bytes[2 * i + 1] << 8);
  readCaptions.push_back({node, std::move(text)});
  return true;
}

void TCustomVirtualStringTree::StreamReadFinished(bool complete) {
  std::vector<TReadCaption> captions;
  captions.swap(readCaptions);
  if (!complete) return;
  // The handlers may free nodes whose captions come later.
  TCallOutScope scope(*this);
  for (const TReadCaption& caption : captions)
    if (!Gone(caption.node)) SetText(caption.node, HeaderMainColumn(), caption.text);
}
