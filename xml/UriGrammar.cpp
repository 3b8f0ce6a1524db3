#include "xml/UriGrammar.h"

#include "xml/XmlRulesLanguage.h"

namespace {

constexpr auto npos = std::u16string_view::npos;

// True when every unit of s is unreserved, one of extra, or starts a valid escape.
bool IsMadeOf(std::u16string_view s, std::u16string_view extra) {
  for (size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c == u'%') {
      if (i + 2 >= s.size()) return false;
      if (!IsUriHexWideChar(s[i + 1]) || !IsUriHexWideChar(s[i + 2])) return false;
      i += 2;
      continue;
    }
    if (IsUriUnreservedWideChar(c) || extra.find(c) != npos) continue;
    return false;
  }
  return true;
}

constexpr std::u16string_view kReserved = u";/?:@&=+$,";
constexpr std::u16string_view kPcharExtra = u":@&=+$,";
constexpr std::u16string_view kRelSegmentExtra = u";@&=+$,";
constexpr std::u16string_view kRegNameExtra = u"$,;:@&=+";
constexpr std::u16string_view kUserinfoExtra = u";:&=+$,";

// alphanum at both ends, alphanum or '-' between; first must pass firstOk.
template <class FirstPred>
bool IsLabel(std::u16string_view s, FirstPred firstOk) {
  if (s.empty() || !firstOk(s.front()) || !IsUriAlphanumWideChar(s.back())) return false;
  for (char16_t c : s) {
    if (!IsUriAlphanumWideChar(c) && c != u'-') return false;
  }
  return true;
}

// Splits at the first '?': the path part must pass pathOk, the query the query rule.
template <class PathPred>
bool IsPathWithQuery(std::u16string_view s, PathPred pathOk) {
  size_t q = s.find(u'?');
  if (q == npos) return pathOk(s);
  return pathOk(s.substr(0, q)) && IsUriQueryWideStr(s.substr(q + 1));
}

}  // namespace

bool IsUriReservedWideChar(char16_t c) { return kReserved.find(c) != npos; }

bool IsUriMarkWideChar(char16_t c) { return std::u16string_view(u"-_.!~*'()").find(c) != npos; }

bool IsUriAlphaWideChar(char16_t c) { return IsAbnfALPHAWideChar(c); }

bool IsUriDigitWideChar(char16_t c) { return IsAbnfDIGITWideChar(c); }

bool IsUriAlphanumWideChar(char16_t c) { return IsUriAlphaWideChar(c) || IsUriDigitWideChar(c); }

bool IsUriUnreservedWideChar(char16_t c) { return IsUriAlphanumWideChar(c) || IsUriMarkWideChar(c); }

