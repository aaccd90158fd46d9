#include <gtest/gtest.h>

#include "catalog/Zarvek_RegUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/RegistryFixture.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

class RegistryValues : public testing::Test {
 protected:
  void SetUp() override { key = L"CLSID\\" + NewGuid(); }
  std::wstring Text(const std::wstring& name, bool asHex = true) {
    return RegistryValueToText(HKEY_CLASSES_ROOT, key, name, asHex, ProcessRegView());
  }
  TRegistryFixture reg;
  std::wstring key;
};

}  // namespace

TEST_F(RegistryValues, StringsAreCutAtTheFirstNul) {
  const wchar_t withNul[] = L"left\0right";
  reg.SetValue(key, L"sz", REG_SZ, withNul, sizeof(withNul));
  const wchar_t multi[] = L"a\0b\0";
  reg.SetValue(key, L"multi", REG_MULTI_SZ, multi, sizeof(multi));
  reg.SetString(key, L"", L"default");
  EXPECT_EQ(Text(L"sz"), L"left");
  EXPECT_EQ(Text(L"multi"), L"a");
  EXPECT_EQ(Text(L""), L"default");
}

TEST_F(RegistryValues, ExpandStringsArriveExpanded) {
  reg.SetString(key, L"path", L"%SystemRoot%\\x.dll", TView::Both, REG_EXPAND_SZ);
  reg.SetString(key, L"plain", L"%SystemRoot%\\x.dll", TView::Both, REG_SZ);
  std::wstring windows = WindowsDirectoryPath();
  EXPECT_EQ(Text(L"path"), windows + L"x.dll");
  EXPECT_EQ(Text(L"plain"), L"%SystemRoot%\\x.dll");
}

TEST_F(RegistryValues, TheRegistryViewShowsValuesAsStored) {
  reg.SetString(key, L"path", L"%SystemRoot%\\x.dll", TView::Both, REG_EXPAND_SZ);
  reg.SetString(key, L"fixed", L"C:\\x.dll", TView::Both, REG_EXPAND_SZ);
  const wchar_t multi[] = L"a\0b c\0\0";
  reg.SetValue(key, L"multi", REG_MULTI_SZ, multi, sizeof(multi));
  const wchar_t noMulti[] = L"\0";
  reg.SetValue(key, L"nomulti", REG_MULTI_SZ, noMulti, sizeof(noMulti));
  const BYTE qword[] = {1, 0, 0, 0, 0, 0, 0, 0x80};
  reg.SetValue(key, L"qword", REG_QWORD, qword, sizeof(qword));
  reg.SetValue(key, L"short", REG_QWORD, qword, 3);
  reg.SetDword(key, L"dword", 4294967295u);
  TRegistry registry = CatalogRegistry(ProcessRegView());
  ASSERT_TRUE(registry.OpenKeyReadOnly(key));
  const std::wstring windows = WindowsDirectoryPath();
  const std::pair<const wchar_t*, std::wstring> cases[] = {
      {L"path", L"%SystemRoot%\\x.dll [REG_EXPAND_SZ, expands to " + windows + L"x.dll]"},
      {L"fixed", L"C:\\x.dll [REG_EXPAND_SZ]"},
      {L"multi", L"\"a\", \"b c\" [REG_MULTI_SZ]"},
      {L"nomulti", L"[REG_MULTI_SZ, empty]"},
      {L"qword", L"9223372036854775809"},
      {L"short", L"01 00 00"},
      {L"dword", L"-1"},
      {L"absent", L""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RegistryValueDisplayText(registry, c.first, true), c.second) << WideToCodePage(c.first, CP_UTF8);
  }
  // The readers still take the expansion and the first string.
  EXPECT_EQ(Text(L"path"), windows + L"x.dll");
  EXPECT_EQ(Text(L"multi"), L"a");
}

TEST_F(RegistryValues, LongExpansionsAreNotReplacedByTheStoredText) {
  const std::wstring longValue(3000, L'v');
  SetEnvironmentVariableW(L"VANTREL_LONG", longValue.c_str());
  TScopeExit unset([] { SetEnvironmentVariableW(L"VANTREL_LONG", nullptr); });
  reg.SetString(key, L"long", L"%VANTREL_LONG%|%VANTREL_LONG%", TView::Both, REG_EXPAND_SZ);
  EXPECT_EQ(Text(L"long"), longValue + L"|" + longValue);
}

