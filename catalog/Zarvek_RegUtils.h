// Read-only registry access and the rendering of registry values as text.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"

namespace vantrel {

// The access bit that selects a registry view; none for the process's own view and on 32-bit
// Windows, which has one view.
REGSAM RegViewAccess(TRegView AView);

struct TRegDataInfo {
  DWORD DataType = REG_NONE;
  DWORD DataSize = 0;
};

// A registry object with at most one open key. Paths are relative to the root key. It never
// writes: keys are opened for reading only.
class TRegistry {
 public:
  // AAccess: the rights OpenKey asks for; its WOW64 view bits also apply to OpenKeyReadOnly.
  explicit TRegistry(REGSAM AAccess = KEY_READ);
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;
  TRegistry(TRegistry&&) noexcept = default;
  TRegistry& operator=(TRegistry&&) noexcept = default;

  void SetRootKey(HKEY ARoot);
  HKEY CurrentKey() const { return FCurrent.get(); }
  REGSAM Access() const { return FAccess; }
  // The registry view the object reads.
  TRegView View() const;

  bool OpenKeyReadOnly(std::wstring_view APath);
  // ACanCreate must be false: this class does not create keys.
  bool OpenKey(std::wstring_view APath, bool ACanCreate);
  // The result of the last OpenKeyReadOnly or OpenKey (ERROR_FILE_NOT_FOUND for a missing key).
  LONG LastOpenResult() const { return FLastOpenResult; }
  void CloseKey();
  bool KeyExists(std::wstring_view APath) const;

  // Replace the list's contents with the open key's subkey or value names, in enumeration order.
  void GetKeyNames(TStringList& AList) const;
  // Number of subkeys of the open key.
  size_t SubkeyCount() const;
  // The same names one at a time, without a list; returns how many there were.
  size_t ForEachKeyName(const std::function<void(std::wstring_view AName)>& AVisit) const;
  void GetValueNames(TStringList& AList) const;

  bool ValueExists(std::wstring_view AName) const;
  bool GetDataInfo(std::wstring_view AName, TRegDataInfo& AInfo) const;
  // REG_SZ or REG_EXPAND_SZ up to the first NUL; empty when the value is missing.
  std::wstring ReadString(std::wstring_view AName) const;
  // REG_DWORD as a signed number.
  int32_t ReadInteger(std::wstring_view AName) const;
  // Raw bytes of a value that is neither a string nor a REG_DWORD; returns the bytes copied.
  DWORD ReadBinaryData(std::wstring_view AName, void* ABuffer, DWORD ABufferSize) const;
  // Type and data of a value in one query; false when the value is missing.
  bool ReadValue(std::wstring_view AName, DWORD& AType, std::vector<BYTE>& AData) const;

  // Number of keys opened by all registry objects of the process since it started.
  static uint64_t OpenedKeyCount() { return FOpenedKeys.load(std::memory_order_relaxed); }

 private:
  bool Open(std::wstring_view APath, REGSAM ARights);
  HKEY RootHandle() const;
  [[noreturn]] static void ReadError(std::wstring_view AName);

  HKEY FRoot = HKEY_CURRENT_USER;
  mutable TRegKey FRootHandle;
  REGSAM FAccess;
  TRegKey FCurrent;
  LONG FLastOpenResult = ERROR_SUCCESS;
  static std::atomic<uint64_t> FOpenedKeys;
};

// The registry object every catalog read goes through: HKEY_CLASSES_ROOT as the view's programs
// see it, read only.
TRegistry CatalogRegistry(TRegView AView);

// A value rendered as one line of text; empty when the key or value is missing.
std::wstring RegistryValueToText(HKEY ARoot, std::wstring_view AKey, std::wstring_view AName, bool AsHex,
                                 TRegView AView);

// A value of the registry object's open key rendered as RegistryValueToText renders it; for many
// values of one key, open it once and render each from there. REG_EXPAND_SZ values are expanded
// as the programs of the registry object's view expand them.
std::wstring RegistryValueText(const TRegistry& ARegistry, std::wstring_view AName, bool AsHex);

// A value as it is stored, for the registry view: REG_EXPAND_SZ unexpanded with its type and its
// expansion beside it, every string of a REG_MULTI_SZ, REG_QWORD as a number; the rest as
// RegistryValueText renders it.
std::wstring RegistryValueDisplayText(const TRegistry& ARegistry, std::wstring_view AName, bool AsHex);

// Raw bytes as text: "0A FF 00" with AsHex, else one ANSI character per byte, '.' below 32.
std::wstring BytesToText(const BYTE* AData, size_t ASize, bool AsHex);

// Fills AList with the subkey names of AKey; leaves it untouched when AKey can't be opened.
void ListSubkeys(HKEY ARoot, std::wstring_view AKey, TStringList& AList, TRegView AView);

}  // namespace vantrel
