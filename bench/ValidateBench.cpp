// Parsing a generated 20 MB document with an internal DTD subset (content
// models, ID/IDREF, enumerations, defaults, entities), reading its DTD into
// models, filling in default attributes and validating it, timed beside
// parsing the same bytes without validating in the same run, so that the
// difference is the validation's cost; then the hostile DTDs (billion
// laughs, quadratic blow-up, deep parameter-entity nesting, 100,000
// declarations), each with its time and the process's peak memory after it.
// Best of three runs of each. Under QV_BENCH_SMALL a 256 KB document and a
// hundredth of each hostile size.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "BenchSize.h"
#include "core/StringStream.h"
#include "xml/ExternalResources.h"
#include "xml/UriFileName.h"
#include "xml/XmlDom.h"
#include "xml/XmlToDomParser.h"

namespace {

const size_t kTargetBytes = BenchSize<size_t>(20u << 20, 256u << 10);

const char kDtd[] =
    "<!DOCTYPE catalog [\n"
    "<!ELEMENT catalog (item+)>\n"
    "<!ELEMENT item (name, price, tags?, note*)>\n"
    "<!ATTLIST item id ID #REQUIRED ref IDREF #IMPLIED kind (a|b|c) 'a' code NMTOKEN #REQUIRED>\n"
    "<!ELEMENT name (#PCDATA)>\n"
    "<!ELEMENT price (#PCDATA)>\n"
    "<!ATTLIST price currency CDATA 'EUR'>\n"
    "<!ELEMENT tags (tag+)>\n"
    "<!ELEMENT tag EMPTY>\n"
    "<!ATTLIST tag v NMTOKEN #REQUIRED>\n"
    "<!ELEMENT note (#PCDATA|em)*>\n"
    "<!ELEMENT em (#PCDATA)>\n"
    "<!ENTITY co 'Example and Company'>\n"
    "]>\n";

std::string MakeDocument() {
  std::string doc = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") + kDtd + "<catalog>\n";
  for (size_t i = 0; doc.size() < kTargetBytes; ++i) {
    std::string n = std::to_string(i);
    std::string ref = i > 0 ? " ref=\"i" + std::to_string(i - 1) + "\"" : "";
    doc += "  <item id=\"i" + n + "\"" + ref + " kind=\"" + "abc"[i % 3] + "\" code=\"c" + n + "\">";
    doc += "<name>Item " + n + (i % 4 == 0 ? " by &co;" : "") + "</name><price>" + std::to_string(i % 100) +
           ".50</price>";
    if (i % 2 == 0) doc += "<tags><tag v=\"x" + n + "\"/><tag v=\"y\"/></tags>";
    doc += "\n    <note>some <em>emphasised</em> text &amp; more</note><note/></item>\n";
  }
  return doc + "</catalog>\n";
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

template <class F>
double BestOf(int runs, F run) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    auto start = std::chrono::steady_clock::now();
    run();
    best = std::min(best, Seconds(std::chrono::steady_clock::now() - start));
  }
  return best;
}

long PeakRssMb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

// Parses bytes with models prepared; validates when asked. Returns the outcome.
std::string ParseAndValidate(const std::string& bytes, bool validate, const std::u16string& uri = u"bench.xml",
                             TdomAutoPrepare prepare = AP_COMPLETE) {
  TDomImplementation* impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  TFileResourceResolver* resolver = New<TFileResourceResolver>(static_cast<TComponent*>(impl));
  impl->SetResourceResolver(resolver);
  TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(impl));
  parser->SetDOMImpl(impl);
  parser->SetAutoPrepare(prepare);
  std::string outcome;
  try {
    std::unique_ptr<TStringStream> stream(New<TStringStream>(bytes));
    auto* document = static_cast<TdomDocument*>(parser->ParseStream(stream.get(), u"", uri, nullptr));
    outcome = !validate ? "parsed" : document->validate(/*keepUnchanged=*/true) ? "valid" : "invalid";
  } catch (const Exception& e) {
    outcome = std::string("refused (") + e.what() + ")";
  }
  impl->Free();
  return outcome;
}

