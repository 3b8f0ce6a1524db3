#pragma once
// The string tree: a tree whose cells show wide text. It stores no text:
// every text is asked for through OnGetText (DefaultText is the value the
// handler may keep), whenever painting, measuring, hints, searching, editing
// or streams need it. Included by VirtualTrees.h.

class TCustomVirtualStringTree;

// The nodes a content export takes, each walked in tree order: all nodes,
// initialised nodes, selected nodes, nodes marked for cut or copy, visible nodes.
enum TVSTTextSourceType { tstAll, tstInitialized, tstSelected, tstCutCopySet, tstVisible };

enum TVSTTextType { ttNormal, ttStatic };
enum TVTStringOption { toSaveCaptions, toShowStaticText, toAutoAcceptEditChange };
constexpr int kStringOptionCount = 3;
using TVTStringOptions = TSet<TVTStringOption, 8>;
using TVTTooltipLineBreakStyle = TVTHintLineBreakStyle;

using TVSTGetTextEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column,
                                     TVSTTextType textType, std::u16string& cellText)>;
using TVTPaintText = TEvent<void(TBaseVirtualTree* sender, TCanvas* targetCanvas, PVirtualNode node,
                                 TColumnIndex column, TVSTTextType textType)>;
using TVSTGetHintEvent = TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column,
                                     TVTTooltipLineBreakStyle& lineBreakStyle, std::u16string& hintText)>;
using TVSTNewTextEvent =
    TEvent<void(TBaseVirtualTree* sender, PVirtualNode node, TColumnIndex column, const std::u16string& newText)>;
using TVSTShortenStringEvent =
    TEvent<void(TBaseVirtualTree* sender, TCanvas* targetCanvas, PVirtualNode node, TColumnIndex column,
                const std::u16string& s, int textSpace, bool rightToLeft, std::u16string& result, bool& done)>;

// The options of a string tree: the base sets plus StringOptions.
class TCustomStringTreeOptions : public TCustomVirtualTreeOptions {
public:
  TVTStringOptions StringOptions() const { return stringOptions; }
  // Repaints the tree when toShowStaticText changes.
  void SetStringOptions(TVTStringOptions value);

protected:
  void AssignTo(TPersistent* dest) override;

private:
  TVTStringOptions stringOptions{toSaveCaptions, toAutoAcceptEditChange};
};

class TStringTreeOptions : public TCustomStringTreeOptions {};

class TCustomVirtualStringTree : public TBaseVirtualTree {
  QV_MESSAGE_MAP(TCustomVirtualStringTree, TBaseVirtualTree)

public:
  void Create(TComponent* owner) override;
  ~TCustomVirtualStringTree() override;

  // The text of a cell: DefaultText, then OnGetText (the node is initialised
  // first). Asserts "Node must not be nil.".
  std::u16string GetText(PVirtualNode node, TColumnIndex column);
  // Tells the application the new text (OnNewText) and repaints the node; nothing is stored.
  void SetText(PVirtualNode node, TColumnIndex column, const std::u16string& value);
  const std::u16string& DefaultText() const { return defaultText; }
  // Repaints the tree unless it loads.
  void SetDefaultText(const std::u16string& value);
  TCustomStringTreeOptions* TreeOptions() const;
  // tmHeight of the tree's font and the width of "..." in it.
  int TextHeight() const { return textHeight; }
  int EllipsisWidth() const { return ellipsisWidth; }

  TTreeEvent<TVSTGetTextEvent> OnGetText;
  TTreeEvent<TVTPaintText> OnPaintText;
  TTreeEvent<TVSTGetHintEvent> OnGetHint;
  TTreeEvent<TVSTNewTextEvent> OnNewText;
  TTreeEvent<TVSTShortenStringEvent> OnShortenString;

  // ---- Operations of the string tree -------------------------------------------
  // 2 x TextMargin, plus the measured text (after OnPaintText) when not empty.
  virtual int CalculateTextWidth(TCanvas* canvas, PVirtualNode node, TColumnIndex column,
                                 const std::u16string& text);
  virtual void DoGetText(PVirtualNode node, TColumnIndex column, TVSTTextType textType, std::u16string& text);
  // OnNewText, then the horizontal scroll bar outside updates.
  virtual void DoNewText(PVirtualNode node, TColumnIndex column, const std::u16string& text);
  virtual void DoPaintText(PVirtualNode node, TCanvas* canvas, TColumnIndex column, TVSTTextType textType);
  // OnShortenString, else ShortenString in the canvas.
  virtual std::u16string DoShortenString(TCanvas* canvas, PVirtualNode node, TColumnIndex column,
                                         const std::u16string& s, int width, bool rightToLeft, int ellipsisWidth);
  virtual void DoTextDrawing(TCanvas* canvas, const std::u16string& text, TRect& cellRect, UINT drawFormat);
  virtual int DoTextMeasure(TCanvas* canvas, PVirtualNode node, TColumnIndex column, const std::u16string& text);
  // Height of the wrapped text of a multi-line cell (s empty: the cell's text).
  virtual int ComputeNodeHeight(TCanvas* canvas, PVirtualNode node, TColumnIndex column,
                                std::u16string s = std::u16string());

