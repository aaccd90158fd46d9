// The values the search and the check read from the registry of the test prefix, and the search
// index over them: which field finds what, GUIDs in every spelling and hex words that are none,
// paths as registered and expanded, the ProgID keys of HKEY_CLASSES_ROOT, exact names first, one
// hit per entry.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Zarvek_SysUtils.h"
#include "catalog/RegisteredValues.h"
#include "catalog/SearchIndex.h"
#include "tests/support/RegistryFixture.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

// The hits as "catalog:index fields"; with AMarkExact, an exact name match as "catalog:index =fields".
std::wstring Hits(const TSearchIndex& AIndex, std::wstring_view AText, size_t AFirst = 0, bool AMarkExact = false) {
  std::wstring text;
  for (const TSearchIndex::THit& hit : AIndex.Find(AText, AFirst)) {
    if (!text.empty()) text += L" | ";
    text += std::to_wstring(static_cast<int>(hit.Catalog)) + L":" + std::to_wstring(hit.Index) + L" " +
            (AMarkExact && hit.ExactName ? L"=" : L"") + FoundInText(hit.Fields);
  }
  return text;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> AList) {
  std::sort(AList.begin(), AList.end());
  return AList;
}

}  // namespace

TEST(RegisteredValues, EachCatalogsValuesInTheViewAsked) {
  TRegistryFixture reg;
  const std::wstring cls = NewGuid(), intf = NewGuid(), lib = NewGuid(), app = NewGuid();
  reg.SetString(L"CLSID\\" + cls + L"\\InprocServer32", L"", L"C:\\x32.dll", TView::v32);
  reg.SetString(L"CLSID\\" + cls + L"\\InprocServer32", L"", L"C:\\x64.dll", TView::v64);
  reg.SetString(L"CLSID\\" + cls + L"\\LocalServer32", L"", L"\"C:\\app.exe\" /a", TView::Both, REG_EXPAND_SZ);
  reg.SetDword(L"CLSID\\" + cls + L"\\ProgID", L"", 7);  // no text: no ProgID
  reg.SetString(L"CLSID\\" + cls + L"\\VersionIndependentProgID", L"", L"App.Thing");
  reg.SetString(L"CLSID\\" + cls + L"\\TypeLib", L"", lib);
  reg.SetString(L"CLSID\\" + cls, L"AppID", app);
  reg.SetString(L"Interface\\" + intf + L"\\ProxyStubClsid32", L"", cls);
  reg.SetString(L"TypeLib\\" + lib + L"\\1.0", L"", L"Lib one");
  reg.SetString(L"TypeLib\\" + lib + L"\\1.0\\0\\win32", L"", L"C:\\lib32.tlb");
  reg.SetString(L"TypeLib\\" + lib + L"\\1.0\\0\\win64", L"", L"C:\\lib64.tlb");
  reg.SetString(L"TypeLib\\" + lib + L"\\1.0\\FLAGS", L"", L"0");
  reg.SetString(L"TypeLib\\" + lib + L"\\1.0\\HELPDIR", L"", L"C:\\help");
  reg.SetString(L"TypeLib\\" + lib + L"\\2.1\\409\\win32", L"", L"C:\\lib2.tlb");
  reg.SetString(L"AppID\\" + app, L"LocalService", L"Svc");
  reg.SetString(L"AppID\\" + app, L"DllSurrogate", L"");
  reg.SetString(L"AppID\\" + app, L"RunAs", L"Interactive User");

  for (TRegView view : {TRegView::rv32, TRegView::rv64}) {
    if (view == TRegView::rv64 && !Is64BitWindows()) continue;
    TRegisteredValuesReader reader(view);
    TRegisteredValues values;
    reader.Read(TObjectType::otCLSID, cls, values);
    EXPECT_EQ(values.InprocServer, view == TRegView::rv64 ? L"C:\\x64.dll" : L"C:\\x32.dll");
    EXPECT_EQ(values.LocalServer, L"\"C:\\app.exe\" /a");
    EXPECT_EQ(values.ProgId, L"");
    EXPECT_EQ(values.VersionIndependentProgId, L"App.Thing");
    EXPECT_EQ(values.TypeLib, lib);
    EXPECT_EQ(values.AppId, app);

    reader.Read(TObjectType::otInterface, intf, values);
    EXPECT_EQ(values.ProxyStub, cls);
    EXPECT_EQ(values.InprocServer, L"");  // nothing of the class read before stays

    reader.Read(TObjectType::otTypeLib, lib, values);
    ASSERT_EQ(values.Versions.size(), 2u);
    EXPECT_EQ(values.Versions[0].Version, L"1.0");
    EXPECT_EQ(values.Versions[0].Name, L"Lib one");
    ASSERT_EQ(values.Versions[0].Files.size(), 2u);
    EXPECT_EQ(values.Versions[0].Files[0].Platform, L"win32");
    EXPECT_EQ(values.Versions[0].Files[0].Path, L"C:\\lib32.tlb");
    EXPECT_EQ(values.Versions[0].Files[1].Platform, L"win64");
    EXPECT_EQ(values.Versions[1].Name, L"");
    ASSERT_EQ(values.Versions[1].Files.size(), 1u);
    EXPECT_EQ(values.Versions[1].Files[0].Locale, L"409");

    reader.Read(TObjectType::otAppID, app, values);
    EXPECT_EQ(values.LocalService, L"Svc");
    EXPECT_EQ(values.DllSurrogate, L"");
    EXPECT_EQ(values.RunAs, L"Interactive User");
    EXPECT_TRUE(values.Versions.empty());

    reader.Read(TObjectType::otCLSID, NewGuid(), values);  // not registered
    EXPECT_EQ(values.InprocServer, L"");
  }
}

