#include "catalog/DetailReaders.h"

#include <windows.h>

#include "catalog/Zarvek_RegUtils.h"
#include "catalog/Zarvek_SysUtils.h"

namespace vantrel {

namespace {

std::wstring ValueText(const std::wstring& AKey, const std::wstring& AName = {}) {
  return RegistryValueToText(HKEY_CLASSES_ROOT, AKey, AName, true);
}

}  // namespace

void ReadCLSIDDetails(const std::wstring& AGuid, TObjectData& AData, const TStringList& AEnvironment) {
  AData.CLSID = AData.GUID;
  const std::wstring key = L"CLSID\\" + AGuid;
  TStringList subkeys;
  ListSubkeys(HKEY_CLASSES_ROOT, key, subkeys);
  for (const std::wstring& subkey : subkeys) {
    // InprocServer32, LocalServer32 and their 16-bit forms, but not InprocHandler32.
    if (UpperCaseAscii(subkey).find(L"SERVER") != std::wstring::npos) {
      AData.Server = ExpandPathVariables(AEnvironment, ValueText(key + L"\\" + subkey));
      break;
    }
  }
  try {
    AData.AppId = ValueText(key, L"AppID");
    AData.TypeLib = ValueText(key + L"\\TypeLib");
    SplitVersion(ValueText(key + L"\\Version"), AData.MajorVersion, AData.MinorVersion);
    AData.ProgId = ValueText(key + L"\\ProgID");
    AData.Bitmap = ValueText(key + L"\\ToolBoxBitmap32");
    AData.DefaultIcon = ValueText(key + L"\\DefaultIcon");
  } catch (const Exception&) {
    // What was read stays; the entry is still shown.
  }
}

void ReadTypeLibDetails(const std::wstring& AGuid, TObjectData& AData) {
  AData.TypeLib = AData.GUID;
  AData.CLSID = AData.GUID;
  TRegistry registry;
  registry.SetRootKey(HKEY_CLASSES_ROOT);
  const std::wstring key = L"TypeLib\\" + AGuid;
  if (!registry.OpenKeyReadOnly(key)) return;
  TStringList versions;
  registry.GetKeyNames(versions);
  registry.CloseKey();
  if (versions.empty()) return;
  // Only the neutral locale and the win32 platform are consulted.
  AData.Server = ValueText(key + L"\\" + versions.front() + L"\\0\\win32");
}

void ReadAppIDDetails(const std::wstring&, TObjectData&) {}

void ReadInterfaceDetails(const std::wstring& AGuid, TObjectData& AData) {
  TRegistry registry;
  registry.SetRootKey(HKEY_CLASSES_ROOT);
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
      AData.TypeLib = ValueText(path);
      SplitVersion(ValueText(path, L"Version"), AData.MajorVersion, AData.MinorVersion);
    } else if (upper.find(L"CLSID") != std::wstring::npos) {
      AData.CLSID = ValueText(path);
    }
  }
}

void ReadDetails(TObjectData& AData, const TStringList& AEnvironment) {
  switch (AData.Typ) {
    case TObjectType::otCLSID: ReadCLSIDDetails(AData.GUID, AData, AEnvironment); break;
    case TObjectType::otTypeLib: ReadTypeLibDetails(AData.GUID, AData); break;
    case TObjectType::otAppID: ReadAppIDDetails(AData.GUID, AData); break;
    case TObjectType::otInterface: ReadInterfaceDetails(AData.GUID, AData); break;
  }
}

}  // namespace vantrel
