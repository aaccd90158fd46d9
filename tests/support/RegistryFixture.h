// Registry entries written by a test into HKEY_CLASSES_ROOT of the test prefix, removed again
// when the fixture ends.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/Zarvek_SysUtils.h"

namespace vantrel::test {

// Which registry view a write goes to. CLSID and Interface keys exist once per view in a 32-bit
// process on 64-bit Windows; TypeLib and AppID keys are shared.
enum class TView { v32, v64, Both };

// The fixture's name of a registry view of the catalog.
inline TView FixtureView(TRegView AView) { return AView == TRegView::rv64 ? TView::v64 : TView::v32; }

// A new GUID in registry form, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
std::wstring NewGuid();

class TRegistryFixture {
 public:
  TRegistryFixture() = default;
  ~TRegistryFixture();
  TRegistryFixture(const TRegistryFixture&) = delete;
  TRegistryFixture& operator=(const TRegistryFixture&) = delete;

  // Paths are relative to HKEY_CLASSES_ROOT. Every key written is removed at the end.
  void CreateKey(const std::wstring& APath, TView AView = TView::Both);
  void SetValue(const std::wstring& APath, const std::wstring& AName, DWORD AType, const void* AData,
                size_t ASize, TView AView = TView::Both);
  void SetString(const std::wstring& APath, const std::wstring& AName, const std::wstring& AText,
                 TView AView = TView::Both, DWORD AType = REG_SZ);
  void SetDword(const std::wstring& APath, const std::wstring& AName, DWORD AValue, TView AView = TView::Both);
  void SetBinary(const std::wstring& APath, const std::wstring& AName, const std::vector<BYTE>& ABytes,
                 TView AView = TView::Both);
  // Removes a key with everything below it (both views) now.
  void DeleteKey(const std::wstring& APath);

 private:
  std::vector<std::wstring> FCreated;
};

// While it lives, nobody may read the key (a path under HKEY_CLASSES_ROOT, in both views): opening
// it for reading fails with ERROR_ACCESS_DENIED. The key's own permissions come back at the end.
class TUnreadableKey {
 public:
  explicit TUnreadableKey(const std::wstring& APath);
  ~TUnreadableKey();
  TUnreadableKey(const TUnreadableKey&) = delete;
  TUnreadableKey& operator=(const TUnreadableKey&) = delete;

 private:
  struct TSaved {
    REGSAM View;
    std::vector<BYTE> Security;
  };
  std::wstring FPath;
  std::vector<TSaved> FSaved;
};

}  // namespace vantrel::test
