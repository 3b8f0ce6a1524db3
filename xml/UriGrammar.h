#pragma once
// The grammar of URI references (RFC 2396, Appendix A): one predicate per
// production, each over a UTF-16 string. An escape is "%" and two hex digits;
// a "%" without them fails every predicate.
#include <string_view>

bool IsUriReferenceWideStr(std::u16string_view s);     // URI-reference (split at the first '#')
bool IsUriAbsoluteURIWideStr(std::u16string_view s);   // absoluteURI (split at the first ':')
bool IsUriRelativeURIWideStr(std::u16string_view s);   // relativeURI (split at the first '?')
bool IsUriHierPartWideStr(std::u16string_view s);      // hier_part
bool IsUriOpaquePartWideStr(std::u16string_view s);    // opaque_part: non-empty, no leading '/'
bool IsUriNetPathWideStr(std::u16string_view s);       // net_path: "//" authority [abs_path]
bool IsUriAbsPathWideStr(std::u16string_view s);       // abs_path: "/" path_segments
bool IsUriRelPathWideStr(std::u16string_view s);       // rel_path: rel_segment [abs_path]
bool IsUriRelSegmentWideStr(std::u16string_view s);    // rel_segment (non-empty)
bool IsUriSchemeWideStr(std::u16string_view s);        // scheme: ALPHA *(ALPHA / DIGIT / "+" / "-" / ".")
bool IsUriAuthorityWideStr(std::u16string_view s);     // authority: server or reg_name
bool IsUriRegNameWideStr(std::u16string_view s);       // reg_name (non-empty)
bool IsUriServerWideStr(std::u16string_view s);        // server (may be empty)
bool IsUriUserinfoWideStr(std::u16string_view s);      // userinfo (may be empty)
bool IsUriHostportWideStr(std::u16string_view s);      // hostport
bool IsUriHostWideStr(std::u16string_view s);          // host: hostname or IPv4address
bool IsUriHostnameWideStr(std::u16string_view s);      // hostname (a trailing '.' allowed)
bool IsUriDomainlabelWideStr(std::u16string_view s);   // domainlabel
bool IsUriToplabelWideStr(std::u16string_view s);      // toplabel
bool IsUriIPv4addressWideStr(std::u16string_view s);   // IPv4address: four groups of digits
bool IsUriPortWideStr(std::u16string_view s);          // port (may be empty)
bool IsUriPathWideStr(std::u16string_view s);          // path: empty, abs_path or opaque_part
bool IsUriPathSegmentsWideStr(std::u16string_view s);  // path_segments
bool IsUriQueryWideStr(std::u16string_view s);         // query (may be empty)
bool IsUriFragmentWideStr(std::u16string_view s);      // fragment (may be empty)
bool IsUriUricsWideStr(std::u16string_view s);         // one or more uric

bool IsUriReservedWideChar(char16_t c);  // ; / ? : @ & = + $ ,
bool IsUriUnreservedWideChar(char16_t c);  // alphanum or mark
bool IsUriMarkWideChar(char16_t c);  // - _ . ! ~ * ' ( )
bool IsUriHexWideChar(char16_t c);
bool IsUriAlphanumWideChar(char16_t c);
bool IsUriAlphaWideChar(char16_t c);
bool IsUriDigitWideChar(char16_t c);
