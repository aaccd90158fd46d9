#include "catalog/RegistrationCheck.h"

#include <windows.h>

#include <unordered_map>
#include <unordered_set>

#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "catalog/CsvExport.h"
#include "catalog/ServerPaths.h"
#include "catalog/Zarvek_RegUtils.h"

namespace vantrel {

namespace {

// The subkey names of a catalog's root key, for "is it registered" questions.
class TRegisteredKeys {
 public:
  TRegisteredKeys(const wchar_t* ARoot, TRegView AView) {
    TStringList names;
    ListSubkeys(HKEY_CLASSES_ROOT, ARoot, names, AView);
    for (std::wstring& name : names) FNames.insert(UpperCaseAscii(name));
  }
  bool Contains(std::wstring_view AName) const { return FNames.count(UpperCaseAscii(Trim(AName))) != 0; }

 private:
  std::unordered_set<std::wstring> FNames;
};

class TChecker {
 public:
  TChecker(TRegView AView, const TStringList& AEnvironment, const TCheckProgress& AProgress)
      : FView(AView),
        FEnvironment(ViewEnvironment(AEnvironment, AView)),
        FProgress(AProgress),
        FRegistry(CatalogRegistry(AView)),
        FClasses(L"CLSID", AView),
        FTypeLibs(L"TypeLib", AView),
        FAppIds(L"AppID", AView) {}

  TRegistrationProblems Run();

 private:
  void CheckClass(const TObjectData& AEntry);
  void CheckTypeLib(const TObjectData& AEntry);
  void CheckAppId(const TObjectData& AEntry);
  void CheckInterface(const TObjectData& AEntry);
  void Add(const TObjectData& AEntry, TObjectType AType, const wchar_t* AProblem, const std::wstring& AValue) {
    FProblems.push_back({AType, AEntry.Name, AEntry.GUID, AProblem, AValue});
  }
  // A value of a key, as text; empty when the key or the value is missing or is no text.
  std::wstring Value(const std::wstring& AKey, const wchar_t* AName = L"") {
    if (!FRegistry.OpenKeyReadOnly(AKey)) return std::wstring();
    std::wstring text;
    try {
      if (FRegistry.ValueExists(AName)) text = FRegistry.ReadString(AName);
    } catch (const ERegistryException&) {
      // A value that is not text names no file and no key.
    }
    FRegistry.CloseKey();
    return text;
  }
  // True when the file a server, surrogate or library path names exists, for the programs of AView.
  bool FileFound(const std::wstring& APath, TRegView AView);

  TRegView FView;
  TStringList FEnvironment;
  const TCheckProgress& FProgress;
  TRegistry FRegistry;
  TRegisteredKeys FClasses, FTypeLibs, FAppIds;
  std::unordered_map<std::wstring, bool> FFiles[2];  // by view, the upper-case path
  TRegistrationProblems FProblems;
};

bool TChecker::FileFound(const std::wstring& APath, TRegView AView) {
  auto& known = FFiles[AView == TRegView::rv64 ? 1 : 0];
  const std::wstring key = UpperCaseAscii(APath);
  auto found = known.find(key);
  if (found != known.end()) return found->second;
  const std::wstring file = SplitServerCommand(ExpandPathVariables(FEnvironment, APath), AView).Path;
  bool exists = !LocateServerFile(file, AView).empty();
  // A library inside a program may be named with its resource number: "C:\x.dll\2".
  if (!exists) {
    const size_t slash = file.find_last_of(L'\\');
    if (slash != std::wstring::npos && slash + 1 < file.size() &&
        file.find_first_not_of(L"0123456789", slash + 1) == std::wstring::npos) {
      exists = !LocateServerFile(file.substr(0, slash), AView).empty();
    }
  }
  known.emplace(key, exists);
  return exists;
}

void TChecker::CheckClass(const TObjectData& AEntry) {
  const std::wstring key = L"CLSID\\" + AEntry.GUID;
  for (const wchar_t* server : {L"\\InprocServer32", L"\\LocalServer32"}) {
    const std::wstring path = Value(key + server);
    if (!IsBlankText(path) && !FileFound(path, FView)) {
      Add(AEntry, TObjectType::otCLSID, L"Server file not found", path);
    }
  }
  const std::wstring progId = Trim(Value(key + L"\\ProgID"));
  if (!progId.empty() && !SameTextAscii(Trim(Value(progId + L"\\CLSID")), AEntry.GUID.view())) {
    Add(AEntry, TObjectType::otCLSID, L"ProgID does not lead back to the class", progId);
  }
  const std::wstring typeLib = Value(key + L"\\TypeLib");
  if (!IsBlankText(typeLib) && !FTypeLibs.Contains(typeLib)) {
    Add(AEntry, TObjectType::otCLSID, L"Type library not registered", typeLib);
  }
  const std::wstring appId = Value(key, L"AppID");
  if (!IsBlankText(appId) && !FAppIds.Contains(appId)) {
    Add(AEntry, TObjectType::otCLSID, L"Application ID not registered", appId);
  }
}

void TChecker::CheckTypeLib(const TObjectData& AEntry) {
  const std::wstring key = L"TypeLib\\" + AEntry.GUID;
  TStringList versions;
  ListSubkeys(HKEY_CLASSES_ROOT, key, versions, FView);
  for (const std::wstring& version : versions) {
    TStringList locales;
    ListSubkeys(HKEY_CLASSES_ROOT, key + L"\\" + version, locales, FView);
    for (const std::wstring& locale : locales) {
      // Locale keys are hexadecimal numbers; FLAGS and HELPDIR sit beside them.
      if (locale.empty() || locale.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring::npos) continue;
      for (const auto& [platform, view] : {std::pair{L"win32", TRegView::rv32}, std::pair{L"win64", TRegView::rv64}}) {
        if (view == TRegView::rv64 && !Is64BitWindows()) continue;
        const std::wstring path = Value(key + L"\\" + version + L"\\" + locale + L"\\" + platform);
        if (!IsBlankText(path) && !FileFound(path, view)) {
          Add(AEntry, TObjectType::otTypeLib, platform == std::wstring_view(L"win32")
                                                  ? L"Type library file not found (win32)"
                                                  : L"Type library file not found (win64)",
              path);
        }
      }
    }
  }
}

void TChecker::CheckAppId(const TObjectData& AEntry) {
  const std::wstring key = L"AppID\\" + AEntry.GUID;
  const std::wstring service = Trim(Value(key, L"LocalService"));
  if (!service.empty()) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager) {
      SC_HANDLE handle = OpenServiceW(manager, service.c_str(), SERVICE_QUERY_STATUS);
      const DWORD error = handle ? ERROR_SUCCESS : GetLastError();
      if (handle) CloseServiceHandle(handle);
      CloseServiceHandle(manager);
      if (error == ERROR_SERVICE_DOES_NOT_EXIST) Add(AEntry, TObjectType::otAppID, L"Service not installed", service);
    }
  }
  // An empty surrogate is the platform's own.
  const std::wstring surrogate = Value(key, L"DllSurrogate");
  if (!IsBlankText(surrogate) && !FileFound(surrogate, FView)) {
    Add(AEntry, TObjectType::otAppID, L"Surrogate program not found", surrogate);
  }
}

