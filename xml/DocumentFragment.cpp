#include "xml/DocumentFragment.h"

void TdomDocumentFragment::Create(TCustomOwnedObject* owner) {
  TdomNode::Create(owner);
  SetAllowedChildTypes(kContentChildTypes);
}
