// Content export of a string tree of 100,000 nodes x 3 columns (10,000 top
// nodes with 9 children each, expanded): ContentToText, ContentToUnicode,
// ContentToHTML and ContentToRTF, each beside two plain loops in the same run
// that write the same texts to a std::string: one asking the tree for every
// text as the export does (GetText), one copying texts made beforehand. The
// 10,000-node figures beside them show that the exports grow linearly.
// Then the clipboard: copying the 100,000 nodes, reading their text and HTML
// back through OLE as another program would, and pasting them into a second
// tree, beside the export alone and beside making the nodes directly. Under
// QV_BENCH_SMALL a hundredth of each size.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "BenchSize.h"
#include "tree/VirtualTrees.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The best of three runs, in ms; size receives the output's length.
double Best(const std::function<size_t()>& run, size_t& size) {
  double best = 1e300;
  for (int i = 0; i < 3; ++i) {
    auto t = Clock::now();
    size = run();
    best = std::min(best, Ms(t));
  }
  return best;
}

// The texts: a file name, a size and a date, one per node and column.
std::u16string CellText(uint32_t id, TColumnIndex column) {
  std::u16string number;
  for (uint32_t n = id;; n /= 10) {
    number.insert(number.begin(), char16_t(u'0' + n % 10));
    if (n < 10) break;
  }
  switch (column) {
    case 0: return u"Datei " + number + u".txt";
    case 1: return number + u" KB";
    default: return u"2026-12-07 15:" + number.substr(number.size() > 2 ? number.size() - 2 : 0);
  }
}

uint32_t NodeId(TBaseVirtualTree* tree, PVirtualNode node) {
  PVirtualNode parent = node->Parent;
  if (parent == tree->RootNode()) return node->Index * 10;
  return parent->Index * 10 + 1 + node->Index;
}

void GetText(TBaseVirtualTree* tree, PVirtualNode node, TColumnIndex column, TVSTTextType, std::u16string& text) {
  text = CellText(NodeId(tree, node), column);
}

void Measure(TVirtualStringTree* tree, uint32_t topCount) {
  tree->Clear();
  tree->SetRootNodeCount(topCount);
  for (PVirtualNode top = tree->GetFirst(); top != nullptr; top = tree->GetNextSibling(top))
    tree->SetChildCount(top, 9);
  tree->FullExpand();
  uint32_t nodes = topCount * 10;

  // The references: the same texts, once asked from the tree, once made beforehand.
  std::vector<std::u16string> texts;
  for (PVirtualNode node = tree->GetFirst(); node != nullptr; node = tree->GetNext(node))
    for (TColumnIndex c = 0; c < 3; ++c) texts.push_back(tree->GetText(node, c));
  auto narrowInto = [](std::string& out, const std::u16string& text) {
    for (char16_t unit : text) out.push_back(static_cast<char>(unit));
  };
  size_t size = 0;
  double asked = Best(
      [&] {
        std::string out;
        for (PVirtualNode node = tree->GetFirst(); node != nullptr; node = tree->GetNext(node)) {
          for (TColumnIndex c = 0; c < 3; ++c) {
            narrowInto(out, tree->GetText(node, c));
            out.push_back('\t');
          }
          out += "\r\n";
        }
        return out.size();
      },
      size);
  double copied = Best(
      [&] {
        std::string out;
        for (size_t i = 0; i < texts.size(); ++i) {
          narrowInto(out, texts[i]);
          out += i % 3 == 2 ? "\r\n" : "\t";
        }
        return out.size();
      },
      size);
  std::printf("%u nodes x 3 columns: plain loop asking the tree %.1f ms, copying made texts %.1f ms (%zu bytes)\n",
              nodes, asked, copied, size);
  auto line = [&](const char* what, const std::function<size_t()>& run) {
    size_t bytes = 0;
    double ms = Best(run, bytes);
    std::printf("  %-18s %8.1f ms %10zu bytes   ratio to asking loop %5.1f, to copying loop %6.1f\n", what, ms,
                bytes, ms / asked, ms / copied);
  };
  line("ContentToText", [&] { return tree->ContentToText(tstAll, '\t').size(); });
  line("ContentToUnicode", [&] { return tree->ContentToUnicode(tstAll, u',').size() * 2; });
  line("ContentToHTML", [&] { return tree->ContentToHTML(tstAll).size(); });
  line("ContentToRTF", [&] { return tree->ContentToRTF(tstAll).size(); });
}

