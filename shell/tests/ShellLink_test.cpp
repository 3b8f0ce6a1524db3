// Reading shortcuts made with the shell's own link object.
#include <gtest/gtest.h>

#include "ShellTestHelpers.h"
#include "shell/ShellLink.h"
#include "shell/ShellUtilities.h"
#include "shell/VirtualWideStrings.h"

namespace {

// What the shell's own link object reads from the file.
struct RawLink {
  std::u16string path;
  int show = -1;
};

RawLink ReadRaw(const std::u16string& linkPath) {
  RawLink raw;
  IShellLinkW* link = nullptr;
  CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, reinterpret_cast<void**>(&link));
  IPersistFile* file = nullptr;
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(file->Load(shelltest::W(linkPath), STGM_READ))) {
    wchar_t path[MAX_PATH + 1] = {};
    link->GetPath(path, MAX_PATH, nullptr, 0);
    raw.path = reinterpret_cast<const char16_t*>(path);
    link->GetShowCmd(&raw.show);
  }
  file->Release();
  link->Release();
  return raw;
}

}  // namespace

TEST(ShellLink, ReadsEveryValueOfAShortcut) {
  shelltest::TempFolder folder;
  std::u16string target = folder.MakeFile(u"target.exe", 100);
  std::u16string linkPath = folder / u"link.lnk";
  WORD hotKey = MAKEWORD('Q', HOTKEYF_CONTROL | HOTKEYF_ALT);
  ASSERT_TRUE(shelltest::MakeShortcut(linkPath, target, u"-x \"y\"", u"A description", hotKey, SW_SHOWMAXIMIZED));
  // Read-only shortcuts open too: the link is only read.
  SetFileAttributesW(shelltest::W(linkPath), FILE_ATTRIBUTE_READONLY);
  TVirtualShellLink* link = New<TVirtualShellLink>(static_cast<TComponent*>(nullptr));
  ASSERT_TRUE(link->ReadLink(linkPath));
  EXPECT_EQ(link->FileName(), linkPath);
  EXPECT_EQ(link->TargetPath(), target);
  EXPECT_EQ(link->Arguments(), u"-x \"y\"");
  EXPECT_EQ(link->Description(), u"A description");
  EXPECT_EQ(link->WorkingDirectory(), folder.Path());
  EXPECT_EQ(link->HotKey(), 'Q');
  EXPECT_TRUE(link->HotKeyModifiers().Contains(hkmControl));
  EXPECT_TRUE(link->HotKeyModifiers().Contains(hkmAlt));
  EXPECT_FALSE(link->HotKeyModifiers().Contains(hkmShift));
  EXPECT_EQ(link->ShowCmd(), static_cast<TCmdShow>(ReadRaw(linkPath).show));
  ASSERT_NE(link->TargetIDList(), nullptr);
  EXPECT_EQ(PIDLToPath(link->TargetIDList()), target);
  // A second read replaces the target PIDL (the first is freed).
  ASSERT_TRUE(link->ReadLink(linkPath));
  EXPECT_EQ(PIDLToPath(link->TargetIDList()), target);
  EXPECT_FALSE(link->ReadLink(folder / u"missing.lnk"));
  EXPECT_EQ(link->TargetPath(), target);  // kept from before
  std::u16string foreignTarget = folder.MakeFile(u"\u65e5\u672c \u03a9.exe", 10);
  std::u16string foreignLink = folder / u"\u03a9.lnk";
  ASSERT_TRUE(shelltest::MakeShortcut(foreignLink, foreignTarget, u"", u"", 0, SW_SHOWNORMAL));
  ASSERT_TRUE(link->ReadLink(foreignLink));
  EXPECT_EQ(link->TargetPath(), ReadRaw(foreignLink).path);
  EXPECT_EQ(link->FileName(), foreignLink);
  link->Free();
}

TEST(ShellLink, AnsiRoadReadsTheSameShortcut) {
  shelltest::TempFolder folder;
  std::u16string target = folder.MakeFile(u"plain.exe", 10);
  std::u16string linkPath = folder / u"plain.lnk";
  ASSERT_TRUE(shelltest::MakeShortcut(linkPath, target, u"/a", u"ansi", MAKEWORD('Z', HOTKEYF_SHIFT), SW_SHOWNORMAL));
  vws::SetForceAnsiPath(true);
  TVirtualShellLink* link = New<TVirtualShellLink>(static_cast<TComponent*>(nullptr));
  bool ok = link->ReadLink(linkPath);
  vws::SetForceAnsiPath(false);
  ASSERT_TRUE(ok);
  EXPECT_EQ(link->TargetPath(), target);
  EXPECT_EQ(link->Arguments(), u"/a");
  EXPECT_EQ(link->Description(), u"ansi");
  EXPECT_EQ(link->HotKey(), 'Z');
  EXPECT_TRUE(link->HotKeyModifiers().Contains(hkmShift));
  EXPECT_NE(link->TargetIDList(), nullptr);
  link->Free();
}

TEST(ShellLink, NotAShortcut) {
  shelltest::TempFolder folder;
  std::u16string junk = folder.MakeFile(u"junk.lnk", 64);
  TVirtualShellLink* link = New<TVirtualShellLink>(static_cast<TComponent*>(nullptr));
  EXPECT_FALSE(link->ReadLink(junk));
  EXPECT_EQ(link->TargetIDList(), nullptr);
  link->Free();
}
