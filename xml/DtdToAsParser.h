#pragma once
// TDtdToASParser: reads DTD subsets into abstract-schema models through a
// fixed chain: DTD reader -> well-formedness handler -> abstract-schema builder.
#include <cstdint>
#include <string>

#include "xml/AsBuilder.h"
#include "xml/DtdReader.h"
#include "xml/WFTestHandler.h"
#include "xml/XmlToDomParser.h"

class TdomASModel;
class TdomASModelCollection;
class TUtilsWideStringList;

class TDtdToASParser : public TXmlCustomParser {
public:
  void Create(TComponent* owner) override;
  // Also hands the implementation to the reader.
  void SetDOMImpl(TDomImplementation* value) override;

  // An error without location to DOMImpl (without one: true unless fatal).
  virtual bool HandleError(TXmlErrorType errorType);
  int32_t BufferSize() const { return bufferSize; }
  // Below 1024 raises ENot_Supported_Err "BufferSize must not be less than 1024.".
  virtual void SetBufferSize(int32_t value);
  TdomPERefTreatment PERefTreatment() const { return reader->PERefTreatment(); }
  void SetPERefTreatment(TdomPERefTreatment value) { reader->SetPERefTreatment(value); }
  // Whether external subsets and parameter entities are read; true by default.
  bool ResolveExternals() const { return reader->ResolveExternals(); }
  void SetResolveExternals(bool value) { reader->SetResolveExternals(value); }

  // The external-subset entry points read into model; a stream that does not
  // start with a text declaration (or none) gives HandleError(58), an
  // unsupported encoding HandleError(114); these and a subset with errors
  // raise EParserException "Parser error.". Null inputs raise EAccessViolation
  // ("Stream not specified.", "Source code not specified."), empty strings "Empty string.".
  virtual void ParseExtSubsetStream(TStream* stream, const std::u16string& publicId, TdomASModel* model,
                                    const std::u16string& systemId);
  virtual void ParseExtSubsetSourceCode(const TUtilsWideStringList* lines, const std::u16string& publicId,
                                        TdomASModel* model, const std::u16string& systemId);
  virtual void ParseExtSubsetString(const std::string& s, const std::u16string& publicId, TdomASModel* model,
                                    const std::u16string& systemId);
  virtual void ParseExtSubsetWideString(const std::u16string& s, const std::u16string& publicId, TdomASModel* model,
                                        const std::u16string& systemId);
  // The same for an internal subset that starts at the given position of its document.
  virtual void ParseIntSubsetStream(TStream* stream, const std::u16string& publicId, TdomASModel* model,
                                    const std::u16string& systemId, int64_t startByte, int64_t startChar,
                                    int64_t startColumn, int64_t startLine, bool positionAfterDecl);
  virtual void ParseIntSubsetSourceCode(const TUtilsWideStringList* lines, const std::u16string& publicId,
                                        TdomASModel* model, const std::u16string& systemId, int64_t startByte,
                                        int64_t startChar, int64_t startColumn, int64_t startLine,
                                        bool positionAfterDecl);
  virtual void ParseIntSubsetString(const std::string& s, const std::u16string& publicId, TdomASModel* model,
                                    const std::u16string& systemId, int64_t startByte, int64_t startChar,
                                    int64_t startColumn, int64_t startLine, bool positionAfterDecl);
  virtual void ParseIntSubsetWideString(const std::u16string& s, const std::u16string& publicId, TdomASModel* model,
                                        const std::u16string& systemId, int64_t startByte, int64_t startChar,
                                        int64_t startColumn, int64_t startLine, bool positionAfterDecl);
  // Reads the internal subset, then the external one (through DOMImpl's
  // resolver, when external resolution is on) into collection; true when
  // both were read without errors. A missing external subset is
  // an error 34 at the given start position and false; one not read because resolution is off is
  // warning 5 and leaves the result alone.
  virtual bool ParseDTD(const std::u16string& internalSubset, const std::u16string& documentUri,
                        TdomASModelCollection* collection, const std::u16string& publicId,
                        const std::u16string& systemId, int64_t startByte, int64_t startChar, int64_t startColumn,
                        int64_t startLine);
  // The reader's Reset.
  virtual void ResetReader() { reader->Reset(); }

  TXmlStandardDtdReader* Reader() const { return reader; }
  TXmlASBuilder* Builder() const { return builder; }

protected:
  virtual void CreateSubcomponents();

private:
  void ParseSubset(TStream* stream, const std::u16string& publicId, TdomASModel* model, const std::u16string& systemId,
                   bool internal, int64_t startByte, int64_t startChar, int64_t startColumn, int64_t startLine,
                   bool positionAfterDecl);

  int32_t bufferSize = 4096;
  TXmlASBuilder* builder = nullptr;            // owned (component)
  TXmlStandardDtdReader* reader = nullptr;     // owned (component)
  TXmlWFTestHandler* wfTestHandler = nullptr;  // owned (component)
};
