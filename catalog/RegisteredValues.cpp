#include "catalog/RegisteredValues.h"

namespace vantrel {

void TRegisteredValues::Clear() {
  // Cleared, not replaced: the strings keep their room for the next entry.
  for (std::wstring* text : {&Name, &InprocServer, &LocalServer, &ProgId, &VersionIndependentProgId, &ServerExecutable,
                             &TreatAs, &AutoConvertTo, &TypeLib, &AppId, &ProxyStub, &LocalService, &DllSurrogate,
                             &RunAs}) {
    text->clear();
  }
  OpenResult = ERROR_SUCCESS;
  InprocServerType = LocalServerType = REG_NONE;
  HasServerKey = false;
  Versions.clear();
}

TRegisteredValuesReader::TRegisteredValuesReader(TRegView AView) : FViewAccess(RegViewAccess(AView)) {
  FBuffer.resize(512);
}

HKEY TRegisteredValuesReader::Root(TObjectType AType) {
  const size_t kind = static_cast<size_t>(AType);
  if (kind >= 4) return nullptr;
  if (!FRootTried[kind]) {
    FRootTried[kind] = true;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, RootKeyName(AType), 0, KEY_READ | FViewAccess, &key) == ERROR_SUCCESS) {
      FRoots[kind].reset(key);
    }
  }
  return FRoots[kind].get();
}

bool TRegisteredValuesReader::ReadText(HKEY AKey, const wchar_t* ASubkey, const wchar_t* AName, std::wstring& AText,
                                       DWORD* AType) {
  AText.clear();
  if (AType) *AType = REG_NONE;
  TRegKey subkey;
  HKEY key = AKey;
  if (ASubkey) {
    HKEY opened = nullptr;
    const LONG result = RegOpenKeyExW(AKey, ASubkey, 0, KEY_QUERY_VALUE | FViewAccess, &opened);
    // A key that exists but may not be read still exists.
    if (result != ERROR_SUCCESS) return result == ERROR_ACCESS_DENIED;
    subkey.reset(opened);
    key = opened;
  }
  for (;;) {
    DWORD type = REG_NONE;
    DWORD size = static_cast<DWORD>(FBuffer.size() * sizeof(wchar_t));
    const LONG result = RegQueryValueExW(key, AName, nullptr, &type, reinterpret_cast<BYTE*>(FBuffer.data()), &size);
    if (result == ERROR_MORE_DATA) {
      FBuffer.resize(size / sizeof(wchar_t) + 1);
      continue;
    }
    // A value that is not text names no file and no key.
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return true;
    if (AType) *AType = type;
    const size_t length = size / sizeof(wchar_t);
    size_t end = 0;
    while (end < length && FBuffer[end] != L'\0') ++end;
    AText.assign(FBuffer.data(), end);
    return true;
  }
}

namespace {

// The subkey names of a key, in enumeration order.
void SubkeyNames(HKEY AKey, std::vector<std::wstring>& ANames) {
  ANames.clear();
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    const LONG result = RegEnumKeyExW(AKey, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_MORE_DATA) continue;  // no registry key name is longer
    if (result != ERROR_SUCCESS) return;
    ANames.emplace_back(name, length);
  }
}

bool IsLocaleKey(std::wstring_view AName) {
  return !AName.empty() && AName.find_first_not_of(L"0123456789abcdefABCDEF") == std::wstring_view::npos;
}

}  // namespace

void TRegisteredValuesReader::ReadTypeLib(HKEY AEntry, TRegisteredValues& AValues) {
  std::vector<std::wstring> versions, locales;
  SubkeyNames(AEntry, versions);
  for (std::wstring& version : versions) {
    HKEY versionKey = nullptr;
    if (RegOpenKeyExW(AEntry, version.c_str(), 0, KEY_READ | FViewAccess, &versionKey) != ERROR_SUCCESS) continue;
    TRegKey versionOwner(versionKey);
    TTypeLibVersion& entry = AValues.Versions.emplace_back();
    entry.Version = std::move(version);
    ReadText(versionKey, nullptr, nullptr, entry.Name);
    // Locale keys are hexadecimal numbers; FLAGS and HELPDIR sit beside them.
    SubkeyNames(versionKey, locales);
    for (const std::wstring& locale : locales) {
      if (!IsLocaleKey(locale)) continue;
      HKEY localeKey = nullptr;
      if (RegOpenKeyExW(versionKey, locale.c_str(), 0, KEY_READ | FViewAccess, &localeKey) != ERROR_SUCCESS) continue;
      TRegKey localeOwner(localeKey);
      for (const wchar_t* platform : {L"win32", L"win64"}) {
        std::wstring path;
        ReadText(localeKey, platform, nullptr, path);
        if (!path.empty()) entry.Files.push_back({locale, platform, std::move(path)});
      }
    }
  }
}

void TRegisteredValuesReader::Read(TObjectType AType, std::wstring_view AGuid, TRegisteredValues& AValues) {
  AValues.Clear();
  HKEY root = Root(AType);
  if (!root) return;
  FPath.assign(AGuid);
  HKEY entry = nullptr;
  AValues.OpenResult = RegOpenKeyExW(root, FPath.c_str(), 0, KEY_READ | FViewAccess, &entry);
  if (AValues.OpenResult != ERROR_SUCCESS) return;
  TRegKey entryOwner(entry);
  ReadText(entry, nullptr, nullptr, AValues.Name);
  switch (AType) {
    case TObjectType::otCLSID: {
      bool server = ReadText(entry, L"InprocServer32", nullptr, AValues.InprocServer, &AValues.InprocServerType);
      if (ReadText(entry, L"LocalServer32", nullptr, AValues.LocalServer, &AValues.LocalServerType)) {
        server = true;
        ReadText(entry, L"LocalServer32", L"ServerExecutable", AValues.ServerExecutable);
      }
      std::wstring ignored;
      // The 16-bit forms are servers too, of programs long gone.
      AValues.HasServerKey = server || ReadText(entry, L"InprocServer", nullptr, ignored) ||
                             ReadText(entry, L"LocalServer", nullptr, ignored);
      ReadText(entry, L"ProgID", nullptr, AValues.ProgId);
      ReadText(entry, L"VersionIndependentProgID", nullptr, AValues.VersionIndependentProgId);
      ReadText(entry, L"TypeLib", nullptr, AValues.TypeLib);
      ReadText(entry, L"TreatAs", nullptr, AValues.TreatAs);
      ReadText(entry, L"AutoConvertTo", nullptr, AValues.AutoConvertTo);
      ReadText(entry, nullptr, L"AppID", AValues.AppId);
      break;
    }
    case TObjectType::otInterface:
      ReadText(entry, L"ProxyStubClsid32", nullptr, AValues.ProxyStub);
      ReadText(entry, L"TypeLib", nullptr, AValues.TypeLib);
      break;
    case TObjectType::otTypeLib:
      ReadTypeLib(entry, AValues);
      break;
    case TObjectType::otAppID:
      ReadText(entry, nullptr, L"LocalService", AValues.LocalService);
      ReadText(entry, nullptr, L"DllSurrogate", AValues.DllSurrogate);
      ReadText(entry, nullptr, L"RunAs", AValues.RunAs);
      break;
  }
}

}  // namespace vantrel
