// Content export of the string tree, the shared pieces and plain text: the
// node walks of the export sources, the exported columns, and text or CSV
// in UTF-16 and in the system code page.
#include "tree/VirtualTrees.h"

#include "tree/ExportFormat.h"
#include "win/TextConvert.h"

// ---- Shared pieces ------------------------------------------------------------------

PVirtualNode TCustomVirtualStringTree::ExportFirst(TVSTTextSourceType source) {
  switch (source) {
    case tstInitialized: return GetFirstInitialized();
    case tstSelected: return GetFirstSelected();
    case tstCutCopySet: return GetFirstMarked();
    case tstVisible: return GetFirstVisible();
    case tstAll: break;
  }
  return GetFirst();
}

PVirtualNode TCustomVirtualStringTree::ExportNext(TVSTTextSourceType source, PVirtualNode node) {
  switch (source) {
    case tstInitialized: return GetNextInitialized(node);
    case tstSelected: return GetNextSelected(node);
    case tstCutCopySet: return GetNextMarked(node);
    case tstVisible: return GetNextVisible(node);
    case tstAll: break;
  }
  return GetNext(node);
}

void TCustomVirtualStringTree::ForEachExported(TVSTTextSourceType source,
                                               const std::function<void(PVirtualNode node)>& visit) {
  // The handlers asked for a node (its text, its font, its initialisation)
  // may free any node: a walk whose node went goes on after the last node it
  // visited that is still there, and ends when there is none. One that frees
  // the whole tree, or changes the columns (the exported ones went stale),
  // ends the walk there.
  TCallOutScope scope(*this);
  const uint32_t columnSet = ColumnSetChanges();
  PVirtualNode last = nullptr;
  auto cut = [&] { return scope.TreeGone() || ColumnSetChanges() != columnSet; };
  for (PVirtualNode node = ExportFirst(source); node != nullptr && !cut();) {
    visit(node);
    if (cut()) break;
    if (!Gone(node)) last = node;
    node = last != nullptr && !Gone(last) ? ExportNext(source, last) : nullptr;
  }
  // Also when the tree went while the first or the next node was asked for.
  if (cut()) exportCut = true;
}

uint32_t TCustomVirtualStringTree::ExportMaxLevel(TVSTTextSourceType source) {
  uint32_t maxLevel = 0;
  ForEachExported(source, [&](PVirtualNode node) { maxLevel = std::max(maxLevel, GetNodeLevel(node)); });
  return maxLevel;
}

std::u16string TCustomVirtualStringTree::ExportCellText(PVirtualNode node, TColumnIndex column) {
  return Gone(node) ? std::u16string() : GetText(node, column);
}

std::vector<TColumnIndex> TCustomVirtualStringTree::ExportColumns() const {
  if (HeaderColumnCount() == 0) return {NoColumn};
  std::vector<TColumnIndex> columns;
  for (TVirtualTreeColumn* column : header->Columns()->GetVisibleColumns()) columns.push_back(column->Index());
  return columns;
}

void TCustomVirtualStringTree::ExportPaintText(TCanvas* canvas, PVirtualNode node, TColumnIndex column) {
  canvas->SetFont(Font());
  fontChanged = false;
  if (!Gone(node)) DoPaintText(node, canvas, column, ttNormal);
}

void TCustomVirtualStringTree::ExportRows(TVSTTextSourceType source,
                                          const std::function<void(PVirtualNode node, TCanvas* canvas)>& row) {
  TCanvas* canvas = TextCanvas();
  RedirectFontChangeEvent(canvas);
  // A handler that frees the tree takes the canvas with it (the callers hold
  // the tree). The exports also run for the clipboard's flush while the tree
  // is released: they stop at a teardown done, not one begun.
  try {
    ForEachExported(source, [&](PVirtualNode node) { row(node, canvas); });
  } catch (...) {
    if (!TreeGoing()) RestoreFontChangeEvent(canvas);
    throw;
  }
  if (!TreeGoing()) RestoreFontChangeEvent(canvas);
}

// ---- Plain text and CSV ---------------------------------------------------------------

std::u16string TCustomVirtualStringTree::ContentToUnicode(TVSTTextSourceType source, char16_t separator) {
  // A handler that frees the tree while the levels are counted ends the text there.
  THold hold(this);
  uint32_t maxLevel = ExportMaxLevel(source);
  if (TreeGoing()) return {};
  // After the handlers the level count asked: they may change the columns.
  std::vector<TColumnIndex> columns = ExportColumns();
  bool hasColumns = HeaderColumnCount() > 0;
  TColumnIndex mainColumn = HeaderMainColumn();
  auto addSeparators = [&](TWideBufferedString& out, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) out.Add(separator);
  };
  TWideBufferedString out;
  // The header line: the main column's caption is followed by one empty cell
  // per level, so that every line has the same cells.
  if (hasColumns) {
    for (size_t i = 0; i < columns.size(); ++i) {
      AppendCsvCell(out, header->Columns()->Items(columns[i])->Text(), separator);
      if (columns[i] == mainColumn) addSeparators(out, maxLevel);
      if (i + 1 < columns.size()) out.Add(separator);
    }
    out.AddNewLine();
  }
  // A node freed by a handler while its line is written keeps its line, with empty cells.
  ForEachExported(source, [&](PVirtualNode node) {
    uint32_t level = std::min(GetNodeLevel(node), maxLevel);
    if (!hasColumns) {
      addSeparators(out, level);
      AppendCsvCell(out, ExportCellText(node, NoColumn), separator);
      out.AddNewLine();
      return;
    }
    for (size_t i = 0; i < columns.size(); ++i) {
      bool main = columns[i] == mainColumn;
      if (main) addSeparators(out, level);
      AppendCsvCell(out, ExportCellText(node, columns[i]), separator);
      if (main) addSeparators(out, maxLevel - level);
      if (i + 1 < columns.size()) out.Add(separator);
    }
    out.AddNewLine();
  });
  return out.TakeText();
}

std::string TCustomVirtualStringTree::ContentToText(TVSTTextSourceType source, char separator) {
  // The text is made in UTF-16 and converted once, so the quoting looks at
  // the characters themselves. No best-fit mapping: a character the code page
  // lacks becomes '?', never a look-alike separator or quote (U+201A is not ',').
  std::u16string wideSeparator = AnsiToWide(std::string_view(&separator, 1));
  char16_t wide = wideSeparator.size() == 1 ? wideSeparator[0] : static_cast<unsigned char>(separator);
  std::u16string text = ContentToUnicode(source, wide);
  if (text.empty()) return {};
  const auto* units = reinterpret_cast<const wchar_t*>(text.data());
  int length = static_cast<int>(text.size());
  int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units, length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, units, length, result.data(), bytes, nullptr, nullptr);
  return result;
}
