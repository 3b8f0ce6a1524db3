#pragma once
// System identifiers made into URI references before they are resolved.
#include <string>
#include <string_view>

// A system identifier may hold characters that a URI reference may not: a
// space, other ASCII outside the URI characters, a '%' that starts no escape,
// or any character from U+0080 on. Each such character is written as '%' and
// two upper-case hex digits per byte: ASCII as its own byte, the others as the
// bytes of the platform's 8-bit code page, the encoding in which file URIs of
// this library carry file names (FilenameToUriWideStr). Everything else is
// kept, so an identifier that is already a URI reference stays as it is. A
// file name with a drive letter ("C:\dir\x.dtd") becomes a file URI.
std::u16string EscapeSystemIdWideStr(std::u16string_view systemId);
