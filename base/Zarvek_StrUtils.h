// Text helpers shared by the catalog, the main window and the type library viewer.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel {

using TStringList = std::vector<std::wstring>;

// True when nothing is left after removing characters <= 32 from both ends.
bool IsBlankText(std::wstring_view AText);

// Removes characters <= 32 from both ends.
std::wstring Trim(std::wstring_view AText);

// The text up to its first NUL character.
std::wstring TruncateAtNul(std::wstring_view AText);

// Case mapping of the ASCII letters only; every other character stays.
std::wstring UpperCaseAscii(std::wstring_view AText);
std::wstring LowerCaseAscii(std::wstring_view AText);
wchar_t LowerAscii(wchar_t C);
bool SameTextAscii(std::wstring_view A, std::wstring_view B);

// Integer conversion as users of the program see it: optional blanks before, an optional sign,
// decimal digits, or hexadecimal digits after "$" or "0x". Anything else fails.
bool TryStrToInt(std::wstring_view AText, int32_t& AValue);
// As TryStrToInt; raises EConvertError "'%s' is not a valid integer value" on failure.
int32_t StrToInt(std::wstring_view AText);

// Major and minor number of a type library version "major.minor", both hexadecimal as the
// platform writes version keys and reads them back ("a.0" is 10.0, "c.1" is 12.1): each part is
// the hexadecimal digits it starts with, after blanks. 0 where a part does not convert; true when
// both converted.
bool SplitVersion(std::wstring_view AText, uint32_t& AMajor, uint32_t& AMinor);
// A version as people read it, "12.1".
std::wstring VersionText(uint32_t AMajor, uint32_t AMinor);
// A version as the platform names its key, "c.1".
std::wstring VersionKeyText(uint32_t AMajor, uint32_t AMinor);

std::wstring IntToStr(int64_t AValue);
std::wstring UIntToStr(uint64_t AValue);
// Upper-case hexadecimal digits without leading zeros ("0" for zero).
std::wstring IntToHex(uint32_t AValue);

// Conversions between UTF-16 and a Windows code page (CP_ACP, CP_UTF8...).
std::string WideToCodePage(std::wstring_view AText, unsigned ACodePage);
std::wstring CodePageToWide(std::string_view AText, unsigned ACodePage);

// Replaces every "%s" in AFormat by the next argument, in order.
std::wstring FormatS(std::wstring_view AFormat, std::initializer_list<std::wstring_view> AArgs);

}  // namespace vantrel
