// Loading the object class and interface catalogs, the registration check and the search index,
// against the plainest loops over the same keys.
//   bench_registry --populate N [FIRST]   registers classes and named interfaces FIRST..N-1 (not timed)
//   bench_registry                 measures
//   bench_registry --search        measures one keystroke's search over the whole index
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "bench/support/BenchSupport.h"
#include "catalog/ObjectCatalog.h"
#include "catalog/RegisteredValues.h"
#include "catalog/RegistrationCheck.h"
#include "catalog/SearchIndex.h"
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

// Whether a key directly under HKEY_CLASSES_ROOT can be a ProgID: not a file extension, not a
// catalog.
bool MayBeProgId(const std::wstring& AName) {
  if (AName.empty() || AName[0] == L'.' || AName[0] == L'*') return false;
  for (const wchar_t* catalog : {L"CLSID", L"TypeLib", L"AppID", L"Interface"}) {
    if (_wcsicmp(AName.c_str(), catalog) == 0) return false;
  }
  return true;
}

// The reads of the registration check, the plainest way: the ProgID keys, then every entry of the
// four catalogs opened, its name and the values the check looks at queried, one GetFileAttributesW
// per distinct file.
size_t RawCheckLoop() {
  std::set<std::wstring> files;
  size_t missing = 0;
  auto check = [&](const std::wstring& AFile) {
    if (!AFile.empty() && files.insert(AFile).second && GetFileAttributesW(AFile.c_str()) == INVALID_FILE_ATTRIBUTES) {
      ++missing;
    }
  };
  // ProgIDs left behind: the class and the current version every ProgID key names.
  for (const std::wstring& name : Subkeys(HKEY_CLASSES_ROOT)) {
    if (!MayBeProgId(name)) continue;
    Query(HKEY_CLASSES_ROOT, (name + L"\\CLSID").c_str(), nullptr);
    Query(HKEY_CLASSES_ROOT, (name + L"\\CurVer").c_str(), nullptr);
  }
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
        check(Query(key, L"LocalServer32", L"ServerExecutable"));
        const std::wstring progId = Query(key, L"ProgID", nullptr);
        if (!progId.empty()) Query(HKEY_CLASSES_ROOT, (progId + L"\\CLSID").c_str(), nullptr);
        Query(key, L"TypeLib", nullptr);
        Query(key, L"TreatAs", nullptr);
        Query(key, L"AutoConvertTo", nullptr);
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

// The reads of the search index, the plainest way: the CLSID subkey of every key under
// HKEY_CLASSES_ROOT that may be a ProgID, then every entry of the four catalogs opened, its name
// and the values the search looks at queried, each a string of its own.
size_t RawSearchReadLoop() {
  size_t texts = 0;
  auto keep = [&](const std::wstring& AText) { texts += AText.empty() ? 0 : 1; };
  for (const std::wstring& name : Subkeys(HKEY_CLASSES_ROOT)) {
    if (MayBeProgId(name)) keep(Query(HKEY_CLASSES_ROOT, (name + L"\\CLSID").c_str(), nullptr));
  }
  for (const wchar_t* catalog : {L"CLSID", L"TypeLib", L"AppID", L"Interface"}) {
    HKEY root;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, catalog, 0, KEY_READ, &root) != ERROR_SUCCESS) continue;
    for (const std::wstring& guid : Subkeys(root)) {
      HKEY key;
      if (RegOpenKeyExW(root, guid.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
      keep(Query(key, L"", nullptr));
      if (catalog[0] == L'C') {
        for (const wchar_t* subkey : {L"InprocServer32", L"LocalServer32", L"ProgID", L"VersionIndependentProgID",
                                      L"TypeLib"}) {
          keep(Query(key, subkey, nullptr));
        }
        keep(Query(key, L"", L"AppID"));
      } else if (catalog[0] == L'T') {
        for (const std::wstring& version : Subkeys(key)) {
          HKEY versionKey;
          if (RegOpenKeyExW(key, version.c_str(), 0, KEY_READ, &versionKey) != ERROR_SUCCESS) continue;
          keep(Query(versionKey, L"", nullptr));
          for (const std::wstring& locale : Subkeys(versionKey)) {
            keep(Query(versionKey, (locale + L"\\win32").c_str(), nullptr));
            keep(Query(versionKey, (locale + L"\\win64").c_str(), nullptr));
          }
          RegCloseKey(versionKey);
        }
      } else if (catalog[0] == L'A') {
        for (const wchar_t* name : {L"LocalService", L"DllSurrogate", L"RunAs"}) keep(Query(key, L"", name));
      } else {
        keep(Query(key, L"ProxyStubClsid32", nullptr));
        keep(Query(key, L"TypeLib", nullptr));
      }
      RegCloseKey(key);
    }
    RegCloseKey(root);
  }
  return texts;
}

// The index as the main window builds it: the ProgID keys, then the four catalogs, each entry's
// values, in tree order.
void BuildSearchIndex(TRegView AView, const TStringList& AEnvironment, TSearchIndex& AIndex) {
  AIndex.Clear();
  TSearchEntryReader reader(AView, ViewEnvironment(AEnvironment, AView), TProgIdKeys(AView));
  for (TObjectType kind : {TObjectType::otCLSID, TObjectType::otAppID, TObjectType::otTypeLib,
                           TObjectType::otInterface}) {
    TObjects list;
    LoadList(kind, list, AView);
    std::vector<uint32_t> order(list.size());
    for (uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t A, uint32_t B) { return list[A].Name.view() < list[B].Name.view(); });
    for (uint32_t index : order) reader.Add(AIndex, kind, index, list[index]);
  }
}