bool IsUriHexWideChar(char16_t c) {
  return IsUriDigitWideChar(c) || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

bool IsUriUricsWideStr(std::u16string_view s) { return !s.empty() && IsMadeOf(s, kReserved); }

bool IsUriQueryWideStr(std::u16string_view s) { return s.empty() || IsUriUricsWideStr(s); }

bool IsUriFragmentWideStr(std::u16string_view s) { return s.empty() || IsUriUricsWideStr(s); }

bool IsUriReferenceWideStr(std::u16string_view s) {
  size_t hash = s.find(u'#');
  std::u16string_view before = s.substr(0, hash);
  if (hash != npos && !IsUriFragmentWideStr(s.substr(hash + 1))) return false;
  return before.empty() || IsUriAbsoluteURIWideStr(before) || IsUriRelativeURIWideStr(before);
}

bool IsUriAbsoluteURIWideStr(std::u16string_view s) {
  size_t colon = s.find(u':');
  if (colon == npos || !IsUriSchemeWideStr(s.substr(0, colon))) return false;
  std::u16string_view rest = s.substr(colon + 1);
  return IsUriHierPartWideStr(rest) || IsUriOpaquePartWideStr(rest);
}

bool IsUriRelativeURIWideStr(std::u16string_view s) {
  return IsPathWithQuery(s, [](std::u16string_view p) {
    return IsUriNetPathWideStr(p) || IsUriAbsPathWideStr(p) || IsUriRelPathWideStr(p);
  });
}

bool IsUriHierPartWideStr(std::u16string_view s) {
  return IsPathWithQuery(s, [](std::u16string_view p) { return IsUriNetPathWideStr(p) || IsUriAbsPathWideStr(p); });
}

bool IsUriOpaquePartWideStr(std::u16string_view s) { return !s.empty() && s[0] != u'/' && IsUriUricsWideStr(s); }

bool IsUriNetPathWideStr(std::u16string_view s) {
  if (s.substr(0, 2) != u"//") return false;
  size_t slash = s.find(u'/', 2);
  if (!IsUriAuthorityWideStr(s.substr(2, slash == npos ? npos : slash - 2))) return false;
  return slash == npos || IsUriAbsPathWideStr(s.substr(slash));
}

bool IsUriAbsPathWideStr(std::u16string_view s) {
  return !s.empty() && s[0] == u'/' && IsUriPathSegmentsWideStr(s.substr(1));
}

bool IsUriRelPathWideStr(std::u16string_view s) {
  size_t slash = s.find(u'/');
  if (!IsUriRelSegmentWideStr(s.substr(0, slash))) return false;
  return slash == npos || IsUriAbsPathWideStr(s.substr(slash));
}

bool IsUriRelSegmentWideStr(std::u16string_view s) { return !s.empty() && IsMadeOf(s, kRelSegmentExtra); }

bool IsUriSchemeWideStr(std::u16string_view s) {
  if (s.empty() || !IsAbnfALPHAWideChar(s[0])) return false;
  for (char16_t c : s) {
    if (!IsAbnfALPHAWideChar(c) && !IsAbnfDIGITWideChar(c) && c != u'+' && c != u'-' && c != u'.') return false;
  }
  return true;
}

bool IsUriAuthorityWideStr(std::u16string_view s) { return IsUriServerWideStr(s) || IsUriRegNameWideStr(s); }

bool IsUriRegNameWideStr(std::u16string_view s) { return !s.empty() && IsMadeOf(s, kRegNameExtra); }

bool IsUriServerWideStr(std::u16string_view s) {
  if (s.empty()) return true;
  size_t at = s.find(u'@');
  if (at == npos) return IsUriHostportWideStr(s);
  return IsUriUserinfoWideStr(s.substr(0, at)) && IsUriHostportWideStr(s.substr(at + 1));
}

bool IsUriUserinfoWideStr(std::u16string_view s) { return IsMadeOf(s, kUserinfoExtra); }

bool IsUriHostportWideStr(std::u16string_view s) {
  size_t colon = s.find(u':');
  if (colon == npos) return IsUriHostWideStr(s);
  return IsUriHostWideStr(s.substr(0, colon)) && IsUriPortWideStr(s.substr(colon + 1));
}

bool IsUriHostWideStr(std::u16string_view s) { return IsUriHostnameWideStr(s) || IsUriIPv4addressWideStr(s); }

bool IsUriHostnameWideStr(std::u16string_view s) {
  if (!s.empty() && s.back() == u'.') s.remove_suffix(1);
  if (s.empty()) return false;
  size_t dot = s.rfind(u'.');
  if (!IsUriToplabelWideStr(s.substr(dot == npos ? 0 : dot + 1))) return false;
  if (dot == npos) return true;
  std::u16string_view labels = s.substr(0, dot);
  while (true) {
    size_t next = labels.find(u'.');
    if (!IsUriDomainlabelWideStr(labels.substr(0, next))) return false;
    if (next == npos) return true;
    labels.remove_prefix(next + 1);
  }
}

bool IsUriDomainlabelWideStr(std::u16string_view s) { return IsLabel(s, IsUriAlphanumWideChar); }

bool IsUriToplabelWideStr(std::u16string_view s) { return IsLabel(s, IsUriAlphaWideChar); }

bool IsUriIPv4addressWideStr(std::u16string_view s) {
  int groups = 0;
  size_t digits = 0;
  for (char16_t c : s) {
    if (c == u'.') {
      if (digits == 0 || ++groups > 3) return false;
      digits = 0;
      continue;
    }
    if (!IsUriDigitWideChar(c)) return false;
    ++digits;
  }
  return groups == 3 && digits > 0;
}

bool IsUriPortWideStr(std::u16string_view s) {
  for (char16_t c : s) {
    if (!IsUriDigitWideChar(c)) return false;
  }
  return true;
}

bool IsUriPathWideStr(std::u16string_view s) {
  return s.empty() || IsUriAbsPathWideStr(s) || IsUriOpaquePartWideStr(s);
}

bool IsUriPathSegmentsWideStr(std::u16string_view s) {
  // segment = *pchar *( ";" param ), param = *pchar: any run of pchar and ';'.
  return IsMadeOf(s, u":@&=+$,;/");
}
