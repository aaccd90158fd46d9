#include "base/Zarvek_GuidText.h"

#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"

namespace vantrel {

namespace {

int HexDigit(wchar_t C) {
  if (C >= L'0' && C <= L'9') return C - L'0';
  if (C >= L'a' && C <= L'f') return C - L'a' + 10;
  if (C >= L'A' && C <= L'F') return C - L'A' + 10;
  return -1;
}

// Reads ADigits hexadecimal digits at APos.
bool ReadHex(std::wstring_view AText, size_t APos, size_t ADigits, uint32_t& AValue) {
  AValue = 0;
  for (size_t i = 0; i < ADigits; ++i) {
    int digit = HexDigit(AText[APos + i]);
    if (digit < 0) return false;
    AValue = (AValue << 4) | static_cast<uint32_t>(digit);
  }
  return true;
}

}  // namespace

bool TryStringToGUID(std::wstring_view AText, GUID& AGuid) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (AText.size() != 38 || AText[0] != L'{' || AText[37] != L'}' || AText[9] != L'-' || AText[14] != L'-' ||
      AText[19] != L'-' || AText[24] != L'-') {
    return false;
  }
  uint32_t value = 0;
  GUID guid = {};
  if (!ReadHex(AText, 1, 8, value)) return false;
  guid.Data1 = value;
  if (!ReadHex(AText, 10, 4, value)) return false;
  guid.Data2 = static_cast<WORD>(value);
  if (!ReadHex(AText, 15, 4, value)) return false;
  guid.Data3 = static_cast<WORD>(value);
  static const size_t kBytePositions[8] = {20, 22, 25, 27, 29, 31, 33, 35};
  for (size_t i = 0; i < 8; ++i) {
    if (!ReadHex(AText, kBytePositions[i], 2, value)) return false;
    guid.Data4[i] = static_cast<BYTE>(value);
  }
  AGuid = guid;
  return true;
}

GUID StringToGUID(std::wstring_view AText) {
  GUID guid;
  if (!TryStringToGUID(AText, guid)) throw EConvertError(FormatS(L"'%s' is not a valid GUID value", {AText}));
  return guid;
}

}  // namespace vantrel
