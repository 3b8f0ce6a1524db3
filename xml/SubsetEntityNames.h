#pragma once
// The general entities an internal subset declares in its own text: a
// document that cannot declare entities anywhere else must declare there
// every entity it refers to.
#include <string>
#include <unordered_set>

// Adds to names each general entity that subset declares outside parameter
// entities. False when the subset refers to a parameter entity (whose text
// could declare more) or cannot be read; names may then be incomplete.
bool ReadSubsetEntityNames(const std::u16string& subset, std::unordered_set<std::u16string>& names);