void TChecker::CheckInterface(const TObjectData& AEntry) {
  const std::wstring key = L"Interface\\" + AEntry.GUID;
  const std::wstring proxy = Value(key + L"\\ProxyStubClsid32");
  if (!IsBlankText(proxy) && !FClasses.Contains(proxy)) {
    Add(AEntry, TObjectType::otInterface, L"Proxy/stub class not registered", proxy);
  }
  const std::wstring typeLib = Value(key + L"\\TypeLib");
  if (!IsBlankText(typeLib) && !FTypeLibs.Contains(typeLib)) {
    Add(AEntry, TObjectType::otInterface, L"Type library not registered", typeLib);
  }
}

TRegistrationProblems TChecker::Run() {
  TObjects lists[4];
  LoadCLSIDList(lists[0], FView);
  LoadTypeLibList(lists[1], FView);
  LoadAppIDList(lists[2], FView);
  LoadInterfaceList(lists[3], FView);
  size_t total = 0;
  for (const TObjects& list : lists) total += list.size();
  size_t done = 0;
  for (int kind = 0; kind < 4; ++kind) {
    for (const TObjectData& entry : lists[kind]) {
      if (FProgress && done % 64 == 0 && !FProgress(done, total)) return std::move(FProblems);
      switch (kind) {
        case 0: CheckClass(entry); break;
        case 1: CheckTypeLib(entry); break;
        case 2: CheckAppId(entry); break;
        default: CheckInterface(entry); break;
      }
      ++done;
    }
  }
  if (FProgress) FProgress(done, total);
  return std::move(FProblems);
}

}  // namespace

std::wstring CatalogName(TObjectType AType) {
  switch (AType) {
    case TObjectType::otCLSID: return L"Object Classes";
    case TObjectType::otTypeLib: return L"Type Libraries";
    case TObjectType::otAppID: return L"Application IDs";
    default: return L"Interfaces";
  }
}

TRegistrationProblems CheckRegistrations(TRegView AView, const TStringList& AEnvironment,
                                         const TCheckProgress& AProgress) {
  return TChecker(AView, AEnvironment, AProgress).Run();
}

std::string FormatProblemsCsv(const TRegistrationProblems& AProblems) {
  std::string text = "Catalog;Name;GUID;Problem;Value\r\n";
  for (const TRegistrationProblem& problem : AProblems) {
    text += CsvField(CatalogName(problem.Catalog)) + ';' + CsvField(problem.Name) + ';' + CsvField(problem.GUID) +
            ';' + CsvField(problem.Problem) + ';' + CsvField(problem.Value) + "\r\n";
  }
  return text;
}

void SaveProblems(std::wstring_view AFilename, const TRegistrationProblems& AProblems) {
  WriteFileBytes(AFilename, FormatProblemsCsv(AProblems));
}

}  // namespace vantrel
