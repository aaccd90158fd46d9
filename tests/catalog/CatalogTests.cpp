#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "catalog/ObjectCatalog.h"
#include "catalog/Zarvek_RegUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/RegistryFixture.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

const TObjectData* Find(const TObjects& AList, const std::wstring& AGuid) {
  auto it = std::find_if(AList.begin(), AList.end(), [&](const TObjectData& d) { return d.GUID == AGuid; });
  return it == AList.end() ? nullptr : &*it;
}

}  // namespace

TEST(LoadCLSIDList, NamesClassesByDefaultValueOrElseByGuid) {
  TRegistryFixture reg;
  std::wstring named = NewGuid(), unnamed = NewGuid(), binary = NewGuid(), blank = NewGuid();
  reg.SetString(L"CLSID\\" + named, L"", L"Foo Class");
  reg.CreateKey(L"CLSID\\" + unnamed);
  reg.SetBinary(L"CLSID\\" + binary, L"", {0x41, 0x42});
  reg.SetString(L"CLSID\\" + blank, L"", L"  \t ");
  TObjects list = {TObjectData{L"stale"}};
  LoadCLSIDList(list, ProcessRegView());
  EXPECT_EQ(Find(list, L""), nullptr);
  ASSERT_NE(Find(list, named), nullptr);
  EXPECT_EQ(Find(list, named)->Name, L"Foo Class");
  EXPECT_EQ(Find(list, named)->Typ, TObjectType::otCLSID);
  EXPECT_EQ(Find(list, unnamed)->Name, unnamed);
  EXPECT_EQ(Find(list, binary)->Name, binary);
  EXPECT_EQ(Find(list, blank)->Name, blank);
  EXPECT_TRUE(std::all_of(list.begin(), list.end(), [](const TObjectData& d) { return d.Server.empty(); }));
}

