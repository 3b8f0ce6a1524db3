// Callback stubs, platform tests and the binding of the wide functions.
#include <gtest/gtest.h>

#include "shell/VirtualUnicodeDefines.h"
#include "shell/VirtualUtilities.h"

namespace {

struct Receiver {
  int calls = 0;
  int sum = 0;
};

// The method the stub reaches: the object first, then the callback's arguments.
int WINAPI Receive(Receiver* self, int a, int b) {
  ++self->calls;
  self->sum += a * 10 + b;
  return a - b;
}

using TwoArgCallback = int(WINAPI*)(int, int);

uintptr_t StackPointer() {
  uintptr_t sp;
  __asm__ volatile("movl %%esp, %0" : "=r"(sp));
  return sp;
}

}  // namespace

TEST(CallbackStub, DeliversObjectAndArgumentsAndKeepsTheStackBalanced) {
  Receiver receiver;
  void* stub = CreateStub(&receiver, reinterpret_cast<void*>(&Receive));
  ASSERT_NE(stub, nullptr);
  auto callback = reinterpret_cast<TwoArgCallback>(stub);
  uintptr_t before = StackPointer();
  int result = 0;
  for (int i = 0; i < 1000; ++i) result = callback(7, 3);
  uintptr_t after = StackPointer();
  EXPECT_EQ(result, 4);
  EXPECT_EQ(receiver.calls, 1000);
  EXPECT_EQ(receiver.sum, 73 * 1000);
  EXPECT_EQ(before, after);
  DisposeStub(stub);
  DisposeStub(nullptr);
}

TEST(CallbackStub, LayoutIsPopMovPushPushJmp) {
  Receiver receiver;
  auto* stub = static_cast<uint8_t*>(CreateStub(&receiver, reinterpret_cast<void*>(&Receive)));
  ASSERT_NE(stub, nullptr);
  EXPECT_EQ(stub[0], 0x5A);
  EXPECT_EQ(stub[1], 0xB8);
  uint32_t object;
  memcpy(&object, stub + 2, 4);
  EXPECT_EQ(object, reinterpret_cast<uintptr_t>(&receiver));
  EXPECT_EQ(stub[6], 0x50);
  EXPECT_EQ(stub[7], 0x52);
  EXPECT_EQ(stub[8], 0xE9);
  int32_t displacement;
  memcpy(&displacement, stub + 9, 4);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(stub) + 13 + displacement, reinterpret_cast<uintptr_t>(&Receive));
  DisposeStub(stub);
}

TEST(PlatformTests, VersionTable) {
  struct Case {
    TPlatformVersion v;
    bool unicode, nt4, win95Early;
  } cases[] = {
      {{1, 4, 0, 950}, false, false, true},
      {{1, 4, 0, 1080}, false, false, true},
      {{1, 4, 0, 1081}, false, false, false},
      {{1, 4, 0, 1111}, false, false, false},
      {{1, 4, 0, 0x04000000 | 950}, false, false, true},  // only the low 16 bits count
      {{1, 4, 10, 1998}, false, false, false},
      {{2, 4, 0, 1381}, true, true, false},
      {{2, 5, 0, 2195}, true, false, false},
      {{2, 6, 1, 7601}, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.v.build);
    EXPECT_EQ(IsUnicodeFor(c.v), c.unicode);
    EXPECT_EQ(IsWinNT4For(c.v), c.nt4);
    EXPECT_EQ(IsWin95EarlyFor(c.v), c.win95Early);
  }
  EXPECT_TRUE(IsUnicode());  // Wine reports the NT platform
  EXPECT_FALSE(IsWin95Early());
}

TEST(WideFunctions, BoundOnNtOnly) {
  BindWideFunctions(false);
  EXPECT_EQ(wide::CreateFileW, nullptr);
  EXPECT_EQ(wide::lstrcmpiW, nullptr);
  EXPECT_EQ(wide::SHGetFileInfoW, nullptr);
  EXPECT_EQ(wide::SHMultiFileProperties, nullptr);
  EXPECT_NE(wide::GetDiskFreeSpaceA, nullptr);
  EXPECT_NE(wide::Gdi32Handle, nullptr);
  BindWideFunctions(true);
  EXPECT_NE(wide::CreateFileW, nullptr);
  EXPECT_NE(wide::FindFirstFileW, nullptr);
  EXPECT_NE(wide::lstrcmpiW, nullptr);
  EXPECT_NE(wide::GetNumberFormatW, nullptr);
  EXPECT_NE(wide::SHGetFileInfoW, nullptr);
  EXPECT_NE(wide::SHGetDataFromIDListW, nullptr);
  EXPECT_NE(wide::GetCharABCWidthsW, nullptr);
  EXPECT_EQ(wide::lstrcmpiW(L"abc", L"ABC"), 0);
  BindWideFunctions();
}
