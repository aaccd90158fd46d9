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

TRegistry CatalogRegistry() {
  TRegistry registry;
  registry.SetRootKey(HKEY_CLASSES_ROOT);
  return registry;
}

// Reads the names of a root key's subkeys (with the catalog registry object, the process's view)
// straight into records, then completes each record with AComplete, which returns false to leave
// it out. The list keeps the registry's order. When AComplete raises an error, the records
// completed before it stay and the error goes on.
void LoadEntries(const wchar_t* ARoot, TObjectType AType, TObjects& AList,
                 const std::function<bool(TRegistry& ARegistry, TObjectData& AData)>& AComplete) {
  AList.clear();
  TRegistry registry = CatalogRegistry();
  if (!registry.OpenKeyReadOnly(ARoot)) return;
  // One record per name: the names are not copied into a list of their own first.
  AList.reserve(registry.SubkeyCount());
  registry.ForEachKeyName([&](std::wstring_view AName) {
    AList.emplace_back();
    AList.back().GUID = AName;
    AList.back().Typ = AType;
  });
  registry.CloseKey();
  size_t kept = 0;
  try {
    for (size_t i = 0; i < AList.size(); ++i) {
      if (!AComplete(registry, AList[i])) continue;
      if (kept != i) AList[kept] = std::move(AList[i]);
      ++kept;
    }
  } catch (...) {
    AList.resize(kept);
    throw;
  }
  AList.resize(kept);
  AList.shrink_to_fit();
}

}  // namespace

void LoadCLSIDList(TObjects& AList) {
  std::wstring path = L"CLSID\\";
  LoadEntries(L"CLSID", TObjectType::otCLSID, AList, [&](TRegistry& ARegistry, TObjectData& AData) {
    path.resize(6);
    path += AData.GUID.view();
    if (!ARegistry.OpenKeyReadOnly(path)) return false;
    try {
      AData.Name = ARegistry.ReadString(L"");
    } catch (const ERegistryException&) {
      // A default value that is not text leaves the class named by its GUID.
    }
    ARegistry.CloseKey();
    if (IsBlankText(AData.Name)) AData.Name = AData.GUID;
    return true;
  });
}

void LoadTypeLibList(TObjects& AList) {
  TStringList versions;
  LoadEntries(L"TypeLib", TObjectType::otTypeLib, AList, [&](TRegistry& ARegistry, TObjectData& AData) {
    const std::wstring path = L"TypeLib\\" + AData.GUID;
    if (!ARegistry.OpenKeyReadOnly(path)) return false;
    ARegistry.GetKeyNames(versions);
    ARegistry.CloseKey();
    if (versions.empty()) return false;
    // A library registered in several versions is listed once, under the first.
    const std::wstring& version = versions.front();
    if (!ARegistry.OpenKeyReadOnly(path + L"\\" + version)) return false;
    AData.Name = ARegistry.ReadString(L"");
    SplitVersion(version, AData.MajorVersion, AData.MinorVersion);
    if (IsBlankText(AData.Name)) AData.Name = AData.GUID;
    ARegistry.CloseKey();
    return true;
  });
}

void LoadAppIDList(TObjects& AList) {
  LoadEntries(L"AppID", TObjectType::otAppID, AList, [](TRegistry& ARegistry, TObjectData& AData) {
    if (!ARegistry.OpenKeyReadOnly(L"AppID\\" + AData.GUID)) return false;
    AData.Name = ARegistry.ReadString(L"");
    ARegistry.CloseKey();
    if (IsBlankText(AData.Name)) AData.Name = AData.GUID;
    return true;
  });
}

void LoadInterfaceList(TObjects& AList) {
  std::wstring path = L"Interface\\";
  LoadEntries(L"Interface", TObjectType::otInterface, AList, [&](TRegistry&, TObjectData& AData) {
    path.resize(10);
    path += AData.GUID.view();
    // The name comes through the value reader and so from its registry view.
    std::wstring text = RegistryValueToText(HKEY_CLASSES_ROOT, path, L"", true);
    if (IsBlankText(text)) return false;  // unnamed interfaces are not part of the catalog
    AData.Name = text;
    return true;
  });
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
