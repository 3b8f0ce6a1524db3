#include "xml/DomUri.h"

#include "xml/UriAnalyzer.h"
#include "xml/UriResolve.h"
#include "xml/UriSystemId.h"

bool DomUriHasScheme(const std::u16string& reference) {
  TUriWideStrAnalyzer* analyzer = New<TUriWideStrAnalyzer>();
  bool result = analyzer->SetUriReference(reference) && analyzer->HasScheme();
  analyzer->Free();
  return result;
}

bool DomResolveUri(const std::u16string& base, const std::u16string& reference, std::u16string& result) {
  // xml:base values are escaped like system identifiers before they are used.
  return ResolveRelativeUriWideStr(base, EscapeSystemIdWideStr(reference), result);
}
