#include "catalog/DetailReaders.h"

#include <windows.h>

#include "catalog/Zarvek_RegUtils.h"
#include "base/Zarvek_SysUtils.h"

namespace vantrel {

namespace {

// A value of the key APath, as the registry view renders it (binary as hexadecimal); empty when
// the key or the value is missing.
std::wstring ValueText(TRegistry& ARegistry, const std::wstring& APath, const wchar_t* AName = L"") {
  if (!ARegistry.OpenKeyReadOnly(APath)) return std::wstring();
  std::wstring text = RegistryValueText(ARegistry, AName, true);
  ARegistry.CloseKey();
  return text;
}

}  // namespace

void ReadCLSIDDetails(const std::wstring& AGuid, TObjectData& AData, const TStringList& AEnvironment,
                      TRegView AView) {
  AData.CLSID = AData.GUID;
  TRegistry registry = CatalogRegistry(AView);
  const std::wstring key = L"CLSID\\" + AGuid;
  TStringList subkeys;
  if (registry.OpenKeyReadOnly(key)) {
    registry.GetKeyNames(subkeys);
    registry.CloseKey();
  }
  // The 32-bit servers before their 16-bit forms (InprocServer32 before InprocServer, which the
  // registry's order puts first), in-process before local; then any other key named like a server,
  // but not InprocHandler32.
  const std::wstring* serverKey = nullptr;
  int serverRank = 0;
  for (const std::wstring& subkey : subkeys) {
    const std::wstring upper = UpperCaseAscii(subkey);
    int rank = 0;
    if (upper == L"INPROCSERVER32") rank = 5;
    else if (upper == L"LOCALSERVER32") rank = 4;
    else if (upper == L"INPROCSERVER") rank = 3;
    else if (upper == L"LOCALSERVER") rank = 2;
    else if (upper.find(L"SERVER") != std::wstring::npos) rank = 1;
    if (rank > serverRank) {
      serverKey = &subkey;
      serverRank = rank;
    }
  }
  if (serverKey) {
    const std::wstring server = ValueText(registry, key + L"\\" + *serverKey);
    AData.Server = ExpandPathVariables(ViewEnvironment(AEnvironment, AView), server);
  }
  try {
    AData.AppId = ValueText(registry, key, L"AppID");
    AData.TypeLib = ValueText(registry, key + L"\\TypeLib");
    SplitVersion(ValueText(registry, key + L"\\Version"), AData.MajorVersion, AData.MinorVersion);
    AData.ProgId = ValueText(registry, key + L"\\ProgID");
    AData.Bitmap = ValueText(registry, key + L"\\ToolBoxBitmap32");
    AData.DefaultIcon = ValueText(registry, key + L"\\DefaultIcon");
  } catch (const Exception&) {
    // What was read stays; the entry is still shown.
  }
}

std::wstring RegisteredTypeLibFile(const std::wstring& AVersionKey, TRegView AView) {
  if (AView == TRegView::rv64) {
    std::wstring file = RegistryValueToText(HKEY_CLASSES_ROOT, AVersionKey + L"\\0\\win64", L"", true, AView);
    if (!file.empty()) return file;
  }
  return RegistryValueToText(HKEY_CLASSES_ROOT, AVersionKey + L"\\0\\win32", L"", true, AView);
}

void ReadTypeLibDetails(const std::wstring& AGuid, TObjectData& AData, TRegView AView) {
  AData.TypeLib = AData.GUID;
  AData.CLSID = AData.GUID;
  TRegistry registry = CatalogRegistry(AView);
  const std::wstring key = L"TypeLib\\" + AGuid;
  if (!registry.OpenKeyReadOnly(key)) return;
  TStringList versions;
  registry.GetKeyNames(versions);
  registry.CloseKey();
  if (versions.empty()) return;
  // The version the catalog lists; only the neutral locale is consulted, for the platform of the view.
  AData.Server = RegisteredTypeLibFile(key + L"\\" + *HighestVersionKey(versions), AView);
}

void ReadAppIDDetails(const std::wstring&, TObjectData&) {}

void ReadInterfaceDetails(const std::wstring& AGuid, TObjectData& AData, TRegView AView) {
  TRegistry registry = CatalogRegistry(AView);
  const std::wstring key = L"Interface\\" + AGuid;
  if (!registry.OpenKeyReadOnly(key)) return;
  TStringList subkeys;
  registry.GetKeyNames(subkeys);
  registry.CloseKey();
  // No early stop: a later matching subkey overwrites an earlier one.
  for (const std::wstring& subkey : subkeys) {
    std::wstring upper = UpperCaseAscii(subkey);
    const std::wstring path = key + L"\\" + subkey;
    if (upper.find(L"TYPELIB") != std::wstring::npos) {
      AData.TypeLib = ValueText(registry, path);
      SplitVersion(ValueText(registry, path, L"Version"), AData.MajorVersion, AData.MinorVersion);
    } else if (upper.find(L"CLSID") != std::wstring::npos) {
      AData.CLSID = ValueText(registry, path);
    }
  }
}

void ReadDetails(TObjectData& AData, const TStringList& AEnvironment, TRegView AView) {
  switch (AData.Typ) {
    case TObjectType::otCLSID: ReadCLSIDDetails(AData.GUID, AData, AEnvironment, AView); break;
    case TObjectType::otTypeLib: ReadTypeLibDetails(AData.GUID, AData, AView); break;
    case TObjectType::otAppID: ReadAppIDDetails(AData.GUID, AData); break;
    case TObjectType::otInterface: ReadInterfaceDetails(AData.GUID, AData, AView); break;
  }
}

}  // namespace vantrel
