#pragma once
// TdomNotation: a declared notation; no children.
#include <string>

#include "xml/Node.h"

class TdomNotation : public TdomNode {
public:
  // Same checks as an entity: XML Name, quotable system ID, public-ID characters.
  virtual void Create(TdomDocument* document_, const std::u16string& name_, const std::u16string& publicId_,
                      const std::u16string& systemId_);

  std::u16string GetNodeName() const override { return name; }
  TdomNodeType GetNodeType() const override { return ntNotation_Node; }
  // A notation has no value: setting it does nothing.
  void SetNodeValue(const std::u16string&) override {}
  std::u16string GetPublicId() const { return publicId; }
  std::u16string GetSystemId() const { return systemId; }

private:
  std::u16string name;
  std::u16string publicId;
  std::u16string systemId;
};