  // ---- Overrides of the base tree -------------------------------------------------
  bool DoGetCellIsEmpty(PVirtualNode node, TColumnIndex column) override;
  std::u16string DoGetNodeHint(PVirtualNode node, TColumnIndex column,
                               TVTHintLineBreakStyle& lineBreakStyle) override;
  std::u16string DoGetNodeTooltip(PVirtualNode node, TColumnIndex column,
                                  TVTHintLineBreakStyle& lineBreakStyle) override;
  // Main column: measured once and cached per node; other columns every time.
  int DoGetNodeWidth(PVirtualNode node, TColumnIndex column, TCanvas* canvas = nullptr) override;
  int DoIncrementalSearch(PVirtualNode node, const std::u16string& text) override;
  // The application's editor (OnCreateEditor), else a TStringEditLink.
  TEditLinkPtr DoCreateEditor(PVirtualNode node, TColumnIndex column) override;
  void DoPaintNode(const TVTPaintInfo& paintInfo) override;
  void GetTextInfo(PVirtualNode node, TColumnIndex column, TFont* font, TRect& r, std::u16string& text) override;
  TRect InvalidateNode(PVirtualNode node) override;
  // Widens the cell over following empty cells with toAutoSpanColumns.
  void AdjustPaintCellRect(TVTCellPaintInfo& paintInfo, TColumnIndex& nextNonEmpty) override;
  void ReinitNode(PVirtualNode node, bool recursive) override;
  void MainColumnChanged() override;

  // The cached main-column width of node (0: not measured; root and null have none).
  int CachedTextWidth(PVirtualNode node) const;

  // ---- Content export and clipboard rendering -----------------------------------
  // One line per node of source (after a header line with columns), cells divided
  // by separator, indented by level with separators; a cell holding the
  // separator, a quote or a line break is quoted as in CSV. ContentToText is
  // in the system code page.
  std::string ContentToText(TVSTTextSourceType source, char separator);
  std::u16string ContentToUnicode(TVSTTextSourceType source, char16_t separator);
  // An HTML table (UTF-8) of source with the tree's and the header's fonts and
  // colours; every text is escaped.
  std::string ContentToHTML(TVSTTextSourceType source, const std::u16string& caption = std::u16string());
  // An RTF table of source with the fonts and colours OnPaintText chooses.
  std::string ContentToRTF(TVSTTextSourceType source);
  // format (CF_TEXT, CF_UNICODETEXT, CSV, HTML Format, the two RTF formats)
  // rendered into a new moveable global block, ended by a zero; null for other
  // formats or when memory runs out.
  HGLOBAL ContentToClipboard(UINT format, TVSTTextSourceType source);
  // The tree's own format first; the text formats through ContentToClipboard
  // (cut/copy set for the clipboard, the selection for dragging).
  HRESULT RenderOLEData(const FORMATETC& formatEtcIn, STGMEDIUM& medium, bool forClipboard) override;

protected:
  TCustomVirtualTreeOptions* CreateOptions() override;
  void CreateWnd() override;
  void WriteChunks(TStream* stream, PVirtualNode node) override;
  bool ReadChunk(TStream* stream, uint16_t version, PVirtualNode node, int32_t chunkType,
                 int32_t chunkSize) override;
  // Hands the captions read to OnNewText once the nodes stand.
  void StreamReadFinished(bool complete) override;
  void WMSetFont(TMessage& m);

  // The cell widened over the following empty, left-to-right columns with toAutoSpanColumns.
  TColumnIndex SpanEmptyColumns(PVirtualNode node, TColumnIndex column, TRect& cellRect);

private:
  struct TReadCaption {
    PVirtualNode node;
    std::u16string text;
  };
  std::vector<TReadCaption> readCaptions;  // of the stream being read
  // The tree's canvas while it paints, else a memory canvas for measuring.
  TCanvas* TextCanvas();
  int32_t* WidthCache(PVirtualNode node) const;
  void ClearWidthCaches();
  void RefreshFontMetrics();
  // Font, colour and flags of the normal text of a painted cell.
  void PrepareTextProperties(const TVTPaintInfo& paintInfo);
  void PaintNormalText(const TVTPaintInfo& paintInfo, std::u16string text);
  void PaintStaticText(const TVTPaintInfo& paintInfo, const std::u16string& text);
  // The drop-target node's text shows in the highlight colour.
  bool DropTargetHighlighted(PVirtualNode node) const;
  // Export pieces: the source walk, its deepest level, the exported columns
  // (visible ones in display order, or only -1 without columns), and a cell's
  // font: the tree's, then OnPaintText's choice (fontChanged tells).
  PVirtualNode ExportFirst(TVSTTextSourceType source);
  PVirtualNode ExportNext(TVSTTextSourceType source, PVirtualNode node);
  uint32_t ExportMaxLevel(TVSTTextSourceType source);
  std::vector<TColumnIndex> ExportColumns() const;
  void ExportPaintText(TCanvas* canvas, PVirtualNode node, TColumnIndex column);
  // Calls row for every node of source, with the text canvas watched for font changes.
  void ExportRows(TVSTTextSourceType source, const std::function<void(PVirtualNode node, TCanvas* canvas)>& row);
  // Calls visit for each node the source exports, in order; a node a handler
  // frees meanwhile ends nothing (the walk goes on after the last node still there).
  void ForEachExported(TVSTTextSourceType source, const std::function<void(PVirtualNode node)>& visit);
  // Set when a walk ended early (the tree freed, the columns changed): the export is incomplete.
  bool exportCut = false;
  // The text of a cell to export: empty for a node a handler freed meanwhile.
  std::u16string ExportCellText(PVirtualNode node, TColumnIndex column);

  std::u16string defaultText = u"Node";
  uint32_t widthCacheOffset = 0;
  int textHeight = 0;
  int ellipsisWidth = 0;
  TBitmap* measureBitmap = nullptr;  // owned
};

class TVirtualStringTree : public TCustomVirtualStringTree {
protected:
  TCustomVirtualTreeOptions* CreateOptions() override;
};
