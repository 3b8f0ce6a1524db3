#pragma once
// Character data: text, CDATA sections and comments. Offsets and lengths
// count 16-bit code units from 0. Every change is reported to the document.
#include <string>

#include "xml/Node.h"

class TdomCharacterData : public TdomNode {
public:
  void Create(TCustomOwnedObject* owner) override;

  std::u16string GetData() const { return GetNodeValue(); }
  // Stores the value (read-only check) and reports the change.
  virtual void SetData(const std::u16string& value);
  // The first value of a node its document has just made (writable, empty,
  // no flags set): stored and reported to that document as SetData would,
  // without SetData's chain of checks and virtual calls.
  void SetFirstData(const std::u16string& value, TdomDocument* document);
  int GetLength() const;
  // Reports a change of the data to the reference document.
  virtual void DoCharacterDataModified();

  // At most count units from offset; offset outside 0..length or count < 0
  // raises EIndex_Size_Err "Index size error.".
  virtual std::u16string substringData(int offset, int count) const;
  // Appends in place (amortised constant time per unit); read-only raises.
  virtual void appendData(const std::u16string& arg);
  virtual void insertData(int offset, const std::u16string& arg);
  virtual void deleteData(int offset, int count);
  // Read-only first, then the index checks; count is cut at the end of the text.
  virtual void replaceData(int offset, int count, const std::u16string& arg);
};

class TdomText : public TdomCharacterData {
public:
  std::u16string GetNodeName() const override { return u"#text"; }
  TdomNodeType GetNodeType() const override { return ntText_Node; }
  // The document's verdict on whether this is ignorable white space.
  virtual bool isWhitespaceInElementContent() const;
  // Moves the text from offset on into a new text node placed right after
  // this one (when there is a parent) and returns it; null when a listener
  // told of the change freed it.
  virtual TdomText* splitText(int offset);

  // True when some of the text was written as a character reference or a
  // CDATA section rather than as plain character data: its white space is
  // then not the literal white space that element-only content allows.
  // Setting the data clears it; merging text nodes keeps it.
  bool HasNonLiteralText() const { return (SubclassByte() & kNonLiteralBit) != 0; }
  void MarkNonLiteralText() { SetSubclassByte(static_cast<uint8_t>(SubclassByte() | kNonLiteralBit)); }
  void SetData(const std::u16string& value) override;
  // SetData for the text of a run of merged nodes: nonLiteral tells whether
  // any of them had non-literal text.
  void SetMergedData(const std::u16string& value, bool nonLiteral);

protected:
  size_t ReleaseWithOwner() override;

private:
  static constexpr uint8_t kNonLiteralBit = 1;
};

class TdomCDATASection : public TdomText {
public:
  std::u16string GetNodeName() const override { return u"#cdata-section"; }
  TdomNodeType GetNodeType() const override { return ntCDATA_Section_Node; }

protected:
  size_t ReleaseWithOwner() override;
};

class TdomComment : public TdomCharacterData {
public:
  std::u16string GetNodeName() const override { return u"#comment"; }
  TdomNodeType GetNodeType() const override { return ntComment_Node; }

protected:
  size_t ReleaseWithOwner() override;
};
