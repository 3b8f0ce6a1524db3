// Parses generated 20 MB documents (nested elements, attributes, text,
// character and entity references, comments; one also with an internal DTD
// whose entities are referred to in content and attributes) to a DOM and
// prints MB/s beside a reference measured in the same run on the same bytes:
// the located UCS-4 reader alone (the floor every parse stands on). Reading
// and checking without building nodes is timed too, to tell the parser's
// share from the DOM's. On the host, the whole ParseFile process is first
// timed beside a process that only reads the same file and scans its bytes
// (ParseFile --scan), each with its peak resident memory, for those documents
// and for one of another shape: deep chains of elements with many attributes
// each, ending in long texts. When xmllint is installed (bench/parse.sh
// installs it) it runs in turn with them as a peer parsing the same files.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#endif

#include "core/StringStream.h"
#include "xml/Utf8Codec.h"
#include "xml/WFTestHandler.h"
#include "xml/XmlDocReader.h"
#include "xml/XmlDom.h"
#include "xml/XmlToDomParser.h"

namespace {

constexpr size_t kTargetBytes = 20u << 20;

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
// predefined and character references and the comments.
std::string MakeEntityDocument() {
  return MakePatternsDocument(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE patterns [\n"
      "  <!ELEMENT patterns (pattern*)>\n"
      "  <!ATTLIST pattern code ID #REQUIRED>\n"
      "  <!ENTITY vendor \"Quorvanell\">\n"
      "  <!ENTITY check \"and check it\">\n"
      "  <!-- the names below are used in content and in attributes -->\n"
      "]>\n",
      " &vendor;", "&check;");
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

#ifndef _WIN32
struct ProcessRun {
  double seconds = 1e9;
  double peakMiB = 0;
  bool ok = false;
};

// Runs argv as a child process with its output discarded; its wall time and
// peak resident memory as the kernel counted them.
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
  run.peakMiB = usage.ru_maxrss / 1024.0;
  run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

// Runs the commands in turn, runs times each, so that a change in the
// machine's load falls on all alike; per command the best time and the
// largest peak memory.
std::vector<ProcessRun> BestRunsInTurn(const std::vector<std::vector<std::string>>& commands, int runs) {
  std::vector<ProcessRun> best(commands.size());
  std::vector<bool> failed(commands.size());
  for (int i = 0; i < runs; ++i) {
    for (size_t side = 0; side < commands.size(); ++side) {
      if (failed[side]) continue;
      ProcessRun run = RunProcess(commands[side]);
      if (!run.ok) {
        best[side] = run;
        failed[side] = true;
        continue;
      }
      if (run.seconds < best[side].seconds) best[side].seconds = run.seconds;
      best[side].peakMiB = std::max(best[side].peakMiB, run.peakMiB);
      best[side].ok = true;
    }
  }
  return best;
}

// The reference process: reads the file and scans its bytes, no parsing.
constexpr const char* kScanLabel = "reference: read file, scan bytes";

// The peer: another program that parses the same file to a tree and frees
// it, run as a black box. bench/parse.sh installs it; without it the
// comparison is skipped.
constexpr const char* kPeer = "xmllint";
constexpr const char* kPeerLabel = "peer: xmllint --noout";

bool PeerInstalled() {
  return RunProcess({kPeer, "--version"}).ok;
}

void PrintRun(const char* name, const ProcessRun& run, double mb) {
  if (!run.ok) {
    std::printf("  %-34s failed\n", name);
    return;
  }
  std::printf("  %-34s %7.3f s %8.1f MB/s %8.1f MiB peak\n", name, run.seconds, mb / run.seconds, run.peakMiB);
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
  std::printf("%s on one element (%.1f MB):\n", what, mb);
  PrintRun("ParseFile (this DOM)", RunProcess({QV_PARSE_FILE, path.string()}), mb);
  PrintRun(kScanLabel, RunProcess({QV_PARSE_FILE, "--scan", path.string()}), mb);
  fs::remove(path);
}

// One document, parsed by each side in turn as a whole process (the peer
// too when withPeer): best of 5 (time) and largest peak resident memory.
// The document is written and let go before the runs: a child's peak
// memory starts from what this process has resident when it forks.
void CompareOnDocument(const char* what, std::string (*make)(), bool withPeer) {
  namespace fs = std::filesystem;
  fs::path path = fs::temp_directory_path() / ("qv_parse_bench_" + std::to_string(getpid()) + ".xml");
  double mb = 0;
  {
    std::string bytes = make();
    std::ofstream(path, std::ios::binary) << bytes;
    mb = bytes.size() / 1e6;
  }
  std::printf("%s (%.1f MB), whole process, best of 5 (time) and largest peak resident memory:\n", what, mb);
  std::vector<std::vector<std::string>> commands = {{QV_PARSE_FILE, path.string()},
                                                    {QV_PARSE_FILE, "--scan", path.string()}};
  if (withPeer) commands.push_back({kPeer, "--noout", path.string()});
  std::vector<ProcessRun> runs = BestRunsInTurn(commands, 5);
  fs::remove(path);
  const ProcessRun& ours = runs[0];
  PrintRun("ParseFile (this DOM)", ours, mb);
  PrintRun(kScanLabel, runs[1], mb);
  if (withPeer) PrintRun(kPeerLabel, runs[2], mb);
  if (!ours.ok) return;
  if (runs[1].ok) {
    std::printf("  ratio: %.2fx the reading process's time, %.2fx its peak memory\n", ours.seconds / runs[1].seconds,
                ours.peakMiB / runs[1].peakMiB);
  }
  if (withPeer && runs[2].ok) {
    std::printf("  ratio: %.2fx the peer's time, %.2fx its peak memory\n", ours.seconds / runs[2].seconds,
                ours.peakMiB / runs[2].peakMiB);
  }
}

// Runs first, while this process is small: a child's peak memory starts from
// what the parent had resident when it forked.
void CompareWholeProcess() {
  bool withPeer = PeerInstalled();
  if (!withPeer) std::printf("%s is not installed: no comparison with it (bench/parse.sh installs it)\n\n", kPeer);
  CompareOnDocument("patterns-like document", MakeDocument, withPeer);
  CompareOnDocument("the same with an internal DTD and its entities", MakeEntityDocument, withPeer);
  CompareOnDocument("deep chains, many attributes, long texts", MakeDeepDocument, withPeer);
  CompareOneWideElement("100,000 attributes", 100000, false);
  CompareOneWideElement("1,000,000 namespace declarations", 1000000, true);
  std::printf("\n");
}
#endif

// Reading alone, reading and checking, and parsing to a DOM, in this
// process, best of 3 each; the parse's time split into the three parts.
void TimeInProcess(const char* what, const std::string& doc) {
  double mb = doc.size() / 1e6;
  std::printf("%s: %.1f MB\n", what, mb);
  double best[3] = {1e9, 1e9, 1e9};
  uint64_t checksum = 0;
  int64_t nodes = 0;
  for (int run = 0; run < 3; ++run) {
    best[0] = std::min(best[0], ReaderOnly(doc, checksum));
    best[1] = std::min(best[1], ParseToDom(doc, nodes));
    best[2] = std::min(best[2], CheckOnly(doc));
  }
  std::printf("  %-34s %8.1f MB/s  (checksum %llu)\n", "UCS-4 reader alone", mb / best[0],
              static_cast<unsigned long long>(checksum));
  std::printf("  %-34s %8.1f MB/s\n", "read and check, no DOM", mb / best[2]);
  std::printf("  %-34s %8.1f MB/s  (%lld children of the root)\n", "parse to DOM", mb / best[1],
              static_cast<long long>(nodes));
  std::printf("  parse to DOM / reader alone: %.2fx the time\n", best[1] / best[0]);
  std::printf("  split of the parse: %.0f %% reading, %.0f %% checking, %.0f %% building the DOM\n",
              100 * best[0] / best[1], 100 * (best[2] - best[0]) / best[1], 100 * (best[1] - best[2]) / best[1]);
}

}  // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
  // --write DIR: writes the three documents the whole-process runs parse
  // (patterns.xml, entities.xml, chains.xml) into DIR and exits, for
  // profiling ParseFile.
  if (argc == 3 && std::string(argv[1]) == "--write") {
    std::ofstream(std::filesystem::path(argv[2]) / "patterns.xml", std::ios::binary) << MakeDocument();
    std::ofstream(std::filesystem::path(argv[2]) / "entities.xml", std::ios::binary) << MakeEntityDocument();
    std::ofstream(std::filesystem::path(argv[2]) / "chains.xml", std::ios::binary) << MakeDeepDocument();
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
  // --in-process skips the whole-process comparisons (for profiling the parse).
  if (!(argc > 1 && std::string(argv[1]) == "--in-process")) CompareWholeProcess();
#else
  (void)argc;
  (void)argv;
#endif
  TimeInProcess("patterns-like document", MakeDocument());
  TimeInProcess("the same with an internal DTD and its entities", MakeEntityDocument());
  return 0;
}
