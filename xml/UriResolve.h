#pragma once
// Resolution of a relative URI reference against a base (RFC 2396, section 5.2).
#include <string>
#include <string_view>

// Resolves reference against base into result. False (result empty) when
// either does not parse, neither has a scheme, or the reference climbs above
// the root of the base path with "..". An empty reference or a bare fragment
// gives the base with the reference's fragment; a reference with a scheme is
// returned as it is. Paths are merged and "." and ".." segments removed; an
// opaque base path ("mailto:a") is merged without a leading '/'.
bool ResolveRelativeUriWideStr(std::u16string_view base, std::u16string_view reference, std::u16string& result);
