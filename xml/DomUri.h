#pragma once
// The two URI questions the DOM asks when it works out base URIs.
#include <string>

// True when reference parses as a URI reference and has a scheme.
bool DomUriHasScheme(const std::u16string& reference);
// Resolves reference against base; false (result empty) when that fails.
bool DomResolveUri(const std::u16string& base, const std::u16string& reference, std::u16string& result);
