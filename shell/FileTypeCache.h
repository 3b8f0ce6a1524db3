#pragma once
// Type names of plain files by extension, shared by every shell item: the
// shell's type name of a file depends on its extension alone, and asking the
// shell costs far more than everything else an explorer view shows.
#include <string>

// The cached type name of extension (with its dot, any case); false when unknown.
bool LookupFileTypeName(const std::u16string& extension, std::u16string& typeName);
void StoreFileTypeName(const std::u16string& extension, const std::u16string& typeName);
// Forgets every type name (file associations changed).
void FlushFileTypeCache();
