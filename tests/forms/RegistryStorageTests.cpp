// The layout storage in the registry of the test prefix: every kind of value, values of a foreign
// type or size, sections, and a form's layout saved by one window and restored by the next.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>

#include "base/Zarvek_Handles.h"
#include "forms/Zarvek.Forms.Application.h"
#include "forms/Zarvek.LayoutManager.Form.h"
#include "forms/Zarvek.LayoutManager.RegistryStorage.h"
#include "tests/support/RegistryFixture.h"

using namespace vantrel;

namespace {

class RegistryStorage : public testing::Test {
 protected:
  void SetUp() override { base = L"Software\\VantrelTest" + test::NewGuid(); }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, base.c_str());
  }
  void SetRaw(const std::wstring& ASection, const std::wstring& AName, DWORD AType, const void* AData, DWORD ASize) {
    TRegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (base + L"\\" + ASection).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), AName.c_str(), 0, AType, static_cast<const BYTE*>(AData), ASize), ERROR_SUCCESS);
  }
  std::wstring base;
};

}  // namespace

TEST_F(RegistryStorage, EveryKindOfValueComesBackAsWritten) {
  TRegistryLayoutStorage storage(HKEY_CURRENT_USER, base);
  storage.WriteInteger(L"Form", L"Int", -1234567890123LL);
  storage.WriteString(L"Form", L"Text", L"12,34");
  storage.WriteString(L"Form", L"Empty", L"");
  storage.WriteFloat(L"Form", L"Float", 0.1);
  storage.WriteDateTime(L"Form", L"Date", 45000.25);
  storage.WriteBool(L"Form\\Layout", L"Flag", true);
  EXPECT_EQ(storage.ReadInteger(L"Form", L"Int", 0), -1234567890123LL);
  EXPECT_EQ(storage.ReadString(L"Form", L"Text", L"x"), L"12,34");
  EXPECT_EQ(storage.ReadString(L"Form", L"Empty", L"x"), L"");
  EXPECT_EQ(storage.ReadFloat(L"Form", L"Float", 0), 0.1);
  EXPECT_EQ(storage.ReadDateTime(L"Form", L"Date", 0), 45000.25);
  EXPECT_TRUE(storage.ReadBool(L"Form\\Layout", L"Flag", false));
  EXPECT_TRUE(storage.ValueExists(L"Form", L"Int"));
  EXPECT_FALSE(storage.ValueExists(L"Form", L"Missing"));
  EXPECT_FALSE(storage.ValueExists(L"Nowhere", L"Int"));
  EXPECT_EQ(storage.ReadInteger(L"Nowhere", L"Int", 7), 7);

  storage.DeleteValue(L"Form", L"Int");
  EXPECT_FALSE(storage.ValueExists(L"Form", L"Int"));
  storage.EraseSection(L"Form");
  EXPECT_FALSE(storage.ValueExists(L"Form", L"Text"));
  EXPECT_FALSE(storage.ValueExists(L"Form\\Layout", L"Flag"));
  storage.EraseSection(L"Nowhere");  // nothing to erase is no error
}

TEST_F(RegistryStorage, AValueOfAnotherTypeOrSizeReadsAsTheDefault) {
  const DWORD dword = 5;
  const BYTE three[] = {1, 2, 3};
  const wchar_t text[] = L"2";
  SetRaw(L"Form", L"IntAsDword", REG_DWORD, &dword, sizeof(dword));
  SetRaw(L"Form", L"IntAsText", REG_SZ, text, sizeof(text));
  SetRaw(L"Form", L"TextAsBinary", REG_BINARY, three, sizeof(three));
  SetRaw(L"Form", L"FloatOfThreeBytes", REG_BINARY, three, sizeof(three));
  SetRaw(L"Form", L"BoolAsText", REG_SZ, text, sizeof(text));
  SetRaw(L"Form", L"QwordOfThreeBytes", REG_QWORD, three, sizeof(three));
  TRegistryLayoutStorage storage(HKEY_CURRENT_USER, base);
  EXPECT_EQ(storage.ReadInteger(L"Form", L"IntAsDword", 9), 9);
  EXPECT_EQ(storage.ReadInteger(L"Form", L"IntAsText", 9), 9);
  EXPECT_EQ(storage.ReadInteger(L"Form", L"QwordOfThreeBytes", 9), 9);
  EXPECT_EQ(storage.ReadString(L"Form", L"TextAsBinary", L"d"), L"d");
  EXPECT_EQ(storage.ReadFloat(L"Form", L"FloatOfThreeBytes", 1.5), 1.5);
  EXPECT_TRUE(storage.ReadBool(L"Form", L"BoolAsText", true));
  // A string without its terminating NUL is read up to its end.
  const wchar_t unterminated[] = {L'1', L'0', L',', L'2'};
  SetRaw(L"Form", L"Unterminated", REG_SZ, unterminated, sizeof(unterminated));
  EXPECT_EQ(storage.ReadString(L"Form", L"Unterminated", L""), L"10,2");
}

TEST_F(RegistryStorage, AFormComesBackWhereTheLastOneWasLeft) {
  auto storage = std::make_shared<TRegistryLayoutStorage>(HKEY_CURRENT_USER, base);
  TFormDesign design;
  design.ClassName = L"TfrmRemembered";
  design.ClientWidth = 300;
  design.ClientHeight = 200;
  {
    TLMForm form(design);
    form.LayoutManager().SetStorage(storage);
    form.SetLayoutControl(true);
    form.Show();
    form.SetBounds(60, 50, 420, 310);
    form.Close();
  }
  TLMForm again(design);
  again.LayoutManager().SetStorage(storage);
  again.SetLayoutControl(true);
  again.Show();
  Application().ProcessMessages();
  EXPECT_EQ(again.Left(), 60);
  EXPECT_EQ(again.Top(), 50);
  EXPECT_EQ(again.Width(), 420);
  EXPECT_EQ(again.Height(), 310);
}