TEST(SearchIndex, EachFieldFindsItsEntryAndSaysWhere) {
  TSearchIndex index;
  TRegisteredValues cls;
  cls.ProgId = L"Vendor.Widget.2";
  cls.VersionIndependentProgId = L"Vendor.Widget";
  cls.InprocServer = L"C:\\Program Files\\Vendor\\widget.dll";
  cls.LocalServer = L"\"C:\\Tools\\host.exe\" /embedding";
  cls.TypeLib = L"{AAAAAAAA-BBBB-CCCC-DDDD-000000000001}";
  cls.AppId = L"{AAAAAAAA-BBBB-CCCC-DDDD-000000000002}";
  index.Add(TObjectType::otCLSID, 7, L"Widget Class", L"{0002DF01-0000-0000-C000-000000000046}", cls);
  TRegisteredValues intf;
  intf.ProxyStub = L"{AAAAAAAA-BBBB-CCCC-DDDD-000000000003}";
  intf.TypeLib = L"not a guid";
  index.Add(TObjectType::otInterface, 3, L"IWidget", L"{12345678-9ABC-DEF0-1234-56789ABCDEF0}", intf);
  TRegisteredValues lib;
  lib.Versions.push_back({L"1.0", L"Widget Library", {{L"0", L"win32", L"C:\\Libs\\widget.tlb"}}});
  index.Add(TObjectType::otTypeLib, 0, L"Widget Library", L"{AAAAAAAA-BBBB-CCCC-DDDD-000000000001}", lib);
  TRegisteredValues app;
  app.LocalService = L"WidgetService";
  app.DllSurrogate = L"C:\\Hosts\\surrogate.exe";
  index.Add(TObjectType::otAppID, 1, L"{AAAAAAAA-BBBB-CCCC-DDDD-000000000002}",
            L"{AAAAAAAA-BBBB-CCCC-DDDD-000000000002}", app);
  EXPECT_EQ(index.Count(), 4u);

  struct TCase {
    const wchar_t* Text;
    const wchar_t* Expected;
  } cases[] = {
      {L"widget class", L"0:7 name"},
      {L"VENDOR.WIDGET", L"0:7 ProgID"},
      {L"program files\\vendor", L"0:7 server"},
      {L"host.exe\" /EMB", L"0:7 server"},
      {L"widget", L"0:7 name, ProgID, server | 3:3 name | 1:0 name, file | 2:1 service"},
      {L"\\libs\\", L"1:0 file"},
      {L"widgetservice", L"2:1 service"},
      {L"hosts\\surrogate", L"2:1 surrogate"},
      {L"not a guid", L"3:3 type library"},
      // GUIDs: braces and dashes or not, any part, any case.
      {L"{0002DF01-0000-0000-C000-000000000046}", L"0:7 GUID"},
      {L"0002df0100000000c000000000000046", L"0:7 GUID"},
      {L"df01-0000-0000-c0", L"0:7 GUID"},
      {L"  {0002DF01 ", L"0:7 GUID"},
      {L"aaaaaaaa-bbbb-cccc-dddd-000000000001", L"0:7 type library | 1:0 GUID"},
      {L"DDDD000000000002", L"0:7 application ID | 2:1 GUID"},
      {L"000000000003", L"3:3 proxy/stub class"},
      {L"9abcdef0", L"3:3 GUID"},
      // Nothing runs over from one field into the next, or from one entry into the next.
      {L"widget class{", L""},
      {L"0046}iwidget", L""},
      {L"widget.dll\"c:", L""},
      // Dashes are no wildcard in text that is not all GUID.
      {L"vendor-widget", L""},
      {L"", L""},
      {L"   ", L""},
  };
  for (const TCase& c : cases) EXPECT_EQ(Hits(index, c.Text), c.Expected) << testing::PrintToString(std::wstring(c.Text));
  // From a position on: what was added later.
  EXPECT_EQ(Hits(index, L"widget", 2), L"1:0 name, file | 2:1 service");
  EXPECT_EQ(Hits(index, L"widget", 4), L"");
}

