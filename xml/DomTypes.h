#pragma once
// Shared vocabulary of the DOM: node type codes, node type sets, document
// position flags, user-data operations and the event signatures.
#include <cstdint>
#include <string>

#include "core/Events.h"

class TObject;
class TdomNode;
class TdomAttr;
class TdomElement;
class TdomDocument;
class TdomError;

// Node type codes, one byte on every node.
enum TdomNodeType : uint8_t {
  ntUnknown = 0,
  ntElement_Node = 1,
  ntAttribute_Node = 2,
  ntText_Node = 3,
  ntCDATA_Section_Node = 4,
  ntEntity_Reference_Node = 5,
  ntEntity_Node = 6,
  ntProcessing_Instruction_Node = 7,
  ntComment_Node = 8,
  ntDocument_Node = 9,
  ntDocument_Type_Node = 10,
  ntDocument_Fragment_Node = 11,
  ntNotation_Node = 12,
  ntDocument_Type_Decl_Node = 13,
  ntXPath_Namespace_Node = 14,
};

// A set of node types: bit n stands for node type code n.
using TdomWhatToShow = uint16_t;

constexpr TdomWhatToShow NodeTypeBit(int nodeType) {
  return nodeType >= 0 && nodeType < 16 ? TdomWhatToShow(1u << nodeType) : TdomWhatToShow(0);
}
// True when the set holds the code; codes of 16 and more are never in a set.
constexpr bool NodeTypeInSet(TdomWhatToShow set, int nodeType) { return (set & NodeTypeBit(nodeType)) != 0; }

inline constexpr TdomWhatToShow kShowAll = 0xFFFF;
// The children an element, entity, entity reference or fragment may have:
// element, text, CDATA, entity reference, processing instruction, comment, fragment.
inline constexpr TdomWhatToShow kContentChildTypes =
    NodeTypeBit(ntElement_Node) | NodeTypeBit(ntText_Node) | NodeTypeBit(ntCDATA_Section_Node) |
    NodeTypeBit(ntEntity_Reference_Node) | NodeTypeBit(ntProcessing_Instruction_Node) |
    NodeTypeBit(ntComment_Node) | NodeTypeBit(ntDocument_Fragment_Node);

// Bits of compareDocumentPosition's result.
enum : uint16_t {
  DOCUMENT_POSITION_CONTAINS = 1,
  DOCUMENT_POSITION_CONTAINED_BY = 2,
  DOCUMENT_POSITION_DISCONNECTED = 4,
  DOCUMENT_POSITION_EQUIVALENT = 8,
  DOCUMENT_POSITION_FOLLOWING = 16,
  DOCUMENT_POSITION_PRECEDING = 32,
  DOCUMENT_POSITION_SAME_NODE = 64,
};
using TdomDocumentPosition = uint16_t;

// Operations reported to user-data handlers.
enum TdomUserDataOperation : uint8_t {
  NODE_CLONED = 1,
  NODE_IMPORTED = 2,
  NODE_DELETED = 3,
};

// User data is an opaque pointer the DOM never interprets nor frees.
using TdomUserData = void*;
// Called with (operation, key, data, source node, destination node).
using TdomUserDataEvent =
    TEvent<void(TdomUserDataOperation operation, const std::u16string& key, TdomUserData data, TdomNode* src,
                TdomNode* dst)>;

enum TdomAttrChange : uint8_t { AC_ADDITION, AC_MODIFICATION, AC_REMOVAL };

using TdomAttrModifiedEvent =
    TEvent<void(TObject* sender, TdomNode* modifiedNode, TdomAttrChange attrChange, TdomAttr* relatedAttr)>;
using TdomNotifyNodeEvent = TEvent<void(TObject* sender, TdomNode* node)>;
using TdomErrorEvent = TEvent<void(TObject* sender, TdomError* error, bool& go)>;

// Filter answers of tree walkers and node iterators.
enum TdomFilterResult : uint8_t { FILTER_ACCEPT = 0, FILTER_REJECT = 1, FILTER_SKIP = 2 };

// The filter of a tree walker or node iterator: one question per node.
class TdomNodeFilter {
public:
  virtual ~TdomNodeFilter() = default;

protected:
  // Asked by traversals, only through a hold on the node's document
  // (TdomDocumentWatch::Call).
  friend class TdomDocumentWatch;
  virtual TdomFilterResult acceptNode(TdomNode* node) = 0;
};

// Namespace names bound by the Namespaces in XML recommendation.
inline constexpr char16_t kXmlNamespaceUri[] = u"http://www.w3.org/XML/1998/namespace";
inline constexpr char16_t kXmlnsNamespaceUri[] = u"http://www.w3.org/2000/xmlns/";
