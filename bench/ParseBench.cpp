// Parses generated 20 MB documents (200 KB under QV_BENCH_SMALL) to a DOM
// and prints MB/s beside a reference measured in the same rounds on the same
// bytes: the located UCS-4 reader alone (the floor every parse stands on).
// Reading and checking without building nodes is timed too, to tell the
// parser's share from the DOM's. On the host, the whole ParseFile process is
// first timed beside a process that only reads the same file and scans its
// bytes (ParseFile --scan), each with its peak resident memory, on documents
// of several shapes:
//   plain            patterns-like: nested elements, attributes, text,
//                    character and predefined references, comments
//   entities-ids     the same with an internal DTD whose general entities are
//                    referred to in content and attributes, and which
//                    declares an ID attribute
//   entities         the same without the ID declaration (an ID makes a
//                    reader keep a table of them, which flatters this parser)
//   entity-rich      an internal DTD of entities (one refers to another, one
//                    holds a character reference) referred to several times
//                    in each element's text and attributes
//   attribute-heavy  empty elements with twelve attributes each
//   attribute-ids    the same, the first declared an ID
//   deep             chains of elements 250 deep, many attributes each,
//                    ending in long texts
//   small-nodes      many small elements, each with two children holding a
//                    few characters of text
// With --peer (bench/parse.sh passes it), xmllint runs in turn with them as a
// peer parsing the same files. Every figure is taken in alternated rounds and
// summed up as min / median / max of its ratio within each round: wall time,
// processor time and peak memory.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#endif

#include "BenchSize.h"
#include "PairedRounds.h"
#include "core/StringStream.h"
#include "xml/Utf8Codec.h"
#include "xml/WFTestHandler.h"
#include "xml/XmlDocReader.h"
#include "xml/XmlDom.h"
#include "xml/XmlToDomParser.h"

