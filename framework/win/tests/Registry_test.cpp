#include "win/Registry.h"

#include <gtest/gtest.h>

namespace {

const char* kKey = "\\Software\\QuorvanellTests\\Registry";

struct RegistryTest : ::testing::Test {
  void SetUp() override { reg = New<TRegistry>(); }
  void TearDown() override {
    reg->CloseKey();
    reg->DeleteKey(kKey);
    reg->Free();
  }
  TRegistry* reg = nullptr;
};

}  // namespace

TEST_F(RegistryTest, WritesAndReadsBackEveryKind) {
  ASSERT_TRUE(reg->OpenKey(kKey, /*canCreate=*/true));
  reg->WriteString("Name", "Quorvanell");
  reg->WriteString("Empty", "");
  reg->WriteInteger("Count", -7);
  reg->WriteBool("Flag", true);
  reg->CloseKey();

  ASSERT_TRUE(reg->OpenKeyReadOnly(kKey));
  EXPECT_EQ(reg->ReadString("Name"), "Quorvanell");
  EXPECT_EQ(reg->ReadString("Empty"), "");
  EXPECT_EQ(reg->ReadInteger("Count"), -7);
  EXPECT_TRUE(reg->ReadBool("Flag"));
  EXPECT_TRUE(reg->ValueExists("Count"));
  EXPECT_FALSE(reg->ValueExists("Missing"));
  EXPECT_EQ(reg->GetDataType("Name"), rdString);
  EXPECT_EQ(reg->GetDataType("Count"), rdInteger);
  EXPECT_EQ(reg->GetDataType("Missing"), rdUnknown);
  // Read-only keys refuse writes.
  EXPECT_THROW(reg->WriteInteger("Count", 1), ERegistryException);
}

TEST_F(RegistryTest, ReadFaultsRaiseTheRegistryException) {
  ASSERT_TRUE(reg->OpenKey(kKey, true));
  reg->WriteString("Text", "12");
  EXPECT_THROW(reg->ReadString("Missing"), ERegistryException);
  EXPECT_THROW(reg->ReadInteger("Text"), ERegistryException);  // wrong type
  EXPECT_THROW(reg->ReadBool("Missing"), ERegistryException);
  reg->CloseKey();
  EXPECT_THROW(reg->ReadString("Text"), ERegistryException);  // no key open
  EXPECT_FALSE(reg->OpenKeyReadOnly("\\Software\\QuorvanellTests\\NoSuchKey"));
  EXPECT_FALSE(reg->OpenKey("\\Software\\QuorvanellTests\\NoSuchKey", false));
}

TEST_F(RegistryTest, RelativePathsFollowTheOpenKey) {
  ASSERT_TRUE(reg->CreateKey(std::string(kKey) + "\\Sub"));
  ASSERT_TRUE(reg->OpenKey(kKey, false));
  EXPECT_TRUE(reg->KeyExists("Sub"));
  ASSERT_TRUE(reg->OpenKey("Sub", false));
  EXPECT_EQ(reg->CurrentPath(), std::string(kKey + 1) + "\\Sub");
  reg->CloseKey();
  reg->DeleteKey(std::string(kKey) + "\\Sub");
}
