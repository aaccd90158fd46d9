#include "catalog/ObjectCatalog.h"

#include <windows.h>

#include "catalog/Zarvek_RegUtils.h"
#include "catalog/Zarvek_SysUtils.h"

namespace vantrel {

const wchar_t* RootKeyName(TObjectType AType) {
  switch (AType) {
    case TObjectType::otCLSID: return L"CLSID";
    case TObjectType::otTypeLib: return L"TypeLib";
    case TObjectType::otAppID: return L"AppID";
    case TObjectType::otInterface: return L"Interface";
  }
  return L"";
}

const wchar_t* RootCaption(TObjectType AType) {
  switch (AType) {
    case TObjectType::otCLSID: return L"Object Classes";
    case TObjectType::otTypeLib: return L"Type Libraries";
    case TObjectType::otAppID: return L"Application IDs";
    case TObjectType::otInterface: return L"Interfaces";
  }
  return L"";
}

namespace {

// The subkey names of a root key, read with the catalog registry object (the process's view).
bool ReadRootNames(TRegistry& ARegistry, const wchar_t* ARoot, TStringList& ANames) {
  if (!ARegistry.OpenKeyReadOnly(ARoot)) return false;
  ARegistry.GetKeyNames(ANames);
  ARegistry.CloseKey();
  return true;
}

TRegistry CatalogRegistry() {
  TRegistry registry;
  registry.SetRootKey(HKEY_CLASSES_ROOT);
  return registry;
}

}  // namespace

void LoadCLSIDList(TObjects& AList) {
  AList.clear();
  TRegistry registry = CatalogRegistry();
  TStringList names;
  if (!ReadRootNames(registry, L"CLSID", names)) return;
  AList.reserve(names.size());
  std::wstring path = L"CLSID\\";
  for (const std::wstring& name : names) {
    path.resize(6);
    path += name;
    if (!registry.OpenKeyReadOnly(path)) continue;
    TObjectData data;
    data.GUID = name;
    try {
      data.Name = registry.ReadString(L"");
    } catch (const ERegistryException&) {
      // A default value that is not text leaves the class named by its GUID.
    }
    registry.CloseKey();
    if (IsBlankText(data.Name)) data.Name = data.GUID;
    data.Typ = TObjectType::otCLSID;
    AList.push_back(std::move(data));
  }
}

void LoadTypeLibList(TObjects& AList) {
  AList.clear();
  TRegistry registry = CatalogRegistry();
  TStringList names;
  if (!ReadRootNames(registry, L"TypeLib", names)) return;
  TStringList versions;
  for (const std::wstring& name : names) {
    std::wstring path = L"TypeLib\\" + name;
    if (!registry.OpenKeyReadOnly(path)) continue;
    registry.GetKeyNames(versions);
    registry.CloseKey();
    if (versions.empty()) continue;
    const std::wstring& version = versions.front();
    if (!registry.OpenKeyReadOnly(path + L"\\" + version)) continue;
    TObjectData data;
    data.GUID = name;
    data.Name = registry.ReadString(L"");
    SplitVersion(version, data.MajorVersion, data.MinorVersion);
    if (IsBlankText(data.Name)) data.Name = data.GUID;
    data.Typ = TObjectType::otTypeLib;
    AList.push_back(std::move(data));
    registry.CloseKey();
  }
}

void LoadAppIDList(TObjects& AList) {
  AList.clear();
  TRegistry registry = CatalogRegistry();
  TStringList names;
  if (!ReadRootNames(registry, L"AppID", names)) return;
  for (const std::wstring& name : names) {
    if (!registry.OpenKeyReadOnly(L"AppID\\" + name)) continue;
    TObjectData data;
    data.GUID = name;
    data.Name = registry.ReadString(L"");
    registry.CloseKey();
    if (IsBlankText(data.Name)) data.Name = data.GUID;
    data.Typ = TObjectType::otAppID;
    AList.push_back(std::move(data));
  }
}

void LoadInterfaceList(TObjects& AList) {
  AList.clear();
  TRegistry registry = CatalogRegistry();
  TStringList names;
  if (!ReadRootNames(registry, L"Interface", names)) return;
  AList.reserve(names.size());
  std::wstring path = L"Interface\\";
  for (const std::wstring& name : names) {
    path.resize(10);
    path += name;
    std::wstring text = RegistryValueToText(HKEY_CLASSES_ROOT, path, L"", true);
    if (IsBlankText(text)) continue;  // unnamed interfaces are not part of the catalog
    TObjectData data;
    data.Name = std::move(text);
    data.GUID = name;
    data.Typ = TObjectType::otInterface;
    AList.push_back(std::move(data));
  }
}

void LoadList(TObjectType AType, TObjects& AList) {
  switch (AType) {
    case TObjectType::otCLSID: LoadCLSIDList(AList); break;
    case TObjectType::otTypeLib: LoadTypeLibList(AList); break;
    case TObjectType::otAppID: LoadAppIDList(AList); break;
    case TObjectType::otInterface: LoadInterfaceList(AList); break;
  }
}

}  // namespace vantrel
