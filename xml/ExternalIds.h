#pragma once
// What is wrong with the external identifiers of a declaration when the
// literal readers only say that something is.
#include <string_view>

// True when ids (what follows the name of an entity or notation declaration,
// or the "%" and name of a parameter entity) is SYSTEM without a literal, or
// PUBLIC and a closed public literal without the system literal that must
// follow it; publicAlone lets a public literal stand alone (notations).
// False for anything else, a public literal left open included.
bool LacksSystemLiteral(std::u16string_view ids, bool publicAlone);
