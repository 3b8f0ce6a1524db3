// Content export of the string tree, parsed back: CSV in both encodings by a
// CSV reader against a model of random trees and hostile texts, HTML by a
// strict reading of its markup and escapes, CF_HTML by its byte offsets, RTF
// by the system's rich edit control, and every text format through the real
// clipboard and the tree's OLE rendering.
#include <gtest/gtest.h>
#include <windows.h>
#include <richedit.h>

#include <map>
#include <random>

#include "tree/ExportFormat.h"
#include "core/SysUtils.h"
#include "tree/VirtualTrees.h"
#include "win/TextConvert.h"
#include "win/testing/Harness.h"

namespace {

// Cell texts by node and column (column -1 reads slot 0).
std::map<PVirtualNode, std::vector<std::u16string>> gTexts;
// Fonts OnPaintText gives by column (none: the tree's font).
std::map<TColumnIndex, TFont*> gCellFonts;

void GetTextFromTable(TBaseVirtualTree*, PVirtualNode node, TColumnIndex column, TVSTTextType,
                      std::u16string& text) {
  auto found = gTexts.find(node);
  if (found == gTexts.end()) return;
  size_t slot = column < 0 ? 0 : static_cast<size_t>(column);
  if (slot < found->second.size()) text = found->second[slot];
}

void PaintTextFromTable(TBaseVirtualTree*, TCanvas* canvas, PVirtualNode, TColumnIndex column, TVSTTextType) {
  auto found = gCellFonts.find(column);
  if (found != gCellFonts.end()) canvas->SetFont(found->second);
}

// ---- A CSV reader (RFC 4180 with any separator; records end with CR LF) ----------------
using TRows = std::vector<std::vector<std::u16string>>;

TRows ReadCsv(std::u16string_view text, char16_t separator) {
  TRows rows;
  size_t i = 0;
  while (i < text.size()) {
    std::vector<std::u16string> row;
    for (;;) {
      std::u16string cell;
      if (i < text.size() && text[i] == u'"') {
        ++i;
        for (;;) {
          if (i >= text.size()) throw std::runtime_error("unterminated quoted cell");
          if (text[i] == u'"') {
            if (i + 1 < text.size() && text[i + 1] == u'"') {
              cell += u'"';
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          cell += text[i++];
        }
      } else {
        while (i < text.size() && text[i] != separator && text[i] != u'\r' && text[i] != u'\n') {
          if (text[i] == u'"') throw std::runtime_error("quote inside an unquoted cell");
          cell += text[i++];
        }
      }
      row.push_back(cell);
      if (i < text.size() && text[i] == separator) {
        ++i;
        continue;
      }
      if (text.substr(i, 2) != u"\r\n") throw std::runtime_error("record not ended by CR LF");
      i += 2;
      break;
    }
    rows.push_back(row);
  }
  return rows;
}

// What a text becomes in the system code page: unpaired surrogates as U+FFFD,
// characters the code page lacks as '?', no look-alikes.
std::u16string ThroughCodePage(std::u16string_view text) {
  std::u16string clean = ReplaceUnwritable(text), result;
  for (size_t i = 0; i < clean.size(); ++i) {
    size_t n = (clean[i] >= 0xD800 && clean[i] <= 0xDBFF) ? 2 : 1;
    char bytes[8];
    int count = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, reinterpret_cast<const wchar_t*>(&clean[i]),
                                    static_cast<int>(n), bytes, sizeof(bytes), nullptr, nullptr);
    result += AnsiToWide(std::string_view(bytes, static_cast<size_t>(count)));
    i += n - 1;
  }
  return result;
}

std::u16string Utf8ToWide(std::string_view text) {
  int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::u16string result(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), reinterpret_cast<wchar_t*>(result.data()), n);
  return result;
}

// A string tree whose selection can be marked for copying without a data object.
class TExportTree : public TVirtualStringTree {
public:
  void MarkSelectionForCopy() {
    MarkCutCopyNodes();
    DoStateChange({tsCopyPending});
  }
};

struct ExportTest : ::testing::Test {
  void SetUp() override {
    Application->Initialize();
    gTexts.clear();
    gCellFonts.clear();
    form = New<TForm>(Application);
    form->SetBounds(10, 10, 500, 300);
    tree = New<TExportTree>(form);
    tree->SetParent(form);
    tree->SetBounds(0, 0, 480, 250);
    tree->OnGetText = GetTextFromTable;
    form->Show();
  }
  void TearDown() override {
    if (form != nullptr) form->Free();
    gTexts.clear();
    gCellFonts.clear();
  }
  TVirtualTreeColumn* AddColumn(const std::u16string& text, int width) {
    TVirtualTreeColumn* column = tree->Header()->Columns()->Add();
    column->SetText(text);
    column->SetWidth(width);
    tree->Header()->SetOptions(tree->Header()->Options().Include(hoVisible));
    return column;
  }
  PVirtualNode Add(PVirtualNode parent, std::vector<std::u16string> texts) {
    PVirtualNode node = tree->AddChild(parent);
    gTexts[node] = std::move(texts);
    return node;
  }
  TForm* form = nullptr;
  TExportTree* tree = nullptr;
};

// ---- HTML: a strict reading of the markup --------------------------------------------------

struct THtmlCell {
  std::string tag;
  std::map<std::string, std::string> attributes;  // decoded values
  std::u16string text;                            // decoded
};

std::string DecodeEntities(std::string_view text) {
  static const std::pair<std::string_view, std::string_view> entities[] = {
      {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&nbsp;", "\xC2\xA0"}};
  std::string result;
  for (size_t i = 0; i < text.size();) {
    if (text[i] == '<' || text[i] == '>') throw std::runtime_error("raw < or > in text: " + std::string(text));
    if (text[i] != '&') {
      result += text[i++];
      continue;
    }
    bool known = false;
    for (auto [entity, value] : entities) {
      if (text.substr(i, entity.size()) != entity) continue;
      result += value;
      i += entity.size();
      known = true;
      break;
    }
    if (!known) throw std::runtime_error("raw & in text: " + std::string(text.substr(i, 12)));
  }
  return result;
}

// Reads every tag of html (attribute values quoted or bare, entities only
// where allowed) and returns the th and td cells with their decoded texts.
std::vector<THtmlCell> ReadHtmlCells(const std::string& html) {
  std::vector<THtmlCell> cells;
  size_t i = 0;
  std::string openCell;
  size_t textStart = 0;
  while (i < html.size()) {
    if (html[i] != '<') {
      ++i;
      continue;
    }
    if (html.compare(i, 7, "<style ") == 0) {
      size_t end = html.find("</style>", i);
      if (end == std::string::npos) throw std::runtime_error("style not closed");
      if (html.find('<', i + 1) < end) throw std::runtime_error("markup inside the style block");
      i = end + 8;
      continue;
    }
    if (!openCell.empty() && html.compare(i, openCell.size() + 3, "</" + openCell + ">") == 0) {
      cells.back().text = Utf8ToWide(DecodeEntities(std::string_view(html).substr(textStart, i - textStart)));
      i += openCell.size() + 3;
      openCell.clear();
      continue;
    }
    if (!openCell.empty()) throw std::runtime_error("tag inside a cell: " + html.substr(i, 20));
    size_t j = i + 1;
    std::string name;
    while (j < html.size() && (isalnum(static_cast<unsigned char>(html[j])) || html[j] == '/')) name += html[j++];
    THtmlCell cell{name, {}, {}};
    for (;;) {
      while (j < html.size() && html[j] == ' ') ++j;
      if (j >= html.size()) throw std::runtime_error("tag not closed");
      if (html[j] == '>') break;
      std::string attribute;
      while (j < html.size() && (isalnum(static_cast<unsigned char>(html[j])) || html[j] == '-')) attribute += html[j++];
      if (attribute.empty()) throw std::runtime_error("bad attribute in " + html.substr(i, j - i + 10));
      std::string value;
      if (html[j] == '=') {
        ++j;
        if (html[j] == '"') {
          size_t end = html.find('"', j + 1);
          value = DecodeEntities(std::string_view(html).substr(j + 1, end - j - 1));
          j = end + 1;
        } else {
          while (j < html.size() && html[j] != ' ' && html[j] != '>') {
            if (html[j] == '"' || html[j] == '<' || html[j] == '&') throw std::runtime_error("bad bare value");
            value += html[j++];
          }
        }
      }
      cell.attributes[attribute] = value;
    }
    i = j + 1;
    if (name == "td" || name == "th") {
      cells.push_back(cell);
      openCell = name;
      textStart = i;
    }
    if (name == "table") cells.push_back(cell);
  }
  return cells;
}

// ---- The model: which cells every exported line holds ------------------------------------

TRows ExpectedCells(TCustomVirtualStringTree* tree, TVSTTextSourceType source,
                    const std::vector<PVirtualNode>& nodes, std::u16string (*convert)(std::u16string_view)) {
  std::vector<TColumnIndex> columns;
  TVirtualTreeColumns* all = tree->Header()->Columns();
  for (TVirtualTreeColumn* c : all->GetVisibleColumns()) columns.push_back(c->Index());
  uint32_t maxLevel = 0;
  for (PVirtualNode node : nodes) maxLevel = std::max(maxLevel, tree->GetNodeLevel(node));
  TColumnIndex main = tree->Header()->MainColumn();
  TRows rows;
  if (all->Count() > 0) {
    std::vector<std::u16string> header;
    for (TColumnIndex c : columns) {
      header.push_back(convert(all->Items(c)->Text()));
      if (c == main) header.insert(header.end(), maxLevel, u"");
    }
    rows.push_back(header);
  }
  (void)source;
  for (PVirtualNode node : nodes) {
    uint32_t level = tree->GetNodeLevel(node);
    std::vector<std::u16string> row;
    if (all->Count() == 0) {
      row.insert(row.end(), level, u"");
      row.push_back(convert(tree->GetText(node, NoColumn)));
    }
    for (TColumnIndex c : all->Count() > 0 ? columns : std::vector<TColumnIndex>{}) {
      if (c == main) row.insert(row.end(), level, u"");
      row.push_back(convert(tree->GetText(node, c)));
      if (c == main) row.insert(row.end(), maxLevel - level, u"");
    }
    rows.push_back(row);
  }
  return rows;
}

std::u16string Clean(std::u16string_view text) { return ReplaceUnwritable(text); }

// Texts made of the characters that break exports: separators, quotes, line
// breaks, markup, non-Latin text, pairs and unpaired surrogates, look-alikes, NUL.
std::u16string RandomText(std::mt19937& random) {
  static const std::u16string_view pieces[] = {
      u"a", u"Z", u" ", u",", u";", u"\t", u"\"", u"\"\"", u"\r", u"\n", u"\r\n", u"&", u"<", u">",
      u"\u00e9", u"\u20ac", u"\u201a", u"\u201c", u"\uff0c", u"\uff02", u"\uff1b", u"\u4e2d", u"\U0001F600", u"\xD800", u"\xDC00", u"\\", u"{", u"}",
      std::u16string_view(u"\0", 1)};
  std::u16string text;
  int length = std::uniform_int_distribution<int>(0, 6)(random);
  for (int i = 0; i < length; ++i)
    text += pieces[std::uniform_int_distribution<size_t>(0, std::size(pieces) - 1)(random)];
  return text;
}

TEST_F(ExportTest, CsvInBothEncodingsParsesBackToTheTreesCells) {
  std::mt19937 random(1234);
  int rounds = std::getenv("QV_LONG") ? 2000 : 60;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    tree->Clear();
    gTexts.clear();
    tree->Header()->Columns()->Clear();
    int columnCount = std::uniform_int_distribution<int>(0, 3)(random);
    for (int c = 0; c < columnCount; ++c) AddColumn(RandomText(random), 60);
    if (columnCount > 0) {
      tree->Header()->SetMainColumn(std::uniform_int_distribution<int>(0, columnCount - 1)(random));
      if (columnCount > 1 && random() % 3 == 0) {
        TVirtualTreeColumn* hidden = tree->Header()->Columns()->Items(static_cast<int>(random() % columnCount));
        if (hidden->Index() != tree->Header()->MainColumn())
          hidden->SetOptions(hidden->Options().Exclude(coVisible));
      }
      if (columnCount > 1) tree->Header()->Columns()->Items(0)->SetPosition(columnCount - 1);
    }
    std::vector<PVirtualNode> nodes{nullptr};
    int nodeCount = std::uniform_int_distribution<int>(0, 25)(random);
    for (int n = 0; n < nodeCount; ++n) {
      PVirtualNode parent = nodes[std::uniform_int_distribution<size_t>(0, nodes.size() - 1)(random)];
      nodes.push_back(Add(parent, {RandomText(random), RandomText(random), RandomText(random)}));
    }
    std::vector<PVirtualNode> inOrder;
    for (PVirtualNode node = tree->GetFirst(); node != nullptr; node = tree->GetNext(node)) inOrder.push_back(node);

    // HTML: every header and cell text comes back from a strict reading.
    std::u16string caption = RandomText(random);
    std::vector<THtmlCell> cells;
    ASSERT_NO_THROW(cells = ReadHtmlCells(tree->ContentToHTML(tstAll, caption)));
    std::vector<std::u16string> htmlTexts, expectedTexts;
    for (THtmlCell& cell : cells)
      if (cell.tag == "th" || (cell.tag == "td" && cell.attributes["class"] == "normalborder"))
        htmlTexts.push_back(cell.text);
    std::vector<TColumnIndex> shown;
    for (TVirtualTreeColumn* c : tree->Header()->Columns()->GetVisibleColumns()) shown.push_back(c->Index());
    for (TColumnIndex c : shown) expectedTexts.push_back(Clean(tree->Header()->Columns()->Items(c)->Text()));
    if (shown.empty() && columnCount == 0) shown.push_back(NoColumn);
    for (PVirtualNode node : inOrder)
      for (TColumnIndex c : shown) expectedTexts.push_back(Clean(tree->GetText(node, c)));
    EXPECT_EQ(htmlTexts, expectedTexts);
    EXPECT_EQ(Utf8ToWide(cells[0].attributes["caption"]), Clean(caption));

    for (char16_t separator : {u',', u'\t', u';'}) {
      EXPECT_EQ(ReadCsv(tree->ContentToUnicode(tstAll, separator), separator),
                ExpectedCells(tree, tstAll, inOrder, Clean))
          << "UTF-16, separator " << int(separator);
      std::u16string eightBit = AnsiToWide(tree->ContentToText(tstAll, static_cast<char>(separator)));
      EXPECT_EQ(ReadCsv(eightBit, separator), ExpectedCells(tree, tstAll, inOrder, ThroughCodePage))
          << "8-bit, separator " << int(separator);
    }
  }
}

TEST_F(ExportTest, SourcesPickTheirNodesAndAnEmptySourceLeavesTheFrame) {
  AddColumn(u"Name", 100);
  AddColumn(u"Size", 60);
  PVirtualNode a = Add(nullptr, {u"a", u"1"});
  PVirtualNode b = Add(a, {u"b", u"2"});
  PVirtualNode c = Add(nullptr, {u"c", u"3"});
  auto names = [&](TVSTTextSourceType source) {
    std::u16string result;
    for (const auto& row : ReadCsv(tree->ContentToUnicode(source, u','), u',')) {
      for (size_t i = 0; i + 1 < row.size(); ++i) result += row[i];
      result += u"|";
    }
    return result;
  };
  EXPECT_EQ(tree->ContentToUnicode(tstSelected, u','), u"Name,Size\r\n");
  EXPECT_EQ(names(tstAll), u"Name|a|b|c|");
  EXPECT_EQ(names(tstVisible), u"Name|a|c|");  // b's parent is collapsed
  tree->FullExpand();
  EXPECT_EQ(names(tstVisible), u"Name|a|b|c|");
  tree->TreeOptions()->SetSelectionOptions(tree->TreeOptions()->SelectionOptions().Include(toMultiSelect));
  tree->SetSelected(b, true);
  tree->SetSelected(c, true);
  EXPECT_EQ(names(tstSelected), u"Name|b|c|");
  EXPECT_EQ(tree->ContentToUnicode(tstSelected, u','), u"Name,,Size\r\n,b,2\r\nc,,3\r\n");
  tree->MarkSelectionForCopy();
  EXPECT_EQ(names(tstCutCopySet), u"Name|b|c|");
  (void)a;
  EXPECT_EQ(tree->ContentToRTF(tstCutCopySet).find("\\u49\\'3f"), std::string::npos);  // a's "1" is not in the set
  EXPECT_NE(tree->ContentToRTF(tstCutCopySet).find("\\u50\\'3f"), std::string::npos);  // b's "2" is
  tree->Clear();
  EXPECT_EQ(tree->ContentToText(tstAll, ','), "Name,Size\r\n");
  std::string html = tree->ContentToHTML(tstAll);
  EXPECT_EQ(html.find("<td"), std::string::npos);
  EXPECT_NE(html.find("<th"), std::string::npos);
  EXPECT_EQ(html.substr(html.size() - 8), "</table>");
}

TEST_F(ExportTest, HtmlEscapesEveryTextAndKeepsItsMarkupStrict) {
  TVirtualTreeColumn* name = AddColumn(u"Name <&> \"quoted\"", 120);
  AddColumn(u"Gr\u00f6\u00dfe", 60);
  name->SetColor(clYellow);
  name->SetOptions(name->Options().Exclude(coParentColor));
  tree->Font()->SetName("Odd & <Font>");
  TFont* bold = New<TFont>();
  bold->SetName("Bold \"Face\"");
  bold->SetStyle(TFontStyles{fsBold});
  bold->SetColor(clRed);
  gCellFonts[1] = bold;
  tree->OnPaintText = PaintTextFromTable;
  PVirtualNode top = Add(nullptr, {u"R&D <draft>.txt", u"1 < 2 & 3 > 2"});
  Add(top, {u"\"quoted\" \U0001F600 \xD800 end", u"&amp; literal"});
  tree->FullExpand();

  std::string html = tree->ContentToHTML(tstAll, u"Caption <&\">");
  std::vector<THtmlCell> cells;
  ASSERT_NO_THROW(cells = ReadHtmlCells(html)) << html;
  ASSERT_EQ(cells.size(), 1u + 2 + 2 + 3);  // table, 2 header cells, 2 + (indent + 2) cells
  EXPECT_EQ(cells[0].attributes["caption"], "Caption <&\">");
  EXPECT_EQ(cells[0].attributes["bgcolor"], "#FFFFFF");
  EXPECT_EQ(cells[1].text, u"Name <&> \"quoted\"");
  EXPECT_EQ(cells[1].attributes["colspan"], "2");
  EXPECT_EQ(cells[1].attributes["bgcolor"], "#FFFF00");
  EXPECT_EQ(cells[2].text, u"Gr\u00f6\u00dfe");
  EXPECT_EQ(cells[3].text, u"R&D <draft>.txt");
  EXPECT_EQ(cells[4].text, u"1 < 2 & 3 > 2");
  EXPECT_EQ(cells[4].attributes["style"], "{font: bold 8pt \"Bold \"Face\"\";color:#FF0000;}");
  EXPECT_EQ(cells[5].text, u"\u00a0");  // the indentation cell in the main column's own colour
  EXPECT_EQ(cells[5].attributes["bgcolor"], "#FFFF00");
  EXPECT_EQ(cells[6].text, u"\"quoted\" \U0001F600 \uFFFD end");
  EXPECT_EQ(cells[7].text, u"&amp; literal");
  EXPECT_NE(html.find(".default{font: 8pt \"Odd &amp; &lt;Font&gt;\";color:#000000;}"), std::string::npos);
  EXPECT_EQ(cells[0].attributes["border"], "1");
  EXPECT_EQ(cells[0].attributes["frame"], "box");
  // The table's frame follows the tree's border: its width plus the edge, none without one.
  tree->SetBorderWidth(3);
  cells = ReadHtmlCells(tree->ContentToHTML(tstAll));
  EXPECT_EQ(cells[0].attributes["border"], "4");
  tree->SetBorderStyle(bsNone);
  cells = ReadHtmlCells(tree->ContentToHTML(tstAll));
  EXPECT_EQ(cells[0].attributes.count("border"), 0u);
  EXPECT_EQ(cells[0].attributes.count("frame"), 0u);
  bold->Free();
}

TEST_F(ExportTest, ClipboardHtmlOffsetsAreByteOffsetsOfTheUtf8Text) {
  Add(nullptr, {u"\u00e9\u4e2d\U0001F600 <b>"});
  HGLOBAL block = tree->ContentToClipboard(CF_HTML, tstAll);
  ASSERT_NE(block, nullptr);
  std::string data(static_cast<const char*>(GlobalLock(block)));
  GlobalUnlock(block);
  GlobalFree(block);
  auto offset = [&](const char* key) {
    size_t at = data.find(key);
    EXPECT_NE(at, std::string::npos) << key;
    return std::stoul(data.substr(at + strlen(key), 8));
  };
  size_t startHtml = offset("StartHTML:"), endHtml = offset("EndHTML:");
  size_t startFragment = offset("StartFragment:"), endFragment = offset("EndFragment:");
  EXPECT_EQ(startHtml, 97u);
  EXPECT_EQ(startFragment, 269u);
  EXPECT_EQ(data.compare(startHtml, 9, "<!DOCTYPE"), 0);
  EXPECT_EQ(data.compare(startFragment - 20, 20, "<!--StartFragment-->"), 0);
  EXPECT_EQ(data.compare(endFragment, 18, "<!--EndFragment-->"), 0);
  EXPECT_EQ(endHtml, data.size());
  std::string fragment = data.substr(startFragment, endFragment - startFragment);
  EXPECT_EQ(fragment, tree->ContentToHTML(tstAll));
  EXPECT_NE(fragment.find("\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80 &lt;b&gt;"), std::string::npos);
}

// ---- RTF -----------------------------------------------------------------------------------

TEST(ExportFormatTest, RtfEscapesAreSignedAndUnpairedSurrogatesBecomeReplacements) {
  TBufferedString out;
  AppendRtfUnicode(out, u"A\u7FFF\u8000\uFFFD\U0001F600\xDC00\xD800");
  EXPECT_EQ(out.Text(),
            "\\u65\\'3f\\u32767\\'3f\\u-32768\\'3f\\u-3\\'3f\\u-10179\\'3f\\u-8704\\'3f\\u-3\\'3f\\u-3\\'3f");
  TBufferedString name;
  AppendRtfName(name, "a{b}\\c;\xE9");
  EXPECT_EQ(name.Text(), "a\\{b\\}\\\\c\\'3B\\'E9");
}

TEST(ExportFormatTest, BuffersGrowGeometrically) {
  TBufferedString out;
  size_t blocks = 0, capacity = out.Capacity();
  for (int i = 0; i < 1000000; ++i) {
    out.Add(std::string_view("ab", 1 + i % 2));
    if (out.Capacity() != capacity) ++blocks, capacity = out.Capacity();
  }
  EXPECT_EQ(out.Length(), 1500000u);
  EXPECT_LE(blocks, 12u);  // 4096 doubled up to 1.5 MB
  TWideBufferedString wide;
  wide.AddInt(-2147483648LL);
  wide.AddInt(0);
  EXPECT_EQ(wide.Text(), u"-21474836480");
}

struct RtfSource {
  const std::string* text;
  size_t at;
};

DWORD CALLBACK ReadRtf(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given) {
  auto* s = reinterpret_cast<RtfSource*>(cookie);
  size_t n = std::min(static_cast<size_t>(wanted), s->text->size() - s->at);
  memcpy(buffer, s->text->data() + s->at, n);
  s->at += n;
  *given = static_cast<LONG>(n);
  return 0;
}

// The text of a rich edit control after loading rtf.
std::u16string RichEditText(const std::string& rtf, HWND parent) {
  const wchar_t* classes[] = {L"RICHEDIT50W", L"RichEdit20W"};
  LoadLibraryW(L"msftedit.dll");
  LoadLibraryW(L"riched20.dll");
  HWND edit = nullptr;
  for (const wchar_t* name : classes) {
    edit = CreateWindowExW(0, name, L"", WS_CHILD | ES_MULTILINE, 0, 0, 300, 200, parent, nullptr, nullptr, nullptr);
    if (edit != nullptr) break;
  }
  if (edit == nullptr) throw std::runtime_error("no rich edit control");
  RtfSource source{&rtf, 0};
  EDITSTREAM stream{};
  stream.dwCookie = reinterpret_cast<DWORD_PTR>(&source);
  stream.pfnCallback = ReadRtf;
  SendMessageW(edit, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&stream));
  int length = GetWindowTextLengthW(edit);
  std::u16string text(static_cast<size_t>(length) + 1, u'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(edit, reinterpret_cast<wchar_t*>(text.data()), length + 1)));
  DestroyWindow(edit);
  return text;
}

// The visible text pieces of a rich edit text: split at cell and line marks, blanks and tabs trimmed.
std::vector<std::u16string> TextPieces(const std::u16string& text) {
  std::vector<std::u16string> pieces;
  std::u16string piece;
  auto flush = [&] {
    size_t a = piece.find_first_not_of(u" \t"), b = piece.find_last_not_of(u" \t");
    if (a != std::u16string::npos) pieces.push_back(piece.substr(a, b - a + 1));
    piece.clear();
  };
  for (char16_t c : text) {
    if (c == u'\r' || c == u'\n' || c == 7 || c == 0xFFF9 || c == 0xFFFB || c == u'\t') {
      flush();
      continue;
    }
    piece += c;
  }
  flush();
  return pieces;
}

TEST_F(ExportTest, RtfOpensInTheRichEditControlWithTheTreesTexts) {
  AddColumn(u"Name", 120);
  AddColumn(u"Size {x}", 80)->SetAlignment(taRightJustify);
  TFont* italic = New<TFont>();
  italic->SetStyle(TFontStyles{fsItalic, fsUnderline});
  italic->SetColor(clBlue);
  italic->SetName("Courier New");
  gCellFonts[1] = italic;
  tree->OnPaintText = PaintTextFromTable;
  PVirtualNode top = Add(nullptr, {u"R&D {draft} \\ back", u"\u4e2d\u6587 \u9999"});
  Add(top, {u"caf\u00e9 \u20ac \U0001F600", u"lone \xD800 x"});
  Add(nullptr, {u"", std::u16string(u"la\0st", 5)});
  std::string rtf = tree->ContentToRTF(tstAll);
  EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1043{\\fonttbl{\\f0 Tahoma;}", 0), 0u) << rtf;
  EXPECT_NE(rtf.find("\\u-26215\\'3f"), std::string::npos);  // U+9999
  EXPECT_NE(rtf.find("\\red0\\green0\\blue255;"), std::string::npos);
  std::u16string text = RichEditText(rtf, form->Handle());
  std::vector<std::u16string> expected = {u"Name", u"Size {x}", u"R&D {draft} \\ back", u"\u4e2d\u6587 \u9999",
                                          u"caf\u00e9 \u20ac \U0001F600", u"lone \uFFFD x", u"la\uFFFDst"};
  EXPECT_EQ(TextPieces(text), expected) << std::string(Utf16ToUtf8(text));
  italic->Free();
}

// ---- Clipboard and OLE rendering --------------------------------------------------------------

std::string GlobalText(HGLOBAL block, size_t unit) {
  const char* data = static_cast<const char*>(GlobalLock(block));
  size_t size = GlobalSize(block);
  std::string bytes(data, size);
  GlobalUnlock(block);
  // Up to the terminating zero.
  for (size_t i = 0; i + unit <= bytes.size(); i += unit)
    if (bytes.compare(i, unit, std::string(unit, '\0')) == 0) return bytes.substr(0, i);
  return bytes;
}

TEST_F(ExportTest, DragRenderingTakesTheSelectionAndClipboardRenderingTheCopiedNodes) {
  AddColumn(u"Name", 120);
  AddColumn(u"Note", 80);
  PVirtualNode node = Add(nullptr, {u"a,b", u"say \"hi\"\u4e2d"});
  tree->SetSelected(node, true);
  struct Case {
    UINT format;
    std::string expected;
  };
  std::u16string unicode = tree->ContentToUnicode(tstSelected, u'\t');
  std::string unicodeBytes(reinterpret_cast<const char*>(unicode.data()), unicode.size() * 2);
  const Case cases[] = {
      {CF_TEXT, tree->ContentToText(tstSelected, '\t')},
      {CF_UNICODETEXT, unicodeBytes},
      {CF_CSV, tree->ContentToText(tstSelected, ',')},
      {CF_VRTF, tree->ContentToRTF(tstSelected)},
      {CF_VRTFNOOBJS, tree->ContentToRTF(tstSelected)},
      {CF_HTML, WrapHtmlClipboardFormat(tree->ContentToHTML(tstSelected))},
  };
  EXPECT_EQ(cases[2].expected, "Name,Note\r\n\"a,b\",\"say \"\"hi\"\"?\"\r\n");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    // The drag rendering takes the selection; the clipboard's takes the cut/copy set (empty here).
    FORMATETC format{static_cast<CLIPFORMAT>(c.format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    ASSERT_EQ(tree->RenderOLEData(format, medium, /*forClipboard=*/false), S_OK);
    EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    EXPECT_EQ(medium.pUnkForRelease, nullptr);
    EXPECT_EQ(GlobalText(medium.hGlobal, c.format == CF_UNICODETEXT ? 2 : 1), c.expected);
    ReleaseStgMedium(&medium);
    ASSERT_EQ(tree->RenderOLEData(format, medium, /*forClipboard=*/true), S_OK);
    EXPECT_EQ(GlobalText(medium.hGlobal, 1).find("a,b"), std::string::npos);
    ReleaseStgMedium(&medium);
  }
  FORMATETC other{CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  STGMEDIUM medium{};
  EXPECT_TRUE(FAILED(tree->RenderOLEData(other, medium, false)));
  FORMATETC streamOnly{CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
  EXPECT_TRUE(FAILED(tree->RenderOLEData(streamOnly, medium, false)));
  EXPECT_EQ(tree->ContentToClipboard(CF_BITMAP, tstAll), nullptr);
}

TEST_F(ExportTest, CopiedNodesReachOtherProgramsInEveryTextFormat) {
  AddColumn(u"Name", 120);
  AddColumn(u"Note", 80);
  tree->TreeOptions()->SetSelectionOptions(tree->TreeOptions()->SelectionOptions().Include(toMultiSelect));
  PVirtualNode first = Add(nullptr, {u"R&D <draft>.txt", u"\u4e2d \U0001F600"});
  Add(nullptr, {u"not copied", u"-"});
  PVirtualNode third = Add(nullptr, {u"a;b,c", u"say \"hi\"\r\nbye"});
  tree->SetSelected(first, true);
  tree->SetSelected(third, true);
  // A tree offers the formats its ClipboardFormats names.
  tree->SetClipboardFormats({"Virtual Tree Data", "HTML Format", "Rich Text Format",
                             "Rich Text Format Without Objects", "CSV", "Unicode text", "Plain text"});
  tree->CopyToClipBoard();
  std::u16string unicode = tree->ContentToUnicode(tstCutCopySet, u'\t');
  EXPECT_EQ(unicode.find(u"not copied"), std::u16string::npos);
  const std::pair<UINT, std::string> cases[] = {
      {CF_TEXT, tree->ContentToText(tstCutCopySet, '\t')},
      {CF_UNICODETEXT, std::string(reinterpret_cast<const char*>(unicode.data()), unicode.size() * 2)},
      {CF_CSV, tree->ContentToText(tstCutCopySet, ',')},
      {CF_VRTF, tree->ContentToRTF(tstCutCopySet)},
      {CF_VRTFNOOBJS, tree->ContentToRTF(tstCutCopySet)},
      {CF_HTML, WrapHtmlClipboardFormat(tree->ContentToHTML(tstCutCopySet))},
  };
  // Through OLE, as a program that pastes asks.
  IDataObject* data = nullptr;
  ASSERT_EQ(OleGetClipboard(&data), S_OK);
  for (const auto& [format, expected] : cases) {
    SCOPED_TRACE(format);
    FORMATETC formatEtc{static_cast<CLIPFORMAT>(format), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(data->QueryGetData(&formatEtc), S_OK);
    STGMEDIUM medium{};
    ASSERT_EQ(data->GetData(&formatEtc, &medium), S_OK);
    EXPECT_EQ(GlobalText(medium.hGlobal, format == CF_UNICODETEXT ? 2 : 1), expected);
    ReleaseStgMedium(&medium);
  }
  data->Release();
  // After the tree is gone the clipboard keeps the rendered texts.
  form->Free();
  form = nullptr;
  ASSERT_TRUE(OpenClipboard(nullptr));
  for (const auto& [format, expected] : cases) {
    HANDLE block = GetClipboardData(format);
    ASSERT_NE(block, nullptr) << format;
    EXPECT_EQ(GlobalText(block, format == CF_UNICODETEXT ? 2 : 1), expected) << format;
  }
  CloseClipboard();
}

}  // namespace
