#include "tests/support/RegistryFixture.h"

#include <objbase.h>
#include <sddl.h>

#include <algorithm>
#include <stdexcept>

namespace vantrel::test {

namespace {

// Writes go to HKLM\Software\Classes: the test prefix's HKEY_CLASSES_ROOT reads from there.
const wchar_t kClasses[] = L"Software\\Classes\\";

std::vector<REGSAM> Views(TView AView) {
  switch (AView) {
    case TView::v32: return {KEY_WOW64_32KEY};
    case TView::v64: return {KEY_WOW64_64KEY};
    case TView::Both: return {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
  }
  return {};
}

HKEY CreateIn(REGSAM AView, const std::wstring& APath) {
  HKEY key = nullptr;
  std::wstring full = kClasses + APath;
  LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | AView,
                                nullptr, &key, nullptr);
  if (result != ERROR_SUCCESS) throw std::runtime_error("RegCreateKeyEx failed");
  return key;
}

void DeleteIn(REGSAM AView, const std::wstring& APath) {
  size_t slash = APath.rfind(L'\\');
  std::wstring parentPath = kClasses + (slash == std::wstring::npos ? std::wstring() : APath.substr(0, slash));
  std::wstring name = slash == std::wstring::npos ? APath : APath.substr(slash + 1);
  HKEY parent = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, parentPath.c_str(), 0, KEY_ALL_ACCESS | AView, &parent) != ERROR_SUCCESS) {
    return;
  }
  RegDeleteTreeW(parent, name.c_str());
  RegDeleteKeyExW(parent, name.c_str(), AView, 0);
  RegCloseKey(parent);
}

}  // namespace

std::wstring NewGuid() {
  GUID guid;
  CoCreateGuid(&guid);
  wchar_t text[40];
  StringFromGUID2(guid, text, 40);
  return text;
}

TRegistryFixture::~TRegistryFixture() {
  // Deepest keys first; the tops are enough since deletion takes whole trees.
  for (auto it = FCreated.rbegin(); it != FCreated.rend(); ++it) DeleteKey(*it);
}

void TRegistryFixture::CreateKey(const std::wstring& APath, TView AView) {
  for (REGSAM view : Views(AView)) RegCloseKey(CreateIn(view, APath));
  if (std::find(FCreated.begin(), FCreated.end(), APath) == FCreated.end()) FCreated.push_back(APath);
}

void TRegistryFixture::SetValue(const std::wstring& APath, const std::wstring& AName, DWORD AType,
                                const void* AData, size_t ASize, TView AView) {
  for (REGSAM view : Views(AView)) {
    HKEY key = CreateIn(view, APath);
    LONG result = RegSetValueExW(key, AName.c_str(), 0, AType, static_cast<const BYTE*>(AData),
                                 static_cast<DWORD>(ASize));
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) throw std::runtime_error("RegSetValueEx failed");
  }
  if (std::find(FCreated.begin(), FCreated.end(), APath) == FCreated.end()) FCreated.push_back(APath);
}

void TRegistryFixture::SetString(const std::wstring& APath, const std::wstring& AName, const std::wstring& AText,
                                 TView AView, DWORD AType) {
  SetValue(APath, AName, AType, AText.c_str(), (AText.size() + 1) * sizeof(wchar_t), AView);
}

void TRegistryFixture::SetDword(const std::wstring& APath, const std::wstring& AName, DWORD AValue, TView AView) {
  SetValue(APath, AName, REG_DWORD, &AValue, sizeof(AValue), AView);
}

void TRegistryFixture::SetBinary(const std::wstring& APath, const std::wstring& AName,
                                 const std::vector<BYTE>& ABytes, TView AView) {
  SetValue(APath, AName, REG_BINARY, ABytes.data(), ABytes.size(), AView);
}

void TRegistryFixture::DeleteKey(const std::wstring& APath) {
  // A fixture never removes one of the catalog roots.
  for (const wchar_t* root : {L"", L"CLSID", L"TypeLib", L"AppID", L"Interface", L"Wow6432Node"}) {
    if (_wcsicmp(APath.c_str(), root) == 0) return;
  }
  DeleteIn(KEY_WOW64_32KEY, APath);
  DeleteIn(KEY_WOW64_64KEY, APath);
}

TUnreadableKey::TUnreadableKey(const std::wstring& APath) : FPath(kClasses + APath) {
  PSECURITY_DESCRIPTOR denied = nullptr;
  // Everyone: no value queries and no subkey enumeration; every other right stays.
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(D;;CCSW;;;WD)(A;;KA;;;WD)", SDDL_REVISION_1,
                                                            &denied, nullptr)) {
    throw std::runtime_error("ConvertStringSecurityDescriptorToSecurityDescriptor failed");
  }
  for (REGSAM view : Views(TView::Both)) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, FPath.c_str(), 0, READ_CONTROL | WRITE_DAC | view, &key) != ERROR_SUCCESS) {
      continue;
    }
    TSaved saved{view, std::vector<BYTE>(4096)};
    DWORD size = static_cast<DWORD>(saved.Security.size());
    if (RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.Security.data(), &size) == ERROR_SUCCESS &&
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, denied) == ERROR_SUCCESS) {
      FSaved.push_back(std::move(saved));
    }
    RegCloseKey(key);
  }
  LocalFree(denied);
  if (FSaved.empty()) throw std::runtime_error("the key's permissions cannot be changed");
}

TUnreadableKey::~TUnreadableKey() {
  // Backwards: a key both views share was saved a second time already denied.
  for (auto it = FSaved.rbegin(); it != FSaved.rend(); ++it) {
    TSaved& saved = *it;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, FPath.c_str(), 0, WRITE_DAC | saved.View, &key) != ERROR_SUCCESS) continue;
    RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, saved.Security.data());
    RegCloseKey(key);
  }
}

}  // namespace vantrel::test
