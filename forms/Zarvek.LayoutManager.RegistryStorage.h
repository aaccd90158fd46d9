// A layout storage in the registry: each section a key below a base key, each value a registry
// value of its type.
#pragma once

#include <windows.h>

#include <string>

#include "forms/Zarvek.LayoutManager.Storage.h"

namespace vantrel {

// Sections are keys below ABaseKey of ARoot (HKEY_CURRENT_USER\Software\Vantrel, say).
// Integers are REG_QWORD values, strings REG_SZ, Booleans REG_DWORD, floats and dates eight-byte
// REG_BINARY values. A value missing or of another type or size reads as the default, so a
// damaged or foreign value changes nothing. A write that fails raises ELayoutManager.
class TRegistryLayoutStorage : public ILayoutManagerStorage {
 public:
  TRegistryLayoutStorage(HKEY ARoot, std::wstring ABaseKey);

  bool ValueExists(const std::wstring& ASection, const std::wstring& AName) override;
  void WriteInteger(const std::wstring& ASection, const std::wstring& AName, int64_t AValue) override;
  void WriteString(const std::wstring& ASection, const std::wstring& AName, const std::wstring& AValue) override;
  void WriteFloat(const std::wstring& ASection, const std::wstring& AName, double AValue) override;
  void WriteDateTime(const std::wstring& ASection, const std::wstring& AName, double AValue) override;
  void WriteBool(const std::wstring& ASection, const std::wstring& AName, bool AValue) override;
  int64_t ReadInteger(const std::wstring& ASection, const std::wstring& AName, int64_t ADefault) override;
  std::wstring ReadString(const std::wstring& ASection, const std::wstring& AName,
                          const std::wstring& ADefault) override;
  double ReadFloat(const std::wstring& ASection, const std::wstring& AName, double ADefault) override;
  double ReadDateTime(const std::wstring& ASection, const std::wstring& AName, double ADefault) override;
  bool ReadBool(const std::wstring& ASection, const std::wstring& AName, bool ADefault) override;
  void EraseSection(const std::wstring& ASection) override;
  void DeleteValue(const std::wstring& ASection, const std::wstring& AName) override;
  void BeginAccess(bool) override {}
  void EndAccess() override {}

 private:
  std::wstring KeyPath(const std::wstring& ASection) const;
  void Write(const std::wstring& ASection, const std::wstring& AName, DWORD AType, const void* AData, DWORD ASize);
  // The value's bytes when it exists with that type; false otherwise.
  bool Read(const std::wstring& ASection, const std::wstring& AName, DWORD AType, std::wstring& AData) const;

  HKEY FRoot;
  std::wstring FBaseKey;
};

}  // namespace vantrel
