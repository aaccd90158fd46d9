// Loading the object class and interface catalogs, and the registration check, against the
// plainest loops over the same keys.
//   bench_registry --populate N [FIRST]   registers classes and named interfaces FIRST..N-1 (not timed)
//   bench_registry                 measures
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "catalog/ObjectCatalog.h"
#include "catalog/RegistrationCheck.h"
#include "catalog/Zarvek_RegUtils.h"

using namespace vantrel;
using namespace vantrel::bench;

namespace {

std::wstring Guid(const wchar_t* APrefix, int AIndex) {
  wchar_t text[64];
  swprintf(text, 64, L"{%ls-0000-4000-8000-%012d}", APrefix, AIndex);
  return text;
}

void SetDefault(HKEY ARoot, const std::wstring& APath, REGSAM AView, const std::wstring& AText) {
  HKEY key;
  if (RegCreateKeyExW(ARoot, APath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | AView, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  if (!AText.empty()) {
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(AText.c_str()),
                   static_cast<DWORD>((AText.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
}

void Populate(int AFirst, int ACount) {
  const std::wstring classes = L"Software\\Classes\\";
  for (int i = AFirst; i < ACount; ++i) {
    // Both views hold every entry, so that switching views reads catalogs of the same size.
    std::wstring clsid = classes + L"CLSID\\" + Guid(L"BE0C1A55", i);
    std::wstring intf = classes + L"Interface\\" + Guid(L"BE0C1F00", i);
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      SetDefault(HKEY_LOCAL_MACHINE, clsid, view, L"Bench Class " + std::to_wstring(i));
      SetDefault(HKEY_LOCAL_MACHINE, clsid + L"\\InprocServer32", view, L"C:\\bench\\server.dll");
      SetDefault(HKEY_LOCAL_MACHINE, intf, view, L"IBenchInterface" + std::to_wstring(i));
      SetDefault(HKEY_LOCAL_MACHINE, intf + L"\\ProxyStubClsid32", view, L"{00020424-0000-0000-C000-000000000046}");
    }
  }
}

std::vector<std::wstring> Subkeys(HKEY AKey) {
  std::vector<std::wstring> names;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumKeyExW(AKey, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

// A value of AKey's subkey (or of AKey itself for an empty one), or empty.
std::wstring Query(HKEY AKey, const wchar_t* ASubkey, const wchar_t* AName) {
  HKEY key = AKey;
  if (*ASubkey && RegOpenKeyExW(AKey, ASubkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return {};
  wchar_t value[1024];
  DWORD type = 0, size = sizeof(value) - sizeof(wchar_t);
  std::wstring text;
  if (RegQueryValueExW(key, AName, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    text.assign(value, size / sizeof(wchar_t));
  }
  if (key != AKey) RegCloseKey(key);
  return text;
}

// The reads of the registration check, the plainest way: every entry of the four catalogs opened,
// its name and the values the check looks at queried, one GetFileAttributesW per distinct file.
size_t RawCheckLoop() {
  std::set<std::wstring> files;
  size_t missing = 0;
  auto check = [&](const std::wstring& AFile) {
    if (!AFile.empty() && files.insert(AFile).second && GetFileAttributesW(AFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
      ++missing;
    }
  };
  for (const wchar_t* catalog : {L"CLSID", L"TypeLib", L"AppID", L"Interface"}) {
    HKEY root;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, catalog, 0, KEY_READ, &root) != ERROR_SUCCESS) continue;
    for (const std::wstring& guid : Subkeys(root)) {
      HKEY key;
      if (RegOpenKeyExW(root, guid.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
      Query(key, L"", nullptr);
      if (catalog[0] == L'C') {
        check(Query(key, L"InprocServer32", nullptr));
        check(Query(key, L"LocalServer32", nullptr));
        const std::wstring progId = Query(key, L"ProgID", nullptr);
        if (!progId.empty()) Query(HKEY_CLASSES_ROOT, (progId + L"\\CLSID").c_str(), nullptr);
        Query(key, L"TypeLib", nullptr);
        Query(key, L"", L"AppID");
      } else if (catalog[0] == L'T') {
        for (const std::wstring& version : Subkeys(key)) {
          HKEY versionKey;
          if (RegOpenKeyExW(key, version.c_str(), 0, KEY_READ, &versionKey) != ERROR_SUCCESS) continue;
          for (const std::wstring& locale : Subkeys(versionKey)) {
            check(Query(versionKey, (locale + L"\\win32").c_str(), nullptr));
            check(Query(versionKey, (locale + L"\\win64").c_str(), nullptr));
          }
          RegCloseKey(versionKey);
        }
      } else if (catalog[0] == L'A') {
        Query(key, L"", L"LocalService");
        check(Query(key, L"", L"DllSurrogate"));
      } else {
        Query(key, L"ProxyStubClsid32", nullptr);
        Query(key, L"TypeLib", nullptr);
      }
      RegCloseKey(key);
    }
    RegCloseKey(root);
  }
  return missing;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wcscmp(argv[1], L"--populate") == 0) {
    Populate(argc >= 4 ? _wtoi(argv[3]) : 0, _wtoi(argv[2]));
    return 0;
  }
  const TRegView view = ProcessRegView();
  TObjects list;
  LoadCLSIDList(list, view);
  std::printf("object classes: %zu, ", list.size());
  LoadInterfaceList(list, view);
  std::printf("named interfaces: %zu\n", list.size());
  Compare("LoadCLSIDList", "raw loop", 7, [&] { LoadCLSIDList(list, view); }, [] { RawDefaultValueLoop(L"CLSID"); });
  Compare("LoadInterfaceList", "raw loop", 7, [&] { LoadInterfaceList(list, view); },
          [&] { RawDefaultValueLoop(L"Interface"); });
  TStringList environment;
  ReadEnvironmentBlock(environment);
  size_t problems = 0;
  Compare("CheckRegistrations", "raw loop of the same reads", 3,
          [&] { problems = CheckRegistrations(view, environment).size(); }, [] { RawCheckLoop(); });
  std::printf("  %zu problems\n", problems);
  if (Is64BitWindows()) {
    // The other registry view, against the same loop in that view.
    const TRegView other = view == TRegView::rv64 ? TRegView::rv32 : TRegView::rv64;
    const REGSAM flag = other == TRegView::rv64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    Compare("LoadCLSIDList, other view", "raw loop in that view", 7, [&] { LoadCLSIDList(list, other); },
            [&] { RawDefaultValueLoop(L"CLSID", flag); });
    Compare("LoadInterfaceList, other view", "raw loop in that view", 7, [&] { LoadInterfaceList(list, other); },
            [&] { RawDefaultValueLoop(L"Interface", flag); });
  }
  return 0;
}
