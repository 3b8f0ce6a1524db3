#pragma once
// Parse errors: the fixed enumeration of error types, their severities, the
// location interface offered by everything that can place a parse event, and
// the immutable error object handed to error handlers.
#include <cstdint>
#include <memory>
#include <string>

#include "xml/TreeUtilsNoRefCount.h"

class TdomNode;
class TdomASObject;

// The 120 error types. Ordinals are fixed: the severity follows from the
// ordinal alone (see GetErrorSeverity), and callers compare and test ranges.
enum TXmlErrorType : uint8_t {
  ET_NONE = 0,
  // Hints and warnings (1-5).
  ET_ATTLIST_DECLARED_TWICE = 1,
  ET_ATTRIBUTE_DECLARED_TWICE = 2,
  ET_ENTITY_DECLARED_TWICE = 3,
  ET_PARAMETER_ENTITY_DECLARED_TWICE = 4,
  ET_EXTERNAL_SUBSET_NOT_READ = 5,
  // Errors: validity and other recoverable problems (6-37).
  ET_ATTRIBUTE_DEFAULT_TYPE_MISMATCH = 6,
  ET_UNDEFINED_ATTRIBUTE = 7,
  ET_ATTRIBUTE_TYPE_MISMATCH = 8,
  ET_DOCTYPE_NOT_FOUND = 9,
  ET_DUPLICATE_ELEMENT_TYPE_DECL = 10,
  ET_DUPLICATE_ID_ON_ELEMENT_TYPE = 11,
  ET_DUPLICATE_NOTATION_ON_ELEMENT_TYPE = 12,
  ET_DUPLICATE_ID_VALUE = 13,
  ET_DUPLICATE_NAME_IN_MIXED_CONTENT = 14,
  ET_UNDEFINED_NOTATION = 15,
  ET_DUPLICATE_ENUMERATION_TOKEN = 16,
  ET_FIXED_ATTRIBUTE_MISMATCH = 17,
  ET_ID_NEITHER_IMPLIED_NOR_REQUIRED = 18,
  ET_NOTATION_ON_EMPTY_ELEMENT = 19,
  ET_UNDECLARED_NOTATION_IN_ENUMERATION = 20,
  ET_DECLARED_EMPTY_ELEMENT_NOT_EMPTY = 21,
  ET_UNDEFINED_ELEMENT_TYPE = 22,
  ET_ELEMENT_CONTENT_MISMATCH = 23,
  ET_INVALID_MIXED_CONTENT_ENTRY = 24,
  ET_UNDEFINED_ENTITY = 25,
  ET_UNDECLARED_NOTATION_OF_ENTITY = 26,
  ET_INVALID_CONTENT_MODEL = 27,
  ET_REQUIRED_ATTRIBUTE_MISSING = 28,
  ET_UNDEFINED_PARAMETER_ENTITY = 29,
  ET_NONDETERMINISTIC_CONTENT_MODEL = 30,
  ET_TARGET_ID_VALUE_NOT_FOUND = 31,
  ET_UNDEFINED_UNPARSED_ENTITY = 32,
  ET_INVALID_ENUMERATION = 33,
  ET_ENTITY_REPLACEMENT_TEXT_UNAVAILABLE = 34,
  ET_STANDALONE_VIOLATED = 35,
  ET_WHITESPACE_IN_ELEMENT_CONTENT_OF_STANDALONE = 36,
  ET_ROOT_ELEMENT_TYPE_MISMATCH = 37,
  // Fatal errors: well-formedness (38-74).
  ET_EXTERNAL_ENTITY_REF_IN_ATTRIBUTE = 38,
  ET_INVALID_CDATA_SECTION = 39,
  ET_INVALID_COMMENT = 40,
  ET_INVALID_DOCTYPE = 41,
  ET_DOUBLE_ATTRIBUTE_NAME = 42,
  // A general entity an attribute value refers to that a document holding
  // all its declarations does not declare: a well-formedness rule (25 is a
  // reference the DOM cannot resolve, which a document may well hold).
  ET_UNDECLARED_ENTITY_IN_ATTRIBUTE = 43,
  ET_DOUBLE_HYPHEN_IN_COMMENT = 44,
  ET_DOUBLE_ROOT_ELEMENT = 45,
  ET_HYPHEN_AT_COMMENT_END = 46,
  ET_INVALID_ATTRIBUTE_NAME = 47,
  ET_UNCLOSED_REFERENCE_IN_ATTRIBUTE = 48,
  ET_INVALID_CDATA_SECTION_TEXT = 49,
  ET_INVALID_CONDITIONAL_SECTION_END = 50,
  ET_INVALID_CHAR_REF = 51,
  // General entities nested deeper than kMaxGeneralEntityDepth, or parameter
  // entities deeper than kMaxParameterEntityDepth: a limit of this library,
  // not a rule of XML (as is 107).
  ET_ENTITY_NESTING_TOO_DEEP = 52,
  ET_INVALID_CHARACTER = 53,
  ET_INVALID_PARAMETER_ENTITY_NAME = 54,
  ET_INVALID_PI_TARGET_OR_DATA = 55,
  ET_INVALID_SYSTEM_ID = 56,
  ET_INVALID_XML_DECL = 57,
  ET_INVALID_TEXT_DECL = 58,
  ET_INVALID_VERSION_NUMBER = 59,
  ET_MISSING_INTERNAL_SUBSET_START = 60,
  ET_LT_IN_ATTRIBUTE_VALUE = 61,
  ET_MISSING_ELEMENT_NAME = 62,
  ET_MISSING_ENTITY_NAME = 63,
  ET_MISSING_END_TAG = 64,
  ET_MISSING_EQUALITY_SIGN = 65,
  ET_MISSING_QUOTATION_MARK = 66,
  ET_MISSING_START_TAG = 67,
  ET_MISSING_WHITESPACE = 68,
  ET_RECURSIVE_ENTITY_REF = 69,
  ET_NOT_IN_ROOT = 70,
  ET_INVALID_PUBLIC_KEYWORD = 71,
  ET_UNCLOSED_LITERAL = 72,
  ET_ENTITY_REFERS_TO_ITSELF = 73,
  ET_REF_TO_UNPARSED_ENTITY = 74,
  // A warning outside the hint set (75).
  ET_UNCLOSED_INTERNAL_SUBSET = 75,
  // Fatal errors: well-formedness (76-114).
  ET_MISSING_ROOT_ELEMENT = 76,
  ET_INVALID_SYSTEM_KEYWORD = 77,
  ET_UNCLOSED_CDATA_SECTION = 78,
  ET_UNCLOSED_CHAR_REF = 79,
  ET_UNCLOSED_COMMENT = 80,
  ET_UNCLOSED_DOCTYPE = 81,
  ET_UNCLOSED_ELEMENT_TAG = 82,
  ET_UNCLOSED_ENTITY_REF = 83,
  ET_UNCLOSED_PROCESSING_INSTRUCTION = 84,
  ET_DOCTYPE_AFTER_ROOT_ELEMENT = 85,
  ET_INVALID_ATTLIST_DECL = 86,
  ET_INVALID_ATTLIST_ELEMENT_NAME = 87,
  ET_DOUBLE_DOCTYPE = 88,
  ET_CONDITIONAL_SECTION_IN_INTERNAL_SUBSET = 89,
  ET_INVALID_ELEMENT_DECL = 90,
  ET_INVALID_ENTITY_DECL = 91,
  ET_INVALID_ATTRIBUTE_DEFINITION = 92,
  ET_INVALID_CONDITIONAL_SECTION = 93,
  ET_INVALID_DOCTYPE_SIGNAL = 94,
  ET_INVALID_ELEMENT_TYPE_DECL_NAME = 95,
  ET_INVALID_DECLARATION_SIGNAL = 96,
  ET_INVALID_MARKUP = 97,
  ET_INVALID_NOTATION_ID = 98,
  ET_INVALID_PARAMETER_ENTITY_DECL = 99,
  ET_INVALID_NOTATION_DECL = 100,
  ET_UNCLOSED_ATTLIST_DECL = 101,
  ET_UNCLOSED_CONDITIONAL_SECTION = 102,
  ET_UNCLOSED_ELEMENT_DECL = 103,
  ET_UNCLOSED_ENTITY_DECL = 104,
  ET_UNCLOSED_NOTATION_DECL = 105,
  ET_UNCLOSED_PARAMETER_ENTITY_REF = 106,
  // More replacement text than a document's expansion budget allows.
  ET_ENTITY_EXPANSION_TOO_LARGE = 107,
  ET_MISSING_WHITESPACE_IN_DECL = 108,
  ET_INVALID_NAMESPACE_URI = 109,
  ET_INVALID_PREFIX_MAPPING = 110,
  ET_PARAMETER_ENTITY_REF_IN_INTERNAL_DECL = 111,
  ET_INVALID_PREFIX = 112,
  ET_UNBALANCED_PREFIX_MAPPING = 113,
  ET_ENCODING_NOT_SUPPORTED = 114,
  // Warnings outside the hint set (115-119).
  ET_ENCODING_MISMATCH = 115,
  ET_EXTERNAL_ENTITY_NOT_READ = 116,
  ET_UNUSED_NOTATION_DECL = 117,
  ET_XML_VERSION_NOT_SUPPORTED = 118,
  ET_LANGUAGE_TAG_INVALID = 119,
};