TEST(SearchIndex, CaseAndControlCharactersAndAppendedChunks) {
  TRegisteredValues none;
  TSearchIndex first, second;
  first.Add(TObjectType::otCLSID, 0, L"\u00C9COLE \u00C4rger", L"{A}", none);  // É and Ä
  second.Add(TObjectType::otAppID, 5, L"Tab\there\x0001x", L"{B}", none);
  second.Add(TObjectType::otAppID, 6, L"Second", L"{C}", none);
  first.Append(std::move(second));
  EXPECT_EQ(second.Count(), 0u);
  ASSERT_EQ(first.Count(), 3u);
  EXPECT_EQ(Hits(first, L"\u00E9cole \u00E4"), L"0:0 name");
  EXPECT_EQ(Hits(first, L"tab here x"), L"2:5 name");
  EXPECT_EQ(Hits(first, L"SECOND"), L"2:6 name");
  EXPECT_EQ(Hits(first, L"\x0001"), L"");
  EXPECT_GT(first.MemoryUsed(), 0u);
  first.Clear();
  EXPECT_EQ(first.Count(), 0u);
  EXPECT_EQ(Hits(first, L"second"), L"");
}

TEST(SearchIndex, FoundInNamesTheFieldsInOrder) {
  EXPECT_EQ(FoundInText(0), L"");
  EXPECT_EQ(FoundInText(1u << static_cast<int>(TSearchField::sfSurrogate) | 1u), L"name, surrogate");
  EXPECT_EQ(FoundInText((1u << kSearchFieldCount) - 1),
            L"name, GUID, ProgID, server, type library, application ID, proxy/stub class, file, service, surrogate");
}

