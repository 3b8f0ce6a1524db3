#pragma once
// Shared set-up of the parser tests: a parser over its own DOM
// implementation that records every error reported to the implementation,
// and a handler that writes the signals it receives as one line each.
#include <gtest/gtest.h>

#include <memory>

#include <string>
#include <vector>

#include "core/StringStream.h"
#include "xml/XmlDom.h"
#include "xml/XmlToDomParser.h"


// One reported error: its type and where it starts.
struct RecordedError {
  TXmlErrorType type;
  int64_t line;
  int64_t column;
  std::u16string code;
};

// Records what reaches the implementation's OnError; may let fatal errors pass.
class ErrorRecorder : public TObject {
public:
  void OnError(TObject* sender, TdomError* error, bool& go);
  std::vector<RecordedError> errors;
  bool letFatalErrorsPass = false;
};

// Writes every signal it gets as "Kind@line:col-line:col fields" and passes it on.
class TraceHandler : public TXmlCustomHandler {
public:
  void ProcessSignal(TXmlSignal* signal) override;
  std::vector<std::string> lines;
  TXmlCustomHandler* next = nullptr;
};

class ParserTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Parses UTF-8 (or any encoded) bytes to a document; null when "Parser error." was raised.
  TdomDocument* ParseBytes(const std::string& bytes);
  // The signals the reader sends for bytes, one line each (no builder behind).
  std::vector<std::string> Trace(const std::string& bytes);

  TDomImplementation* impl = nullptr;
  TXmlToDomParser* parser = nullptr;
  ErrorRecorder* recorder = nullptr;
};

// --- Definitions ---


inline std::string Utf8(std::u16string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

inline void ErrorRecorder::OnError(TObject*, TdomError* error, bool& go) {
  errors.push_back({error->ErrorType(), error->GetStartLineNumber(), error->GetStartColumnNumber(), error->Code()});
  if (letFatalErrorsPass) go = true;
}

namespace {
std::string Where(const TXmlSignal* s) {
  return "@" + std::to_string(s->GetStartLineNumber()) + ":" + std::to_string(s->GetStartColumnNumber()) + "-" +
         std::to_string(s->GetEndLineNumber()) + ":" + std::to_string(s->GetEndColumnNumber());
}
}  // namespace

inline void TraceHandler::ProcessSignal(TXmlSignal* signal) {
  std::string line;
  if (auto* s = dynamic_cast<TXmlStartDocumentSignal*>(signal)) {
    line = "StartDocument enc=" + Utf8(s->XmlEncoding) + " input=" + Utf8(s->InputEncoding) +
           " standalone=" + std::to_string(s->XmlStandalone) + " version=" + Utf8(s->XmlVersion);
  } else if (auto* s = dynamic_cast<TXmlStartElementSignal*>(signal)) {
    line = "StartElement " + Utf8(s->TagName);
    for (int i = 0; i < s->Attributes->GetCount(); ++i)
      line += " " + Utf8(s->Attributes->GetName(i)) + "=" + Utf8(s->Attributes->GetValue(i));
  } else if (auto* s = dynamic_cast<TXmlEndElementSignal*>(signal)) {
    line = "EndElement " + Utf8(s->TagName);
  } else if (auto* s = dynamic_cast<TXmlPCDATASignal*>(signal)) {
    line = std::string(s->CharRefGenerated ? "CharRef " : "PCDATA ") + Utf8(s->Data);
  } else if (auto* s = dynamic_cast<TXmlCDATASignal*>(signal)) {
    line = "CDATA " + Utf8(s->Data);
  } else if (auto* s = dynamic_cast<TXmlCommentSignal*>(signal)) {
    line = "Comment " + Utf8(s->Data);
  } else if (auto* s = dynamic_cast<TXmlProcessingInstructionSignal*>(signal)) {
    line = "PI " + Utf8(s->Target) + "|" + Utf8(s->Data);
  } else if (auto* s = dynamic_cast<TXmlEntityRefSignal*>(signal)) {
    line = "EntityRef " + Utf8(s->EntityName);
  } else if (auto* s = dynamic_cast<TXmlDoctypeSignal*>(signal)) {
    line = "Doctype " + Utf8(s->DoctypeName) + " pub=" + Utf8(s->PublicId) + " sys=" + Utf8(s->SystemId) +
           " subset=" + Utf8(s->Data) + " subsetAt=" + std::to_string(s->IntSubsetStartLine) + ":" +
           std::to_string(s->IntSubsetStartColumn);
  } else if (auto* s = dynamic_cast<TXmlStartPrefixMappingSignal*>(signal)) {
    line = "StartPrefix " + Utf8(s->Prefix) + "=" + Utf8(s->Uri);
  } else if (auto* s = dynamic_cast<TXmlEndPrefixMappingSignal*>(signal)) {
    line = "EndPrefix " + Utf8(s->Prefix);
  } else if (dynamic_cast<TXmlCompletedSignal*>(signal) != nullptr) {
    line = "Completed";
  } else if (dynamic_cast<TXmlAbortedSignal*>(signal) != nullptr) {
    line = "Aborted";
  } else {
    line = "Other";
  }
  lines.push_back(line + Where(signal));
  if (next != nullptr) next->ProcessSignal(signal);
}

inline void ParserTest::SetUp() {
  impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
  recorder = New<ErrorRecorder>();
  impl->OnError = MakeEvent<&ErrorRecorder::OnError>(recorder);
  parser = New<TXmlToDomParser>(static_cast<TComponent*>(nullptr));
  parser->SetDOMImpl(impl);
}

inline void ParserTest::TearDown() {
  parser->Free();
  impl->Free();
  recorder->Free();
}

inline TdomDocument* ParserTest::ParseBytes(const std::string& bytes) {
  std::unique_ptr<TStringStream> stream(New<TStringStream>(bytes));
  try {
    return static_cast<TdomDocument*>(parser->ParseStream(stream.get(), u"", u"test.xml", nullptr));
  } catch (const EParserException& e) {
    EXPECT_EQ(e.Message(), "Parser error.");
    return nullptr;
  }
}

inline std::vector<std::string> ParserTest::Trace(const std::string& bytes) {
  std::unique_ptr<TStringStream> stream(New<TStringStream>(bytes));
  std::unique_ptr<TXmlInputSource> source(New<TXmlInputSource>(
      stream.get(), std::u16string(), std::u16string(u"t"), 4096, std::u16string(u"UTF-8"), false, int64_t(0),
      int64_t(0), int64_t(0), int64_t(0), int64_t(1)));
  TraceHandler* trace = New<TraceHandler>(static_cast<TComponent*>(nullptr));
  TXmlStandardDocReader* reader = New<TXmlStandardDocReader>(static_cast<TComponent*>(nullptr));
  reader->SetDOMImpl(impl);
  reader->SetNextHandler(trace);
  reader->ParseDocument(source.get());
  std::vector<std::string> lines = trace->lines;
  reader->Free();
  trace->Free();
  return lines;
}