inline constexpr int kXmlErrorTypeCount = 120;

enum TdomSeverity : uint8_t {
  DOM_SEVERITY_WARNING = 0,
  DOM_SEVERITY_ERROR = 1,
  DOM_SEVERITY_FATAL_ERROR = 2,
};

// The hint and warning set {0..5}; attribute-value normalisation accepts these.
constexpr bool IsHintOrWarningErrorType(int type) { return type >= 0 && type <= 5; }
// The error set {6..37}.
constexpr bool IsErrorErrorType(int type) { return type >= 6 && type <= 37; }
// The fatal set {38..74, 76..114}; 75 is a warning.
constexpr bool IsFatalErrorType(int type) { return (type >= 38 && type <= 74) || (type >= 76 && type <= 114); }

// Severity by ordinal: fatal set, then error set, else warning (also >119).
constexpr TdomSeverity GetErrorSeverity(int type) {
  if (IsFatalErrorType(type)) return DOM_SEVERITY_FATAL_ERROR;
  if (IsErrorErrorType(type)) return DOM_SEVERITY_ERROR;
  return DOM_SEVERITY_WARNING;
}

// The ordinal's symbolic name, e.g. "ET_UNCLOSED_COMMENT"; "" beyond 119.
const char* XmlErrorTypeName(TXmlErrorType type);

