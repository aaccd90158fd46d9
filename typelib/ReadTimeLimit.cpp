#include "typelib/ReadTimeLimit.h"

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "typelib/TypeLibReader.h"

namespace vantrel {

namespace {

const wchar_t kValueName[] = L"ReadTimeLimit";

bool InRange(DWORD ASeconds) { return ASeconds >= kReadTimeLimitMinimum && ASeconds <= kReadTimeLimitMaximum; }

}  // namespace

DWORD StoredReadTimeLimit(HKEY ARoot, const std::wstring& AKey) {
  TRegKey key;
  if (RegOpenKeyExW(ARoot, AKey.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return kReadTimeLimitDefault;
  DWORD type = 0, seconds = 0, size = sizeof(seconds);
  const LSTATUS status =
      RegQueryValueExW(key.get(), kValueName, nullptr, &type, reinterpret_cast<BYTE*>(&seconds), &size);
  if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(seconds) || !InRange(seconds)) {
    return kReadTimeLimitDefault;
  }
  return seconds;
}

void StoreReadTimeLimit(HKEY ARoot, const std::wstring& AKey, DWORD ASeconds) {
  if (!InRange(ASeconds)) {
    throw Exception(L"The time limit must be from " + UIntToStr(kReadTimeLimitMinimum) + L" to " +
                    UIntToStr(kReadTimeLimitMaximum) + L" seconds.");
  }
  TRegKey key;
  LSTATUS status = RegCreateKeyExW(ARoot, AKey.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr);
  if (status == ERROR_SUCCESS) {
    status = RegSetValueExW(key.get(), kValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&ASeconds),
                            sizeof(ASeconds));
  }
  if (status != ERROR_SUCCESS) {
    throw Exception(L"Cannot store the time limit: " + Trim(SysErrorMessage(static_cast<DWORD>(status))));
  }
}

void UseStoredReadTimeLimit(HKEY ARoot, const std::wstring& AKey) {
  TypeLibReaderDefaults().TimeLimit = StoredReadTimeLimit(ARoot, AKey) * 1000;
}

}  // namespace vantrel
