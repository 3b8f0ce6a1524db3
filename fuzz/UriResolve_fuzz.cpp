// URI references: analysis round-trips, resolution results analyse again, a
// reference with a scheme resolves to itself, and file URIs always analyse.
#include <string>

#include "FuzzXmlUtils.h"
#include "xml/UriUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::u16string text = FuzzBytesToUnits(data, size);
  // The first newline separates the base from the reference.
  size_t split = text.find(u'\n');
  std::u16string base = text.substr(0, split);
  std::u16string reference = split == std::u16string::npos ? std::u16string() : text.substr(split + 1);

  TUriWideStrAnalyzer analyzer;
  for (const std::u16string* s : {&base, &reference}) {
    if (analyzer.SetUriReference(*s)) {
      QV_XML_FUZZ_CHECK(analyzer.GetUriReference() == *s);
    } else {
      QV_XML_FUZZ_CHECK(analyzer.GetUriReference().empty());
    }
    IsUriReferenceWideStr(*s);
  }

  std::u16string result;
  bool resolved = ResolveRelativeUriWideStr(base, reference, result);
  if (!resolved) {
    QV_XML_FUZZ_CHECK(result.empty());
  } else {
    QV_XML_FUZZ_CHECK(analyzer.SetUriReference(result));
    QV_XML_FUZZ_CHECK(analyzer.HasScheme());
    std::u16string again;
    QV_XML_FUZZ_CHECK(ResolveRelativeUriWideStr(base, result, again) && again == result);
  }
  TUriWideStrAnalyzer parsedBase, parsedReference;
  if (parsedBase.SetUriReference(base) && parsedReference.SetUriReference(reference) && parsedReference.HasScheme()) {
    QV_XML_FUZZ_CHECK(resolved && result == reference);
  }

  std::string fileName(reinterpret_cast<const char*>(data), size);
  std::u16string uri;
  FilenameToUriWideStr(fileName, size > 0 ? data[0] & 3 : 0, uri);
  QV_XML_FUZZ_CHECK(analyzer.SetUriReference(uri));
  QV_XML_FUZZ_CHECK(analyzer.Scheme() == u"file");
  return 0;
}
