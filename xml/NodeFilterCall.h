#pragma once
// Asking a traversal's node filter, which may free the node it is asked
// about, move it, or free the whole document and with it the traversal
// (the document owns its iterators and walkers).
#include "xml/DomTypes.h"

class TdomNode;

// Raised by AskNodeFilter where the walk cannot go on. The traversal's move
// catches it and returns null; it touches none of its own members, which
// may have gone with the document.
struct TNodeFilterStop {};

// filter's answer about node, a node of root's subtree. Raises
// TNodeFilterStop when the filter freed any node of the document (the
// search may hold it), any iterator or walker (it may be the one asking) or
// the document, or took node out of root's subtree.
TdomFilterResult AskNodeFilter(TdomNodeFilter* filter, TdomNode* node, const TdomNode* root);

// Runs find (a traversal's search) and gives its node; null when a filter
// stopped it.
template <class Find>
TdomNode* FindUnlessFilterStops(const Find& find) {
  try {
    return find();
  } catch (const TNodeFilterStop&) {
    return nullptr;
  }
}
