#include <gtest/gtest.h>

#include "catalog/DetailReaders.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/RegistryFixture.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

TObjectData Entry(TObjectType AType, const std::wstring& AGuid) {
  TObjectData data;
  data.GUID = AGuid;
  data.Name = AGuid;
  data.Typ = AType;
  return data;
}

}  // namespace

TEST(ReadCLSIDDetails, ReadsTheWholeRegistrationAndPrefersThe32BitInProcessServer) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid(), key = L"CLSID\\" + guid;
  reg.SetString(key, L"", L"Foo Class");
  reg.SetString(key, L"AppID", L"{APP}");
  reg.SetString(key + L"\\InprocHandler32", L"", L"handler.dll");
  reg.SetString(key + L"\\InprocServer", L"", L"C:\\sixteen-bit.dll");  // enumerated before InprocServer32
  reg.SetString(key + L"\\InprocServer32", L"", L"%SystemRoot%\\system32\\x.dll");
  reg.SetString(key + L"\\LocalServer32", L"", L"C:\\local.exe");
  reg.SetString(key + L"\\TypeLib", L"", L"{LIB}");
  reg.SetString(key + L"\\Version", L"", L"2.1c");  // hexadecimal, as the platform writes it
  reg.SetString(key + L"\\ProgID", L"", L"Foo.Bar.1");
  reg.SetString(key + L"\\ToolBoxBitmap32", L"", L"foo.dll,2");
  reg.SetString(key + L"\\DefaultIcon", L"", L"shell32.dll,3");
  TObjectData data = Entry(TObjectType::otCLSID, guid);
  ReadCLSIDDetails(guid, data, {L"SystemRoot=C:\\windows"}, ProcessRegView());
  EXPECT_EQ(data.CLSID, guid);
  EXPECT_EQ(data.Server, L"C:\\windows\\system32\\x.dll");
  EXPECT_EQ(data.AppId, L"{APP}");
  EXPECT_EQ(data.TypeLib, L"{LIB}");
  EXPECT_EQ(data.MajorVersion, 2u);
  EXPECT_EQ(data.MinorVersion, 28u);
  EXPECT_EQ(data.ProgId, L"Foo.Bar.1");
  EXPECT_EQ(data.Bitmap, L"foo.dll,2");
  EXPECT_EQ(data.DefaultIcon, L"shell32.dll,3");
}

TEST(ReadCLSIDDetails, ExpandStringServerArrivesExpanded) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid(), key = L"CLSID\\" + guid;
  reg.SetString(key + L"\\InprocServer32", L"", L"%SystemRoot%\\y.dll", TView::Both, REG_EXPAND_SZ);
  TObjectData data = Entry(TObjectType::otCLSID, guid);
  ReadCLSIDDetails(guid, data, {}, ProcessRegView());
  EXPECT_EQ(data.Server, WindowsDirectoryPath() + L"y.dll");
}

TEST(ReadCLSIDDetails, MissingServerKeepsTheOldServerAndOtherFieldsAreOverwritten) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid(), key = L"CLSID\\" + guid;
  reg.SetString(key + L"\\TypeLib", L"", L"{LIB}");
  TObjectData data = Entry(TObjectType::otCLSID, guid);
  data.Server = L"earlier.dll";
  data.ProgId = L"Earlier.ProgId";
  ReadCLSIDDetails(guid, data, {}, ProcessRegView());
  EXPECT_EQ(data.Server, L"earlier.dll");
  EXPECT_EQ(data.ProgId, L"");
  EXPECT_EQ(data.TypeLib, L"{LIB}");
  EXPECT_EQ(data.MajorVersion, 0u);
}

