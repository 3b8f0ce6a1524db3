#include "xml/SubsetEntityNames.h"

#include <memory>

#include "xml/WideStrStream.h"
#include "xml/XmlDtdTokenizer.h"
#include "xml/XmlInputSource.h"
#include "xml/XmlRules.h"

bool ReadSubsetEntityNames(const std::u16string& subset, std::unordered_set<std::u16string>& names) {
  if (subset.empty()) return true;
  try {
    std::unique_ptr<TUtilsWideStringStream> stream(New<TUtilsWideStringStream>(u"\uFEFF" + subset));
    std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(stream.get(), std::u16string(), std::u16string(), 4096,
                                                                 std::u16string(u"UTF-16LE"), true, 0, 0, 0, 0, 1));
    std::unique_ptr<TXmlDtdTokenizer> tokenizer(New<TXmlDtdTokenizer>(source.get(), /*isExternal=*/false, 1));
    for (tokenizer->Next(); tokenizer->TokenType() != DTK_END_OF_SOURCE; tokenizer->Next()) {
      if (tokenizer->TokenType() == DTK_PARAMETER_ENTITY_REF) return false;
      if (tokenizer->TokenType() != DTK_ENTITY_DECL || tokenizer->ErrorType() != ET_NONE) continue;
      const std::u16string& text = tokenizer->TokenText();
      size_t start = 0;
      while (start < text.size() && IsXmlWhiteSpaceWideChar(text[start])) ++start;
      size_t end = start;
      while (end < text.size() && !IsXmlWhiteSpaceWideChar(text[end])) ++end;
      if (end == start) continue;
      // "%" and white space: a parameter entity's declaration; "%" and a name:
      // a reference standing for the name.
      if (text[start] == u'%') {
        if (end == start + 1) continue;
        return false;
      }
      names.insert(text.substr(start, end - start));
    }
  } catch (const Exception&) {
    return false;
  }
  return true;
}
