#pragma once
// Parse events. A reader turns the tokens of an entity into signals and hands
// each one, synchronously, to the first handler of its chain. Every signal
// locates its event (IDomLocator) and can check its own data against the
// lexical rules of XML.
#include <cstdint>
#include <string>

#include "xml/Document.h"
#include "xml/ParseError.h"
#include "xml/TreeUtilsNoRefCount.h"
#include "xml/WideStrList.h"
#include "xml/WideStrNameValueList.h"

class TXmlCustomReader;
class TXmlCustomTokenizer;
class TXmlDocTokenizer;

enum TXmlSignalScope : uint8_t { SS_DOC = 0, SS_DTD = 1 };
// A set of scopes: bit n for scope n.
using TXmlSignalScopes = uint8_t;
inline constexpr TXmlSignalScopes kScopeDoc = 1u << SS_DOC;
inline constexpr TXmlSignalScopes kScopeDtd = 1u << SS_DTD;
inline constexpr TXmlSignalScopes kScopeDocDtd = kScopeDoc | kScopeDtd;

// The kind of a signal, so that handlers dispatch without looking at classes.
enum TXmlSignalKindCode : uint8_t {
  SK_COMPLETED, SK_ABORTED, SK_CDATA, SK_DOCTYPE, SK_END_ELEMENT, SK_END_PREFIX_MAPPING, SK_ENTITY_REF, SK_PCDATA,
  SK_START_DOCUMENT, SK_START_DOCUMENT_FRAGMENT, SK_START_ELEMENT, SK_START_PREFIX_MAPPING, SK_COMMENT,
  SK_PROCESSING_INSTRUCTION, SK_ATTRIBUTE_DEFINITION, SK_ELEMENT_TYPE_DECLARATION, SK_ENTITY_DECLARATION,
  SK_NOTATION_DECLARATION, SK_PARAMETER_ENTITY_DECLARATION, SK_START_EXT_DTD, SK_START_INT_DTD,
};

class TXmlSignal : public TUtilsNoRefCount, public IDomLocator {
public:
  // Stores every argument.
  virtual void Create(TXmlCustomReader* reader_, int64_t startByte_, int64_t startChar_, int64_t startColumn_,
                      int64_t startLine_, int64_t endByte_, int64_t endChar_, int64_t endColumn_, int64_t endLine_,
                      const std::u16string& uri_, TdomASObject* relatedASObject_, TdomNode* relatedNode_);
  void Create() {}
  // A signal of class T placed where locator says; a null locator gives -1
  // positions, an empty URI and no related objects.
  template <class T>
  static T* CreateFromLocator(TXmlCustomReader* reader_, const IDomLocator* locator) {
    T* signal = New<T>();
    signal->Locate(reader_, locator);
    return signal;
  }
  // A signal of class T placed at the document tokenizer's current token,
  // whose place is read only when asked for.
  template <class T>
  static T* CreateAtToken(TXmlCustomReader* reader_, const TXmlDocTokenizer* tokenizer) {
    T* signal = New<T>();
    signal->Locate(reader_, tokenizer);
    return signal;
  }
  // Places this signal where locator says (as CreateFromLocator does); lets a
  // reader reuse one signal object per kind.
  void Locate(TXmlCustomReader* reader_, const IDomLocator* locator);
  // The same for a tokenizer's current token.
  void Locate(TXmlCustomReader* reader_, const TXmlCustomTokenizer* tokenizer);
  // The same for the document's tokenizer, without a virtual call. The URI
  // is copied from the tokenizer's source only when the source string is
  // another one than last time (see ForgetUriSource).
  void Locate(TXmlCustomReader* reader_, const TXmlDocTokenizer* tokenizer);
  // Makes the next Locate copy the URI whatever string it came from: a
  // reader that reuses a signal calls it when it starts another entity.
  void ForgetUriSource() { uriSource = nullptr; }
  // Copies the positions of the token this signal was placed at now (before
  // its tokenizer moves on or goes).
  void FixPlace() const { Placed(); }

  int64_t GetEndByteNumber() const override { return Placed().endByte; }
  int64_t GetEndCharNumber() const override { return Placed().endChar; }
  int64_t GetEndColumnNumber() const override { return Placed().endColumn; }
  int64_t GetEndLineNumber() const override { return Placed().endLine; }
  TdomASObject* GetRelatedASObject() const override { return relatedASObject; }
  TdomNode* GetRelatedNode() const override { return relatedNode; }
  int64_t GetStartByteNumber() const override { return Placed().startByte; }
  int64_t GetStartCharNumber() const override { return Placed().startChar; }
  int64_t GetStartColumnNumber() const override { return Placed().startColumn; }
  int64_t GetStartLineNumber() const override { return Placed().startLine; }
  std::u16string GetUri() const override { return uri; }

  // Checks the signal's own data: errorType 0 when well formed, otherwise the
  // error type and the offending text. The base answers 0.
  virtual void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const;
  // A new signal of the same class with the same location and data; the
  // caller frees it.
  virtual TXmlSignal* CloneSignal() const = 0;
  // The parts of a document in which the kind can occur.
  virtual TXmlSignalScopes Scope() const = 0;
  // The kind, without a virtual call: every handler looks at it for every signal.
  TXmlSignalKindCode KindCode() const { return kindCode; }

