#include "forms/Zarvek.LayoutManager.RegistryStorage.h"

#include <cstring>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "forms/Zarvek.LayoutManager.Control.h"

namespace vantrel {

namespace {

// The data of a value, as raw bytes, in a wide string's storage.
template <typename T>
bool DataAs(const std::wstring& AData, T& AValue) {
  if (AData.size() * sizeof(wchar_t) < sizeof(T)) return false;
  std::memcpy(&AValue, AData.data(), sizeof(T));
  return true;
}

}  // namespace

TRegistryLayoutStorage::TRegistryLayoutStorage(HKEY ARoot, std::wstring ABaseKey)
    : FRoot(ARoot), FBaseKey(std::move(ABaseKey)) {}

std::wstring TRegistryLayoutStorage::KeyPath(const std::wstring& ASection) const {
  return ASection.empty() ? FBaseKey : FBaseKey + L"\\" + ASection;
}

void TRegistryLayoutStorage::Write(const std::wstring& ASection, const std::wstring& AName, DWORD AType,
                                   const void* AData, DWORD ASize) {
  TRegKey key;
  LONG result = RegCreateKeyExW(FRoot, KeyPath(ASection).c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(),
                                nullptr);
  if (result == ERROR_SUCCESS) {
    result = RegSetValueExW(key.get(), AName.c_str(), 0, AType, static_cast<const BYTE*>(AData), ASize);
  }
  if (result != ERROR_SUCCESS) {
    throw ELayoutManager(FormatS(L"The layout cannot be saved in %s: %s",
                                 {KeyPath(ASection), Trim(SysErrorMessage(static_cast<DWORD>(result)))}));
  }
}

bool TRegistryLayoutStorage::Read(const std::wstring& ASection, const std::wstring& AName, DWORD AType,
                                  std::wstring& AData) const {
  TRegKey key;
  if (RegOpenKeyExW(FRoot, KeyPath(ASection).c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return false;
  DWORD type = REG_NONE, size = 0;
  if (RegQueryValueExW(key.get(), AName.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != AType) {
    return false;
  }
  // Rounded up to whole characters, with room for a terminating NUL.
  AData.assign(size / sizeof(wchar_t) + 2, L'\0');
  DWORD capacity = static_cast<DWORD>(AData.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key.get(), AName.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(AData.data()),
                       &capacity) != ERROR_SUCCESS ||
      type != AType) {
    return false;
  }
  if (AType == REG_SZ) {
    AData = TruncateAtNul(AData);
  } else {
    AData.resize((capacity + sizeof(wchar_t) - 1) / sizeof(wchar_t));
    // A number is only a number at its own size.
    if ((AType == REG_QWORD && capacity != 8) || (AType == REG_DWORD && capacity != 4) ||
        (AType == REG_BINARY && capacity != 8)) {
      return false;
    }
  }
  return true;
}

bool TRegistryLayoutStorage::ValueExists(const std::wstring& ASection, const std::wstring& AName) {
  TRegKey key;
  if (RegOpenKeyExW(FRoot, KeyPath(ASection).c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) return false;
  return RegQueryValueExW(key.get(), AName.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

void TRegistryLayoutStorage::WriteInteger(const std::wstring& ASection, const std::wstring& AName, int64_t AValue) {
  Write(ASection, AName, REG_QWORD, &AValue, sizeof(AValue));
}

void TRegistryLayoutStorage::WriteString(const std::wstring& ASection, const std::wstring& AName,
                                         const std::wstring& AValue) {
  Write(ASection, AName, REG_SZ, AValue.c_str(), static_cast<DWORD>((AValue.size() + 1) * sizeof(wchar_t)));
}

void TRegistryLayoutStorage::WriteFloat(const std::wstring& ASection, const std::wstring& AName, double AValue) {
  Write(ASection, AName, REG_BINARY, &AValue, sizeof(AValue));
}

void TRegistryLayoutStorage::WriteDateTime(const std::wstring& ASection, const std::wstring& AName, double AValue) {
  WriteFloat(ASection, AName, AValue);
}

void TRegistryLayoutStorage::WriteBool(const std::wstring& ASection, const std::wstring& AName, bool AValue) {
  DWORD value = AValue ? 1 : 0;
  Write(ASection, AName, REG_DWORD, &value, sizeof(value));
}

int64_t TRegistryLayoutStorage::ReadInteger(const std::wstring& ASection, const std::wstring& AName,
                                            int64_t ADefault) {
  std::wstring data;
  int64_t value = 0;
  return Read(ASection, AName, REG_QWORD, data) && DataAs(data, value) ? value : ADefault;
}

std::wstring TRegistryLayoutStorage::ReadString(const std::wstring& ASection, const std::wstring& AName,
                                                const std::wstring& ADefault) {
  std::wstring data;
  return Read(ASection, AName, REG_SZ, data) ? data : ADefault;
}

double TRegistryLayoutStorage::ReadFloat(const std::wstring& ASection, const std::wstring& AName, double ADefault) {
  std::wstring data;
  double value = 0;
  return Read(ASection, AName, REG_BINARY, data) && DataAs(data, value) ? value : ADefault;
}

double TRegistryLayoutStorage::ReadDateTime(const std::wstring& ASection, const std::wstring& AName,
                                            double ADefault) {
  return ReadFloat(ASection, AName, ADefault);
}

bool TRegistryLayoutStorage::ReadBool(const std::wstring& ASection, const std::wstring& AName, bool ADefault) {
  std::wstring data;
  DWORD value = 0;
  return Read(ASection, AName, REG_DWORD, data) && DataAs(data, value) ? value != 0 : ADefault;
}

void TRegistryLayoutStorage::EraseSection(const std::wstring& ASection) {
  RegDeleteTreeW(FRoot, KeyPath(ASection).c_str());
  RegDeleteKeyW(FRoot, KeyPath(ASection).c_str());
}

void TRegistryLayoutStorage::DeleteValue(const std::wstring& ASection, const std::wstring& AName) {
  TRegKey key;
  if (RegOpenKeyExW(FRoot, KeyPath(ASection).c_str(), 0, KEY_SET_VALUE, key.put()) != ERROR_SUCCESS) return;
  RegDeleteValueW(key.get(), AName.c_str());
}

}  // namespace vantrel
