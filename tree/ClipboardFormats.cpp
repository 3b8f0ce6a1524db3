#include "tree/ClipboardFormats.h"

#include "tree/VirtualTrees.h"

void TClipboardFormats::Create(TBaseVirtualTree* owner_) {
  owner = owner_;
  SetSorted(true);
  SetDuplicates(dupIgnore);
}

int TClipboardFormats::AddObject(const std::string& s, TObject* object) {
  if (owner == nullptr || !owner->AcceptsClipboardFormat(s)) return -1;
  return TStringList::AddObject(s, object);
}

void TClipboardFormats::InsertObject(int index, const std::string& s, TObject* object) {
  if (owner == nullptr || !owner->AcceptsClipboardFormat(s)) return;
  TStringList::InsertObject(index, s, object);
}