// Copy, read back and paste 10 x topCount nodes through the system clipboard.
void MeasureClipboard(TVirtualStringTree* tree, TVirtualStringTree* target, uint32_t topCount) {
  uint32_t nodes = topCount * 10;
  tree->SelectAll(/*visibleOnly=*/false);
  auto t = Clock::now();
  tree->CopyToClipBoard();
  double copy = Ms(t);
  IDataObject* data = nullptr;
  if (FAILED(OleGetClipboard(&data))) {
    std::printf("the clipboard holds no data object\n");
    return;
  }
  auto read = [&](CLIPFORMAT format, size_t& bytes) {
    FORMATETC formatEtc{format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    auto start = Clock::now();
    HRESULT result = data->GetData(&formatEtc, &medium);
    double ms = Ms(start);
    bytes = SUCCEEDED(result) ? GlobalSize(medium.hGlobal) : 0;
    if (SUCCEEDED(result)) ReleaseStgMedium(&medium);
    return ms;
  };
  size_t bytes = 0;
  std::printf("%u nodes through the clipboard: CopyToClipBoard %.1f ms\n", nodes, copy);
  double direct = Best([&] { return tree->ContentToUnicode(tstCutCopySet, u'\t').size() * 2; }, bytes);
  double text = read(CF_UNICODETEXT, bytes);
  std::printf("  %-34s %8.1f ms %10zu bytes   ContentToUnicode alone %.1f ms\n", "GetData CF_UNICODETEXT", text,
              bytes, direct);
  direct = Best([&] { return tree->ContentToHTML(tstCutCopySet).size(); }, bytes);
  double html = read(CF_HTML, bytes);
  std::printf("  %-34s %8.1f ms %10zu bytes   ContentToHTML alone %.1f ms\n", "GetData HTML Format", html, bytes,
              direct);
  data->Release();
  target->Clear();
  t = Clock::now();
  bool pasted = target->PasteFromClipboard();
  double paste = Ms(t);
  uint32_t count = target->RootNode()->TotalCount - 1;
  target->Clear();
  t = Clock::now();
  target->BeginUpdate();
  for (uint32_t i = 0; i < topCount; ++i) {
    PVirtualNode top = target->AddChild(nullptr);
    for (int k = 0; k < 9; ++k) target->AddChild(top);
  }
  target->EndUpdate();
  double made = Ms(t);
  target->Clear();
  // Outside an update bracket, for the record (a hundredth of the nodes).
  t = Clock::now();
  for (uint32_t i = 0; i < topCount / 100; ++i) {
    PVirtualNode top = target->AddChild(nullptr);
    for (int k = 0; k < 9; ++k) target->AddChild(top);
  }
  double unbracketed = Ms(t);
  target->Clear();
  std::printf("  %-34s %8.1f ms (%s, %u nodes)   AddChild loop in BeginUpdate %.1f ms, ratio %.1f\n",
              "PasteFromClipboard", paste, pasted ? "pasted" : "nothing pasted", count, made,
              made > 0 ? paste / made : 0.0);
  std::printf("  %-34s %8.1f ms for %u nodes\n", "AddChild loop without BeginUpdate", unbracketed, nodes / 100);
}

}  // namespace

int main() {
  Application->Initialize();
  TForm* form = New<TForm>(Application);
  form->SetBounds(0, 0, 620, 480);
  auto* tree = New<TVirtualStringTree>(form);
  tree->SetParent(form);
  tree->SetBounds(0, 0, 600, 440);
  for (int c = 0; c < 3; ++c) {
    TVirtualTreeColumn* column = tree->Header()->Columns()->Add();
    column->SetText(c == 0 ? u"Name" : c == 1 ? u"Size" : u"Changed");
    column->SetWidth(150);
  }
  tree->Header()->SetOptions(tree->Header()->Options().Include(hoVisible));
  tree->OnGetText = GetText;
  tree->SetClipboardFormats({"Virtual Tree Data", "HTML Format", "Rich Text Format",
                             "Rich Text Format Without Objects", "CSV", "Unicode text", "Plain text"});
  TVTSelectionOptions selection = tree->TreeOptions()->SelectionOptions();
  selection.Include(toMultiSelect);
  tree->TreeOptions()->SetSelectionOptions(selection);
  auto* target = New<TVirtualStringTree>(form);
  target->SetParent(form);
  target->SetBounds(0, 440, 600, 30);
  form->Show();
  Measure(tree, BenchSize(1000u, 10u));
  Measure(tree, BenchSize(10000u, 100u));
  MeasureClipboard(tree, target, BenchSize(10000u, 100u));
  form->Free();
  return 0;
}
