#pragma once
// TdomProcessingInstruction: a target and its data (the node value).
#include <string>

#include "xml/Node.h"

class TdomProcessingInstruction : public TdomNode {
public:
  // target must be an XML Name other than "xml" in any case, else EInvalid_Character_Err.
  virtual void Create(TdomDocument* document_, const std::u16string& target_);

  std::u16string GetNodeName() const override { return target; }
  std::u16string GetExpandedName() const override { return target; }
  TdomNodeType GetNodeType() const override { return ntProcessing_Instruction_Node; }
  const std::u16string& GetTarget() const { return target; }
  std::u16string GetData() const { return GetNodeValue(); }
  // Stores the value (read-only check) and reports the change.
  virtual void SetData(const std::u16string& value);
  virtual void DoCharacterDataModified();

private:
  std::u16string target;
};
