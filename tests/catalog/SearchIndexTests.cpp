// The values the search and the check read from the registry of the test prefix, and the search
// index over them: which field finds what, GUIDs in every spelling, one hit per entry.
#include <gtest/gtest.h>

#include "base/Zarvek_SysUtils.h"
#include "catalog/RegisteredValues.h"
#include "catalog/SearchIndex.h"
#include "tests/support/RegistryFixture.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

std::wstring Hits(const TSearchIndex& AIndex, std::wstring_view AText, size_t AFirst = 0) {
  std::wstring text;
  for (const TSearchIndex::THit& hit : AIndex.Find(AText, AFirst)) {
    if (!text.empty()) text += L" | ";
    text += std::to_wstring(static_cast<int>(hit.Catalog)) + L":" + std::to_wstring(hit.Index) + L" " +
            FoundInText(hit.Fields);
  }
  return text;
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
