// Copying nodes into this document: import and the copy behind cloneNode.
// Deep copies walk the source in a loop, so nesting depth costs no stack.
#include <deque>

#include "xml/Attr.h"
#include "xml/CharacterData.h"
#include "xml/Document.h"
#include "xml/DocumentFragment.h"
#include "xml/DomException.h"
#include "xml/DomNamedNodeMap.h"
#include "xml/DomProcessingInstruction.h"
#include "xml/Element.h"
#include "xml/Entity.h"
#include "xml/EntityReference.h"
#include "xml/Notation.h"

namespace {

// Whose children a deep copy takes over (entity references rebuild their own).
bool CopiesChildren(const TdomNode* node) {
  TdomNodeType type = node->GetNodeType();
  return type == ntElement_Node || type == ntEntity_Node || type == ntDocument_Fragment_Node;
}

}  // namespace

TdomNode* TdomDocument::importNode(TdomNode* node, bool deep) {
  TOwnedRef<TdomNode> source(node);
  TdomNode* copy = InternalImportNode(node, deep);
  // The copy's reports may have run a listener that freed the source; a
  // handler may free the copy (null then) or this document.
  if (copy == nullptr || !source) return copy;
  TWatch made(this, copy);
  node->NotifyUserDataHandlers(NODE_IMPORTED, node, copy);
  return made.Node();
}

// Copies one node without its children (attributes included for elements).
// The factories, the attribute additions and the import handlers report to
// listeners, which may change or free the source: it is looked at again
// after each of them, and what has gone is not copied.
static TdomNode* ImportShallow(TdomDocument* target, TdomNode* node) {
  switch (node->GetNodeType()) {
    case ntElement_Node: {
      TdomElement* source = static_cast<TdomElement*>(node);
      bool ns = source->IsNamespaceAware();
      // The specified attributes as they are before anything reports.
      std::deque<TOwnedRef<TdomAttr>> attributes;
      TdomNamedNodeMap* map = source->GetAttributes();
      for (int i = 0; i < map->GetLength(); ++i) {
        TdomAttr* attr = static_cast<TdomAttr*>(map->Item(i));
        if (attr->GetSpecified()) attributes.emplace_back(attr);
      }
      TdomElement* copy = ns ? target->createElementNS(source->GetNamespaceURI(), source->GetNodeName())
                             : target->createElement(source->GetNodeName());
      TOwnedRef<TdomElement> made(copy);
      try {
        for (const TOwnedRef<TdomAttr>& attr : attributes) {
          if (!made) break;
          if (!attr) continue;
          TdomAttr* attrCopy = static_cast<TdomAttr*>(target->importNode(attr.Get(), true));
          if (!made) break;
          // A handler told of the import may have freed the attribute's copy.
          if (attrCopy == nullptr) continue;
          if (ns) {
            copy->setAttributeNodeNS(attrCopy);
          } else {
            copy->setAttributeNode(attrCopy);
          }
        }
      } catch (...) {
        // The copy is no one's yet.
        if (made) made->Free();
        throw;
      }
      return made.Get();
    }
    case ntAttribute_Node: {
      TdomAttr* source = static_cast<TdomAttr*>(node);
      TdomAttr* copy = source->IsNamespaceAware()
                           ? target->createAttributeNS(source->GetNamespaceURI(), source->GetNodeName())
                           : target->createAttribute(source->GetNodeName());
      copy->SetNodeValue(source->GetNodeValue());
      return copy;
    }
    case ntText_Node:
      return target->createTextNode(node->GetNodeValue());
    case ntCDATA_Section_Node:
      return target->createCDATASection(node->GetNodeValue());
    case ntComment_Node:
      return target->createComment(node->GetNodeValue());
    case ntEntity_Reference_Node: {
      TdomEntityReference* copy = target->createEntityReference(node->GetNodeName());
      TOwnedRef<TdomEntityReference> made(copy);
      copy->ExpandEntity();
      return made.Get();
    }
    case ntEntity_Node: {
      TdomEntity* source = static_cast<TdomEntity*>(node);
      TdomEntity* copy = target->createEntity(source->GetNodeName(), source->GetPublicId(), source->GetSystemId(),
                                              source->GetNotationName());
      copy->inputEncoding = source->inputEncoding;
      copy->xmlEncoding = source->xmlEncoding;
      copy->xmlVersion = source->xmlVersion;
      return copy;
    }
    case ntProcessing_Instruction_Node: {
      TdomProcessingInstruction* source = static_cast<TdomProcessingInstruction*>(node);
      return target->createProcessingInstruction(source->GetTarget(), source->GetData());
    }
    case ntDocument_Fragment_Node:
      return target->createDocumentFragment();
    case ntNotation_Node: {
      TdomNotation* source = static_cast<TdomNotation*>(node);
      return target->createNotation(source->GetNodeName(), source->GetPublicId(), source->GetSystemId());
    }
    default:
      throw ENot_Supported_Err();
  }
}

TdomNode* TdomDocument::InternalImportNode(TdomNode* node, bool deep) {
  if (node == nullptr) throw ENot_Supported_Err();
  TOwnedRef<TdomNode> source(node);
  TdomNode* top = ImportShallow(this, node);
  if (top == nullptr || !deep || !source || !CopiesChildren(node)) return top;
  TOwnedRef<TdomNode> made(top);
  try {
    // Pairs of (source container, its copy) whose children are still to be
    // copied. Every step reports to listeners, which may free or move nodes
    // of either: a container or copy that has gone is left, and a child
    // that has gone or moved ends the copy of its container's children.
    struct Pending {
      Pending(TdomNode* source_, TdomNode* copy_) : source(source_), copy(copy_) {}
      TOwnedRef<TdomNode> source;
      TOwnedRef<TdomNode> copy;
    };
    std::deque<Pending> pending;
    pending.emplace_back(node, top);
    while (!pending.empty() && made) {
      TdomNode* from = pending.back().source.Get();
      TdomNode* into = pending.back().copy.Get();
      pending.pop_back();
      if (from == nullptr || into == nullptr) continue;
      TOwnedRef<TdomNode> fromAlive(from);
      TOwnedRef<TdomNode> intoAlive(into);
      TdomNode* child = from->GetFirstChildNode();
      while (child != nullptr) {
        TOwnedRef<TdomNode> childAlive(child);
        TdomNode* childCopy = ImportShallow(this, child);
        TOwnedRef<TdomNode> copyAlive(childCopy);
        if (childAlive && childCopy != nullptr) child->NotifyUserDataHandlers(NODE_IMPORTED, child, childCopy);
        if (!fromAlive || !intoAlive || !made) break;
        // Built as a plain container: even an external entity's copy takes its children.
        if (copyAlive) into->TdomNode::appendChild(childCopy);
        if (!childAlive || child->GetParentNode() != from || !fromAlive || !intoAlive || !made) break;
        if (copyAlive && CopiesChildren(child)) pending.emplace_back(child, childCopy);
        child = child->GetNextSiblingNode();
      }
    }
  } catch (...) {
    if (made) top->Free();
    throw;
  }
  return made.Get();
}
