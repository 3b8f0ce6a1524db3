#include "xml/ParseError.h"

#include <gtest/gtest.h>

#include "xml/DomException.h"

namespace {

struct SeverityCase {
  int ordinal;
  TdomSeverity severity;
};

TEST(ParseErrorTest, SeverityFollowsOrdinalRanges) {
  const SeverityCase cases[] = {
      {0, DOM_SEVERITY_WARNING},    {1, DOM_SEVERITY_WARNING},      {5, DOM_SEVERITY_WARNING},
      {6, DOM_SEVERITY_ERROR},      {37, DOM_SEVERITY_ERROR},       {38, DOM_SEVERITY_FATAL_ERROR},
      {74, DOM_SEVERITY_FATAL_ERROR}, {75, DOM_SEVERITY_WARNING},   {76, DOM_SEVERITY_FATAL_ERROR},
      {114, DOM_SEVERITY_FATAL_ERROR}, {115, DOM_SEVERITY_WARNING}, {119, DOM_SEVERITY_WARNING},
      {200, DOM_SEVERITY_WARNING},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetErrorSeverity(c.ordinal), c.severity) << c.ordinal;
    TdomError error(TXmlErrorType(c.ordinal), 1, 2, 3, 4, 5, 6, 7, 8, u"u", nullptr, nullptr, u"");
    EXPECT_EQ(error.GetSeverity(), c.severity) << c.ordinal;
  }
}

TEST(ParseErrorTest, ClassSetsArePartition) {
  int hints = 0, errors = 0, fatals = 0;
  for (int i = 0; i < kXmlErrorTypeCount; ++i) {
    int memberships = IsHintOrWarningErrorType(i) + IsErrorErrorType(i) + IsFatalErrorType(i);
    EXPECT_LE(memberships, 1) << i;
    hints += IsHintOrWarningErrorType(i);
    errors += IsErrorErrorType(i);
    fatals += IsFatalErrorType(i);
  }
  EXPECT_EQ(hints, 6);
  EXPECT_EQ(errors, 32);
  EXPECT_EQ(fatals, 37 + 39);
}

TEST(ParseErrorTest, NamesMatchTheFixedOrdinals) {
  EXPECT_STREQ(XmlErrorTypeName(ET_NONE), "ET_NONE");
  EXPECT_STREQ(XmlErrorTypeName(TXmlErrorType(39)), "ET_INVALID_CDATA_SECTION");
  EXPECT_STREQ(XmlErrorTypeName(TXmlErrorType(75)), "ET_UNCLOSED_INTERNAL_SUBSET");
  EXPECT_STREQ(XmlErrorTypeName(TXmlErrorType(84)), "ET_UNCLOSED_PROCESSING_INSTRUCTION");
  EXPECT_STREQ(XmlErrorTypeName(TXmlErrorType(114)), "ET_ENCODING_NOT_SUPPORTED");
  EXPECT_STREQ(XmlErrorTypeName(TXmlErrorType(120)), "");
  EXPECT_EQ(ET_UNDEFINED_PARAMETER_ENTITY, 29);
  EXPECT_EQ(ET_INVALID_MARKUP, 97);
  EXPECT_EQ(ET_MISSING_WHITESPACE_IN_DECL, 108);
  for (int i = 0; i < kXmlErrorTypeCount; ++i) EXPECT_STRNE(XmlErrorTypeName(TXmlErrorType(i)), "") << i;
}

class FixedLocator : public IDomLocator {
public:
  int64_t GetEndByteNumber() const override { return 10; }
  int64_t GetEndCharNumber() const override { return 9; }
  int64_t GetEndColumnNumber() const override { return 8; }
  int64_t GetEndLineNumber() const override { return 7; }
  TdomASObject* GetRelatedASObject() const override { return nullptr; }
  TdomNode* GetRelatedNode() const override { return reinterpret_cast<TdomNode*>(const_cast<int*>(&storage)); }
  int64_t GetStartByteNumber() const override { return 1; }
  int64_t GetStartCharNumber() const override { return 2; }
  int64_t GetStartColumnNumber() const override { return 3; }
  int64_t GetStartLineNumber() const override { return 4; }
  std::u16string GetUri() const override { return u"file:///a.xml"; }
  int storage = 0;
};

TEST(ParseErrorTest, CreateFromLocatorTakesEveryPosition) {
  FixedLocator locator;
  auto error = TdomError::CreateFromLocator(ET_UNCLOSED_COMMENT, &locator, u"-->");
  EXPECT_EQ(error->GetStartByteNumber(), 1);
  EXPECT_EQ(error->GetStartCharNumber(), 2);
  EXPECT_EQ(error->GetStartColumnNumber(), 3);
  EXPECT_EQ(error->GetStartLineNumber(), 4);
  EXPECT_EQ(error->GetEndByteNumber(), 10);
  EXPECT_EQ(error->GetEndCharNumber(), 9);
  EXPECT_EQ(error->GetEndColumnNumber(), 8);
  EXPECT_EQ(error->GetEndLineNumber(), 7);
  EXPECT_EQ(error->GetUri(), u"file:///a.xml");
  EXPECT_EQ(error->GetRelatedNode(), locator.GetRelatedNode());
  EXPECT_EQ(error->Code(), u"-->");
  EXPECT_EQ(error->GetSeverity(), DOM_SEVERITY_FATAL_ERROR);
}

TEST(ParseErrorTest, CreateFromLocatorWithoutLocatorGivesUnknownPositions) {
  auto error = TdomError::CreateFromLocator(ET_UNDEFINED_ENTITY, nullptr, u"foo");
  const int64_t positions[] = {error->GetStartByteNumber(), error->GetStartCharNumber(),
                               error->GetStartColumnNumber(), error->GetStartLineNumber(),
                               error->GetEndByteNumber(),   error->GetEndCharNumber(),
                               error->GetEndColumnNumber(), error->GetEndLineNumber()};
  for (int64_t p : positions) EXPECT_EQ(p, -1);
  EXPECT_EQ(error->GetRelatedNode(), nullptr);
  EXPECT_EQ(error->GetRelatedASObject(), nullptr);
  EXPECT_EQ(error->GetUri(), u"");
  EXPECT_EQ(error->Code(), u"foo");
  EXPECT_EQ(error->GetSeverity(), DOM_SEVERITY_ERROR);
}

TEST(ParseErrorTest, CloneAndCreateFromErrorKeepEverything) {
  TdomError source(ET_MISSING_WHITESPACE, 11, 12, 13, 14, 15, 16, 17, 18, u"x.xml", nullptr, nullptr, u" ");
  auto copy = TdomError::CreateFromError(&source);
  auto clone = source.Clone();
  for (const TdomError* e : {copy.get(), clone.get()}) {
    EXPECT_EQ(e->ErrorType(), ET_MISSING_WHITESPACE);
    EXPECT_EQ(e->Code(), u" ");
    EXPECT_EQ(e->GetStartByteNumber(), 11);
    EXPECT_EQ(e->GetStartLineNumber(), 14);
    EXPECT_EQ(e->GetEndByteNumber(), 15);
    EXPECT_EQ(e->GetEndLineNumber(), 18);
    EXPECT_EQ(e->GetUri(), u"x.xml");
  }
  EXPECT_THROW(TdomError::CreateFromError(nullptr), ENot_Supported_Err);
}

}  // namespace