TEST_F(RegistryValues, NumbersAreSigned32Bit) {
  reg.SetDword(key, L"max", 4294967295u);
  reg.SetDword(key, L"half", 2147483648u);
  reg.SetDword(key, L"small", 42);
  const BYTE bigEndian[] = {0x00, 0x00, 0x01, 0x02};
  reg.SetValue(key, L"be", REG_DWORD_BIG_ENDIAN, bigEndian, sizeof(bigEndian));
  const BYTE shortNumber[] = {0x01, 0x02};
  reg.SetValue(key, L"short", REG_DWORD, shortNumber, sizeof(shortNumber));
  EXPECT_EQ(Text(L"max"), L"-1");
  EXPECT_EQ(Text(L"half"), L"-2147483648");
  EXPECT_EQ(Text(L"small"), L"42");
  EXPECT_EQ(Text(L"be"), L"258");
  EXPECT_EQ(Text(L"short"), L"01 02");  // a number of the wrong size shows its bytes
}

TEST_F(RegistryValues, RawBytesAsHexOrAsCharacters) {
  reg.SetBinary(key, L"bin", {0x01, 0x02, 0x03});
  reg.SetBinary(key, L"abc", {0x61, 0x62, 0x63});
  reg.SetBinary(key, L"mixed", {0x0A, 0xFF, 0x00});
  reg.SetBinary(key, L"empty", {});
  const BYTE qword[] = {1, 0, 0, 0, 0, 0, 0, 0x80};
  reg.SetValue(key, L"qword", REG_QWORD, qword, sizeof(qword));
  reg.SetValue(key, L"none", REG_NONE, qword, 2);
  EXPECT_EQ(Text(L"bin"), L"01 02 03");
  EXPECT_EQ(Text(L"bin", false), L"...");
  EXPECT_EQ(Text(L"abc"), L"61 62 63");
  EXPECT_EQ(Text(L"abc", false), L"abc");
  EXPECT_EQ(Text(L"mixed"), L"0A FF 00");
  EXPECT_EQ(Text(L"empty"), L"");
  EXPECT_EQ(Text(L"empty", false), L"");
  EXPECT_EQ(Text(L"qword"), L"01 00 00 00 00 00 00 80");
  EXPECT_EQ(Text(L"none"), L"01 00");
}

TEST_F(RegistryValues, MissingKeyOrValueIsEmpty) {
  reg.SetString(key, L"x", L"y");
  EXPECT_EQ(Text(L"absent"), L"");
  EXPECT_EQ(RegistryValueToText(HKEY_CLASSES_ROOT, key + L"\\absent", L"", true, ProcessRegView()), L"");
  EXPECT_EQ(Text(L""), L"");  // a key without a default value
}

TEST_F(RegistryValues, LargeValuesAreReadWhole) {
  std::wstring longText(16383, L'q');
  reg.SetString(key, L"long", longText);
  std::vector<BYTE> megabyte(1 << 20, 0x41);
  reg.SetBinary(key, L"big", megabyte);
  EXPECT_EQ(Text(L"long"), longText);
  std::wstring hex = Text(L"big");
  EXPECT_EQ(hex.size(), megabyte.size() * 3 - 1);
  EXPECT_EQ(Text(L"big", false), std::wstring(megabyte.size(), L'A'));
}

TEST(RegistryViews, EachViewReadsItsOwnClassKeysAndBothShareAppIDs) {
  if (!Is64BitWindows()) GTEST_SKIP() << "needs 64-bit Windows";
  TRegistryFixture reg;
  std::wstring key = L"CLSID\\" + NewGuid(), app = L"AppID\\" + NewGuid();
  reg.SetString(key, L"", L"thirty-two", TView::v32);
  reg.CreateKey(key + L"\\Only32", TView::v32);
  reg.SetString(key, L"", L"sixty-four", TView::v64);
  reg.CreateKey(key + L"\\Only64", TView::v64);
  reg.SetString(app, L"", L"shared", TView::v32);
  for (TRegView view : {TRegView::rv32, TRegView::rv64}) {
    const bool is64 = view == TRegView::rv64;
    SCOPED_TRACE(RegViewBits(view));
    EXPECT_EQ(RegistryValueToText(HKEY_CLASSES_ROOT, key, L"", true, view), is64 ? L"sixty-four" : L"thirty-two");
    TStringList names;
    ListSubkeys(HKEY_CLASSES_ROOT, key, names, view);
    EXPECT_EQ(names, TStringList{is64 ? L"Only64" : L"Only32"});
    TRegistry registry = CatalogRegistry(view);
    EXPECT_EQ(registry.View(), view);
    ASSERT_TRUE(registry.OpenKeyReadOnly(key + (is64 ? L"\\Only64" : L"\\Only32")));
    EXPECT_FALSE(registry.KeyExists(key + (is64 ? L"\\Only32" : L"\\Only64")));
    EXPECT_EQ(RegistryValueToText(HKEY_CLASSES_ROOT, app, L"", true, view), L"shared");
  }
}