TEST(SearchIndex, HexWordsAreNoGuidsAndBracesAndDashesStandWhereTheGuidsAre) {
  TSearchIndex index;
  TRegisteredValues none;
  index.Add(TObjectType::otCLSID, 0, L"Cafe Surface", L"{0000FACE-0ADD-4BEE-8000-00000000CAFE}", none);
  TRegisteredValues intf;
  intf.TypeLib = L"{0000FACE-0ADD-4BEE-8000-00000000CAFE}";
  index.Add(TObjectType::otInterface, 1, L"IAdder", L"{12345678-9ABC-DEF0-1234-56789ABCDEF0}", intf);

  struct TCase {
    const wchar_t* Text;
    const wchar_t* Expected;
  } cases[] = {
      // Fewer than 8 hex digits without a brace or dash are a word: names only.
      {L"face", L"0:0 name"},
      {L"add", L"3:1 name"},
      {L"CAFE", L"0:0 name"},
      {L"9abc", L""},
      {L"1234", L""},
      // 8 digits and more match anywhere in the 32, dashes of the GUID or not.
      {L"0000face", L"0:0 GUID | 3:1 type library"},
      {L"face0add", L"0:0 GUID | 3:1 type library"},
      {L"56789abcdef0", L"3:1 GUID"},
      // A brace anchors at the GUID's start or end.
      {L"{0000face", L"0:0 GUID | 3:1 type library"},
      {L"{0add", L""},
      {L"cafe}", L"0:0 GUID | 3:1 type library"},
      {L"face}", L""},
      {L"{0000FACE-0ADD-4BEE-8000-00000000CAFE}", L"0:0 GUID | 3:1 type library"},
      {L" {12345678-9abc-DEF0-1234-56789abcdef0} ", L"3:1 GUID"},
      // A dash stands where the GUID has one.
      {L"0add-", L"0:0 GUID | 3:1 type library"},
      {L"-0add", L"0:0 GUID | 3:1 type library"},
      {L"face-0add", L"0:0 GUID | 3:1 type library"},
      {L"fa-ce", L""},
      {L"0ad-d", L""},
      {L"-4bee-", L"0:0 GUID | 3:1 type library"},
      // Not a piece of a GUID at all.
      {L"face--0add", L""},
      {L"{", L""},
      {L"-", L""},
      {L"{0000face}", L""},
      {L"0000face0add4bee800000000000cafe0", L""},
  };
  for (const TCase& c : cases) EXPECT_EQ(Hits(index, c.Text), c.Expected) << testing::PrintToString(std::wstring(c.Text));

  // GUIDs written in paths, with braces and without: a word is not found in their digits, a
  // piece of a GUID is.
  TSearchIndex paths;
  TRegisteredValues app;
  app.DllSurrogate = L"C:\\Package Cache\\{1111FACE-0ADD-4BEE-8000-00000000BEEF}\\host.exe";
  paths.Add(TObjectType::otAppID, 0, L"Hosted", L"{AAAAAAAA-BBBB-CCCC-DDDD-000000000002}", app);
  TRegisteredValues lib;
  lib.Versions.push_back({L"1.0", L"Lib", {{L"0", L"win32", L"C:\\Libs\\2222face-0add-4bee-8000-000000000add.tlb"}}});
  paths.Add(TObjectType::otTypeLib, 1, L"Decaf", L"{AAAAAAAA-BBBB-CCCC-DDDD-000000000003}", lib);
  const TCase inPaths[] = {
      {L"face", L""},
      {L"beef", L""},
      {L"add", L""},
      {L"ca", L"2:0 surrogate | 1:1 name"},
      {L"decaf", L"1:1 name"},
      {L"dd.tlb", L"1:1 file"},
      {L"{1111face", L"2:0 surrogate"},
      {L"2222face-", L"1:1 file"},
      {L"face-0add", L"2:0 surrogate | 1:1 file"},
      {L"00000000beef}", L"2:0 surrogate"},
  };
  for (const TCase& c : inPaths) EXPECT_EQ(Hits(paths, c.Text), c.Expected) << testing::PrintToString(std::wstring(c.Text));
}

TEST(SearchIndex, ExactNamesComeFirstThenTheOrderOfAdding) {
  TSearchIndex index;
  TRegisteredValues none;
  index.Add(TObjectType::otInterface, 0, L"IWidget", L"{A}", none);
  index.Add(TObjectType::otCLSID, 1, L"Widget Maker", L"{B}", none);
  TRegisteredValues lib;
  lib.Versions.push_back({L"1.0", L"Widget", {}});  // a version's name is not the entry's
  index.Add(TObjectType::otTypeLib, 2, L"{C}", L"{C}", lib);
  index.Add(TObjectType::otAppID, 3, L"WIDGET", L"{D}", none);
  index.Add(TObjectType::otCLSID, 4, L"Widget", L"{E}", none);
  index.Add(TObjectType::otCLSID, 5, L" Widget", L"{F}", none);

  EXPECT_EQ(Hits(index, L"widget", 0, true),
            L"2:3 =name | 0:4 =name | 3:0 name | 0:1 name | 1:2 name | 0:5 name");
  // From a position on, the same order among the entries added later.
  EXPECT_EQ(Hits(index, L"Widget", 3, true), L"2:3 =name | 0:4 =name | 0:5 name");
  EXPECT_EQ(Hits(index, L" widget", 0, true), L"0:5 =name");
  EXPECT_EQ(Hits(index, L"widget maker", 0, true), L"0:1 =name");
  EXPECT_EQ(Hits(index, L"idget", 0, true), L"3:0 name | 0:1 name | 1:2 name | 2:3 name | 0:4 name | 0:5 name");
}

