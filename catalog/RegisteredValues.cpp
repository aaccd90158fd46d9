#include "catalog/RegisteredValues.h"

namespace vantrel {

void TRegisteredValues::Clear() {
  // Cleared, not replaced: the strings keep their room for the next entry.
  for (std::wstring* text : {&InprocServer, &LocalServer, &ProgId, &VersionIndependentProgId, &TypeLib, &AppId,
                             &ProxyStub, &LocalService, &DllSurrogate, &RunAs}) {
    text->clear();
  }
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

void TRegisteredValuesReader::ReadText(HKEY AKey, const wchar_t* ASubkey, const wchar_t* AName, std::wstring& AText) {
  AText.clear();
  TRegKey subkey;
  HKEY key = AKey;
  if (ASubkey) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(AKey, ASubkey, 0, KEY_QUERY_VALUE | FViewAccess, &opened) != ERROR_SUCCESS) return;
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
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return;
    const size_t length = size / sizeof(wchar_t);
    size_t end = 0;
    while (end < length && FBuffer[end] != L'\0') ++end;
    AText.assign(FBuffer.data(), end);
    return;
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
  if (RegOpenKeyExW(root, FPath.c_str(), 0, KEY_READ | FViewAccess, &entry) != ERROR_SUCCESS) return;
  TRegKey entryOwner(entry);
  switch (AType) {
    case TObjectType::otCLSID:
      ReadText(entry, L"InprocServer32", nullptr, AValues.InprocServer);
      ReadText(entry, L"LocalServer32", nullptr, AValues.LocalServer);
      ReadText(entry, L"ProgID", nullptr, AValues.ProgId);
      ReadText(entry, L"VersionIndependentProgID", nullptr, AValues.VersionIndependentProgId);
      ReadText(entry, L"TypeLib", nullptr, AValues.TypeLib);
      ReadText(entry, nullptr, L"AppID", AValues.AppId);
      break;
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
