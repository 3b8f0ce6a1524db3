// ParseFile FILE: parses FILE to a DOM the way the program reads its patterns
// file (XmlToDomParser::ParseFile) and exits: 0 when the document was built,
// 1 with the parser's message otherwise.
// ParseFile --scan FILE: reads FILE in blocks of the parser's buffer size and
// counts its '<' bytes, nothing else: the floor any process that reads the
// file stands on. ParseBench runs both as whole processes, side by side.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "xml/XmlDom.h"
#include "xml/XmlToDomParser.h"

namespace {

constexpr size_t kBufferSize = 65536;

int Scan(const char* path) {
  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) {
    std::fprintf(stderr, "cannot open %s\n", path);
    return 1;
  }
  std::vector<char> buffer(kBufferSize);
  unsigned long long marks = 0;
  size_t read;
  while ((read = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
    for (size_t i = 0; i < read; ++i) marks += buffer[i] == '<';
  }
  std::fclose(file);
  std::printf("%llu\n", marks);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--scan") return Scan(argv[2]);
  if (argc != 2) {
    std::fprintf(stderr, "usage: ParseFile [--scan] FILE\n");
    return 2;
  }
  TDomImplementation* impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(impl));
  parser->SetDOMImpl(impl);
  parser->SetBufferSize(kBufferSize);
  int status = 0;
  try {
    parser->ParseFile(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    status = 1;
  }
  impl->Free();
  return status;
}
