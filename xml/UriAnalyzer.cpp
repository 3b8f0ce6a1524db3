#include "xml/UriAnalyzer.h"

#include "xml/UriGrammar.h"

namespace {

constexpr auto npos = std::u16string_view::npos;

// Stores value and its flag when the rule accepts it; an absent component is
// always accepted.
template <class Pred>
bool StoreComponent(std::u16string& field, bool& flag, std::u16string_view value, bool present, Pred rule) {
  flag = present;
  field.clear();
  if (!present) return true;
  if (!rule(value)) return false;
  field.assign(value);
  return true;
}

}  // namespace

void TUriWideStrAnalyzer::Create() { SetUriReference(u""); }

std::u16string TUriWideStrAnalyzer::GetUriReference() const {
  std::u16string out;
  if (hasScheme) out += scheme + u":";
  if (hasAuthority) out += u"//" + authority;
  out += path;
  if (hasQuery) out += u"?" + query;
  if (hasFragment) out += u"#" + fragment;
  return out;
}

bool TUriWideStrAnalyzer::SetAuthority(std::u16string_view value, bool present) {
  return StoreComponent(authority, hasAuthority, value, present, IsUriAuthorityWideStr);
}

bool TUriWideStrAnalyzer::SetFragment(std::u16string_view value, bool present) {
  return StoreComponent(fragment, hasFragment, value, present, IsUriFragmentWideStr);
}

bool TUriWideStrAnalyzer::SetPath(std::u16string_view value) {
  bool valid = IsUriPathWideStr(value);
  path.assign(valid ? value : std::u16string_view());
  return valid;
}

bool TUriWideStrAnalyzer::SetQuery(std::u16string_view value, bool present) {
  return StoreComponent(query, hasQuery, value, present, IsUriQueryWideStr);
}

bool TUriWideStrAnalyzer::SetScheme(std::u16string_view value, bool present) {
  return StoreComponent(scheme, hasScheme, value, present, IsUriSchemeWideStr);
}

bool TUriWideStrAnalyzer::SetUriReference(std::u16string_view text) {
  std::u16string_view rest = text;
  size_t colon = text.find(u':');
  size_t delimiter = text.find_first_of(u"/?#");
  bool withScheme = colon != npos && (delimiter == npos || colon < delimiter);
  bool ok = SetScheme(withScheme ? text.substr(0, colon) : std::u16string_view(), withScheme);
  if (withScheme) rest = text.substr(colon + 1);

  size_t hash = rest.find(u'#');
  ok = SetFragment(hash == npos ? std::u16string_view() : rest.substr(hash + 1), hash != npos) && ok;
  rest = rest.substr(0, hash);

  size_t question = rest.find(u'?');
  ok = SetQuery(question == npos ? std::u16string_view() : rest.substr(question + 1), question != npos) && ok;
  rest = rest.substr(0, question);

  bool withAuthority = rest.substr(0, 2) == u"//";
  size_t slash = withAuthority ? rest.find(u'/', 2) : 0;
  ok = SetAuthority(withAuthority ? rest.substr(2, slash == npos ? npos : slash - 2) : std::u16string_view(),
                    withAuthority) && ok;
  if (withAuthority) rest = slash == npos ? std::u16string_view() : rest.substr(slash);
  ok = SetPath(rest) && ok;

  if (!ok) Reset();
  return ok;
}

void TUriWideStrAnalyzer::Reset() {
  SetScheme(u"", false);
  SetAuthority(u"", false);
  SetPath(u"");
  SetQuery(u"", false);
  SetFragment(u"", false);
}