  TXmlCustomReader* Reader() const { return reader; }

protected:
  explicit TXmlSignal(TXmlSignalKindCode kindCode_) : kindCode(kindCode_) {}
  void CopyLocation(const TXmlSignal& source);

private:
  // This signal with its positions copied from the document tokenizer it
  // was placed at, if they were not yet: they are asked for (by a handler
  // reporting an error, or cloning the signal) while the tokenizer is still
  // at the signal's token.
  const TXmlSignal& Placed() const {
    if (placedAt != nullptr) CopyPlace();
    return *this;
  }
  void CopyPlace() const;

  mutable int64_t endByte = -1, endChar = -1, endColumn = -1, endLine = -1;
  TXmlCustomReader* reader = nullptr;        // not owned
  TdomASObject* relatedASObject = nullptr;   // not owned
  TdomNode* relatedNode = nullptr;           // not owned
  mutable int64_t startByte = -1, startChar = -1, startColumn = -1, startLine = -1;
  mutable const TXmlDocTokenizer* placedAt = nullptr;  // not owned
  std::u16string uri;
  const std::u16string* uriSource = nullptr;  // the string uri was last copied from by Locate
  const TXmlSignalKindCode kindCode;
};

// The clone and scope of one kind of signal; Derived supplies CopyData.
template <class Derived, TXmlSignalScopes kScope, TXmlSignalKindCode kKind>
class TXmlSignalKind : public TXmlSignal {
public:
  static constexpr TXmlSignalKindCode kKindCode = kKind;
  TXmlSignalKind() : TXmlSignal(kKind) {}
  TXmlSignal* CloneSignal() const override {
    Derived* copy = New<Derived>();
    copy->CopyLocation(*this);
    copy->CopyData(static_cast<const Derived&>(*this));
    return copy;
  }
  TXmlSignalScopes Scope() const override { return kScope; }
  void CopyData(const Derived&) {}

};

class TXmlCompletedSignal : public TXmlSignalKind<TXmlCompletedSignal, kScopeDocDtd, SK_COMPLETED> {};
class TXmlAbortedSignal : public TXmlSignalKind<TXmlAbortedSignal, kScopeDocDtd, SK_ABORTED> {};

class TXmlCDATASignal : public TXmlSignalKind<TXmlCDATASignal, kScopeDoc, SK_CDATA> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlCDATASignal& s) { Data = s.Data; }
  std::u16string Data;
};

class TXmlDoctypeSignal : public TXmlSignalKind<TXmlDoctypeSignal, kScopeDoc, SK_DOCTYPE> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlDoctypeSignal& s);
  std::u16string Data;  // the internal subset
  std::u16string DoctypeName;
  int64_t IntSubsetStartByteNumber = 0;
  int64_t IntSubsetStartCharNumber = 0;
  int64_t IntSubsetStartColumn = 0;
  int64_t IntSubsetStartLine = 1;
  std::u16string PublicId;
  std::u16string SystemId;
};

class TXmlEndElementSignal : public TXmlSignalKind<TXmlEndElementSignal, kScopeDoc, SK_END_ELEMENT> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlEndElementSignal& s) { TagName = s.TagName; }
  std::u16string TagName;
};

class TXmlEndPrefixMappingSignal : public TXmlSignalKind<TXmlEndPrefixMappingSignal, kScopeDoc, SK_END_PREFIX_MAPPING> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlEndPrefixMappingSignal& s) { Prefix = s.Prefix; }
  std::u16string Prefix;
};

class TXmlEntityRefSignal : public TXmlSignalKind<TXmlEntityRefSignal, kScopeDoc, SK_ENTITY_REF> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlEntityRefSignal& s) { EntityName = s.EntityName; }
  std::u16string EntityName;
};

class TXmlPCDATASignal : public TXmlSignalKind<TXmlPCDATASignal, kScopeDoc, SK_PCDATA> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlPCDATASignal& s) {
    CharRefGenerated = s.CharRefGenerated;
    Data = s.Data;
  }
  bool CharRefGenerated = false;
  std::u16string Data;
};

class TXmlStartDocumentSignal : public TXmlSignalKind<TXmlStartDocumentSignal, kScopeDoc, SK_START_DOCUMENT> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlStartDocumentSignal& s);
  std::u16string XmlEncoding;
  std::u16string InputEncoding;
  TdomStandalone XmlStandalone = STANDALONE_UNSPECIFIED;
  std::u16string XmlVersion;
};

class TXmlStartDocumentFragmentSignal : public TXmlSignalKind<TXmlStartDocumentFragmentSignal, kScopeDoc, SK_START_DOCUMENT_FRAGMENT> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlStartDocumentFragmentSignal& s) { XmlEncoding = s.XmlEncoding; }
  std::u16string XmlEncoding;
};

class TXmlStartElementSignal : public TXmlSignalKind<TXmlStartElementSignal, kScopeDoc, SK_START_ELEMENT> {
public:
  TXmlStartElementSignal();
  ~TXmlStartElementSignal() override;
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlStartElementSignal& s);
  TUtilsNameValueList* Attributes;  // owned
  std::u16string TagName;
};

