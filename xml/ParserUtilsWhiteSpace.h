#pragma once
// Trimming and collapsing of white space. XML white space is #x20, #x9, #xA,
// #xD; the "Spaces" routines mean #x20 alone. All return a new string.
#include <string>
#include <string_view>

// Removes XML white space at both ends.
std::u16string TrimXmlWhiteSpaceWideStr(std::u16string_view s);
// Removes XML white space at the start.
std::u16string TrimLeftXmlWhiteSpaceWideStr(std::u16string_view s);
// Removes #x20 at both ends.
std::u16string TrimSpacesWideStr(std::u16string_view s);
// Drops leading and trailing #x20 and turns inner runs of #x20 into one; the
// text ends at the first #0.
std::u16string CollapseSpacesWideStr(std::u16string_view s);
// Drops XML white space at both ends and turns inner runs into one #x20; the
// text ends at the first #0 (XPath normalize-space).
std::u16string NormalizeXmlWhiteSpaceWideStr(std::u16string_view s);
