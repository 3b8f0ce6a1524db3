// XPath on a generated 20 MB document (256 KB under QV_BENCH_SMALL): //*[@id], count(//*) and a
// predicate-heavy path, each timed beside a hand-written loop over the same
// DOM that answers the same query (walking first-child and next-sibling
// links, reading attributes by name), in the same run, built alike. Node-set
// results are counted on both sides so that neither builds a list of a
// million nodes. Times are processor seconds of this process, so that a busy
// machine does not skew them; wall time on Windows. Best of three runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "BenchSize.h"
#include "core/StringStream.h"
#include "xml/XPathExpression.h"
#include "xml/XPathSyntaxTree.h"
#include "xml/XmlDom.h"
#include "xml/XmlToDomParser.h"

namespace {

const size_t kTargetBytes = BenchSize<size_t>(20u << 20, 256u << 10);

std::string MakeDocument() {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<patterns version=\"2\">\n";
  for (size_t i = 0; doc.size() < kTargetBytes; ++i) {
    std::string n = std::to_string(i);
    std::string id = i % 3 == 0 ? " id=\"p" + n + "\"" : "";
    doc += "  <pattern code=\"P" + n + "\"" + id + " order=\"" + n + "\">\n";
    doc += "    <!-- pass list " + n + " -->\n";
    for (int k = 0; k < 3; ++k) {
      std::string passId = (i + k) % 4 == 0 ? " id=\"q" + n + "_" + std::to_string(k) + "\"" : "";
      doc += "    <pass bytes=\"5" + std::to_string(k) + "\"" + passId + " order=\"" + std::to_string(k) +
             "\"><value>" + std::to_string((i * 7 + k) % 1000) + "</value>Overwrite with a fixed value</pass>\n";
    }
    doc += "  </pattern>\n";
  }
  doc += "</patterns>\n";
  return doc;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Processor time (user and system) of this process, so that figures hold on
// a busy machine; wall time without it.
double ProcessorSeconds() {
#ifdef _WIN32
  return Seconds(std::chrono::steady_clock::now().time_since_epoch());
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
#endif
}

template <class F>
double BestOf(int runs, F run) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    double start = ProcessorSeconds();
    run();
    best = std::min(best, ProcessorSeconds() - start);
  }
  return best;
}

// --- The hand-written loops: the same questions asked of the DOM directly ---

bool IsElement(const TdomNode* node) { return node->GetNodeType() == ntElement_Node; }

// Calls visit for every element under node, in document order.
template <class F>
void ForEachElement(TdomNode* node, F& visit) {
  for (TdomNode* child = node->GetFirstChildNode(); child != nullptr; child = child->GetNextSiblingNode()) {
    if (!IsElement(child)) continue;
    visit(static_cast<TdomElement*>(child));
    ForEachElement(child, visit);
  }
}

bool HasAttribute(TdomElement* element, const std::u16string& name) {
  return element->GetAttributes()->getNamedItem(name) != nullptr;
}

// A text of decimal digits as a number; NaN for anything else (the document holds plain integers).
double Number(const std::u16string& text) {
  if (text.empty()) return NAN;
  double value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return NAN;
    value = value * 10 + (c - u'0');
  }
  return value;
}

// count(//*[@id])
double CountWithId(TdomDocument* document) {
  double count = 0;
  auto visit = [&](TdomElement* element) { count += HasAttribute(element, u"id") ? 1 : 0; };
  ForEachElement(document, visit);
  return count;
}

// count(//*)
double CountElements(TdomDocument* document) {
  double count = 0;
  auto visit = [&](TdomElement*) { ++count; };
  ForEachElement(document, visit);
  return count;
}

// count(//pattern[@order mod 7 = 3][pass[@order = 2]/value > 500]/pass[last()][@bytes = '52'])
double CountSelectedPasses(TdomDocument* document) {
  double count = 0;
  auto visit = [&](TdomElement* pattern) {
    if (pattern->GetNodeName() != u"pattern" || !HasAttribute(pattern, u"order")) return;
    if (std::fmod(Number(pattern->getAttribute(u"order")), 7) != 3) return;
    bool large = false;
    TdomElement* lastPass = nullptr;
    for (TdomNode* pass = pattern->GetFirstChildNode(); pass != nullptr; pass = pass->GetNextSiblingNode()) {
      if (!IsElement(pass) || pass->GetNodeName() != u"pass") continue;
      lastPass = static_cast<TdomElement*>(pass);
      if (!HasAttribute(lastPass, u"order") || Number(lastPass->getAttribute(u"order")) != 2) continue;
      for (TdomNode* value = pass->GetFirstChildNode(); value != nullptr; value = value->GetNextSiblingNode()) {
        if (IsElement(value) && value->GetNodeName() == u"value" && Number(value->GetTextContent()) > 500) large = true;
      }
    }
    if (large && lastPass != nullptr && HasAttribute(lastPass, u"bytes") && lastPass->getAttribute(u"bytes") == u"52") {
      ++count;
    }
  };
  ForEachElement(document, visit);
  return count;
}

}  // namespace

int main() {
  std::string bytes = MakeDocument();
  TDomImplementation* impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(impl));
  parser->SetDOMImpl(impl);
  TdomDocument* document = nullptr;
  double parseStart = ProcessorSeconds();
  {
    std::unique_ptr<TStringStream> stream(New<TStringStream>(bytes));
    document = static_cast<TdomDocument*>(parser->ParseStream(stream.get(), u"", u"bench.xml", nullptr));
  }
  double parse = ProcessorSeconds() - parseStart;

  std::printf("document: %.1f MB, parsed in %.3f s\n", double(bytes.size()) / 1048576.0, parse);
  std::printf("%-72s %14s %14s %12s %10s\n", "expression", "this library", "plain loop", "result", "units");
  // 20 MB is past what the default work bound is made for (a document of up
  // to 1 MB): these linear queries get a bound twenty times as large.
  TXPathExpression* expression = New<TXPathExpression>(static_cast<TComponent*>(nullptr));
  expression->SyntaxTree()->SetWorkLimit(20 * kXPathWorkLimit);
  expression->SetContextNode(document);
  struct Query {
    const char16_t* text;
    std::function<double(TdomDocument*)> loop;
  };
  const Query queries[] = {
      {u"count(//*[@id])", CountWithId},
      {u"count(//*)", CountElements},
      {u"count(//pattern[@order mod 7 = 3][pass[@order = 2]/value > 500]/pass[last()][@bytes = '52'])",
       CountSelectedPasses},
  };
  bool same = true;
  for (const Query& query : queries) {
    double result = 0, expected = 0;
    expression->SetExpression(query.text);
    double ours = BestOf(3, [&] {
      expression->Evaluate();
      result = expression->ResultAsNumber();
    });
    double loop = BestOf(3, [&] { expected = query.loop(document); });
    std::string ascii(query.text, query.text + std::char_traits<char16_t>::length(query.text));
    std::printf("%-72s %12.3f s %12.3f s %12.0f %10lld\n", ascii.c_str(), ours, loop, result,
                static_cast<long long>(expression->SyntaxTree()->WorkDone()));
    if (result != expected) std::printf("  the results differ: the plain loop counts %.0f\n", expected);
    same = same && result == expected;
  }
  expression->Free();
  impl->Free();
  return same ? 0 : 1;
}