TEST(RegistryViews, ExpandStringsNameTheProgramFoldersOfTheView) {
  if (!Is64BitWindows()) GTEST_SKIP() << "needs 64-bit Windows";
  TRegistryFixture reg;
  std::wstring key = L"CLSID\\" + NewGuid();
  reg.SetString(key, L"", L"%ProgramFiles%\\x.dll|%CommonProgramFiles%", TView::Both, REG_EXPAND_SZ);
  auto variable = [](const wchar_t* AName) {
    wchar_t value[MAX_PATH] = {};
    GetEnvironmentVariableW(AName, value, MAX_PATH);
    return std::wstring(value);
  };
  // A 32-bit process's own variables name the 32-bit folders; a 64-bit one names them with (x86).
  const std::wstring programs32 = variable(IsWow64() ? L"ProgramFiles" : L"ProgramFiles(x86)");
  const std::wstring common32 = variable(IsWow64() ? L"CommonProgramFiles" : L"CommonProgramFiles(x86)");
  ASSERT_FALSE(variable(L"ProgramW6432").empty());
  ASSERT_FALSE(programs32.empty());
  EXPECT_EQ(RegistryValueToText(HKEY_CLASSES_ROOT, key, L"", true, TRegView::rv32),
            programs32 + L"\\x.dll|" + common32);
  EXPECT_EQ(RegistryValueToText(HKEY_CLASSES_ROOT, key, L"", true, TRegView::rv64),
            variable(L"ProgramW6432") + L"\\x.dll|" + variable(L"CommonProgramW6432"));
  EXPECT_NE(variable(L"ProgramW6432"), programs32);
}

TEST(RegistryClass, ReadsOfTheWrongTypeRaiseTheRegistryError) {
  TRegistryFixture reg;
  std::wstring key = L"AppID\\" + NewGuid();
  reg.SetBinary(key, L"", {1});
  reg.SetString(key, L"Text", L"t");
  reg.SetDword(key, L"Number", 7);
  TRegistry registry;
  registry.SetRootKey(HKEY_CLASSES_ROOT);
  ASSERT_TRUE(registry.OpenKeyReadOnly(key));
  struct Case {
    std::function<void()> read;
    const wchar_t* message;
  } cases[] = {
      {[&] { registry.ReadString(L""); }, L"Invalid data type for ''"},
      {[&] { registry.ReadString(L"Number"); }, L"Invalid data type for 'Number'"},
      {[&] { registry.ReadInteger(L"Text"); }, L"Invalid data type for 'Text'"},
      {[&] {
         BYTE buffer[4];
         registry.ReadBinaryData(L"Text", buffer, 4);
       },
       L"Invalid data type for 'Text'"},
  };
  for (const Case& c : cases) {
    try {
      c.read();
      ADD_FAILURE() << "no error for " << testing::PrintToString(std::wstring(c.message));
    } catch (const ERegistryException& e) {
      EXPECT_EQ(e.Message(), c.message);
    }
  }
  EXPECT_EQ(registry.ReadInteger(L"Number"), 7);
  EXPECT_EQ(registry.ReadString(L"Missing"), L"");
  BYTE first = 0;
  EXPECT_EQ(registry.ReadBinaryData(L"", &first, 1), 1u);
  EXPECT_EQ(first, 1);
}

TEST(RegistryClass, NamesInEnumerationOrderAndOneOpenKey) {
  TRegistryFixture reg;
  std::wstring key = L"AppID\\" + NewGuid();
  reg.CreateKey(key + L"\\b");
  reg.CreateKey(key + L"\\a");
  reg.SetString(key, L"", L"d");
  reg.SetString(key, L"v", L"x");
  TRegistry registry;
  registry.SetRootKey(HKEY_CLASSES_ROOT);
  ASSERT_TRUE(registry.OpenKeyReadOnly(key));
  TStringList names = {L"stale"};
  registry.GetKeyNames(names);
  EXPECT_EQ(names, (TStringList{L"a", L"b"}));
  registry.GetValueNames(names);
  EXPECT_EQ(names.size(), 2u);
  EXPECT_TRUE(registry.ValueExists(L""));
  EXPECT_TRUE(registry.KeyExists(key + L"\\a"));
  EXPECT_FALSE(registry.KeyExists(key + L"\\c"));
  HKEY first = registry.CurrentKey();
  ASSERT_TRUE(registry.OpenKeyReadOnly(key + L"\\a"));
  EXPECT_NE(registry.CurrentKey(), first);
  registry.CloseKey();
  EXPECT_EQ(registry.CurrentKey(), nullptr);
  EXPECT_FALSE(registry.OpenKeyReadOnly(key + L"\\missing"));
  EXPECT_EQ(registry.LastOpenResult(), ERROR_FILE_NOT_FOUND);
  EXPECT_THROW(registry.OpenKey(key, true), ERegistryException);
}
