// Content export of the string tree as an HTML table (UTF-8): a style block
// from the tree's and the header's fonts, a header row, one row per node
// with indentation cells, and the cell fonts OnPaintText chooses. Every text
// (cells, captions, font names) is escaped, so no text can become markup.
#include "tree/VirtualTrees.h"

#include "tree/ExportFormat.h"
#include "win/TextConvert.h"

namespace {

void AddHtmlColor(TBufferedString& out, TColor color) { AppendHtmlColor(out, ColorToRGB(color)); }

// The font's part of a style: "[ underline][ italic][ bold] <size>pt "<name>";color:#RRGGBB;}".
// Inside an attribute the quotes around the name are written as entities.
void AddFontStyle(TBufferedString& out, TFont* font, bool inAttribute) {
  TFontStyles style = font->Style();
  if (style.Contains(fsUnderline)) out.Add(" underline");
  if (style.Contains(fsItalic)) out.Add(" italic");
  if (style.Contains(fsBold)) out.Add(" bold");
  std::string_view quote = inAttribute ? "&quot;" : "\"";
  out.Add(' ');
  out.AddInt(font->Size());
  out.Add("pt ");
  out.Add(quote);
  AppendUtf8(out, AnsiToWide(font->Name()), /*escapeHtml=*/true);
  out.Add(quote);
  out.Add(";color:");
  AddHtmlColor(out, font->Color());
  out.Add(";}");
}

void AddAlignment(TBufferedString& out, TAlignment alignment, TBiDiMode bidiMode) {
  if (bidiMode != bdLeftToRight) {
    out.Add(" dir=\"rtl\"");
    alignment = MirroredAlignment(alignment);
  }
  switch (alignment) {
    case taRightJustify: out.Add(" align=right"); break;
    case taCenter: out.Add(" align=center"); break;
    default: out.Add(" align=left"); break;
  }
}

void AddNumberAttribute(TBufferedString& out, std::string_view name, int64_t value, std::string_view unit = "") {
  out.Add(name);
  out.AddInt(value);
  out.Add(unit);
  out.Add('"');
}

}  // namespace

