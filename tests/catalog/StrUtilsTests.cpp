#include <gtest/gtest.h>

#include "base/CompactString.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"

using namespace vantrel;

TEST(StrUtils, IsBlankTextTrimsEveryControlCharacter) {
  EXPECT_TRUE(IsBlankText(L""));
  EXPECT_TRUE(IsBlankText(L"   "));
  EXPECT_TRUE(IsBlankText(L"\t\r\n"));
  EXPECT_TRUE(IsBlankText(std::wstring(L" \0 ", 3)));
  EXPECT_FALSE(IsBlankText(L" x "));
  EXPECT_FALSE(IsBlankText(L"\x00A0"));  // a no-break space is not a control character
}

TEST(StrUtils, TruncateAtNul) {
  EXPECT_EQ(TruncateAtNul(std::wstring(L"ab\0cd", 5)), L"ab");
  EXPECT_EQ(TruncateAtNul(L"abc"), L"abc");
  EXPECT_EQ(TruncateAtNul(std::wstring(L"\0x", 2)), L"");
}

TEST(StrUtils, SplitVersionReadsHexadecimalAsThePlatformDoes) {
  // Version keys are hexadecimal: the platform writes 12.1 as "c.1" and reads keys with "%x.%x".
  struct Case {
    const wchar_t* text;
    uint32_t major, minor;
    bool converted;
  } cases[] = {
      {L"1.0", 1, 0, true},     {L"a.0", 10, 0, true},    {L"c.1", 12, 1, true},      {L"2.12", 2, 0x12, true},
      {L"1.ff", 1, 255, true},  {L"0x10.2", 16, 2, true}, {L" 7.8", 7, 8, true},      {L"1.0.5", 1, 0, true},
      {L"1.a", 1, 10, true},    {L"1.g", 1, 0, false},    {L"1x.0", 0, 0, false},     {L"x.1", 0, 0, false},
      {L"3", 0, 0, false},      {L"", 0, 0, false},       {L".5", 0, 0, false},       {L"$A.1", 0, 0, false},
      {L"1 .0", 0, 0, false},   {L"100000000.0", 0, 0, false},
  };
  for (const Case& c : cases) {
    uint32_t major = 99, minor = 99;
    EXPECT_EQ(SplitVersion(c.text, major, minor), c.converted) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(major, c.major) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(minor, c.minor) << testing::PrintToString(std::wstring(c.text));
  }
  EXPECT_EQ(VersionKeyText(12, 1), L"c.1");
  EXPECT_EQ(VersionText(12, 1), L"12.1");
}

TEST(StrUtils, StrToIntAcceptsSignAndHexPrefixesOnly) {
  int32_t value = 0;
  EXPECT_TRUE(TryStrToInt(L"-12", value));
  EXPECT_EQ(value, -12);
  EXPECT_TRUE(TryStrToInt(L"$FF", value));
  EXPECT_EQ(value, 255);
  EXPECT_TRUE(TryStrToInt(L"2147483647", value));
  EXPECT_TRUE(TryStrToInt(L"-2147483648", value));
  EXPECT_EQ(value, INT32_MIN);
  for (const wchar_t* bad : {L"", L"FF", L"1 ", L"2147483648", L"1.5", L"+", L"abc", L"0x"}) {
    EXPECT_FALSE(TryStrToInt(bad, value)) << testing::PrintToString(std::wstring(bad));
  }
}

TEST(StrUtils, StrToIntRaisesTheConversionError) {
  try {
    StrToInt(L"abc");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), L"'abc' is not a valid integer value");
  }
}

TEST(StrUtils, IntToHexHasNoLeadingZeros) {
  EXPECT_EQ(IntToHex(0), L"0");
  EXPECT_EQ(IntToHex(0x80004001u), L"80004001");
  EXPECT_EQ(IntToHex(0xABCu), L"ABC");
}

TEST(StrUtils, CaseMappingTouchesAsciiLettersOnly) {
  EXPECT_EQ(UpperCaseAscii(L"InprocServer32 \x00E9"), L"INPROCSERVER32 \x00E9");
  EXPECT_EQ(LowerCaseAscii(L"ABC{\x00C9}"), L"abc{\x00C9}");
  EXPECT_TRUE(SameTextAscii(L"AppVersion", L"appversion"));
  EXPECT_FALSE(SameTextAscii(L"\x00E9", L"\x00C9"));
}

TEST(CompactString, ValueSemanticsOfAOnePointerText) {
  TCompactString empty;
  EXPECT_TRUE(empty.empty());
  EXPECT_STREQ(empty.c_str(), L"");
  EXPECT_EQ(sizeof(TCompactString), sizeof(void*));
  TCompactString name = L"Foo Class";
  TCompactString copy = name;
  EXPECT_EQ(copy, L"Foo Class");
  EXPECT_NE(copy.c_str(), name.c_str());  // a copy owns its own text
  TCompactString moved = std::move(copy);
  EXPECT_TRUE(copy.empty());
  EXPECT_EQ(moved, name);
  moved = std::wstring(L"x;y");
  EXPECT_EQ(moved.find(L';'), 1u);
  EXPECT_EQ(moved.substr(2), L"y");
  EXPECT_EQ(L"CLSID\\" + name, L"CLSID\\Foo Class");
  EXPECT_EQ(std::wstring(name), L"Foo Class");
  moved = L"";
  EXPECT_TRUE(moved.empty());
  std::wstring withNul(L"a\0b", 3);
  EXPECT_EQ(TCompactString(withNul).size(), 3u);
}
