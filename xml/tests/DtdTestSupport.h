#pragma once
// Shared set-up of the DTD tests: a parser that prepares the models of the
// documents it reads, a file resolver over a private temporary folder, and
// a recorder of every reported error with the node it concerns.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "DomTestSupport.h"
#include "XmlParserTestSupport.h"
#include "xml/DtdToAsParser.h"
#include "xml/ExternalResources.h"
#include "xml/UriFileName.h"
#include "xml/XmlDom.h"

// One reported error: type, the related node's name ("" without one), code.
struct Report {
  TXmlErrorType type;
  std::u16string node;
  std::u16string code;
  int64_t line = -1;  // where it starts
  int64_t column = -1;
};

class ReportRecorder : public TObject {
public:
  void OnError(TObject*, TdomError* error, bool& go) {
    TdomNode* node = error->GetRelatedNode();
    reports.push_back({error->ErrorType(), node != nullptr ? node->GetNodeName() : std::u16string(), error->Code(), error->GetStartLineNumber(), error->GetStartColumnNumber()});
    if (stopAtFirst) go = false;
    if (goOn) go = true;
  }
  std::vector<Report> reports;
  bool stopAtFirst = false;
  bool goOn = false;  // even after fatal errors
};

class DtdTest : public ::testing::Test {
protected:
  // Tells this run's folders from those of a run beside it (the same tests
  // run at once with other settings).
  static unsigned ProcessTag() {
    static const unsigned tag = std::random_device()();
    return tag;
  }
  void SetUp() override {
    impl = New<TDomImplementation>(static_cast<TComponent*>(nullptr));
    recorder = New<ReportRecorder>();
    impl->OnError = MakeEvent<&ReportRecorder::OnError>(recorder);
    resolver = New<TFileResourceResolver>(static_cast<TComponent*>(nullptr));
    impl->SetResourceResolver(resolver);
    parser = New<TXmlToDomParser>(static_cast<TComponent*>(nullptr));
    parser->SetDOMImpl(impl);
    parser->SetAutoPrepare(AP_COMPLETE);
    folder = std::filesystem::temp_directory_path() /
             ("qv_dtd_" + std::to_string(ProcessTag()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(folder);
  }
  void TearDown() override {
    parser->Free();
    impl->Free();
    resolver->Free();
    recorder->Free();
    std::filesystem::remove_all(folder);
  }

  // Writes bytes to a file of the test folder; returns its file URI.
  std::u16string WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(folder / name, std::ios::binary) << bytes;
    return Uri(name);
  }
  std::u16string Uri(const std::string& name) {
    std::u16string uri;
    FilenameToUriWideStr((folder / name).string(), kUriFileKeepColon, uri);
    return uri;
  }
  // Parses bytes as the document at uri (default: doc.xml in the folder); null on "Parser error.".
  TdomDocument* Parse(const std::string& bytes, std::u16string uri = std::u16string()) {
    if (uri.empty()) uri = Uri("doc.xml");
    std::unique_ptr<TStringStream> stream(New<TStringStream>(bytes));
    try {
      return static_cast<TdomDocument*>(parser->ParseStream(stream.get(), u"", uri, nullptr));
    } catch (const EParserException&) {
      return nullptr;
    }
  }
  // The reports' types, in order.
  std::vector<TXmlErrorType> Types() const {
    std::vector<TXmlErrorType> types;
    for (const Report& r : recorder->reports) types.push_back(r.type);
    return types;
  }

  TDomImplementation* impl = nullptr;
  TFileResourceResolver* resolver = nullptr;
  TXmlToDomParser* parser = nullptr;
  ReportRecorder* recorder = nullptr;
  std::filesystem::path folder;
};