class TXmlStartPrefixMappingSignal : public TXmlSignalKind<TXmlStartPrefixMappingSignal, kScopeDoc, SK_START_PREFIX_MAPPING> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlStartPrefixMappingSignal& s) {
    Prefix = s.Prefix;
    Uri = s.Uri;
  }
  std::u16string Prefix;
  std::u16string Uri;
};

class TXmlCommentSignal : public TXmlSignalKind<TXmlCommentSignal, kScopeDocDtd, SK_COMMENT> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlCommentSignal& s) { Data = s.Data; }
  std::u16string Data;
};

class TXmlProcessingInstructionSignal : public TXmlSignalKind<TXmlProcessingInstructionSignal, kScopeDocDtd, SK_PROCESSING_INSTRUCTION> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlProcessingInstructionSignal& s) {
    Data = s.Data;
    Target = s.Target;
  }
  std::u16string Data;
  std::u16string Target;
};

class TXmlAttributeDefinitionSignal : public TXmlSignalKind<TXmlAttributeDefinitionSignal, kScopeDtd, SK_ATTRIBUTE_DEFINITION> {
public:
  TXmlAttributeDefinitionSignal();
  ~TXmlAttributeDefinitionSignal() override;
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlAttributeDefinitionSignal& s);
  std::u16string AttributeName;
  uint8_t AttributeType = 0;        // 0 CDATA, 1 NOTATION or enumeration, 2 ID ... 8 NMTOKENS
  uint8_t DefaultDeclaration = 0;   // the kind of the default declaration
  std::u16string DefaultValue;
  TUtilsWideStringList* Enumeration;  // owned
  std::u16string ElementName;
};

class TXmlElementTypeDeclarationSignal : public TXmlSignalKind<TXmlElementTypeDeclarationSignal, kScopeDtd, SK_ELEMENT_TYPE_DECLARATION> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlElementTypeDeclarationSignal& s) {
    ElementName = s.ElementName;
    ContentSpec = s.ContentSpec;
  }
  std::u16string ElementName;
  std::u16string ContentSpec;
};

class TXmlEntityDeclarationSignal : public TXmlSignalKind<TXmlEntityDeclarationSignal, kScopeDtd, SK_ENTITY_DECLARATION> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlEntityDeclarationSignal& s);
  std::u16string EntityValue;
  std::u16string PublicId;
  std::u16string NotationName;
  std::u16string EntityName;
  std::u16string SystemId;
};

class TXmlNotationDeclarationSignal : public TXmlSignalKind<TXmlNotationDeclarationSignal, kScopeDtd, SK_NOTATION_DECLARATION> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlNotationDeclarationSignal& s) {
    NotationName = s.NotationName;
    PublicId = s.PublicId;
    SystemId = s.SystemId;
  }
  std::u16string NotationName;
  std::u16string PublicId;
  std::u16string SystemId;
};

class TXmlParameterEntityDeclarationSignal
    : public TXmlSignalKind<TXmlParameterEntityDeclarationSignal, kScopeDtd, SK_PARAMETER_ENTITY_DECLARATION> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlParameterEntityDeclarationSignal& s) {
    EntityName = s.EntityName;
    EntityValue = s.EntityValue;
    PublicId = s.PublicId;
    SystemId = s.SystemId;
  }
  std::u16string EntityName;
  std::u16string EntityValue;
  std::u16string PublicId;
  std::u16string SystemId;
};

class TXmlStartExtDtdSignal : public TXmlSignalKind<TXmlStartExtDtdSignal, kScopeDtd, SK_START_EXT_DTD> {
public:
  void CheckWellformedness(TXmlErrorType& errorType, std::u16string& code) const override;
  void CopyData(const TXmlStartExtDtdSignal& s) {
    XmlEncoding = s.XmlEncoding;
    InputEncoding = s.InputEncoding;
    PublicId = s.PublicId;
    SystemId = s.SystemId;
    XmlVersion = s.XmlVersion;
  }
  std::u16string XmlEncoding;
  std::u16string InputEncoding;
  std::u16string PublicId;
  std::u16string SystemId;
  std::u16string XmlVersion;
};

class TXmlStartIntDtdSignal : public TXmlSignalKind<TXmlStartIntDtdSignal, kScopeDtd, SK_START_INT_DTD> {
public:
  void CopyData(const TXmlStartIntDtdSignal& s) { SystemId = s.SystemId; }
  std::u16string SystemId;
};

// signal as a T when it is of T's kind, else null.
template <class T>
T* SignalAs(TXmlSignal* signal) {
  return signal->KindCode() == T::kKindCode ? static_cast<T*>(signal) : nullptr;
}

// The check of an attribute value shared by start tags and attribute
// definitions: 0, or 48 (stray "<", non-character, unclosed reference), 51
// (bad character reference) or 54 (bad entity name) with the offending text.
void CheckXmlAttributeValue(const std::u16string& value, TXmlErrorType& errorType, std::u16string& code);