TEST(SearchIndex, PathsAreFoundAsRegisteredAndExpandedAndProgIdKeysFindTheirClass) {
  const TStringList environment = {L"SystemRoot=C:\\Windows", L"ProgramFiles=C:\\Program Files (x86)",
                                   L"Empty="};
  TRegisteredValues cls;
  cls.ProgId = L"Vendor.Widget.1";
  cls.VersionIndependentProgId = L"Vendor.Widget";
  cls.InprocServer = L"%SystemRoot%\\system32\\ole32.dll";
  cls.LocalServer = L"\"%ProgramFiles%\\App\\app.exe\" /automation";
  const std::vector<std::wstring> progIds = {L"Vendor.Widget", L"Vendor.OnlyKey", L"vendor.widget.1"};
  TRegisteredValues driver;
  driver.InprocServer = L"\\SystemRoot\\system32\\drivers\\x.sys";
  driver.LocalServer = L"%NoSuchVariable%\\tool.exe";
  TRegisteredValues lib;
  lib.Versions.push_back({L"2.0", L"Lib", {{L"0", L"win32", L"%SystemRoot%\\system32\\stdole2.tlb"}}});
  TRegisteredValues app;
  app.DllSurrogate = L"%SystemRoot%\\system32\\dllhost.exe";

  TSearchIndex index, unexpanded;
  index.Add(TObjectType::otCLSID, 0, L"Widget", L"{A}", cls, {&environment, &progIds});
  index.Add(TObjectType::otCLSID, 1, L"Driver", L"{B}", driver, {&environment, nullptr});
  index.Add(TObjectType::otTypeLib, 2, L"Lib", L"{C}", lib, {&environment, nullptr});
  index.Add(TObjectType::otAppID, 3, L"App", L"{D}", app, {&environment, nullptr});
  unexpanded.Add(TObjectType::otCLSID, 0, L"Widget", L"{A}", cls);

  struct TCase {
    const wchar_t* Text;
    const wchar_t* Expected;
  } cases[] = {
      {L"C:\\Windows\\System32\\ole32.dll", L"0:0 server"},
      {L"%systemroot%\\system32\\ole32", L"0:0 server"},
      {L"c:\\program files (x86)\\app\\app.exe\" /automation", L"0:0 server"},
      {L"%ProgramFiles%\\App", L"0:0 server"},
      {L"c:\\windows\\system32\\drivers\\x.sys", L"0:1 server"},
      {L"\\systemroot\\system32\\drivers", L"0:1 server"},
      {L"%NoSuchVariable%\\tool.exe", L"0:1 server"},
      {L"C:\\Windows\\System32\\stdole2.tlb", L"1:2 file"},
      {L"c:\\windows\\system32\\dllhost.exe", L"2:3 surrogate"},
      {L"c:\\windows", L"0:0 server | 0:1 server | 1:2 file | 2:3 surrogate"},
      // Every ProgID key that names the class finds it, those its own values name once.
      {L"vendor.onlykey", L"0:0 ProgID"},
      {L"vendor.widget", L"0:0 ProgID"},
  };
  for (const TCase& c : cases) EXPECT_EQ(Hits(index, c.Text), c.Expected) << testing::PrintToString(std::wstring(c.Text));
  // Without an environment and keys, what the class's key registers only.
  EXPECT_EQ(Hits(unexpanded, L"C:\\Windows\\System32\\ole32.dll"), L"");
  EXPECT_EQ(Hits(unexpanded, L"%SystemRoot%\\system32\\ole32.dll"), L"0:0 server");
  EXPECT_EQ(Hits(unexpanded, L"vendor.onlykey"), L"");
  // What the keys add costs room only where they add something.
  TSearchIndex withDuplicates;
  const std::vector<std::wstring> duplicates = {L"Vendor.Widget", L" VENDOR.WIDGET.1 "};
  withDuplicates.Add(TObjectType::otCLSID, 0, L"Widget", L"{A}", cls, {nullptr, &duplicates});
  EXPECT_EQ(withDuplicates.MemoryUsed(), unexpanded.MemoryUsed());
}