void Hostile(const char* name, const std::string& bytes, const std::u16string& uri = u"bench.xml") {
  std::string outcome;
  double seconds = BestOf(1, [&] { outcome = ParseAndValidate(bytes, true, uri); });
  std::printf("  %-44s %8.3f s  peak %5ld MB  %s\n", name, seconds, PeakRssMb(), outcome.c_str());
}

std::string Laughs() {
  std::string dtd = "<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ENTITY l0 'lol'>";
  for (int i = 1; i <= 9; ++i) {
    dtd += "<!ENTITY l" + std::to_string(i) + " '";
    for (int k = 0; k < 10; ++k) dtd += "&l" + std::to_string(i - 1) + ";";
    dtd += "'>";
  }
  return dtd + "]><r>&l9;</r>";
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  bool hostile = std::getenv("QV_BENCH_SKIP_HOSTILE") == nullptr;
  if (hostile) {
  std::printf("hostile DTDs (each parsed with its models, then validated):\n");
  Hostile("billion laughs (10^9 x 'lol')", Laughs());
  const int count = BenchSize(100000, 1000);
  std::string quadratic = "<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ENTITY big '" + std::string(100000, 'x') + "'>]><r>";
  for (int i = 0; i < count / 10; ++i) quadratic += "&big;";
  Hostile(("quadratic blow-up (100 KB x " + std::to_string(count / 10) + ")").c_str(), quadratic + "</r>");
  fs::path deepPath = fs::temp_directory_path() / "qv_validate_bench_deep.dtd";
  {
    std::string dtd;
    for (int i = 0; i < count; ++i)
      dtd += "<!ENTITY % p" + std::to_string(i) + " '&#37;p" + std::to_string(i + 1) + ";'>";
    std::ofstream(deepPath, std::ios::binary) << dtd << "<!ENTITY % p" << count << " '<!ELEMENT r ANY>'>%p0;";
  }
  std::u16string deepUri;
  FilenameToUriWideStr((fs::temp_directory_path() / "qv_validate_bench.xml").string(), kUriFileKeepColon, deepUri);
  Hostile(("parameter entities nested " + std::to_string(count) + " deep").c_str(),
          "<!DOCTYPE r SYSTEM 'qv_validate_bench_deep.dtd'><r/>", deepUri);
  std::string many = "<!DOCTYPE r [<!ELEMENT r ANY>";
  for (int i = 0; i < count; ++i)
    many += "<!ELEMENT e" + std::to_string(i) + " (a|b)*><!ATTLIST e" + std::to_string(i) + " a CDATA 'v'>";
  Hostile((std::to_string(count) + " element and attribute-list declarations").c_str(), many + "]><r/>");
  fs::remove(deepPath);
  }

  std::string bytes = MakeDocument();
  double mb = double(bytes.size()) / 1048576.0;
  std::string outcome;
  double plain = BestOf(3, [&] { outcome = ParseAndValidate(bytes, false, u"bench.xml", AP_NO); });
  double parseOnly = BestOf(3, [&] { outcome = ParseAndValidate(bytes, false); });
  double ours = BestOf(3, [&] { outcome = ParseAndValidate(bytes, true); });
  std::printf("\ndocument: %.1f MB with an internal DTD subset (%s)\n", mb, outcome.c_str());
  std::printf("  reference, parse without the DTD's models:   %7.3f s  %6.1f MB/s\n", plain, mb / plain);
  std::printf("  reference, parse with models, no validation: %7.3f s  %6.1f MB/s\n", parseOnly, mb / parseOnly);
  std::printf("  parse with models and validate:              %7.3f s  %6.1f MB/s\n", ours, mb / ours);
  std::printf("  validation's cost: %.3f s, %.0f%% of the parse without it\n", ours - parseOnly,
              100.0 * (ours - parseOnly) / parseOnly);
  return outcome == "valid" ? 0 : 1;
}
