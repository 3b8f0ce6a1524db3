#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "xml/CharSetRegistry.h"
#include "xml/UnicodeCodecs.h"

namespace {

struct ChangeLog {
  std::vector<int32_t> changing;
  int changes = 0;
  bool veto = false;
  void Changing(TObject*, int32_t newEnum, bool& allow) {
    changing.push_back(newEnum);
    if (veto) allow = false;
  }
  void Changed(TObject*) { ++changes; }
};

std::unique_ptr<TCSMIB> NewRegistry() { return std::unique_ptr<TCSMIB>(New<TCSMIB>(nullptr)); }

}  // namespace

TEST(CharSetRegistry, GetCodecClass) {
  struct Case {
    const char* name;
    TUnicodeCodecClass expected;
  };
  const Case cases[] = {
      {"UTF-8", CodecClassOf<TUTF8Codec>()},
      {"utf-8", CodecClassOf<TUTF8Codec>()},
      {"cp850", CodecClassOf<TIBM850Codec>()},
      {"UTF-16", nullptr},
      {"ISO-10646-UCS-4", nullptr},
      {"ISO-10646-UCS-2", CodecClassOf<TUCS2Codec>()},
      {"IBM437", CodecClassOf<TIBM437Codec>()},
      {"437", CodecClassOf<TIBM437Codec>()},
      {"csIBM866", CodecClassOf<TIBM866Codec>()},
      {"WINDOWS-1258", CodecClassOf<TWindows1258Codec>()},
      {"x-unknown", nullptr},
      {"", nullptr},
  };
  for (const Case& c : cases) EXPECT_EQ(GetCodecClass(c.name), c.expected) << c.name;
}

TEST(CharSetRegistry, NamesOfANumber) {
  auto registry = NewRegistry();
  EXPECT_EQ(registry->Enum(), 3);
  ASSERT_EQ(registry->GetAliasCount(), 11);
  const char* ascii[] = {"ANSI_X3.4-1968", "iso-ir-6", "ANSI_X3.4-1986", "ISO_646.irv:1991", "ASCII", "ISO646-US",
                         "US-ASCII", "us", "IBM367", "cp367", "csASCII"};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(registry->GetAlias(i), ascii[i]);
  EXPECT_EQ(registry->GetPreferredMIMEName(), "US-ASCII");
  EXPECT_THROW(registry->GetAlias(11), Exception);
  EXPECT_THROW(registry->GetAlias(-1), Exception);
  registry->SetEnum(2054);
  EXPECT_EQ(registry->GetAliasCount(), 5);
  EXPECT_EQ(registry->GetPreferredMIMEName(), "");
  struct Mime {
    int32_t mib;
    const char* name;
  };
  for (const Mime& m : {Mime{4, "ISO-8859-1"}, Mime{13, "ISO-8859-10"}, Mime{17, "Shift_JIS"}, Mime{18, "EUC-JP"},
                        Mime{2084, "KOI8-R"}, Mime{2026, "Big5"}}) {
    registry->SetEnum(m.mib);
    EXPECT_EQ(registry->GetPreferredMIMEName(), m.name) << m.mib;
  }
}

TEST(CharSetRegistry, EveryValidNumberHasNames) {
  auto registry = NewRegistry();
  int valid = 0;
  for (int32_t mib = 0; mib < 2300; ++mib) {
    if (!registry->IsValidEnum(mib)) continue;
    ++valid;
    registry->SetEnum(mib);
    EXPECT_GE(registry->GetAliasCount(), 1) << mib;
  }
  EXPECT_EQ(valid, 104 + 4 + 16 + 102 + 10);
}

TEST(CharSetRegistry, SetEnumValidatesAndFiresEvents) {
  auto registry = NewRegistry();
  ChangeLog log;
  registry->SetOnChanging(MakeEvent<&ChangeLog::Changing>(&log));
  registry->SetOnChange(MakeEvent<&ChangeLog::Changed>(&log));
  try {
    registry->SetEnum(107);
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Invalid MIB number");
  }
  registry->SetIgnoreInvalidEnum(true);
  registry->SetEnum(107);
  EXPECT_EQ(registry->Enum(), 3);
  registry->SetEnum(3);
  EXPECT_TRUE(log.changing.empty());
  registry->SetEnum(106);
  EXPECT_EQ(log.changing, std::vector<int32_t>{106});
  EXPECT_EQ(log.changes, 1);
  log.veto = true;
  registry->SetEnum(4);
  EXPECT_EQ(registry->Enum(), 106);
  EXPECT_EQ(log.changes, 1);
}

TEST(CharSetRegistry, SetToAlias) {
  auto registry = NewRegistry();
  EXPECT_TRUE(registry->SetToAlias("CP850"));
  EXPECT_EQ(registry->Enum(), 2009);
  EXPECT_FALSE(registry->SetToAlias("no such set"));
  EXPECT_EQ(registry->Enum(), 2009);
  EXPECT_TRUE(registry->SetToAlias("latin1"));
  EXPECT_EQ(registry->Enum(), 4);
}

TEST(CharSetRegistry, SurrogateArithmetic) {
  EXPECT_EQ(Utf16HighSurrogate(0x1F600), 0xD83D);
  EXPECT_EQ(Utf16LowSurrogate(0x1F600), 0xDE00);
  EXPECT_EQ(Utf16HighSurrogate(0x10FFFF), 0xDBFF);
  EXPECT_EQ(Utf16LowSurrogate(0x10000), 0xDC00);
  EXPECT_TRUE(IsUtf16HighSurrogate(0xD800));
  EXPECT_FALSE(IsUtf16HighSurrogate(0xDC00));
  EXPECT_TRUE(IsUtf16LowSurrogate(0xDFFF));
  EXPECT_FALSE(IsUtf16LowSurrogate(0xE000));
}