std::wstring LowerCopy(std::wstring AText) {
  CharLowerBuffW(AText.data(), static_cast<DWORD>(AText.size()));
  return AText;
}

// One keystroke's search over the whole index, against the plainest scan of the same strings:
// every field of every entry as a lower-cased string of its own, searched with find.
int SearchBench() {
  const TRegView view = ProcessRegView();
  TStringList environment;
  ReadEnvironmentBlock(environment);
  TSearchIndex index;
  BuildSearchIndex(view, environment, index);
  index.Compact();
  std::printf("search index: %zu entries, %.1f MB (%.0f bytes an entry)\n", index.Count(),
              index.MemoryUsed() / 1048576.0, static_cast<double>(index.MemoryUsed()) / index.Count());

  // The same strings, one per field, lower-cased once: paths also expanded, ProgID keys too.
  std::vector<std::vector<std::wstring>> fields;
  {
    const TStringList viewEnvironment = ViewEnvironment(environment, view);
    const TProgIdKeys progIds(view);
    TRegisteredValuesReader reader(view);
    TRegisteredValues values;
    for (TObjectType kind : {TObjectType::otCLSID, TObjectType::otAppID, TObjectType::otTypeLib,
                             TObjectType::otInterface}) {
      TObjects list;
      LoadList(kind, list, view);
      for (const TObjectData& entry : list) {
        reader.Read(kind, entry.GUID.view(), values);
        std::vector<std::wstring>& entryFields = fields.emplace_back();
        for (const std::wstring* text : {&values.ProgId, &values.VersionIndependentProgId, &values.InprocServer,
                                         &values.LocalServer, &values.TypeLib, &values.AppId, &values.ProxyStub,
                                         &values.LocalService, &values.DllSurrogate}) {
          if (!text->empty()) entryFields.push_back(LowerCopy(*text));
        }
        for (const TTypeLibVersion& version : values.Versions) {
          entryFields.push_back(LowerCopy(version.Name));
          for (const TTypeLibFile& file : version.Files) entryFields.push_back(LowerCopy(file.Path));
        }
        for (const std::wstring* path : {&values.InprocServer, &values.LocalServer, &values.DllSurrogate}) {
          if (path->find(L'%') != std::wstring::npos) {
            entryFields.push_back(LowerCopy(ExpandPathVariables(viewEnvironment, *path)));
          }
        }
        if (kind == TObjectType::otCLSID) {
          for (const std::wstring& progId : progIds.Of(entry.GUID.view())) entryFields.push_back(LowerCopy(progId));
        }
        entryFields.push_back(LowerCopy(std::wstring(entry.Name.view())));
        entryFields.push_back(LowerCopy(std::wstring(entry.GUID.view())));
      }
    }
  }
  for (const wchar_t* query : {L"Bench Class 12345", L"interface3999", L"be0c1f00-0000-4000", L"server.dll",
                               L"no such text"}) {
    size_t found = 0, scanned = 0;
    char name[96];
    std::snprintf(name, sizeof(name), "search \"%ls\"", query);
    Compare(name, "plain scan", 9, [&] { found = index.Find(query).size(); },
            [&] {
              scanned = 0;
              const std::wstring lowered = LowerCopy(query);
              for (const auto& entry : fields) {
                for (const std::wstring& field : entry) {
                  if (field.find(lowered) != std::wstring::npos) {
                    ++scanned;
                    break;
                  }
                }
              }
            });
    std::printf("  %zu entries found (plain scan: %zu)\n", found, scanned);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wcscmp(argv[1], L"--populate") == 0) {
    Populate(argc >= 4 ? _wtoi(argv[3]) : 0, _wtoi(argv[2]));
    return 0;
  }
  if (argc >= 2 && std::wcscmp(argv[1], L"--search") == 0) return SearchBench();
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
  TSearchIndex index;
  Compare("search index, built", "raw loop of the same reads", 3, [&] { BuildSearchIndex(view, environment, index); },
          [] { RawSearchReadLoop(); });
  std::printf("  %zu entries\n", index.Count());
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
