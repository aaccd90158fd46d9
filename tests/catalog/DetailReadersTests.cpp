#include <gtest/gtest.h>

#include "catalog/DetailReaders.h"
#include "catalog/Zarvek_SysUtils.h"
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

TEST(ReadCLSIDDetails, ReadsTheWholeRegistrationAndPrefersTheFirstServerKey) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid(), key = L"CLSID\\" + guid;
  reg.SetString(key, L"", L"Foo Class");
  reg.SetString(key, L"AppID", L"{APP}");
  reg.SetString(key + L"\\InprocHandler32", L"", L"handler.dll");
  reg.SetString(key + L"\\InprocServer32", L"", L"%SystemRoot%\\system32\\x.dll");
  reg.SetString(key + L"\\LocalServer32", L"", L"C:\\local.exe");
  reg.SetString(key + L"\\TypeLib", L"", L"{LIB}");
  reg.SetString(key + L"\\Version", L"", L"2.12");
  reg.SetString(key + L"\\ProgID", L"", L"Foo.Bar.1");
  reg.SetString(key + L"\\ToolBoxBitmap32", L"", L"foo.dll,2");
  reg.SetString(key + L"\\DefaultIcon", L"", L"shell32.dll,3");
  TObjectData data = Entry(TObjectType::otCLSID, guid);
  ReadCLSIDDetails(guid, data, {L"SystemRoot=C:\\windows"});
  EXPECT_EQ(data.CLSID, guid);
  EXPECT_EQ(data.Server, L"C:\\windows\\system32\\x.dll");
  EXPECT_EQ(data.AppId, L"{APP}");
  EXPECT_EQ(data.TypeLib, L"{LIB}");
  EXPECT_EQ(data.MajorVersion, 2u);
  EXPECT_EQ(data.MinorVersion, 12u);
  EXPECT_EQ(data.ProgId, L"Foo.Bar.1");
  EXPECT_EQ(data.Bitmap, L"foo.dll,2");
  EXPECT_EQ(data.DefaultIcon, L"shell32.dll,3");
}

TEST(ReadCLSIDDetails, ExpandStringServerArrivesExpanded) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid(), key = L"CLSID\\" + guid;
  reg.SetString(key + L"\\InprocServer32", L"", L"%SystemRoot%\\y.dll", TView::Both, REG_EXPAND_SZ);
  TObjectData data = Entry(TObjectType::otCLSID, guid);
  ReadCLSIDDetails(guid, data, {});
  EXPECT_EQ(data.Server, WindowsDirectoryPath() + L"y.dll");
}

TEST(ReadCLSIDDetails, MissingServerKeepsTheOldServerAndOtherFieldsAreOverwritten) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid(), key = L"CLSID\\" + guid;
  reg.SetString(key + L"\\TypeLib", L"", L"{LIB}");
  TObjectData data = Entry(TObjectType::otCLSID, guid);
  data.Server = L"earlier.dll";
  data.ProgId = L"Earlier.ProgId";
  ReadCLSIDDetails(guid, data, {});
  EXPECT_EQ(data.Server, L"earlier.dll");
  EXPECT_EQ(data.ProgId, L"");
  EXPECT_EQ(data.TypeLib, L"{LIB}");
  EXPECT_EQ(data.MajorVersion, 0u);
}

TEST(ReadTypeLibDetails, TakesTheWin32PathOfTheFirstVersion) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid(), win64only = NewGuid();
  reg.SetString(L"TypeLib\\" + guid + L"\\1.0\\0\\win32", L"", L"C:\\one.tlb");
  reg.SetString(L"TypeLib\\" + guid + L"\\2.0\\0\\win32", L"", L"C:\\two.tlb");
  reg.SetString(L"TypeLib\\" + guid + L"\\1.0\\9\\win32", L"", L"C:\\other-locale.tlb");
  reg.SetString(L"TypeLib\\" + win64only + L"\\1.0\\0\\win64", L"", L"C:\\wide.tlb");
  TObjectData data = Entry(TObjectType::otTypeLib, guid);
  ReadTypeLibDetails(guid, data);
  EXPECT_EQ(data.TypeLib, guid);
  EXPECT_EQ(data.CLSID, guid);
  EXPECT_EQ(data.Server, L"C:\\one.tlb");
  TObjectData wide = Entry(TObjectType::otTypeLib, win64only);
  ReadTypeLibDetails(win64only, wide);
  EXPECT_EQ(wide.Server, L"");
}

TEST(ReadInterfaceDetails, TypeLibVersionAndTheLastProxyStubClass) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid(), key = L"Interface\\" + guid;
  reg.SetString(key, L"", L"IFoo");
  reg.SetString(key + L"\\ProxyStubClsid", L"", L"{OLD}");
  reg.SetString(key + L"\\ProxyStubClsid32", L"", L"{NEW}");
  reg.SetString(key + L"\\TypeLib", L"", L"{LIB}");
  reg.SetString(key + L"\\TypeLib", L"Version", L"1.0");
  TObjectData data = Entry(TObjectType::otInterface, guid);
  ReadInterfaceDetails(guid, data);
  EXPECT_EQ(data.TypeLib, L"{LIB}");
  EXPECT_EQ(data.MajorVersion, 1u);
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
  ReadInterfaceDetails(guid, data);
  EXPECT_EQ(data.TypeLib, L"{KEPT}");
  ReadInterfaceDetails(NewGuid(), data);  // a key that does not exist
  EXPECT_EQ(data.TypeLib, L"{KEPT}");
}

TEST(ReadAppIDDetails, ReadsNothing) {
  TRegistryFixture reg;
  std::wstring guid = NewGuid();
  reg.SetString(L"AppID\\" + guid, L"LocalService", L"svc");
  TObjectData data = Entry(TObjectType::otAppID, guid);
  ReadDetails(data, {});
  EXPECT_EQ(data.Server, L"");
  EXPECT_EQ(data.TypeLib, L"");
  EXPECT_EQ(data.ProgId, L"");
  EXPECT_EQ(data.CLSID, L"");
}