// Positions of a located piece of source text; -1 where none can be given.
class IDomLocator {
public:
  virtual ~IDomLocator() = default;
  virtual int64_t GetEndByteNumber() const = 0;
  virtual int64_t GetEndCharNumber() const = 0;
  virtual int64_t GetEndColumnNumber() const = 0;
  virtual int64_t GetEndLineNumber() const = 0;
  virtual TdomASObject* GetRelatedASObject() const = 0;
  virtual TdomNode* GetRelatedNode() const = 0;
  virtual int64_t GetStartByteNumber() const = 0;
  virtual int64_t GetStartCharNumber() const = 0;
  virtual int64_t GetStartColumnNumber() const = 0;
  virtual int64_t GetStartLineNumber() const = 0;
  virtual std::u16string GetUri() const = 0;
};

// One reported problem. Immutable once made; the related node and
// abstract-schema object are referenced, never owned.
class TdomError : public TUtilsNoRefCount, public IDomLocator {
public:
  TdomError(TXmlErrorType errorType, int64_t startByte, int64_t startChar, int64_t startColumn,
            int64_t startLine, int64_t endByte, int64_t endChar, int64_t endColumn, int64_t endLine,
            std::u16string uri, TdomASObject* relatedASObject, TdomNode* relatedNode, std::u16string code);
  // Copies every value of source; nil source raises ENot_Supported_Err.
  static std::unique_ptr<TdomError> CreateFromError(const TdomError* source);
  // Takes the eleven values from locator; nil gives -1 positions, nil relations, empty URI.
  static std::unique_ptr<TdomError> CreateFromLocator(TXmlErrorType errorType, const IDomLocator* locator, std::u16string code);
  // A new error of the same class with the same values, type and code.
  virtual std::unique_ptr<TdomError> Clone() const;

  virtual TdomSeverity GetSeverity() const { return GetErrorSeverity(errorType); }
  TXmlErrorType ErrorType() const { return errorType; }
  const std::u16string& Code() const { return code; }

  int64_t GetEndByteNumber() const override { return endByte; }
  int64_t GetEndCharNumber() const override { return endChar; }
  int64_t GetEndColumnNumber() const override { return endColumn; }
  int64_t GetEndLineNumber() const override { return endLine; }
  TdomASObject* GetRelatedASObject() const override { return relatedASObject; }
  TdomNode* GetRelatedNode() const override { return relatedNode; }
  int64_t GetStartByteNumber() const override { return startByte; }
  int64_t GetStartCharNumber() const override { return startChar; }
  int64_t GetStartColumnNumber() const override { return startColumn; }
  int64_t GetStartLineNumber() const override { return startLine; }
  std::u16string GetUri() const override { return uri; }

private:
  std::u16string code;
  int64_t endByte, endChar, endColumn, endLine;
  TdomASObject* relatedASObject;  // not owned
  TXmlErrorType errorType;
  TdomNode* relatedNode;  // not owned
  int64_t startByte, startChar, startColumn, startLine;
  std::u16string uri;
};