std::string TCustomVirtualStringTree::ContentToHTML(TVSTTextSourceType source, const std::u16string& caption) {
  // The text, font and initialisation handlers may free the whole tree: the
  // table then ends with the rows written so far.
  THold hold(this);
  uint32_t maxLevel = ExportMaxLevel(source);
  if (TreeGoing()) return {};
  // After the handlers the level count asked: they may change the columns.
  std::vector<TColumnIndex> columns = ExportColumns();
  bool hasColumns = HeaderColumnCount() > 0;
  TColumnIndex mainColumn = HeaderMainColumn();
  TVirtualTreeColumns* headerColumns = header->Columns();
  TVTPaintOptions paintOptions = TreeOptions()->PaintOptions();

  TBufferedString padding;
  padding.Add("padding-left:");
  padding.AddInt(Margin());
  padding.Add("px;padding-right:");
  padding.AddInt(Margin());
  padding.Add("px;");

  TBufferedString out;
  out.Add("<style type=\"text/css\">");
  out.AddNewLine();
  out.Add(".default{font:");
  AddFontStyle(out, Font(), /*inAttribute=*/false);
  out.AddNewLine();
  out.Add(".header{font:");
  AddFontStyle(out, header->Font(), /*inAttribute=*/false);
  out.AddNewLine();
  std::string_view borderWord = LineStyle() == lsSolid ? "solid;" : "dotted;";
  bool horzLines = paintOptions.Contains(toShowHorzGridLines);
  if (horzLines) {
    out.Add(".noborder{border-style:");
    out.Add(borderWord);
    out.Add(" border-bottom:1;border-left:0;border-right:0; border-top:0;");
  } else {
    out.Add(".noborder{border-style:none;");
  }
  out.Add(padding.Text());
  out.Add('}');
  out.AddNewLine();
  out.Add(".normalborder {border-top:none; border-left:none; ");
  if (paintOptions.Contains(toShowVertGridLines)) {
    out.Add("border-right:1 ");
    out.Add(borderWord);
  } else {
    out.Add("border-right:none;");
  }
  if (horzLines) {
    out.Add("border-bottom:1 ");
    out.Add(borderWord);
  } else {
    out.Add("border-bottom:none;");
  }
  out.Add(padding.Text());
  out.Add('}');
  out.AddNewLine();
  out.Add("</style>");
  out.AddNewLine();

  out.Add("<table class=\"default\" bgcolor=");
  AddHtmlColor(out, Color());
  if (!caption.empty()) {
    out.Add(" caption=\"");
    AppendUtf8(out, caption, /*escapeHtml=*/true);
    out.Add('"');
  }
  // The table's frame is as thick as the tree's: its border ring plus the edge line.
  if (BorderStyle() != bsNone) {
    AddNumberAttribute(out, " border=\"", int64_t(BorderWidth()) + 1);
    out.Add(" frame=box");
  }
  out.Add(" cellspacing=\"0\" cellpadding=");
  out.AddInt(Margin());
  out.Add('>');

  if (hasColumns) {
    out.Add("<tr class=\"header\" style=\"");
    out.Add(padding.Text());
    out.Add("\">");
    for (TColumnIndex index : columns) {
      TVirtualTreeColumn* column = headerColumns->Items(index);
      AddNumberAttribute(out, "<th height=\"", header->Height(), "px");
      AddAlignment(out, column->Alignment(), column->BiDiMode());
      if (index == mainColumn && maxLevel != 0) AddNumberAttribute(out, " colspan=\"", maxLevel + 1);
      out.Add(" bgcolor=");
      AddHtmlColor(out, column->Color());
      AddNumberAttribute(out, " width=\"", column->Width(), "px");
      out.Add('>');
      AppendUtf8(out, column->Text(), /*escapeHtml=*/true);
      out.Add("</th>");
    }
    out.Add("</tr>");
  }

  ExportRows(source, [&](PVirtualNode node, TCanvas* canvas) {
    uint32_t level = std::min(GetNodeLevel(node), maxLevel);
    int64_t height = node->NodeHeight;
    out.Add(" <tr class=\"default\">");
    out.AddNewLine();
    for (TColumnIndex index : columns) {
      TVirtualTreeColumn* column = hasColumns ? headerColumns->Items(index) : nullptr;
      bool parentColor = column == nullptr || column->Options().Contains(coParentColor);
      ExportPaintText(canvas, node, index);
      if (TreeGoing()) return;
      if (index == mainColumn) {
        for (uint32_t i = 0; i < level; ++i) {
          if (!parentColor) {
            AddNumberAttribute(out, "<td class=\"noborder\" width=\"", Indent());
            AddNumberAttribute(out, " height=\"", height, "px");
            out.Add(" bgcolor=");
            AddHtmlColor(out, column->Color());
            out.Add(">&nbsp;</td>");
          } else if (i == 0) {
            AddNumberAttribute(out, " <td height=\"", height, "px");
            out.Add(">&nbsp;</td>");
          } else {
            out.Add(" <td>&nbsp;</td>");
          }
        }
      }
      if (fontChanged) {
        out.Add(" <td class=\"normalborder\"  style=\"{font:");
        AddFontStyle(out, canvas->Font(), /*inAttribute=*/true);
        out.Add('"');
        AddNumberAttribute(out, " height=\"", height, "px");
      } else {
        AddNumberAttribute(out, " <td class=\"normalborder\"  height=\"", height, "px");
      }
      AddAlignment(out, ColumnAlignment(index), ColumnBiDiMode(index));
      if (index == mainColumn && level < maxLevel) AddNumberAttribute(out, " colspan=\"", maxLevel - level + 1);
      if (!parentColor) {
        out.Add(" bgcolor=");
        AddHtmlColor(out, column->Color());
      }
      out.Add('>');
      AppendUtf8(out, ExportCellText(node, index), /*escapeHtml=*/true);
      out.Add("</td>");
      if (TreeGoing()) return;
    }
    out.Add(" </tr>");
    out.AddNewLine();
  });
  out.Add("</table>");
  return out.TakeText();
}
