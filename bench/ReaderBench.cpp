// Reads 20 MB (256 KB under QV_BENCH_SMALL) of XML-like text through the located UCS-4 reader in UTF-8,
// UTF-16LE and ISO-8859-1 and prints MB/s beside a plain byte loop over the
// same buffer (counting lines and columns, the least a located reader does).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "BenchSize.h"
#include "core/StringStream.h"
#include "xml/Ucs4Reader.h"
#include "xml/UnicodeCodecs.h"

namespace {

const size_t kTargetBytes = BenchSize<size_t>(20u << 20, 256u << 10);

// Text of Latin-1 characters: markup, words, some accented letters, line ends.
std::u16string MakeText(size_t units) {
  static const char16_t* const kLines[] = {
      u"  <pattern name=\"Gutmann\" description=\"35 passes, \u00E9crit sur le disque\">\r\n",
      u"    <pass fill=\"0x55\" sequence=\"0x92 0x49 0x24\" order=\"random\"/>\r\n",
      u"\t<!-- r\u00E9sum\u00E9: na\u00EFve caf\u00E9 \u00FCber stra\u00DFe -->\r\n",
      u"    <pass fill=\"0xAA\">Plain text content of a pass, written out at length.</pass>\r\n",
  };
  std::u16string text;
  for (size_t i = 0; text.size() < units; ++i) text += kLines[i % 4];
  text.resize(units);
  return text;
}

std::string Encode(TUnicodeCodecClass cls, const std::u16string& text) {
  return EncodeWideStr(cls, text);
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The reference: one pass over the bytes keeping line and column.
double ByteLoop(const std::string& bytes, uint64_t& checksum) {
  auto start = std::chrono::steady_clock::now();
  uint64_t line = 1;
  uint64_t column = 0;
  uint64_t sum = 0;
  for (unsigned char b : bytes) {
    sum += b;
    if (b == '\n') {
      ++line;
      column = 0;
    } else {
      ++column;
    }
  }
  checksum = sum + line * 31 + column;
  return Seconds(std::chrono::steady_clock::now() - start);
}

double ReadAll(TUnicodeCodecClass cls, const std::string& bytes, uint64_t& checksum) {
  TStringStream stream(bytes);
  auto start = std::chrono::steady_clock::now();
  std::unique_ptr<TUtilsUCS4Reader> reader(New<TUtilsUCS4Reader>(&stream, 4096, cls, 0, 0, 0, 0, 1));
  uint64_t sum = 0;
  for (reader->Next(); !reader->GetEof(); reader->Next()) sum += reader->CurrentChar();
  checksum = sum + static_cast<uint64_t>(reader->Current().Line) * 31 + static_cast<uint64_t>(reader->Current().ByteNumber);
  return Seconds(std::chrono::steady_clock::now() - start);
}

}  // namespace

int main() {
#if defined(__SANITIZE_ADDRESS__)
  std::printf("note: built with AddressSanitizer; figures are not representative\n");
#endif
  struct Run {
    const char* name;
    TUnicodeCodecClass cls;
    size_t bytesPerUnit;
  };
  const Run runs[] = {
      {"UTF-8", CodecClassOf<TUTF8Codec>(), 1},
      {"UTF-16LE", CodecClassOf<TUTF16LECodec>(), 2},
      {"ISO-8859-1", CodecClassOf<TISO8859_1Codec>(), 1},
  };
  std::printf("%-11s %8s %12s %12s %7s\n", "encoding", "MB", "reader MB/s", "bytes MB/s", "ratio");
  for (const Run& run : runs) {
    std::string bytes = Encode(run.cls, MakeText(kTargetBytes / run.bytesPerUnit));
    uint64_t readerSum = 0;
    uint64_t loopSum = 0;
    double best = 1e9;
    double bestLoop = 1e9;
    for (int i = 0; i < 3; ++i) {
      try {
        best = std::min(best, ReadAll(run.cls, bytes, readerSum));
      } catch (const Exception& e) {
        std::printf("%s: %s\n", run.name, e.Message().c_str());
        return 1;
      }
      bestLoop = std::min(bestLoop, ByteLoop(bytes, loopSum));
    }
    double mb = static_cast<double>(bytes.size()) / (1 << 20);
    std::printf("%-11s %8.1f %12.0f %12.0f %6.1fx   (checksums %llx %llx)\n", run.name, mb, mb / best, mb / bestLoop,
                best / bestLoop, static_cast<unsigned long long>(readerSum), static_cast<unsigned long long>(loopSum));
  }
  return 0;
}
