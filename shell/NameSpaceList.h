#pragma once
// TVirtualNameSpaceList: a list that owns TNamespace objects.
#include "core/Lists.h"
#include "shell/Namespace.h"

class TVirtualNameSpaceList : public TObjectList {
public:
  TVirtualNameSpaceList() : TObjectList(/*ownsObjects=*/true) {}
  int Add(TNamespace* item) { return TObjectList::Add(item); }
  TNamespace* Items(int index) const { return static_cast<TNamespace*>(Get(index)); }
};
