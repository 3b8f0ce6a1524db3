#include <gtest/gtest.h>

#include <string>

#include "core/SysUtils.h"
#include "xml/UriUtils.h"

namespace {

std::u16string Resolve(std::u16string_view base, std::u16string_view reference, bool* ok = nullptr) {
  std::u16string result = u"(unset)";
  bool resolved = ResolveRelativeUriWideStr(base, reference, result);
  if (ok != nullptr) *ok = resolved;
  if (!resolved) {
    EXPECT_EQ(result, u"");
  }
  return resolved ? result : u"(failed)";
}

struct ResolveCase {
  const char16_t* reference;
  const char16_t* expected;
};

constexpr const char16_t* kRfcBase = u"http://a/b/c/d;p?q";

// RFC 2396, Appendix C.1.
TEST(UriResolve, NormalExamples) {
  const ResolveCase cases[] = {
      {u"g:h", u"g:h"},
      {u"g", u"http://a/b/c/g"},
      {u"./g", u"http://a/b/c/g"},
      {u"g/", u"http://a/b/c/g/"},
      {u"/g", u"http://a/g"},
      {u"//g", u"http://g"},
      {u"?y", u"http://a/b/c/?y"},
      {u"g?y", u"http://a/b/c/g?y"},
      {u"#s", u"http://a/b/c/d;p?q#s"},
      {u"g#s", u"http://a/b/c/g#s"},
      {u"g?y#s", u"http://a/b/c/g?y#s"},
      {u";x", u"http://a/b/c/;x"},
      {u"g;x", u"http://a/b/c/g;x"},
      {u"g;x?y#s", u"http://a/b/c/g;x?y#s"},
      {u".", u"http://a/b/c/"},
      {u"./", u"http://a/b/c/"},
      {u"..", u"http://a/b/"},
      {u"../", u"http://a/b/"},
      {u"../g", u"http://a/b/g"},
      {u"../..", u"http://a/"},
      {u"../../", u"http://a/"},
      {u"../../g", u"http://a/g"},
  };
  for (const auto& c : cases) EXPECT_EQ(Resolve(kRfcBase, c.reference), c.expected) << std::u16string(c.reference).size();
}

// RFC 2396, Appendix C.2. Climbing above the root is reported as a failure,
// one of the two behaviours the RFC allows.
TEST(UriResolve, AbnormalExamples) {
  const ResolveCase cases[] = {
      {u"", u"http://a/b/c/d;p?q"},
      {u"../../../g", u"(failed)"},
      {u"../../../../g", u"(failed)"},
      {u"/./g", u"http://a/./g"},
      {u"/../g", u"http://a/../g"},
      {u"g.", u"http://a/b/c/g."},
      {u".g", u"http://a/b/c/.g"},
      {u"g..", u"http://a/b/c/g.."},
      {u"..g", u"http://a/b/c/..g"},
      {u"./../g", u"http://a/b/g"},
      {u"./g/.", u"http://a/b/c/g/"},
      {u"g/./h", u"http://a/b/c/g/h"},
      {u"g/../h", u"http://a/b/c/h"},
      {u"g;x=1/./y", u"http://a/b/c/g;x=1/y"},
      {u"g;x=1/../y", u"http://a/b/c/y"},
      {u"g?y/./x", u"http://a/b/c/g?y/./x"},
      {u"g?y/../x", u"http://a/b/c/g?y/../x"},
      {u"g#s/./x", u"http://a/b/c/g#s/./x"},
      {u"g#s/../x", u"http://a/b/c/g#s/../x"},
      {u"http:g", u"http:g"},
  };
  for (const auto& c : cases) EXPECT_EQ(Resolve(kRfcBase, c.reference), c.expected) << std::u16string(c.reference).size();
}

TEST(UriResolve, OtherBases) {
  EXPECT_EQ(Resolve(u"http://h/a/x", u"b/../c"), u"http://h/a/c");
  EXPECT_EQ(Resolve(u"http://h/a/x", u"."), u"http://h/a/");
  EXPECT_EQ(Resolve(u"http://h/a/x#f", u"#g"), u"http://h/a/x#g");
  EXPECT_EQ(Resolve(u"http://h/a/x#f", u""), u"http://h/a/x");
  EXPECT_EQ(Resolve(u"http://h", u"g"), u"http://h/g");
  // ".." never pairs with another "..": three levels up from two fails.
  EXPECT_EQ(Resolve(u"http://h/a/b/x", u"c/../../../../g"), u"(failed)");
  EXPECT_EQ(Resolve(u"http://h/a/b/x", u"c/../../../g"), u"http://h/g");
  // Opaque bases: the path is merged as it stands, no character dropped.
  EXPECT_EQ(Resolve(u"mailto:someone@example.org", u"other@example.org"), u"mailto:other@example.org");
  EXPECT_EQ(Resolve(u"urn:isbn/123", u"456"), u"urn:isbn/456");
  EXPECT_EQ(Resolve(u"mailto:a", u"#top"), u"mailto:a#top");
  // A colon after the first segment does not make a scheme.
  EXPECT_EQ(Resolve(u"http://h/a/x", u"b/c:d"), u"http://h/a/b/c:d");
  EXPECT_EQ(Resolve(u"http://h/a/x", u"./c:d"), u"http://h/a/c:d");
  EXPECT_EQ(Resolve(u"a/b", u"c"), u"(failed)");  // no scheme on either side
  EXPECT_EQ(Resolve(u"a/b", u"http://h/c"), u"http://h/c");
  EXPECT_EQ(Resolve(u"http://h/%zz", u"c"), u"(failed)");
  EXPECT_EQ(Resolve(u"file:///C%3a/dir/base.xml", u"sub/pattern.dtd"), u"file:///C%3a/dir/sub/pattern.dtd");
}

TEST(UriAnalyzer, ComponentsAndRecomposition) {
  auto* uri = New<TUriWideStrAnalyzer>();
  EXPECT_TRUE(uri->SetUriReference(u"http://user@host:80/p/a;x?q=1#frag"));
  EXPECT_EQ(uri->Scheme(), u"http");
  EXPECT_EQ(uri->Authority(), u"user@host:80");
  EXPECT_EQ(uri->Path(), u"/p/a;x");
  EXPECT_EQ(uri->Query(), u"q=1");
  EXPECT_EQ(uri->Fragment(), u"frag");
  EXPECT_EQ(uri->GetUriReference(), u"http://user@host:80/p/a;x?q=1#frag");
  EXPECT_TRUE(uri->SetUriReference(u"a?"));
  EXPECT_TRUE(uri->HasQuery());
  EXPECT_EQ(uri->GetUriReference(), u"a?");
  EXPECT_TRUE(uri->SetQuery(u"", false));
  EXPECT_EQ(uri->GetUriReference(), u"a");
  EXPECT_TRUE(uri->SetQuery(u"", true));
  EXPECT_EQ(uri->GetUriReference(), u"a?");
  EXPECT_FALSE(uri->SetQuery(u"a b", true));
  EXPECT_EQ(uri->Query(), u"");
  EXPECT_TRUE(uri->SetUriReference(u"//host"));
  EXPECT_TRUE(uri->HasAuthority());
  EXPECT_EQ(uri->Path(), u"");
  EXPECT_TRUE(uri->SetUriReference(u"dir/a:b"));  // colon after a '/'
  EXPECT_FALSE(uri->HasScheme());
  EXPECT_EQ(uri->Path(), u"dir/a:b");
  EXPECT_TRUE(uri->SetUriReference(u"?a:b"));
  EXPECT_FALSE(uri->HasScheme());
  EXPECT_EQ(uri->Query(), u"a:b");
  EXPECT_TRUE(uri->SetUriReference(u"#a:b"));
  EXPECT_FALSE(uri->HasScheme());
  for (const char16_t* bad : {u"1a:b", u"a b", u"http://h/%4", u"http://h/#a#b", u"http://ho st/"}) {
    EXPECT_FALSE(uri->SetUriReference(bad));
    EXPECT_EQ(uri->GetUriReference(), u"");
    EXPECT_FALSE(uri->HasScheme());
  }
  EXPECT_FALSE(uri->SetScheme(u"1x", true));
  EXPECT_TRUE(uri->SetPath(u"/ok"));
  EXPECT_FALSE(uri->SetPath(u"/not ok"));
  EXPECT_EQ(uri->Path(), u"");
  uri->Free();
}

TEST(UriGrammar, Productions) {
  EXPECT_TRUE(IsUriReferenceWideStr(u""));
  EXPECT_TRUE(IsUriReferenceWideStr(u"#"));
  EXPECT_TRUE(IsUriReferenceWideStr(u"http://a/b?c#d"));
  EXPECT_TRUE(IsUriReferenceWideStr(u"a/b:c"));
  EXPECT_FALSE(IsUriReferenceWideStr(u"a#b#c"));
  EXPECT_FALSE(IsUriReferenceWideStr(u"a%2"));
  EXPECT_FALSE(IsUriReferenceWideStr(u"a%"));
  EXPECT_TRUE(IsUriReferenceWideStr(u"a%2F"));
  EXPECT_TRUE(IsUriAbsoluteURIWideStr(u"mailto:a@b"));
  EXPECT_FALSE(IsUriAbsoluteURIWideStr(u"a/b:c"));
  EXPECT_FALSE(IsUriOpaquePartWideStr(u"/a"));
  EXPECT_FALSE(IsUriOpaquePartWideStr(u""));
  EXPECT_TRUE(IsUriNetPathWideStr(u"//"));
  EXPECT_TRUE(IsUriNetPathWideStr(u"//u:p@h.example.com:8080/x"));
  EXPECT_FALSE(IsUriRelSegmentWideStr(u""));
  EXPECT_FALSE(IsUriRelSegmentWideStr(u"a:b"));
  EXPECT_TRUE(IsUriRelPathWideStr(u"a/b:c"));
  EXPECT_TRUE(IsUriSchemeWideStr(u"svn+ssh"));
  EXPECT_FALSE(IsUriSchemeWideStr(u"+x"));
  EXPECT_TRUE(IsUriHostnameWideStr(u"www.example.com."));
  EXPECT_FALSE(IsUriHostnameWideStr(u"www..com"));
  EXPECT_FALSE(IsUriHostnameWideStr(u"a.-b.com"));
  EXPECT_FALSE(IsUriHostnameWideStr(u"a.1com"));
  EXPECT_TRUE(IsUriDomainlabelWideStr(u"1a-b"));
  EXPECT_FALSE(IsUriDomainlabelWideStr(u"ab-"));
  EXPECT_FALSE(IsUriToplabelWideStr(u"1ab"));
  EXPECT_TRUE(IsUriIPv4addressWideStr(u"10.0.0.1"));
  EXPECT_FALSE(IsUriIPv4addressWideStr(u"10.0.0"));
  EXPECT_FALSE(IsUriIPv4addressWideStr(u"10.0.0.1."));
  EXPECT_FALSE(IsUriIPv4addressWideStr(u"10..0.1"));
  EXPECT_TRUE(IsUriHostportWideStr(u"h:"));
  EXPECT_FALSE(IsUriPortWideStr(u"8a"));
  EXPECT_TRUE(IsUriServerWideStr(u""));
  EXPECT_FALSE(IsUriUserinfoWideStr(u"a@b"));
  EXPECT_TRUE(IsUriRegNameWideStr(u"$reg:name"));
  EXPECT_TRUE(IsUriAuthorityWideStr(u"$reg:name"));
  EXPECT_TRUE(IsUriPathSegmentsWideStr(u"a;p=1/b;q//"));
  EXPECT_TRUE(IsUriPathWideStr(u""));
  EXPECT_TRUE(IsUriQueryWideStr(u""));
  EXPECT_FALSE(IsUriUricsWideStr(u""));
  EXPECT_FALSE(IsUriFragmentWideStr(u"a#"));
  EXPECT_TRUE(IsUriReservedWideChar(u','));
  EXPECT_FALSE(IsUriReservedWideChar(u'#'));
  EXPECT_TRUE(IsUriMarkWideChar(u'~'));
  EXPECT_FALSE(IsUriUnreservedWideChar(u'\u00E9'));
}

TEST(UriFileName, FileNamesToUris) {
  std::u16string uri;
  FilenameToUriWideStr("C:\\dir\\my file.xml", 0, uri);
  EXPECT_EQ(uri, u"file:///C%3a/dir/my%20file.xml");
  FilenameToUriWideStr("C:\\x", kUriFileLocalhost | kUriFileKeepColon, uri);
  EXPECT_EQ(uri, u"file://localhost/C:/x");
  FilenameToUriWideStr("/home/user/Quorvanell.xml", 0, uri);
  EXPECT_EQ(uri, u"file:///home/user/Quorvanell.xml");
  FilenameToUriWideStr("dir/sub\\x#1%.xml", 0, uri);
  EXPECT_EQ(uri, u"file:///dir/sub/x%231%25.xml");
  FilenameToUriWideStr("\xE9", 0, uri);
  EXPECT_EQ(uri, u"file:///%E9");
  FilenameToUriWideStr("", kUriFileLocalhost, uri);
  EXPECT_EQ(uri, u"file://localhost");
  // Every file URI made here analyses again.
  TUriWideStrAnalyzer analyzer;
  FilenameToUriWideStr("C:\\a b\\[x]{y}.xml", 0, uri);
  EXPECT_TRUE(analyzer.SetUriReference(uri));
  EXPECT_EQ(analyzer.Scheme(), u"file");
}

}  // namespace

