// Copying nodes into this document: import and the copy behind cloneNode.
// Deep copies walk the source in a loop, so nesting depth costs no stack.
#include <vector>

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
  TdomNode* copy = InternalImportNode(node, deep);
  if (copy != nullptr) node->NotifyUserDataHandlers(NODE_IMPORTED, node, copy);
  return copy;
}

// Copies one node without its children (attributes included for elements).
static TdomNode* ImportShallow(TdomDocument* target, TdomNode* node) {
  switch (node->GetNodeType()) {
    case ntElement_Node: {
      TdomElement* source = static_cast<TdomElement*>(node);
      bool ns = source->IsNamespaceAware();
      TdomElement* copy = ns ? target->createElementNS(source->GetNamespaceURI(), source->GetNodeName())
                             : target->createElement(source->GetNodeName());
      TdomNamedNodeMap* attributes = source->GetAttributes();
      for (int i = 0; i < attributes->GetLength(); ++i) {
        TdomAttr* attr = static_cast<TdomAttr*>(attributes->Item(i));
        if (!attr->GetSpecified()) continue;
        TdomAttr* attrCopy = static_cast<TdomAttr*>(target->importNode(attr, true));
        if (ns) {
          copy->setAttributeNodeNS(attrCopy);
        } else {
          copy->setAttributeNode(attrCopy);
        }
      }
      return copy;
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
      copy->ExpandEntity();
      return copy;
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
  TdomNode* top = ImportShallow(this, node);
  if (!deep || !CopiesChildren(node)) return top;
  try {
    // Pairs of (source container, its copy) whose children are still to be copied.
    struct Pending {
      TdomNode* source;
      TdomNode* copy;
    };
    std::vector<Pending> pending{{node, top}};
    while (!pending.empty()) {
      Pending current = pending.back();
      pending.pop_back();
      for (TdomNode* child = current.source->GetFirstChildNode(); child != nullptr;
           child = child->GetNextSiblingNode()) {
        TdomNode* childCopy = ImportShallow(this, child);
        child->NotifyUserDataHandlers(NODE_IMPORTED, child, childCopy);
        // Built as a plain container: even an external entity's copy takes its children.
        current.copy->TdomNode::appendChild(childCopy);
        if (CopiesChildren(child)) pending.push_back({child, childCopy});
      }
    }
  } catch (...) {
    top->Free();
    throw;
  }
  return top;
}