namespace {

const size_t kTargetBytes = BenchSize<size_t>(20u << 20, 200u << 10);

// About 20 MB of patterns after prolog; vendor and check are spliced into an
// attribute and into each pass's text (entity references or plain text).
std::string MakePatternsDocument(const std::string& prolog, const std::string& vendor, const std::string& check) {
  std::string doc = prolog + "<patterns version=\"2\">\n";
  for (size_t i = 0; doc.size() < kTargetBytes; ++i) {
    std::string n = std::to_string(i);
    doc += "  <pattern code=\"P" + n + "\" name=\"Pattern &amp; number " + n +
           "\" description=\"\xC3\xA9" "crit sur le disque" + vendor + ", &#233;t&#xE9;\" order=\"" + n + "\">\n";
    doc += "    <!-- pass list " + n + " -->\n";
    for (int k = 0; k < 3; ++k) {
      doc += "    <pass bytes=\"5" + std::to_string(k) + "\" sequence=\"924924\" order=\"" + std::to_string(k) +
             "\">Overwrite &lt;" + n + "&gt; with a fixed value &#65;&#x42; " + check + "</pass>\n";
    }
    doc += "  </pattern>\n";
  }
  doc += "</patterns>\n";
  return doc;
}

std::string MakeDocument() {
  return MakePatternsDocument("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", "", "and check it");
}

// The patterns-like document with an internal DTD that declares general
// entities, referred to in content and in attribute values, beside the
// predefined and character references and the comments; with ids, an ID
// attribute too.
std::string MakeEntityDocument(bool ids) {
  return MakePatternsDocument(
      std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE patterns [\n"
                  "  <!ELEMENT patterns (pattern*)>\n") +
          (ids ? "  <!ATTLIST pattern code ID #REQUIRED>\n" : "") +
          "  <!ENTITY vendor \"Quorvanell\">\n"
          "  <!ENTITY check \"and check it\">\n"
          "  <!-- the names below are used in content and in attributes -->\n"
          "]>\n",
      " &vendor;", "&check;");
}
std::string MakeEntityDocument() { return MakeEntityDocument(/*ids=*/true); }

// The other shapes, parsed only as whole processes (on the host).
#ifndef _WIN32
std::string MakeEntityDocumentWithoutIds() { return MakeEntityDocument(/*ids=*/false); }

// Entities that refer to others and to characters, several in every
// element's text and attributes.
std::string MakeEntityRichDocument() {
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE log [\n"
      "  <!ENTITY prod \"Quorvanell\">\n"
      "  <!ENTITY co \"the company that makes &prod;\">\n"
      "  <!ENTITY warn \"Warning: the data is overwritten\">\n"
      "  <!ENTITY lv \"3\">\n"
      "  <!ENTITY sig \"-- checked --\">\n"
      "  <!ENTITY nb \"&#160;\">\n"
      "]>\n<log>\n";
  for (size_t i = 0; doc.size() < kTargetBytes; ++i) {
    std::string n = std::to_string(i);
    doc += "  <entry n=\"" + n +
           "\" level=\"&lv;\" source=\"&prod; &amp; &co;\" note=\"&#233;t&#xE9; &sig;\">&warn; &prod; pass " + n +
           " of &co;: &lt;ok&gt; &sig;&#65;&nb;&lv;</entry>\n";
  }
  doc += "</log>\n";
  return doc;
}

// Empty elements with twelve attributes each; with ids the first is declared
// an ID.
std::string MakeAttributeDocument(bool ids) {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  if (ids) doc += "<!DOCTYPE records [\n  <!ATTLIST record id ID #REQUIRED>\n]>\n";
  doc += "<records>\n";
  for (size_t i = 0; doc.size() < kTargetBytes; ++i) {
    std::string n = std::to_string(i);
    doc += "<record id=\"r" + n + "\" kind=\"file\" path=\"C:\\Data\\" + std::to_string(i % 97) + "\\file" + n +
           ".dat\" size=\"" + std::to_string(i * 37) + "\" attrs=\"32\" owner=\"user" + std::to_string(i % 13) +
           "\" group=\"staff\" mode=\"0644\" created=\"2024-01-0" + std::to_string(i % 9 + 1) +
           "\" passes=\"3\" state=\"&quot;listed&quot;\" checked=\"yes\"/>\n";
  }
  doc += "</records>\n";
  return doc;
}
std::string MakeAttributeHeavyDocument() { return MakeAttributeDocument(/*ids=*/false); }
std::string MakeAttributeIdsDocument() { return MakeAttributeDocument(/*ids=*/true); }

// Many small elements: nodes with next to no text.
std::string MakeSmallNodesDocument() {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<items>\n";
  for (size_t i = 0; doc.size() < kTargetBytes; ++i)
    doc += "<i><n>x" + std::to_string(i) + "</n><v>" + std::to_string(i % 1000) + "</v></i>\n";
  doc += "</items>\n";
  return doc;
}

// About 20 MB of chains 250 elements deep, each element with eight
// attributes, each chain ending in an 8 KB text with references.
std::string MakeDeepDocument() {
  std::string doc = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<chains>\n";
  std::string text;
  while (text.size() < 8192) text += "Long text of the leaf, with &amp; and &#233; and \xC3\xA9 in it. ";
  for (size_t chain = 0; doc.size() < kTargetBytes; ++chain) {
    constexpr int kDepth = 250;
    for (int level = 0; level < kDepth; ++level) {
      std::string n = std::to_string(level);
      doc += "<level depth=\"" + n + "\" chain=\"" + std::to_string(chain) +
             "\" kind=\"node\" label=\"level " + n + " of the chain\" a=\"1\" b=\"two\" c=\"&#51;\" d=\"x&lt;y\">";
    }
    doc += text;
    for (int level = 0; level < kDepth; ++level) doc += "</level>";
    doc += "\n";
  }
  doc += "</chains>\n";
  return doc;
}
#endif

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

double ReaderOnly(const std::string& bytes, uint64_t& checksum) {
  TStringStream stream(bytes);
  auto start = std::chrono::steady_clock::now();
  std::unique_ptr<TUtilsUCS4Reader> reader(
      New<TUtilsUCS4Reader>(&stream, 4096, CodecClassOf<TUTF8Codec>(), int64_t(0), int64_t(0), int64_t(0), int64_t(0),
                            int64_t(1)));
  uint64_t sum = 0;
  for (;;) {
    reader->Next();
    UCS4Char c = reader->CurrentChar();
    if (c == kUcs4EndOfInput) break;
    sum += c;
  }
  checksum = sum + reader->Current().Line;
  return Seconds(std::chrono::steady_clock::now() - start);
}

// Tokens, signals and the well-formedness checks without building nodes.
double CheckOnly(const std::string& bytes) {
  TXmlStandardDocReader* reader = New<TXmlStandardDocReader>(static_cast<TComponent*>(nullptr));
  TXmlWFTestHandler* handler = New<TXmlWFTestHandler>(static_cast<TComponent*>(reader));
  reader->SetPrefixMapping(false);
  reader->SetNextHandler(handler);
  TStringStream stream(bytes);
  auto start = std::chrono::steady_clock::now();
  std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(&stream, std::u16string(), std::u16string(), 65536,
                                                               std::u16string(u"UTF-8"), false, int64_t(0),
                                                               int64_t(0), int64_t(0), int64_t(0), int64_t(1)));
  bool ok = reader->ParseDocument(source.get());
  double seconds = Seconds(std::chrono::steady_clock::now() - start);
  reader->Free();
  return ok ? seconds : 1e9;
}

double ParseToDom(const std::string& bytes, int64_t& nodes) {
  TDomImplementation* impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(impl));
  parser->SetDOMImpl(impl);
  parser->SetBufferSize(65536);
  TStringStream stream(bytes);
  auto start = std::chrono::steady_clock::now();
  auto* doc = static_cast<TdomDocument*>(parser->ParseStream(&stream, u"", u"bench.xml", nullptr));
  double seconds = Seconds(std::chrono::steady_clock::now() - start);
  nodes = doc->GetDocumentElement()->GetChildNodes()->GetLength();
  impl->Free();
  return seconds;
}