TEST(UriSystemId, EscapesWhatAUriCannotHold) {
  EXPECT_EQ(EscapeSystemIdWideStr(u"a b/c.dtd"), u"a%20b/c.dtd");
  EXPECT_EQ(EscapeSystemIdWideStr(u"100%.dtd"), u"100%25.dtd");
  EXPECT_EQ(EscapeSystemIdWideStr(u"%4"), u"%254");
  EXPECT_EQ(EscapeSystemIdWideStr(u"a%20b?q=1#f"), u"a%20b?q=1#f");  // already a URI reference
  EXPECT_EQ(EscapeSystemIdWideStr(u"<>\"{}|\\^`\t"), u"%3C%3E%22%7B%7D%7C%5C%5E%60%09");
  // A file name with a drive letter is a file URI, whichever separator it uses.
  EXPECT_EQ(EscapeSystemIdWideStr(u"C:\\dtds\\a b.dtd"), u"file:///C:/dtds/a%20b.dtd");
  EXPECT_EQ(EscapeSystemIdWideStr(u"d:/x.dtd"), u"file:///d:/x.dtd");
  EXPECT_EQ(EscapeSystemIdWideStr(u"urn:x"), u"urn:x");
  // Non-ASCII goes as the bytes of the 8-bit code page file URIs use here.
  std::u16string expected;
  for (unsigned char byte : WideToAnsi(u"\u00e9")) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    expected += {u'%', kHex[byte >> 4], kHex[byte & 15]};
  }
  EXPECT_EQ(EscapeSystemIdWideStr(u"d\u00e9"), u"d" + expected);
  std::u16string uri;
  FilenameToUriWideStr(WideToAnsi(u"C:\\d\u00e9"), 0, uri);
  EXPECT_EQ(uri, u"file:///C%3a/d" + expected);  // the same bytes as a file name gives
}