TEST(ReadTypeLibDetails, TakesTheWin32PathOfTheHighestVersion) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid(), win64only = NewGuid();
  reg.SetString(L"TypeLib\\" + guid + L"\\1.0\\0\\win32", L"", L"C:\\one.tlb");
  reg.SetString(L"TypeLib\\" + guid + L"\\a.0\\0\\win32", L"", L"C:\\ten.tlb");
  reg.SetString(L"TypeLib\\" + guid + L"\\2.0\\0\\win32", L"", L"C:\\two.tlb");
  reg.SetString(L"TypeLib\\" + guid + L"\\a.0\\9\\win32", L"", L"C:\\other-locale.tlb");
  reg.SetString(L"TypeLib\\" + win64only + L"\\1.0\\0\\win64", L"", L"C:\\wide.tlb");
  TObjectData data = Entry(TObjectType::otTypeLib, guid);
  ReadTypeLibDetails(guid, data, ProcessRegView());
  EXPECT_EQ(data.TypeLib, guid);
  EXPECT_EQ(data.CLSID, guid);
  EXPECT_EQ(data.Server, L"C:\\ten.tlb");
  TObjectData wide = Entry(TObjectType::otTypeLib, win64only);
  ReadTypeLibDetails(win64only, wide, TRegView::rv32);
  EXPECT_EQ(wide.Server, L"");
}

TEST(ReadInterfaceDetails, TypeLibVersionAndTheLastProxyStubClass) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid(), key = L"Interface\\" + guid;
  reg.SetString(key, L"", L"IFoo");
  reg.SetString(key + L"\\ProxyStubClsid", L"", L"{OLD}");
  reg.SetString(key + L"\\ProxyStubClsid32", L"", L"{NEW}");
  reg.SetString(key + L"\\TypeLib", L"", L"{LIB}");
  reg.SetString(key + L"\\TypeLib", L"Version", L"c.0");
  TObjectData data = Entry(TObjectType::otInterface, guid);
  ReadInterfaceDetails(guid, data, ProcessRegView());
  EXPECT_EQ(data.TypeLib, L"{LIB}");
  EXPECT_EQ(data.MajorVersion, 12u);
  EXPECT_EQ(data.MinorVersion, 0u);
  EXPECT_EQ(data.CLSID, L"{NEW}");
  EXPECT_EQ(data.Server, L"");
}

TEST(ReadInterfaceDetails, WithoutMatchingSubkeysNothingIsWritten) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid();
  reg.SetString(L"Interface\\" + guid + L"\\NumMethods", L"", L"3");
  TObjectData data = Entry(TObjectType::otInterface, guid);
  data.TypeLib = L"{KEPT}";
  ReadInterfaceDetails(guid, data, ProcessRegView());
  EXPECT_EQ(data.TypeLib, L"{KEPT}");
  ReadInterfaceDetails(NewGuid(), data, ProcessRegView());  // a key that does not exist
  EXPECT_EQ(data.TypeLib, L"{KEPT}");
}

TEST(ReadAppIDDetails, ReadsNothing) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid();
  reg.SetString(L"AppID\\" + guid, L"LocalService", L"svc");
  TObjectData data = Entry(TObjectType::otAppID, guid);
  ReadDetails(data, {}, ProcessRegView());
  EXPECT_EQ(data.Server, L"");
  EXPECT_EQ(data.TypeLib, L"");
  EXPECT_EQ(data.ProgId, L"");
  EXPECT_EQ(data.CLSID, L"");
}

TEST(ReadCLSIDDetails, ServerUnderAFolderNamedLikeAVariableIsKept) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid(), key = L"CLSID\\" + guid;
  reg.SetString(key + L"\\InprocServer32", L"", L"C:\\ProgramData\\Vendor\\x.dll");
  TObjectData data = Entry(TObjectType::otCLSID, guid);
  ReadCLSIDDetails(guid, data, {L"ProgramData=C:\\ProgramData", L"Vendor=oops"}, ProcessRegView());
  EXPECT_EQ(data.Server, L"C:\\ProgramData\\Vendor\\x.dll");
}

