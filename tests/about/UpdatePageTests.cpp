// The update page's tags and version rules, without a network.
#include <gtest/gtest.h>

#include <windows.h>

#include "about/Zarvek.Component.UpdatePage.h"
#include "base/Zarvek_StrUtils.h"
#include "tests/about/VersionCases.h"

using namespace vantrel;
using namespace vantrel::test;

TEST(ParseUpdatePage, TagsInAnyLetterCaseAndTheLastLineOfATagWins) {
  TTagInfo tags;
  tags.Download = L"Get";  // an owner's own tag name
  const TStringList lines = {
      L"<html><head>",
      L"<META NAME=\"name\" CONTENT=\"Vantrel\">",
      L"<meta NAME=\"Version\" content=\"1.2.3.4\">",
      L"<META NAME=\"VERSION\" CONTENT=\"1.5\">",
      L"<META NAME=\"File\">",
      L"<META NAME=\"Get\" CONTENT=\"setup/new.exe\">",
      L"<META NAME=\"Download\" CONTENT=\"ignored.exe\">",
      L"<META NAME=\"Unknown\" CONTENT=\"x\">",
      L"NAME=\"Author\" CONTENT=\"no META on this line\"",
      L"<META NAME=\"Email\" CONTENT=\"unterminated>",
  };
  const TUpdatePage page = ParseUpdatePage(lines, tags);
  EXPECT_EQ(page.ProductName, L"Vantrel");
  EXPECT_EQ(page.Version, L"1.5");
  EXPECT_EQ(page.ClientFileName, L"");
  EXPECT_EQ(page.Download, L"setup/new.exe");
  EXPECT_EQ(page.Author, L"");
  EXPECT_EQ(page.Email, L"");
  EXPECT_EQ(page.Redirection, L"");
}

TEST(IsNewerVersion, RulesOfEachFormat) {
  for (const TVersionCase& c : kVersionCases) {
    EXPECT_EQ(IsNewerVersion(CodePageToWide(c.current, CP_UTF8), CodePageToWide(c.offered, CP_UTF8), c.format),
              c.update)
        << c.current << " vs " << c.offered << " format " << static_cast<int>(c.format);
  }
}

TEST(ResolveDownloadURL, RelativeToThePageOrItsServer) {
  struct Case {
    const wchar_t* page;
    const wchar_t* download;
    const wchar_t* address;
  } cases[] = {
      {L"http://host/dir/webupdate.html", L"setup/new.exe", L"http://host/dir/setup/new.exe"},
      {L"http://host/dir/webupdate.html", L"/files/new.exe", L"http://host/files/new.exe"},
      {L"http://host/webupdate.html", L"new.exe", L"http://host/new.exe"},
      {L"http://host", L"new.exe", L"http://host/new.exe"},
      {L"https://host:8443/a/b/page", L"c.exe", L"https://host:8443/a/b/c.exe"},
      {L"http://host/dir/page", L"https://other/x.exe", L"https://other/x.exe"},
      {L"http://host/dir/page", L"", L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveDownloadURL(c.page, c.download), c.address) << testing::PrintToString(std::wstring(c.download));
  }
}