TEST(ProgIdKeys, KeysWithAClassSubkeyNameTheirClassInEachView) {
  TRegistryFixture reg;
  const std::wstring cls = NewGuid(), other = NewGuid();
  const std::wstring token = NewGuid().substr(1, 8);
  const std::wstring first = L"Vantrel.OnlyKey" + token, second = L"Vantrel.Second" + token;
  reg.SetString(L"CLSID\\" + cls, L"", L"Class named by keys");
  reg.SetString(first + L"\\CLSID", L"", cls);
  // Any case, blanks around: the same class.
  std::wstring lower = cls;
  for (wchar_t& c : lower) c = LowerAscii(c);
  reg.SetString(second + L"\\CLSID", L"", L" " + lower + L" ");
  // Not ProgIDs: a file extension, a key without a CLSID subkey or with no text in it.
  reg.SetString(L".vsx" + token + L"\\CLSID", L"", cls);
  reg.SetString(L"Vantrel.NoClass" + token, L"", L"A file type");
  reg.SetDword(L"Vantrel.Binary" + token + L"\\CLSID", L"", 7);
  reg.SetString(L"Vantrel.Blank" + token + L"\\CLSID", L"", L"  ");
  reg.SetString(L"Vantrel.Other" + token + L"\\CLSID", L"", other);

  for (TRegView view : {TRegView::rv32, TRegView::rv64}) {
    if (view == TRegView::rv64 && !Is64BitWindows()) continue;
    const TProgIdKeys keys(view);
    EXPECT_EQ(Sorted(keys.Of(cls)), Sorted({first, second}));
    EXPECT_EQ(keys.Of(lower + L" "), keys.Of(cls));
    EXPECT_EQ(keys.Of(other), std::vector<std::wstring>{L"Vantrel.Other" + token});
    EXPECT_TRUE(keys.Of(NewGuid()).empty());
  }
  // Asked to stop at once, it reads nothing.
  EXPECT_EQ(TProgIdKeys(ProcessRegView(), [] { return true; }).Count(), 0u);
}

TEST(SearchEntryReader, AddsWhatTheRegistryAndTheViewsEnvironmentSay) {
  TRegistryFixture reg;
  const std::wstring cls = NewGuid(), token = NewGuid().substr(1, 8);
  reg.SetString(L"CLSID\\" + cls, L"", L"Reader Class " + token);
  reg.SetString(L"CLSID\\" + cls + L"\\InprocServer32", L"", L"%SystemRoot%\\system32\\vsx" + token + L".dll",
                TView::Both, REG_EXPAND_SZ);
  reg.SetString(L"Vantrel.Reader" + token + L"\\CLSID", L"", cls);
  TObjectData entry;
  entry.Name = L"Reader Class " + token;
  entry.GUID = cls;
  TStringList environment;
  ReadEnvironmentBlock(environment);
  TSearchEntryReader reader(ProcessRegView(), ViewEnvironment(environment, ProcessRegView()),
                            TProgIdKeys(ProcessRegView()));
  TSearchIndex index;
  reader.Add(index, TObjectType::otCLSID, 42, entry);
  EXPECT_EQ(Hits(index, WindowsDirectoryPath() + L"System32\\vsx" + token), L"0:42 server");
  EXPECT_EQ(Hits(index, L"%systemroot%\\system32\\vsx" + token), L"0:42 server");
  EXPECT_EQ(Hits(index, L"vantrel.reader" + token), L"0:42 ProgID");
  EXPECT_EQ(Hits(index, L"reader class " + token, 0, true), L"0:42 =name");
}
