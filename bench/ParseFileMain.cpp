// ParseFile FILE: parses FILE to a DOM the way the program reads its patterns
// file (XmlToDomParser::ParseFile) and exits: 0 when the document was built,
// 1 with the parser's message otherwise. ParseBench runs it as a whole process
// beside xmllint.
#include <cstdio>
#include <exception>

#include "xml/XmlDom.h"
#include "xml/XmlToDomParser.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ParseFile FILE\n");
    return 2;
  }
  TDomImplementation* impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  TXmlToDomParser* parser = New<TXmlToDomParser>(static_cast<TComponent*>(impl));
  parser->SetDOMImpl(impl);
  parser->SetBufferSize(65536);
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