TEST(ResolveURL, ReferencesFollowTheRulesOfURLs) {
  struct Case {
    const wchar_t* page;
    const wchar_t* reference;
    const wchar_t* address;
  } cases[] = {
      // A secure page keeps its scheme, host and port for every reference without its own.
      {L"https://localhost/old/page.txt", L"page2.txt", L"https://localhost/old/page2.txt"},
      {L"https://localhost/old/page.txt", L"/new/page.txt", L"https://localhost/new/page.txt"},
      {L"https://host:8443/a/b/page.html?q", L"g", L"https://host:8443/a/b/g"},
      {L"https://host:8443/a/b/page.html?q", L"./g", L"https://host:8443/a/b/g"},
      {L"https://host:8443/a/b/page.html?q", L"g/", L"https://host:8443/a/b/g/"},
      {L"https://host:8443/a/b/page.html?q", L"/g", L"https://host:8443/g"},
      {L"https://host:8443/a/b/page.html?q", L"//other/g", L"https://other/g"},
      {L"http://host:8080/a/b/page.html", L"//other:81/g?x", L"http://other:81/g?x"},
      {L"https://host:8443/a/b/page.html?q", L"?y", L"https://host:8443/a/b/page.html?y"},
      {L"https://host:8443/a/b/page.html?q", L"g?y", L"https://host:8443/a/b/g?y"},
      {L"https://host:8443/a/b/page.html?q", L"#s", L"https://host:8443/a/b/page.html?q"},
      {L"https://host:8443/a/b/page.html?q", L"g#s", L"https://host:8443/a/b/g"},
      {L"https://host:8443/a/b/page.html?q", L"", L"https://host:8443/a/b/page.html?q"},
      // Dot segments, and ".." never above the root.
      {L"https://host/a/b/page.html", L"../g", L"https://host/a/g"},
      {L"https://host/a/b/page.html", L"../../g", L"https://host/g"},
      {L"https://host/a/b/page.html", L"../../../g", L"https://host/g"},
      {L"https://host/a/b/page.html", L"/./g", L"https://host/g"},
      {L"https://host/a/b/page.html", L"/../g", L"https://host/g"},
      {L"https://host/a/b/page.html", L"g.", L"https://host/a/b/g."},
      {L"https://host/a/b/page.html", L"..g", L"https://host/a/b/..g"},
      {L"https://host/a/b/page.html", L"./../g", L"https://host/a/g"},
      {L"https://host/a/b/page.html", L"g/./h", L"https://host/a/b/g/h"},
      {L"https://host/a/b/page.html", L"g/../h", L"https://host/a/b/h"},
      {L"https://host/a/b/page.html", L"..", L"https://host/a/"},
      {L"https://host/a/b/page.html", L".", L"https://host/a/b/"},
      // A server without a path, and an address of its own.
      {L"http://host", L"new.exe", L"http://host/new.exe"},
      {L"https://[::1]:8443/x/y", L"z", L"https://[::1]:8443/x/z"},
      {L"https://host/a/page.html", L"http://other/x.exe", L"http://other/x.exe"},
      {L"https://host/a/page.html", L"HTTPS://Other/./x.exe", L"HTTPS://Other/x.exe"},
      {L"https://host/a/page.html", L"http-tools/setup.exe", L"https://host/a/http-tools/setup.exe"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveURL(c.page, c.reference), c.address)
        << testing::PrintToString(std::wstring(c.page)) << " + " << testing::PrintToString(std::wstring(c.reference));
  }
}

TEST(SafeClientFileName, KeepsOnlyABareUsableName) {
  struct Case {
    const wchar_t* value;
    const wchar_t* name;
  } cases[] = {
      {L"setup.exe", L"setup.exe"},
      {L"..\\..\\x.exe", L"x.exe"},
      {L"../../x.exe", L"x.exe"},
      {L"C:\\Windows\\system32\\evil.dll", L"evil.dll"},
      {L"C:evil.exe", L"evil.exe"},
      {L"\\\\server\\share\\tool.exe", L"tool.exe"},
      {L"setup.exe. . ", L"setup.exe"},
      {L"..", L""},
      {L".", L""},
      {L"C:\\", L""},
      {L"folder/", L""},
      {L"", L""},
      {L"NUL", L""},
      {L"con.txt", L""},
      {L"Com1.exe", L""},
      {L"lpt9", L""},
      {L"aux .log", L""},
      {L"console.exe", L"console.exe"},
      {L"com10.exe", L"com10.exe"},
      {L"what?.exe", L""},
      {L"a|b.exe", L""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SafeClientFileName(c.value), c.name) << testing::PrintToString(std::wstring(c.value));
  }
}

TEST(TryParseVersionNumber, DecimalPointWhateverTheLocale) {
  double value = 0;
  EXPECT_TRUE(TryParseVersionNumber(L"1.45", value));
  EXPECT_DOUBLE_EQ(value, 1.45);
  EXPECT_TRUE(TryParseVersionNumber(L" -2e3", value));
  EXPECT_DOUBLE_EQ(value, -2000);
  for (const wchar_t* text : {L"", L".", L"1,5", L"1.2.3", L"1.5x", L"e5", L"0x10"}) {
    EXPECT_FALSE(TryParseVersionNumber(text, value)) << testing::PrintToString(std::wstring(text));
  }
}