// False once a run did not do its work (the benchmark then fails).
bool gWorkRight = true;

#ifndef _WIN32
struct ProcessRun {
  double seconds = 1e9;
  double cpuSeconds = 1e9;  // user and system
  double peakMiB = 0;
  bool ok = false;
};

// Runs argv as a child process with its output discarded; its wall time,
// processor time and peak resident memory as the kernel counted them.
ProcessRun RunProcess(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  ProcessRun run;
  std::fflush(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    execvp(args[0], args.data());
    _exit(127);
  }
  if (pid < 0) return run;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return run;
  run.seconds = Seconds(std::chrono::steady_clock::now() - start);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  run.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  run.peakMiB = usage.ru_maxrss / 1024.0;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

// What one command did over rounds, round by round.
struct CommandRuns {
  std::vector<ProcessRun> rounds;
  bool ok = true;
};

// Runs the commands in turn, rounds times, each round starting one command
// later, so that a change in the machine's load falls on all alike.
std::vector<CommandRuns> RunsInTurn(const std::vector<std::vector<std::string>>& commands, int rounds) {
  std::vector<CommandRuns> runs(commands.size());
  for (int round = 0; round < rounds; ++round) {
    for (size_t i = 0; i < commands.size(); ++i) {
      const size_t side = (i + static_cast<size_t>(round)) % commands.size();
      if (!runs[side].ok) continue;
      ProcessRun run = RunProcess(commands[side]);
      runs[side].ok = run.ok;
      runs[side].rounds.push_back(run);
    }
  }
  return runs;
}

// One figure of each round of ours beside the same round's of reference.
TPairedRounds Paired(const CommandRuns& ours, const CommandRuns& reference, double ProcessRun::*figure) {
  TPairedRounds rounds;
  for (size_t i = 0; i < ours.rounds.size() && i < reference.rounds.size(); ++i)
    rounds.Add(ours.rounds[i].*figure, reference.rounds[i].*figure);
  return rounds;
}

// "1.06x / 1.75x / 2.29x" for time, processor time and peak memory.
struct TRatios {
  std::string wall, cpu, memory;
};
TRatios RatiosOver(const CommandRuns& ours, const CommandRuns& reference) {
  return {RatioSpreadText(Paired(ours, reference, &ProcessRun::seconds).Ratio()),
          RatioSpreadText(Paired(ours, reference, &ProcessRun::cpuSeconds).Ratio()),
          RatioSpreadText(Paired(ours, reference, &ProcessRun::peakMiB).Ratio())};
}

// The reference process: reads the file and scans its bytes, no parsing.
constexpr const char* kScanLabel = "reference: read file, scan bytes";

// The peer: another program that parses the same file to a tree and frees
// it, run as a black box, only when asked (--peer; bench/parse.sh installs it).
constexpr const char* kPeer = "xmllint";
constexpr const char* kPeerLabel = "peer: xmllint --noout";

bool PeerInstalled() {
  return RunProcess({kPeer, "--version"}).ok;
}

void PrintRun(const char* name, double seconds, double cpuSeconds, double peakMiB, bool ok, double mb) {
  if (!ok) {
    std::printf("  %-34s failed\n", name);
    return;
  }
  std::printf("  %-34s %7.3f s %7.3f s cpu %8.1f MB/s %8.1f MiB peak\n", name, seconds, cpuSeconds, mb / seconds,
              peakMiB);
}
// The medians of the rounds.
void PrintRun(const char* name, const CommandRuns& runs, double mb) {
  std::vector<double> seconds, cpu, peak;
  for (const ProcessRun& run : runs.rounds) {
    seconds.push_back(run.seconds);
    cpu.push_back(run.cpuSeconds);
    peak.push_back(run.peakMiB);
  }
  PrintRun(name, SpreadOf(seconds).median, SpreadOf(cpu).median, SpreadOf(peak).median, runs.ok, mb);
}

// One element with count attributes (namespace declarations when declarations
// is set), parsed once by each side as a whole process.
void CompareOneWideElement(const char* what, int count, bool declarations) {
  namespace fs = std::filesystem;
  fs::path path = fs::temp_directory_path() / ("qv_parse_bench_wide_" + std::to_string(getpid()) + ".xml");
  double mb = 0;
  {
    std::string bytes = "<a";
    for (int i = 0; i < count; ++i) {
      std::string n = std::to_string(i);
      bytes += declarations ? " xmlns:p" + n + "='urn:" + n + "'" : " a" + n + "='" + n + "'";
    }
    bytes += "/>";
    std::ofstream(path, std::ios::binary) << bytes;
    mb = bytes.size() / 1e6;
  }
  std::printf("%d %s on one element (%.1f MB), one run each:\n", count, what, mb);
  const ProcessRun ours = RunProcess({QV_PARSE_FILE, path.string()});
  const ProcessRun scan = RunProcess({QV_PARSE_FILE, "--scan", path.string()});
  PrintRun("ParseFile (this DOM)", ours.seconds, ours.cpuSeconds, ours.peakMiB, ours.ok, mb);
  PrintRun(kScanLabel, scan.seconds, scan.cpuSeconds, scan.peakMiB, scan.ok, mb);
  gWorkRight = gWorkRight && ours.ok && scan.ok;
  fs::remove(path);
}

struct TShape {
  const char* name;
  const char* what;
  std::string (*make)();
};

const TShape kShapes[] = {
    {"plain", "patterns-like document", MakeDocument},
    {"entities-ids", "the same with an internal DTD, its entities and an ID", MakeEntityDocument},
    {"entities", "the same without the ID", MakeEntityDocumentWithoutIds},
    {"entity-rich", "entities in every text and attribute", MakeEntityRichDocument},
    {"attribute-heavy", "twelve attributes an element", MakeAttributeHeavyDocument},
    {"attribute-ids", "the same, one an ID", MakeAttributeIdsDocument},
    {"deep", "deep chains, many attributes, long texts", MakeDeepDocument},
    {"small-nodes", "small elements, little text", MakeSmallNodesDocument},
};

// A shape's ratios over the peer, for the summary after all shapes.
struct TPeerSummary {
  const char* shape;
  double mb;
  TRatios ratios;
};

// One document, parsed by each side in turn as a whole process (the peer
// too when withPeer): the medians of each side, and the ratios within each
// round. The document is written and let go before the runs: a child's peak
// memory starts from what this process has resident when it forks.
void CompareOnDocument(const TShape& shape, bool withPeer, int rounds, std::vector<TPeerSummary>& summary) {
  namespace fs = std::filesystem;
  fs::path path = fs::temp_directory_path() / ("qv_parse_bench_" + std::to_string(getpid()) + ".xml");
  double mb = 0;
  {
    std::string bytes = shape.make();
    std::ofstream(path, std::ios::binary) << bytes;
    mb = bytes.size() / 1e6;
  }
  // What the document's making left resident in the heap would count in
  // every child's peak (a child's starts from this process's size at fork).
  malloc_trim(0);
  std::printf("%s: %s (%.1f MB), whole process, %d rounds in turn, medians:\n", shape.name, shape.what, mb, rounds);
  std::vector<std::vector<std::string>> commands = {{QV_PARSE_FILE, path.string()},
                                                    {QV_PARSE_FILE, "--scan", path.string()}};
  if (withPeer) commands.push_back({kPeer, "--noout", path.string()});
  std::vector<CommandRuns> runs = RunsInTurn(commands, rounds);
  fs::remove(path);
  const CommandRuns& ours = runs[0];
  PrintRun("ParseFile (this DOM)", ours, mb);
  PrintRun(kScanLabel, runs[1], mb);
  if (withPeer) PrintRun(kPeerLabel, runs[2], mb);
  gWorkRight = gWorkRight && ours.ok && runs[1].ok;
  if (!ours.ok) return;
  if (runs[1].ok) {
    const TRatios over = RatiosOver(ours, runs[1]);
    std::printf("  over the reading process, min / median / max: time %s, peak memory %s\n", over.wall.c_str(),
                over.memory.c_str());
  }
  if (withPeer && runs[2].ok) {
    const TRatios over = RatiosOver(ours, runs[2]);
    std::printf("  over the peer, min / median / max: time %s, processor time %s, peak memory %s\n",
                over.wall.c_str(), over.cpu.c_str(), over.memory.c_str());
    summary.push_back({shape.name, mb, over});
  }
}

// Runs first, while this process is small: a child's peak memory starts from
// what the parent had resident when it forked. Only the shapes named, when
// some are.
void CompareWholeProcess(bool peer, int rounds, const std::vector<std::string>& only) {
  const bool withPeer = peer && PeerInstalled();
  if (peer && !withPeer) std::printf("%s is not installed: no comparison with it (bench/parse.sh installs it)\n\n", kPeer);
  std::vector<TPeerSummary> summary;
  const std::string loadBefore = MachineLoad();
  for (const TShape& shape : kShapes) {
    if (only.empty() || std::find(only.begin(), only.end(), shape.name) != only.end())
      CompareOnDocument(shape, withPeer, rounds, summary);
  }
  if (only.empty()) {
    CompareOneWideElement("attributes", BenchSize(100000, 1000), false);
    CompareOneWideElement("namespace declarations", BenchSize(1000000, 10000), true);
  }
  if (!summary.empty()) {
    std::printf("\nParseFile / xmllint --noout, whole process, %d paired rounds, min / median / max of the rounds' "
                "ratios\n(%s before, %s after)\n", rounds, loadBefore.c_str(), MachineLoad().c_str());
    std::printf("  %-16s %6s  %-26s %-26s %s\n", "shape", "MB", "wall time", "processor time", "peak memory");
    for (const TPeerSummary& row : summary) {
      std::printf("  %-16s %6.1f  %-26s %-26s %s\n", row.shape, row.mb, row.ratios.wall.c_str(), row.ratios.cpu.c_str(),
                  row.ratios.memory.c_str());
    }
  }
  std::printf("\n");
}
#endif

// Reading alone, reading and checking, and parsing to a DOM, in this
// process, in alternated rounds: the median of each, the parse's time over
// the reader's within each round, and the parse's time split into its three
// parts within each round.
void TimeInProcess(const char* what, const std::string& doc, int rounds) {
  double mb = doc.size() / 1e6;
  std::printf("%s: %.1f MB, %d rounds\n", what, mb, rounds);
  TPairedRounds parse;  // parse to DOM beside the reader alone
  std::vector<double> checks, reading, checking, building;
  uint64_t checksum = 0;
  int64_t nodes = 0;
  for (int round = 0; round < rounds; ++round) {
    double reader = 0, dom = 0, check = 0;
    int64_t roundNodes = 0;
    if (round % 2 == 0) {
      reader = ReaderOnly(doc, checksum);
      dom = ParseToDom(doc, roundNodes);
      check = CheckOnly(doc);
    } else {
      check = CheckOnly(doc);
      dom = ParseToDom(doc, roundNodes);
      reader = ReaderOnly(doc, checksum);
    }
    if (roundNodes <= 0 || (round > 0 && roundNodes != nodes) || check >= 1e9) gWorkRight = false;
    nodes = roundNodes;
    parse.Add(dom, reader);
    checks.push_back(check);
    reading.push_back(100 * reader / dom);
    checking.push_back(100 * (check - reader) / dom);
    building.push_back(100 * (dom - check) / dom);
  }
  std::printf("  %-34s %8.1f MB/s median  (checksum %llu)\n", "UCS-4 reader alone", mb / parse.Reference().median,
              static_cast<unsigned long long>(checksum));
  std::printf("  %-34s %8.1f MB/s median\n", "read and check, no DOM", mb / SpreadOf(checks).median);
  std::printf("  %-34s %8.1f MB/s median  (%lld children of the root)\n", "parse to DOM", mb / parse.Work().median,
              static_cast<long long>(nodes));
  std::printf("  parse to DOM over reader alone: %s\n", parse.RatioText().c_str());
  auto share = [](const std::vector<double>& parts) {
    const TSpread spread = SpreadOf(parts);
    char text[64];
    std::snprintf(text, sizeof text, "%.0f / %.0f / %.0f %%", spread.min, spread.median, spread.max);
    return std::string(text);
  };
  std::printf("  split of the parse within each round, min / median / max: reading %s, checking %s, building the "
              "DOM %s\n", share(reading).c_str(), share(checking).c_str(), share(building).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = BenchSize(5, 2);
#ifndef _WIN32
  // --write DIR: writes the documents of the whole-process runs into DIR,
  // each as SHAPE.xml, and exits, for profiling ParseFile.
  if (argc == 3 && std::string(argv[1]) == "--write") {
    for (const TShape& shape : kShapes)
      std::ofstream(std::filesystem::path(argv[2]) / (std::string(shape.name) + ".xml"), std::ios::binary)
          << shape.make();
    return 0;
  }
  // --check-only N: reads and checks the patterns-like document N times and
  // nothing else (for profiling the front end without the DOM).
  if (argc == 3 && std::string(argv[1]) == "--check-only") {
    std::string doc = MakeDocument();
    double best = 1e9;
    for (int run = std::stoi(argv[2]); run > 0; --run) best = std::min(best, CheckOnly(doc));
    std::printf("%-34s %8.1f MB/s\n", "read and check, no DOM", doc.size() / 1e6 / best);
    return 0;
  }
  std::printf("%s\n", MachineLoad().c_str());
  // --in-process skips the whole-process comparisons (for profiling the
  // parse); --peer adds the peer to them. --peer ROUNDS SHAPE...: only those
  // shapes, in that many rounds (nothing in process).
  const std::string option = argc > 1 ? argv[1] : "";
  int processRounds = BenchSize(7, 2);
  std::vector<std::string> only;
  if (option == "--peer" && argc > 2) {
    processRounds = std::max(1, std::atoi(argv[2]));
    only.assign(argv + 3, argv + argc);
  }
  if (option != "--in-process") CompareWholeProcess(option == "--peer", processRounds, only);
  if (!only.empty()) return gWorkRight ? 0 : 1;
#else
  (void)argc;
  (void)argv;
  std::printf("%s\n", MachineLoad().c_str());
#endif
  TimeInProcess("patterns-like document", MakeDocument(), rounds);
  TimeInProcess("the same with an internal DTD and its entities", MakeEntityDocument(), rounds);
  std::printf("ratios: this parser's time over the reference's in the same round\n");
  return gWorkRight ? 0 : 1;
}