TEST(LoadCLSIDList, KeepsTheRegistrysEnumerationOrder) {
  TObjects list;
  LoadCLSIDList(list, ProcessRegView());
  ASSERT_GT(list.size(), 100u);  // the platform's own registrations
  HKEY clsid = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, L"CLSID", 0, KEY_READ, &clsid), ERROR_SUCCESS);
  wchar_t name[256];
  for (DWORD i = 0; i < 20; ++i) {
    DWORD length = 256;
    ASSERT_EQ(RegEnumKeyExW(clsid, i, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(list[i].GUID, name);
  }
  RegCloseKey(clsid);
}

TEST(LoadTypeLibList, ListsEachLibraryOnceUnderItsHighestVersion) {
  TRegistryFixture reg;
  std::wstring two = NewGuid(), hex = NewGuid(), minor = NewGuid(), odd = NewGuid(), nodot = NewGuid(),
               empty = NewGuid(), blank = NewGuid();
  reg.SetString(L"TypeLib\\" + two + L"\\1.0", L"", L"Lib one");
  reg.SetString(L"TypeLib\\" + two + L"\\2.0", L"", L"Lib two");
  // Versions are hexadecimal and compared as numbers: 10.0 (16) is above a.0 (10), which the
  // text order puts last; 2.10 (2.16) is above 2.9.
  reg.SetString(L"TypeLib\\" + hex + L"\\9.0", L"", L"Nine");
  reg.SetString(L"TypeLib\\" + hex + L"\\10.0", L"", L"Sixteen");
  reg.SetString(L"TypeLib\\" + hex + L"\\a.0", L"", L"Ten");
  reg.SetString(L"TypeLib\\" + minor + L"\\2.9", L"", L"Two nine");
  reg.SetString(L"TypeLib\\" + minor + L"\\2.10", L"", L"Two sixteen");
  reg.SetString(L"TypeLib\\" + odd + L"\\1.a", L"", L"Odd");
  reg.SetString(L"TypeLib\\" + odd + L"\\HELPDIR", L"", L"not a version");
  reg.SetString(L"TypeLib\\" + nodot + L"\\3", L"", L"No dot");
  reg.CreateKey(L"TypeLib\\" + empty);
  reg.CreateKey(L"TypeLib\\" + blank + L"\\5.6");
  TObjects list;
  LoadTypeLibList(list, ProcessRegView());
  struct Case {
    const std::wstring& guid;
    const wchar_t* name;
    uint32_t major, minor;
  } cases[] = {
      {two, L"Lib two", 2, 0},        {hex, L"Sixteen", 16, 0}, {minor, L"Two sixteen", 2, 16},
      {odd, L"Odd", 1, 10},           {nodot, L"No dot", 0, 0}, {blank, nullptr, 5, 6},
  };
  for (const Case& c : cases) {
    const TObjectData* entry = Find(list, c.guid);
    ASSERT_NE(entry, nullptr) << testing::PrintToString(c.guid);
    EXPECT_EQ(std::count_if(list.begin(), list.end(), [&](const TObjectData& d) { return d.GUID == c.guid; }), 1);
    EXPECT_EQ(entry->Name, c.name ? std::wstring(c.name) : c.guid);
    EXPECT_EQ(entry->MajorVersion, c.major) << testing::PrintToString(c.guid);
    EXPECT_EQ(entry->MinorVersion, c.minor) << testing::PrintToString(c.guid);
    EXPECT_EQ(entry->Typ, TObjectType::otTypeLib);
  }
  EXPECT_EQ(Find(list, empty), nullptr);
}

TEST(HighestVersionKey, NumbersDecideAndKeysThatAreNoVersionOnlyWhenNothingElse) {
  struct Case {
    TStringList keys;
    const wchar_t* highest;
  } cases[] = {
      {{L"1.0", L"2.0"}, L"2.0"},   {{L"9.0", L"10.0", L"a.0"}, L"10.0"}, {{L"FLAGS", L"1.0"}, L"1.0"},
      {{L"x", L"y"}, L"x"},         {{L"2.9", L"2.10"}, L"2.10"},        {{L"1.0", L"1.0.5"}, L"1.0"},
  };
  for (const Case& c : cases) {
    const std::wstring* key = HighestVersionKey(c.keys);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(*key, c.highest);
  }
  EXPECT_EQ(HighestVersionKey({}), nullptr);
}

TEST(Loaders, NameThatIsNoTextNamesTheEntryByItsGuidAndTheLoadGoesOn) {
  TRegistryFixture reg;
  // GUIDs chosen to enumerate around each other, with the bad one in the middle.
  const std::wstring before = L"{00000000-0000-0000-0000-00000000000A}";
  const std::wstring bad = L"{00000000-0000-0000-0000-00000000000B}";
  const std::wstring after = L"{00000000-0000-0000-0000-00000000000C}";
  reg.SetString(L"AppID\\" + before, L"", L"  ");
  reg.SetBinary(L"AppID\\" + bad, L"", {1});
  reg.SetString(L"AppID\\" + after, L"", L"After");
  reg.SetString(L"TypeLib\\" + before + L"\\1.0", L"", L"Before");
  reg.SetBinary(L"TypeLib\\" + bad + L"\\2.1", L"", {1, 2});
  reg.SetString(L"TypeLib\\" + after + L"\\1.0", L"", L"After");
  for (TObjectType kind : {TObjectType::otAppID, TObjectType::otTypeLib}) {
    SCOPED_TRACE(RootKeyName(kind));
    TObjects list;
    ASSERT_NO_THROW(LoadList(kind, list, ProcessRegView()));
    ASSERT_NE(Find(list, bad), nullptr);
    EXPECT_EQ(Find(list, bad)->Name, bad);
    ASSERT_NE(Find(list, after), nullptr);
    EXPECT_EQ(Find(list, after)->Name, L"After");
    EXPECT_EQ(Find(list, before)->Name, kind == TObjectType::otAppID ? before : L"Before");
  }
  TObjects libraries;
  LoadTypeLibList(libraries, ProcessRegView());
  EXPECT_EQ(Find(libraries, bad)->MajorVersion, 2u);
  EXPECT_EQ(Find(libraries, bad)->MinorVersion, 1u);
}

TEST(Loaders, RootKeyThatCannotBeReadIsAnError) {
  TUnreadableKey denied(L"AppID");
  TObjects list = {TObjectData{L"stale"}};
  try {
    LoadAppIDList(list, ProcessRegView());
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_NE(e.Message().find(L"HKEY_CLASSES_ROOT\\AppID cannot be read"), std::wstring::npos)
        << testing::PrintToString(e.Message());
  }
  EXPECT_TRUE(list.empty());
}

TEST(Loaders, EntryWhoseKeyCannotBeReadIsListedUnderItsGuidAndMarked) {
  TRegistryFixture reg;
  const std::wstring guid = NewGuid(), readable = NewGuid();
  for (TObjectType kind : {TObjectType::otCLSID, TObjectType::otTypeLib, TObjectType::otAppID,
                           TObjectType::otInterface}) {
    const std::wstring root = RootKeyName(kind);
    const std::wstring leaf = kind == TObjectType::otTypeLib ? L"\\1.0" : L"";
    reg.SetString(root + L"\\" + guid + leaf, L"", L"Hidden name");
    reg.SetString(root + L"\\" + readable + leaf, L"", L"Shown name");
  }
  std::vector<std::unique_ptr<TUnreadableKey>> locks;
  for (const wchar_t* root : {L"CLSID\\", L"TypeLib\\", L"AppID\\", L"Interface\\"}) {
    locks.push_back(std::make_unique<TUnreadableKey>(root + guid));
  }
  for (TObjectType kind : {TObjectType::otCLSID, TObjectType::otTypeLib, TObjectType::otAppID,
                           TObjectType::otInterface}) {
    SCOPED_TRACE(RootKeyName(kind));
    TObjects list;
    ASSERT_NO_THROW(LoadList(kind, list, ProcessRegView()));
    const TObjectData* hidden = Find(list, guid);
    ASSERT_NE(hidden, nullptr);
    EXPECT_TRUE(hidden->Unreadable);
    EXPECT_EQ(hidden->Name, guid);
    ASSERT_NE(Find(list, readable), nullptr);
    EXPECT_FALSE(Find(list, readable)->Unreadable);
    EXPECT_EQ(Find(list, readable)->Name, L"Shown name");
  }
}

TEST(LoadAppIDList, NamesAndKinds) {
  TRegistryFixture reg;
  std::wstring named = NewGuid(), unnamed = NewGuid();
  reg.SetString(L"AppID\\" + named, L"", L"My App");
  reg.CreateKey(L"AppID\\" + unnamed);
  TObjects list;
  LoadAppIDList(list, ProcessRegView());
  ASSERT_NE(Find(list, named), nullptr);
  EXPECT_EQ(Find(list, named)->Name, L"My App");
  EXPECT_EQ(Find(list, named)->Typ, TObjectType::otAppID);
  EXPECT_EQ(Find(list, unnamed)->Name, unnamed);
}

TEST(LoadInterfaceList, LeavesUnnamedInterfacesOut) {
  TRegistryFixture reg;
  std::wstring named = NewGuid(), unnamed = NewGuid(), blank = NewGuid(), binary = NewGuid();
  reg.SetString(L"Interface\\" + named, L"", L"IFoo");
  reg.CreateKey(L"Interface\\" + unnamed);
  reg.SetString(L"Interface\\" + blank, L"", L" ");
  reg.SetBinary(L"Interface\\" + binary, L"", {0xAB});
  TObjects list;
  LoadInterfaceList(list, ProcessRegView());
  ASSERT_NE(Find(list, named), nullptr);
  EXPECT_EQ(Find(list, named)->Name, L"IFoo");
  EXPECT_EQ(Find(list, named)->Typ, TObjectType::otInterface);
  EXPECT_EQ(Find(list, unnamed), nullptr);
  EXPECT_EQ(Find(list, blank), nullptr);
  ASSERT_NE(Find(list, binary), nullptr);  // rendered as hexadecimal text
  EXPECT_EQ(Find(list, binary)->Name, L"AB");
}

TEST(Loaders, EachViewListsItsOwnClassesAndInterfacesAndBothTheSameLibraries) {
  if (!Is64BitWindows()) GTEST_SKIP() << "needs 64-bit Windows";
  TRegistryFixture reg;
  const std::wstring only32 = NewGuid(), only64 = NewGuid(), both = NewGuid(), library = NewGuid();
  for (const wchar_t* root : {L"CLSID\\", L"Interface\\"}) {
    reg.SetString(root + only32, L"", L"Only32", TView::v32);
    reg.SetString(root + only64, L"", L"Only64", TView::v64);
    reg.SetString(root + both, L"", L"Both32", TView::v32);
    reg.SetString(root + both, L"", L"Both64", TView::v64);
  }
  reg.SetString(L"TypeLib\\" + library + L"\\1.0", L"", L"Shared Library", TView::v32);
  for (TRegView view : {TRegView::rv32, TRegView::rv64}) {
    const bool is64 = view == TRegView::rv64;
    for (TObjectType kind : {TObjectType::otCLSID, TObjectType::otInterface}) {
      SCOPED_TRACE(testing::PrintToString(std::wstring(RegViewBits(view)) + L" " + RootKeyName(kind)));
      TObjects list;
      LoadList(kind, list, view);
      EXPECT_EQ(Find(list, only32) != nullptr, !is64);
      EXPECT_EQ(Find(list, only64) != nullptr, is64);
      ASSERT_NE(Find(list, both), nullptr);
      EXPECT_EQ(Find(list, both)->Name, is64 ? L"Both64" : L"Both32");
    }
    TObjects libraries;
    LoadTypeLibList(libraries, view);
    ASSERT_NE(Find(libraries, library), nullptr);
    EXPECT_EQ(Find(libraries, library)->Name, L"Shared Library");
  }
}
