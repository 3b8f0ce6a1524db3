#pragma once
// The one exception family of the XML library. Every class carries only the
// message of Exception; the default constructor gives the class's usual text,
// and raise sites that need another of the class's fixed texts pass it.
#include <initializer_list>
#include <string>
#include <string_view>

#include "core/Exception.h"

class EDomException : public Exception {
public:
  using Exception::Exception;
};

// Declares NAME derived from BASE whose default constructor uses TEXT.
#define QV_DECLARE_DOM_EXCEPTION(NAME, BASE, TEXT)        \
  class NAME : public BASE {                              \
  public:                                                 \
    NAME() : BASE(std::string(TEXT)) {}                   \
    explicit NAME(std::string message_) : BASE(std::move(message_)) {} \
  }

QV_DECLARE_DOM_EXCEPTION(EIndex_Size_Err, EDomException, "Index size error.");
QV_DECLARE_DOM_EXCEPTION(EHierarchy_Request_Err, EDomException, "Hierarchy request error.");
QV_DECLARE_DOM_EXCEPTION(EWrong_Document_Err, EDomException, "Wrong document error.");
QV_DECLARE_DOM_EXCEPTION(EInvalid_Character_Err, EDomException, "Invalid character error.");
QV_DECLARE_DOM_EXCEPTION(ENo_Modification_Allowed_Err, EDomException, "No modification allowed error.");
QV_DECLARE_DOM_EXCEPTION(ENot_Found_Err, EDomException, "Node not found error.");
QV_DECLARE_DOM_EXCEPTION(ENot_Supported_Err, EDomException, "Not supported error.");
QV_DECLARE_DOM_EXCEPTION(EInuse_Err, EDomException, "Inuse node error.");
QV_DECLARE_DOM_EXCEPTION(EInvalid_State_Err, EDomException, "Invalid state error.");
QV_DECLARE_DOM_EXCEPTION(ESyntax_Err, EDomException, "Syntax error in TdomASModelCollection.refersToXyz");
QV_DECLARE_DOM_EXCEPTION(ENamespace_Err, EDomException, "Namespace error.");
QV_DECLARE_DOM_EXCEPTION(EWrong_DOM_Implementation_Err, EDomException, "Wrong DOM implementation error.");
// The base of the abstract-schema errors; raised only through its subclasses.
class EASException : public EDomException {
public:
  using EDomException::EDomException;
};
QV_DECLARE_DOM_EXCEPTION(EAS_Wrong_Element_Decl_Err, EASException, "Wrong element declaration error.");
QV_DECLARE_DOM_EXCEPTION(EParserException, EDomException, "Parser error.");
// Memory ran out while the library worked: no fault of the input, so no
// parser error and no DOM exception either.
QV_DECLARE_DOM_EXCEPTION(EOutOfMemory, Exception, "Out of memory.");
QV_DECLARE_DOM_EXCEPTION(EXPath_Exception, EDomException, "Unknown function name.");
QV_DECLARE_DOM_EXCEPTION(EXPath_Invalid_Expression_Err, EXPath_Exception, "No valid XPath expression prepared.");
QV_DECLARE_DOM_EXCEPTION(EXPath_Invalid_Function_Call_Err, EXPath_Exception, "Invalid context position.");
QV_DECLARE_DOM_EXCEPTION(EXPath_Type_Err, EXPath_Exception, "XPath type error.");
// An evaluation refused for the work or the string length it would need:
// TXPathExpression::Evaluate and the node shortcuts pass it on, so that a
// refusal is never taken for an empty result.
QV_DECLARE_DOM_EXCEPTION(EXPath_Limit_Err, EXPath_Exception, "XPath expression needs too much work.");

#undef QV_DECLARE_DOM_EXCEPTION

// The fixed texts of the family. Those with %s/%S are filled by the raise
// site (see DomMessageFormat below).
namespace DomMessage {
inline constexpr const char* kIndexSize = "Index size error.";
inline constexpr const char* kHierarchyRequest = "Hierarchy request error.";
inline constexpr const char* kHierarchyRequestTree = "EHierarchy request error.";
inline constexpr const char* kTypeNotAllowed = "Nodes of type %s are not allowed as children of nodes of type %s";
inline constexpr const char* kWrongDocumentError = "Wrong document error.";
inline constexpr const char* kWrongDocument = "Wrong document.";
inline constexpr const char* kInvalidCharacter = "Invalid character error.";
inline constexpr const char* kNoModificationAllowedError = "No modification allowed error.";
inline constexpr const char* kNoModificationAllowed = "No modification allowed.";
inline constexpr const char* kNodeNotFoundError = "Node not found error.";
inline constexpr const char* kNodeNotFound = "Node not found.";
inline constexpr const char* kNotFoundError = "Not found error.";
inline constexpr const char* kDocumentNotFound = "Document not found error.";
inline constexpr const char* kDocumentTypeNotFound = "DocumentType not found error.";
inline constexpr const char* kASModelNotFound = "ASModel not found error.";
inline constexpr const char* kNoResourceResolver = "No resource resolver assigned to DOM implementation.";
inline constexpr const char* kNotSupported = "Not supported error.";
inline constexpr const char* kNodeNotSpecified = "Node not specified.";
inline constexpr const char* kInuseNode = "Inuse node error.";
inline constexpr const char* kInuseAttribute = "Inuse attribute error.";
inline constexpr const char* kInuseDocumentType = "Inuse DocumentType error.";
inline constexpr const char* kInuseASModel = "Inuse ASModel error.";
inline constexpr const char* kContentModelInUse = "Content model in use error.";
inline constexpr const char* kInvalidState = "Invalid state error.";
inline constexpr const char* kSyntaxRefersTo = "Syntax error in TdomASModelCollection.refersToXyz";
inline constexpr const char* kNamespace = "Namespace error.";
inline constexpr const char* kNamespacePrefixNotFound = "Namespace URI of prefix '%S' not found.";
inline constexpr const char* kWrongDomImplementation = "Wrong DOM implementation error.";
inline constexpr const char* kWrongElementDecl = "Wrong element declaration error.";
inline constexpr const char* kParser = "Parser error.";
inline constexpr const char* kSignalProcessing = "Signal Processing Exception";
// A handler freed or moved nodes of the document being read, or freed it.
inline constexpr const char* kTreeChanged = "The document was changed while it was being read.";
inline constexpr const char* kReaderFreed = "The parser was freed while it was reading.";
inline constexpr const char* kChainFreed = "A part of the parser was freed.";
inline constexpr const char* kUnknownFunction = "Unknown function name.";
inline constexpr const char* kNoVariableBinding = "No binding for variable $%s provided.";
inline constexpr const char* kDocumentChangedInEvaluation =
    "A node of the document was freed while the expression was evaluated.";
inline constexpr const char* kNoExpressionPrepared = "No valid XPath expression prepared.";
inline constexpr const char* kArgumentsMismatch = "Arguments mismatch error in %s().";
inline constexpr const char* kNoContextNode = "Context node not specified for %s().";
inline constexpr const char* kInvalidContextPosition = "Invalid context position.";
inline constexpr const char* kInvalidContextSize = "Invalid context size.";
inline constexpr const char* kXPathType = "XPath type error.";
}  // namespace DomMessage

// Replaces each %s or %S of pattern, in order, by the next argument (wide
// arguments are written as UTF-8); surplus placeholders stay empty.
std::string DomMessageFormat(const char* pattern, std::initializer_list<std::u16string_view> args);
