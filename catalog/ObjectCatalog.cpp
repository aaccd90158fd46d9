#include "catalog/ObjectCatalog.h"

#include <windows.h>

#include <functional>

#include "catalog/Zarvek_RegUtils.h"
#include "base/Zarvek_SysUtils.h"

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

// Reads the names of a root key's subkeys straight into records, then completes each record with
// AComplete, which returns false to leave it out. AComplete gets a registry object whose paths
// start below the root key: an entry is opened by its name, in one step (in an explicit view,
// Wine opens a longer path one key at a time). The list keeps the registry's order.
void LoadEntries(const wchar_t* ARoot, TObjectType AType, TObjects& AList, TRegView AView,
                 const std::function<bool(TRegistry& ARegistry, TObjectData& AData)>& AComplete) {
  AList.clear();
  TRegistry registry = CatalogRegistry(AView);
  if (!registry.OpenKeyReadOnly(ARoot)) {
    const LONG result = registry.LastOpenResult();
    if (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND) return;
    // A catalog that exists but cannot be read is not an empty one.
    throw ERegistryException(FormatS(L"The registry key HKEY_CLASSES_ROOT\\%s cannot be read: %s",
                                     {ARoot, Trim(SysErrorMessage(static_cast<DWORD>(result)))}));
  }
  // One record per name: the names are not copied into a list of their own first.
  AList.reserve(registry.SubkeyCount());
  registry.ForEachKeyName([&](std::wstring_view AName) {
    AList.emplace_back();
    AList.back().GUID = AName;
    AList.back().Typ = AType;
  });
  TRegistry entries(registry.Access());
  entries.SetRootKey(registry.CurrentKey());
  size_t kept = 0;
  try {
    for (size_t i = 0; i < AList.size(); ++i) {
      if (!AComplete(entries, AList[i])) continue;
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

// A key that could not be opened: an entry all the same when it exists but may not be read.
bool KeepUnreadable(const TRegistry& ARegistry, TObjectData& AData) {
  if (ARegistry.LastOpenResult() != ERROR_ACCESS_DENIED) return false;
  AData.Name = AData.GUID;
  AData.Unreadable = true;
  return true;
}

// The default value of the open key when it is text; else the entry is named by its GUID.
void ReadEntryName(const TRegistry& ARegistry, TObjectData& AData) {
  try {
    AData.Name = ARegistry.ReadString(L"");
  } catch (const ERegistryException&) {
    AData.Name = TCompactString();
  }
  if (IsBlankText(AData.Name)) AData.Name = AData.GUID;
}

}  // namespace

void LoadCLSIDList(TObjects& AList, TRegView AView) {
  LoadEntries(L"CLSID", TObjectType::otCLSID, AList, AView, [](TRegistry& ARegistry, TObjectData& AData) {
    if (!ARegistry.OpenKeyReadOnly(AData.GUID.view())) return KeepUnreadable(ARegistry, AData);
    ReadEntryName(ARegistry, AData);
    ARegistry.CloseKey();
    return true;
  });
}

void LoadTypeLibList(TObjects& AList, TRegView AView) {
  TStringList versions;
  LoadEntries(L"TypeLib", TObjectType::otTypeLib, AList, AView, [&](TRegistry& ARegistry, TObjectData& AData) {
    const std::wstring path = AData.GUID;
    if (!ARegistry.OpenKeyReadOnly(path)) return KeepUnreadable(ARegistry, AData);
    ARegistry.GetKeyNames(versions);
    ARegistry.CloseKey();
    if (versions.empty()) return false;
    // A library registered in several versions is listed once, under the highest.
    const std::wstring& version = *HighestVersionKey(versions);
    if (!ARegistry.OpenKeyReadOnly(path + L"\\" + version)) return KeepUnreadable(ARegistry, AData);
    ReadEntryName(ARegistry, AData);
    SplitVersion(version, AData.MajorVersion, AData.MinorVersion);
    ARegistry.CloseKey();
    return true;
  });
}

void LoadAppIDList(TObjects& AList, TRegView AView) {
  LoadEntries(L"AppID", TObjectType::otAppID, AList, AView, [](TRegistry& ARegistry, TObjectData& AData) {
    if (!ARegistry.OpenKeyReadOnly(AData.GUID.view())) return KeepUnreadable(ARegistry, AData);
    ReadEntryName(ARegistry, AData);
    ARegistry.CloseKey();
    return true;
  });
}

void LoadInterfaceList(TObjects& AList, TRegView AView) {
  LoadEntries(L"Interface", TObjectType::otInterface, AList, AView, [](TRegistry& ARegistry, TObjectData& AData) {
    // An interface whose name cannot be read may be named: it is listed.
    if (!ARegistry.OpenKeyReadOnly(AData.GUID.view())) return KeepUnreadable(ARegistry, AData);
    // Any type of default value names the interface, rendered as the registry view shows it.
    std::wstring text = RegistryValueText(ARegistry, L"", true);
    ARegistry.CloseKey();
    if (IsBlankText(text)) return false;  // unnamed interfaces are not part of the catalog
    AData.Name = text;
    return true;
  });
}

const std::wstring* HighestVersionKey(const TStringList& AKeys) {
  const std::wstring* best = nullptr;
  uint32_t bestMajor = 0, bestMinor = 0;
  bool bestIsVersion = false;
  for (const std::wstring& key : AKeys) {
    uint32_t major = 0, minor = 0;
    const bool isVersion = SplitVersion(key, major, minor);
    if (!best || (isVersion && (!bestIsVersion || major > bestMajor || (major == bestMajor && minor > bestMinor)))) {
      best = &key;
      bestMajor = major;
      bestMinor = minor;
      bestIsVersion = isVersion;
    }
  }
  return best;
}

void LoadList(TObjectType AType, TObjects& AList, TRegView AView) {
  switch (AType) {
    case TObjectType::otCLSID: LoadCLSIDList(AList, AView); break;
    case TObjectType::otTypeLib: LoadTypeLibList(AList, AView); break;
    case TObjectType::otAppID: LoadAppIDList(AList, AView); break;
    case TObjectType::otInterface: LoadInterfaceList(AList, AView); break;
  }
}

}  // namespace vantrel
