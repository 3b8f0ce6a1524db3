// Streamable classes: the version word and file round trips.
#include <gtest/gtest.h>

#include "ShellTestHelpers.h"
#include "core/MemoryStream.h"
#include "shell/Streamable.h"

namespace {

// A descendant that carries one field from version 2 on.
class TCheckRecord : public TStreamableClass {
public:
  int32_t extra = 0;
  void LoadFromStream(TStream* stream, int32_t version, bool readVerFromStream) override {
    TStreamableClass::LoadFromStream(stream, version, readVerFromStream);
    extra = 0;
    if (StreamVersion() >= 2) stream->ReadBuffer(&extra, sizeof extra);
  }
  void SaveToStream(TStream* stream, int32_t version, bool writeVerToStream) override {
    TStreamableClass::SaveToStream(stream, version, writeVerToStream);
    if (version >= 2) stream->WriteBuffer(&extra, sizeof extra);
  }
};

class TNumbers : public TStreamableList {};

}  // namespace

TEST(Streamable, VersionWord) {
  TStreamableClass* object = New<TStreamableClass>();
  EXPECT_EQ(object->StreamVersion(), -1);
  TMemoryStream* stream = New<TMemoryStream>();
  object->SaveToStream(stream, 3, /*writeVerToStream=*/true);
  EXPECT_EQ(stream->Size(), 4);
  uint8_t bytes[4];
  stream->SetPosition(0);
  stream->ReadBuffer(bytes, 4);
  EXPECT_EQ(bytes[0], 3);
  EXPECT_EQ(bytes[1] | bytes[2] | bytes[3], 0);
  EXPECT_EQ(object->StreamVersion(), 3);
  TMemoryStream* silent = New<TMemoryStream>();
  object->SaveToStream(silent, 3, /*writeVerToStream=*/false);
  EXPECT_EQ(silent->Size(), 0);
  EXPECT_EQ(object->StreamVersion(), 3);
  object->LoadFromStream(silent, 7, /*readVerFromStream=*/false);
  EXPECT_EQ(object->StreamVersion(), 7);
  EXPECT_THROW(object->LoadFromStream(silent, 0, /*readVerFromStream=*/true), EReadError);
  silent->Free();
  stream->Free();
  object->Free();
}

TEST(Streamable, DescendantsReadByVersionAndFiles) {
  shelltest::TempFolder folder;
  TCheckRecord* record = New<TCheckRecord>();
  record->extra = 42;
  record->SaveToFile(folder / u"v2.dat", 2, true);
  record->SaveToFile(folder / u"v1.dat", 1, true);
  TCheckRecord* back = New<TCheckRecord>();
  back->LoadFromFile(folder / u"v2.dat", 0, true);
  EXPECT_EQ(back->StreamVersion(), 2);
  EXPECT_EQ(back->extra, 42);
  back->LoadFromFile(folder / u"v1.dat", 0, true);
  EXPECT_EQ(back->StreamVersion(), 1);
  EXPECT_EQ(back->extra, 0);
  EXPECT_THROW(back->LoadFromFile(folder / u"absent.dat", 0, true), EFCreateError);
  back->Free();
  record->Free();
}

TEST(Streamable, ListClearsOnLoad) {
  shelltest::TempFolder folder;
  TNumbers* list = New<TNumbers>();
  int a = 1;
  list->Add(&a);
  TMemoryStream* empty = New<TMemoryStream>();
  list->LoadFromStream(empty, 5, false);
  EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(list->StreamVersion(), 5);
  list->Add(&a);
  list->SaveToFile(folder / u"list.dat");
  list->LoadFromFile(folder / u"list.dat");
  EXPECT_EQ(list->Count(), 0);
  EXPECT_EQ(list->StreamVersion(), 0);
  empty->Free();
  list->Free();
}
