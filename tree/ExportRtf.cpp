// Content export of the string tree as an RTF table: one row of cells per
// node (after a header row with columns), texts as Unicode escapes in the
// fonts and colours OnPaintText chooses, collected into the document's font
// and colour tables.
#include "tree/VirtualTrees.h"

#include <algorithm>

#include "tree/ExportFormat.h"

namespace {

// The body of the document and the tables it refers to.
class TRtfWriter {
public:
  TBufferedString body;

  // Text in font: style switches, font, colour and size selections when they
  // change, the escaped text, style switches off. Nothing for an empty text.
  void AddText(const std::u16string& text, TFont* font) {
    if (text.empty()) return;
    TFontStyles style = font->Style();
    bool underline = style.Contains(fsUnderline), italic = style.Contains(fsItalic), bold = style.Contains(fsBold);
    if (underline) body.Add("\\ul");
    if (italic) body.Add("\\i");
    if (bold) body.Add("\\b");
    int fontNumber = Number(fonts, font->Name());
    if (fontNumber != currentFont) {
      body.Add("\\f");
      body.AddInt(fontNumber);
      currentFont = fontNumber;
    }
    int colorNumber = Number(colors, ColorToRGB(font->Color())) + 1;
    if (colorNumber != currentColor) {
      body.Add("\\cf");
      body.AddInt(colorNumber);
      currentColor = colorNumber;
    }
    if (font->Size() != currentSize) {
      currentSize = font->Size();
      body.Add("\\fs");
      body.AddInt(currentSize * 2);
    }
    body.Add(' ');
    AppendRtfUnicode(body, text);
    if (underline) body.Add("\\ul0");
    if (italic) body.Add("\\i0");
    if (bold) body.Add("\\b0");
  }

  void AddAlignment(TAlignment alignment, TBiDiMode bidiMode) {
    if (bidiMode != bdLeftToRight) alignment = MirroredAlignment(alignment);
    if (alignment == taRightJustify) body.Add("\\qr");
    if (alignment == taCenter) body.Add("\\qc");
  }

  std::string Document() {
    TBufferedString out;
    out.Add("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043{\\fonttbl");
    for (size_t i = 0; i < fonts.size(); ++i) {
      out.Add("{\\f");
      out.AddInt(static_cast<int64_t>(i));
      out.Add(' ');
      AppendRtfName(out, fonts[i]);
      out.Add(";}");
    }
    out.Add("}{\\colortbl;");
    for (COLORREF color : colors) {
      out.Add("\\red");
      out.AddInt(GetRValue(color));
      out.Add("\\green");
      out.AddInt(GetGValue(color));
      out.Add("\\blue");
      out.AddInt(GetBValue(color));
      out.Add(';');
    }
    out.Add('}');
    out.Add(body.Text());
    out.Add('}');
    return out.TakeText();
  }

private:
  // The index of value in list, appended when new.
  template <class T>
  static int Number(std::vector<T>& list, const T& value) {
    auto found = std::find(list.begin(), list.end(), value);
    if (found != list.end()) return static_cast<int>(found - list.begin());
    list.push_back(value);
    return static_cast<int>(list.size() - 1);
  }

  std::vector<std::string> fonts;
  std::vector<COLORREF> colors;
  int currentFont = -1;
  int currentColor = -1;
  int currentSize = -1;
};

}  // namespace

std::string TCustomVirtualStringTree::ContentToRTF(TVSTTextSourceType source) {
  // The text, font and initialisation handlers may free the whole tree: the
  // table then ends with the rows written so far.
  THold hold(this);
  std::vector<TColumnIndex> columns = ExportColumns();
  bool hasColumns = HeaderColumnCount() > 0;
  TColumnIndex mainColumn = HeaderMainColumn();
  TVirtualTreeColumns* headerColumns = header->Columns();
  TRtfWriter rtf;
  TBufferedString& body = rtf.body;

  body.Add("\\uc1\\trowd\\trgaph70");
  int pixelsPerInch = std::max(1, ScreenPixelsPerInch());
  auto addCellBoundary = [&](int64_t right) {
    body.Add("\\cellx");
    body.AddInt(right * 1440 / pixelsPerInch);
  };
  if (!hasColumns) {
    addCellBoundary(ClientWidth());
  } else {
    int64_t right = 0;
    for (TColumnIndex index : columns) {
      right += headerColumns->Items(index)->Width();
      addCellBoundary(right);
    }
  }

  if (hasColumns) {
    body.Add("\\pard\\intbl");
    for (TColumnIndex index : columns) {
      TVirtualTreeColumn* column = headerColumns->Items(index);
      rtf.AddAlignment(column->Alignment(), column->BiDiMode());
      rtf.AddText(column->Text(), header->Font());
      body.Add("\\cell");
    }
    body.Add("\\row");
  }

  ExportRows(source, [&](PVirtualNode node, TCanvas* canvas) {
    uint32_t level = GetNodeLevel(node);
    for (TColumnIndex index : columns) {
      body.Add("\\pard\\intbl");
      rtf.AddAlignment(ColumnAlignment(index), ColumnBiDiMode(index));
      ExportPaintText(canvas, node, index);
      if (TreeGoing()) return;
      // The blank that ends the last \tab is the one AddText writes before the text.
      if (index == mainColumn)
        for (uint32_t i = 0; i < level; ++i) body.Add("\\tab");
      std::u16string text = ExportCellText(node, index);
      if (TreeGoing()) return;
      rtf.AddText(text, canvas->Font());
      body.Add("\\cell");
    }
    body.Add("\\row");
  });
  body.Add("\\pard\\par");
  return rtf.Document();
}
