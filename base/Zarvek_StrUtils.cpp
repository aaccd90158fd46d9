#include "base/Zarvek_StrUtils.h"

#include <windows.h>

#include "base/Zarvek_SysUtils.h"

namespace vantrel {

namespace {

bool IsTrimmed(wchar_t C) { return C <= L' '; }

}  // namespace

bool IsBlankText(std::wstring_view AText) {
  for (wchar_t c : AText) {
    if (!IsTrimmed(c)) return false;
  }
  return true;
}

std::wstring Trim(std::wstring_view AText) {
  size_t first = 0;
  size_t last = AText.size();
  while (first < last && IsTrimmed(AText[first])) ++first;
  while (last > first && IsTrimmed(AText[last - 1])) --last;
  return std::wstring(AText.substr(first, last - first));
}

std::wstring TruncateAtNul(std::wstring_view AText) {
  size_t nul = AText.find(L'\0');
  return std::wstring(nul == std::wstring_view::npos ? AText : AText.substr(0, nul));
}

wchar_t LowerAscii(wchar_t C) { return (C >= L'A' && C <= L'Z') ? static_cast<wchar_t>(C + 32) : C; }

std::wstring UpperCaseAscii(std::wstring_view AText) {
  std::wstring result(AText);
  for (wchar_t& c : result) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
  }
  return result;
}

std::wstring LowerCaseAscii(std::wstring_view AText) {
  std::wstring result(AText);
  for (wchar_t& c : result) c = LowerAscii(c);
  return result;
}

bool SameTextAscii(std::wstring_view A, std::wstring_view B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i) {
    if (LowerAscii(A[i]) != LowerAscii(B[i])) return false;
  }
  return true;
}

bool TryStrToInt(std::wstring_view AText, int32_t& AValue) {
  size_t i = 0;
  while (i < AText.size() && AText[i] == L' ') ++i;
  bool negative = false;
  if (i < AText.size() && (AText[i] == L'-' || AText[i] == L'+')) {
    negative = AText[i] == L'-';
    ++i;
  }
  unsigned base = 10;
  if (i < AText.size() && AText[i] == L'$') {
    base = 16;
    ++i;
  } else if (i + 1 < AText.size() && AText[i] == L'0' && (AText[i + 1] == L'x' || AText[i + 1] == L'X')) {
    base = 16;
    i += 2;
  }
  if (i >= AText.size()) return false;
  uint64_t value = 0;
  for (; i < AText.size(); ++i) {
    wchar_t c = AText[i];
    unsigned digit;
    if (c >= L'0' && c <= L'9') {
      digit = c - L'0';
    } else if (base == 16 && c >= L'a' && c <= L'f') {
      digit = c - L'a' + 10;
    } else if (base == 16 && c >= L'A' && c <= L'F') {
      digit = c - L'A' + 10;
    } else {
      return false;
    }
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return false;
  }
  if (base == 10) {
    if (negative ? value > 0x80000000ull : value > 0x7FFFFFFFull) return false;
    AValue = negative ? static_cast<int32_t>(-static_cast<int64_t>(value)) : static_cast<int32_t>(value);
  } else {
    // Hexadecimal digits fill all 32 bits, as the platform's own conversions do.
    uint32_t bits = static_cast<uint32_t>(value);
    AValue = static_cast<int32_t>(negative ? 0u - bits : bits);
  }
  return true;
}

int32_t StrToInt(std::wstring_view AText) {
  int32_t value = 0;
  if (!TryStrToInt(AText, value)) {
    throw EConvertError(L"'" + std::wstring(AText) + L"' is not a valid integer value");
  }
  return value;
}

namespace {

// The hexadecimal number a text starts with, after blanks and an optional 0x, as sscanf's %x reads
// it; false when there are no digits or the number does not fit. AEnd: where the digits end.
bool LeadingHex(std::wstring_view AText, uint32_t& AValue, size_t* AEnd = nullptr) {
  size_t i = 0;
  while (i < AText.size() && (AText[i] == L' ' || AText[i] == L'\t')) ++i;
  if (i + 2 < AText.size() && AText[i] == L'0' && (AText[i + 1] == L'x' || AText[i + 1] == L'X') &&
      iswxdigit(AText[i + 2])) {
    i += 2;
  }
  uint64_t value = 0;
  size_t digits = 0;
  for (; i < AText.size(); ++i, ++digits) {
    const wchar_t c = AText[i];
    int digit = -1;
    if (c >= L'0' && c <= L'9') digit = c - L'0';
    else if (c >= L'a' && c <= L'f') digit = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F') digit = c - L'A' + 10;
    if (digit < 0) break;
    value = value * 16 + static_cast<uint64_t>(digit);
    if (value > 0xFFFFFFFFu) return false;
  }
  if (digits == 0) return false;
  AValue = static_cast<uint32_t>(value);
  if (AEnd) *AEnd = i;
  return true;
}

}  // namespace

bool SplitVersion(std::wstring_view AText, uint32_t& AMajor, uint32_t& AMinor) {
  AMajor = 0;
  AMinor = 0;
  size_t dot = AText.find(L'.');
  if (dot == std::wstring_view::npos) return false;
  uint32_t value = 0;
  size_t end = 0;
  // The major number runs up to the dot: "1x.0" is no version.
  if (!LeadingHex(AText.substr(0, dot), value, &end) || end != dot) return false;
  AMajor = value;
  if (!LeadingHex(AText.substr(dot + 1), value)) return false;
  AMinor = value;
  return true;
}

std::wstring VersionText(uint32_t AMajor, uint32_t AMinor) {
  return std::to_wstring(AMajor) + L"." + std::to_wstring(AMinor);
}

std::wstring VersionKeyText(uint32_t AMajor, uint32_t AMinor) {
  return LowerCaseAscii(IntToHex(AMajor)) + L"." + LowerCaseAscii(IntToHex(AMinor));
}

std::wstring IntToStr(int64_t AValue) { return std::to_wstring(AValue); }

std::wstring UIntToStr(uint64_t AValue) { return std::to_wstring(AValue); }

std::wstring IntToHex(uint32_t AValue) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  std::wstring result;
  do {
    result.insert(result.begin(), kDigits[AValue & 0xF]);
    AValue >>= 4;
  } while (AValue != 0);
  return result;
}

std::string WideToCodePage(std::wstring_view AText, unsigned ACodePage) {
  if (AText.empty()) return {};
  int size = WideCharToMultiByte(ACodePage, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string result(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(ACodePage, 0, AText.data(), static_cast<int>(AText.size()), result.data(), size,
                      nullptr, nullptr);
  return result;
}

std::wstring CodePageToWide(std::string_view AText, unsigned ACodePage) {
  if (AText.empty()) return {};
  int size = MultiByteToWideChar(ACodePage, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(ACodePage, 0, AText.data(), static_cast<int>(AText.size()), result.data(), size);
  return result;
}

std::wstring FormatS(std::wstring_view AFormat, std::initializer_list<std::wstring_view> AArgs) {
  std::wstring result;
  auto arg = AArgs.begin();
  for (size_t i = 0; i < AFormat.size(); ++i) {
    if (AFormat[i] == L'%' && i + 1 < AFormat.size() && AFormat[i + 1] == L's' && arg != AArgs.end()) {
      result += *arg++;
      ++i;
    } else {
      result += AFormat[i];
    }
  }
  return result;
}

}  // namespace vantrel
