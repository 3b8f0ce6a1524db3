#pragma once
// TdomDocumentFragment: a parentless container whose children move as a
// group when it is inserted somewhere.
#include "xml/Node.h"

class TdomDocumentFragment : public TdomNode {
public:
  void Create(TCustomOwnedObject* owner) override;

  std::u16string GetNodeName() const override { return u"#document-fragment"; }
  TdomNodeType GetNodeType() const override { return ntDocument_Fragment_Node; }
  int64_t GetLevel() const override { return -1; }
  int64_t GetDocumentOrder() const override { return -1; }
  // A fragment has no value: setting it does nothing.
  void SetNodeValue(const std::u16string&) override {}
};