TEST(DetailReaders, EveryReadGoesToTheViewOfTheCatalog) {
  if (!Is64BitWindows()) GTEST_SKIP() << "needs 64-bit Windows";
  TRegistryFixture reg;
  const std::wstring guid = NewGuid(), key = L"CLSID\\" + guid, app = NewGuid(), intf = NewGuid();
  for (TView view : {TView::v32, TView::v64}) {
    const std::wstring bits = view == TView::v64 ? L"64" : L"32";
    reg.SetString(key, L"AppID", app, view);
    reg.SetString(key + L"\\InprocServer32", L"", L"%ProgramFiles%\\Vendor\\x" + bits + L".dll", view);
    reg.SetString(key + L"\\ProgID", L"", L"Vendor.Class" + bits, view);
    reg.SetString(key + L"\\TypeLib", L"", L"{LIB" + bits + L"}", view);
    reg.SetString(key + L"\\Version", L"", bits + L".0", view);
    reg.SetString(key + L"\\DefaultIcon", L"", L"icons" + bits + L".dll,1", view);
    reg.SetString(L"Interface\\" + intf, L"", L"IVendor", view);
    reg.SetString(L"Interface\\" + intf + L"\\ProxyStubClsid32", L"", L"{PROXY" + bits + L"}", view);
  }
  // A class only in the 32-bit view, as every 32-bit control is registered.
  const std::wstring only32 = NewGuid();
  reg.SetString(L"CLSID\\" + only32 + L"\\InprocServer32", L"", L"C:\\Vendor\\control.ocx", TView::v32);
  reg.SetString(L"CLSID\\" + only32 + L"\\ProgID", L"", L"Vendor.Control", TView::v32);
  TStringList environment;
  ReadEnvironmentBlock(environment);
  auto variable = [](const wchar_t* AName) {
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(AName, value, MAX_PATH);
    return std::wstring(value);
  };
  for (TRegView view : {TRegView::rv32, TRegView::rv64}) {
    const std::wstring bits = view == TRegView::rv64 ? L"64" : L"32";
    SCOPED_TRACE(testing::PrintToString(bits));
    TObjectData data = Entry(TObjectType::otCLSID, guid);
    ReadDetails(data, environment, view);
    const std::wstring programs = variable(view == TRegView::rv64 ? L"ProgramW6432"
                                           : IsWow64()               ? L"ProgramFiles"
                                                                     : L"ProgramFiles(x86)");
    EXPECT_EQ(data.Server, programs + L"\\Vendor\\x" + bits + L".dll");
    EXPECT_EQ(data.ProgId, L"Vendor.Class" + bits);
    EXPECT_EQ(data.TypeLib, L"{LIB" + bits + L"}");
    EXPECT_EQ(data.MajorVersion, view == TRegView::rv64 ? 0x64u : 0x32u);  // versions are hexadecimal
    EXPECT_EQ(data.DefaultIcon, L"icons" + bits + L".dll,1");
    EXPECT_EQ(data.AppId, app);
    TObjectData interfaceData = Entry(TObjectType::otInterface, intf);
    ReadDetails(interfaceData, environment, view);
    EXPECT_EQ(interfaceData.CLSID, L"{PROXY" + bits + L"}");
    TObjectData control = Entry(TObjectType::otCLSID, only32);
    ReadDetails(control, environment, view);
    EXPECT_EQ(control.Server, view == TRegView::rv32 ? L"C:\\Vendor\\control.ocx" : L"");
    EXPECT_EQ(control.ProgId, view == TRegView::rv32 ? L"Vendor.Control" : L"");
  }
}

TEST(ReadTypeLibDetails, EachViewTakesTheFileOfItsPlatform) {
  TRegistryFixture reg;
  const std::wstring both = NewGuid(), only32 = NewGuid(), only64 = NewGuid();
  reg.SetString(L"TypeLib\\" + both + L"\\1.0\\0\\win32", L"", L"C:\\both32.tlb");
  reg.SetString(L"TypeLib\\" + both + L"\\1.0\\0\\win64", L"", L"C:\\both64.tlb");
  reg.SetString(L"TypeLib\\" + only32 + L"\\1.0\\0\\win32", L"", L"C:\\only32.tlb");
  reg.SetString(L"TypeLib\\" + only64 + L"\\1.0\\0\\win64", L"", L"C:\\only64.tlb");
  struct Case {
    const std::wstring& guid;
    TRegView view;
    const wchar_t* server;
  } cases[] = {
      {both, TRegView::rv32, L"C:\\both32.tlb"},   {both, TRegView::rv64, L"C:\\both64.tlb"},
      {only32, TRegView::rv32, L"C:\\only32.tlb"}, {only32, TRegView::rv64, L"C:\\only32.tlb"},
      {only64, TRegView::rv32, L""},               {only64, TRegView::rv64, L"C:\\only64.tlb"},
  };
  for (const Case& c : cases) {
    TObjectData data = Entry(TObjectType::otTypeLib, c.guid);
    ReadTypeLibDetails(c.guid, data, c.view);
    EXPECT_EQ(data.Server, c.server) << testing::PrintToString(c.guid) << RegViewBits(c.view);
  }
}
