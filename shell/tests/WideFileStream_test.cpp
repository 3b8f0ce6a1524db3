// TWideFileStream: modes, sharing and errors.
#include <gtest/gtest.h>

#include "ShellTestHelpers.h"
#include "shell/ShellErrors.h"
#include "shell/VirtualWideStrings.h"
#include "shell/WideFileStream.h"

TEST(WideFileStream, CreateWriteReopenRead) {
  shelltest::TempFolder folder;
  std::u16string name = folder / u"\u03a9 stream.bin";
  TWideFileStream* out = New<TWideFileStream>(name, fmCreate);
  EXPECT_EQ(out->FileName(), name);
  out->WriteBuffer("hello", 5);
  // Created unshared: a second open fails with the create error.
  EXPECT_THROW(New<TWideFileStream>(name, static_cast<uint16_t>(fmOpenRead | fmShareDenyNone)), EFCreateError);
  out->Free();
  TWideFileStream* in = New<TWideFileStream>(name, static_cast<uint16_t>(fmOpenRead | fmShareDenyWrite));
  char buffer[6] = {};
  EXPECT_EQ(in->Read(buffer, 5), 5);
  EXPECT_STREQ(buffer, "hello");
  EXPECT_EQ(in->Write("x", 1), 0);  // opened for reading only
  // Deny-write sharing lets another reader in, but no writer.
  TWideFileStream* reader = New<TWideFileStream>(name, static_cast<uint16_t>(fmOpenRead | fmShareDenyNone));
  reader->Free();
  EXPECT_THROW(New<TWideFileStream>(name, static_cast<uint16_t>(fmOpenWrite | fmShareDenyNone)), EFCreateError);
  in->Free();
  TWideFileStream* both = New<TWideFileStream>(name, static_cast<uint16_t>(fmOpenReadWrite | fmShareExclusive));
  both->Seek(0, soEnd);
  both->WriteBuffer("!", 1);
  EXPECT_EQ(both->Size(), 6);
  both->Free();
}

TEST(WideFileStream, ErrorsAndBadModes) {
  shelltest::TempFolder folder;
  try {
    New<TWideFileStream>(folder / u"missing.txt", fmOpenRead);
    FAIL();
  } catch (const EFCreateError& e) {
    std::string message = e.what();
    EXPECT_EQ(message.rfind("Cannot create file ", 0), 0u);
    EXPECT_NE(message.find("missing.txt"), std::string::npos);
  }
  folder.MakeFile(u"f", 1);
  EXPECT_THROW(New<TWideFileStream>(folder / u"f", static_cast<uint16_t>(3)), ERangeError);
  EXPECT_THROW(New<TWideFileStream>(folder / u"f", static_cast<uint16_t>(0x50)), ERangeError);
  vws::SetForceAnsiPath(true);
  TWideFileStream* ansi = New<TWideFileStream>(folder / u"f", fmOpenRead);
  EXPECT_EQ(ansi->Size(), 1);
  ansi->Free();
  vws::SetForceAnsiPath(false);
}
