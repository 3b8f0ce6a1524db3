// Builds and frees a document of 10^6 nodes, looks up its 10^4 "item"
// elements by tag name and indexes every one of them, and sets each figure
// beside the same work done on a plain std::vector of as many records, measured
// in the same run; and 200,000 one-character appendData calls beside as
// many appends to a plain string (a hundredth of each under QV_BENCH_SMALL).
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSize.h"
#include "xml/XmlDom.h"

namespace {

const int kItems = BenchSize(10000, 100);
constexpr int kChildrenPerItem = 99;  // 10^4 items x (1 + 99) = 10^6 nodes

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct PlainNode {
  std::u16string name;
  std::u16string value;
  int parent;
};

void Report(const char* what, double dom, double plain) {
  std::printf("%-28s DOM %9.3f ms   vector %9.3f ms   ratio %7.1fx\n", what, dom * 1e3, plain * 1e3,
              plain > 0 ? dom / plain : 0.0);
}

}  // namespace

int main() {
  // Reference: the same node count as records in one vector.
  Clock::time_point start = Clock::now();
  auto* plain = new std::vector<PlainNode>();
  plain->push_back({u"root", u"", -1});
  for (int i = 0; i < kItems; ++i) {
    int item = static_cast<int>(plain->size());
    plain->push_back({u"item", u"", 0});
    for (int j = 0; j < kChildrenPerItem; ++j) {
      if (j % 2 == 0) {
        plain->push_back({u"field", u"", item});
      } else {
        plain->push_back({u"#text", u"text", item});
      }
    }
  }
  double plainBuild = Seconds(start);

  start = Clock::now();
  std::vector<const PlainNode*> plainItems;
  for (const PlainNode& node : *plain) {
    if (node.name == u"item") plainItems.push_back(&node);
  }
  size_t plainSum = 0;
  for (int i = 0; i < kItems; ++i) plainSum += plainItems[i]->name.size();
  double plainLookup = Seconds(start);

  start = Clock::now();
  size_t plainCount = plain->size();
  delete plain;
  double plainFree = Seconds(start);

  // The DOM.
  TDomImplementation* impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  start = Clock::now();
  TdomDocument* doc = impl->CreateEmptyDocument();
  TdomElement* root = doc->CreateDocumentElement(u"root");
  for (int i = 0; i < kItems; ++i) {
    TdomElement* item = doc->createElement(u"item");
    root->appendChild(item);
    for (int j = 0; j < kChildrenPerItem; ++j) {
      if (j % 2 == 0) {
        item->appendChild(doc->createElement(u"field"));
      } else {
        item->appendChild(doc->createTextNode(u"text"));
      }
    }
  }
  double domBuild = Seconds(start);

  start = Clock::now();
  TdomElementsNodeList* items = doc->getElementsByTagName(u"item");
  size_t domSum = 0;
  int length = items->GetLength();
  for (int i = 0; i < length; ++i) domSum += items->Item(i)->GetNodeName().size();
  double domLookup = Seconds(start);

  start = Clock::now();
  impl->FreeDocument(doc);
  double domFree = Seconds(start);

  // 200,000 one-character appends, as the builder merges adjacent text.
  const int kAppends = BenchSize(200000, 2000);
  start = Clock::now();
  std::u16string plainText;
  for (int i = 0; i < kAppends; ++i) plainText.append(u"x");
  double plainAppend = Seconds(start);
  TdomDocument* textDoc = impl->CreateEmptyDocument();
  TdomText* text = textDoc->createTextNode(u"");
  start = Clock::now();
  for (int i = 0; i < kAppends; ++i) text->appendData(u"x");
  double domAppend = Seconds(start);
  const bool appended = text->GetLength() == static_cast<int>(plainText.size());
  if (!appended) std::printf("append lengths differ\n");
  impl->Free();

  std::printf("nodes: DOM %d, vector %zu; items found: DOM %d (sum %zu), vector %zu (sum %zu)\n",
              1 + kItems * (1 + kChildrenPerItem) + 1, plainCount, length, domSum, plainItems.size(), plainSum);
  const std::string nodes = std::to_string(kItems * (1 + kChildrenPerItem)), itemCount = std::to_string(kItems);
  Report(("build " + nodes + " nodes").c_str(), domBuild, plainBuild);
  Report(("look up and index " + itemCount).c_str(), domLookup, plainLookup);
  Report(("free " + nodes + " nodes").c_str(), domFree, plainFree);
  Report(("appendData x " + std::to_string(kAppends)).c_str(), domAppend, plainAppend);
  return appended && length == kItems && domSum == plainSum ? 0 : 1;
}
