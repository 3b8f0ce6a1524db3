#pragma once
// Type names of plain files by extension, and whether the shell shows that
// extension in their names, shared by every shell item: both depend on the
// extension alone, and asking the shell costs far more than everything else an
// explorer view shows.
#include <string>

// The cached type name of extension (with its dot, any case); false when unknown.
bool LookupFileTypeName(const std::u16string& extension, std::u16string& typeName);
void StoreFileTypeName(const std::u16string& extension, const std::u16string& typeName);
// Whether the shell shows extension (with its dot, any case) in the names of
// plain files; false when not known yet. The rules are forgotten when the
// folder option that hides extensions of known types changes (it is read
// again at most every half second).
bool LookupExtensionShown(const std::u16string& extension, bool& shown);
void StoreExtensionShown(const std::u16string& extension, bool shown);
// Forgets every type name and extension rule (file associations or the
// folder options changed).
void FlushFileTypeCache();
