#include "catalog/RegistrationCheck.h"

#include <windows.h>

#include <unordered_map>
#include <unordered_set>

#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "catalog/CsvExport.h"
#include "catalog/RegisteredValues.h"
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
        FReader(AView),
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
  // The default value of a key, as text; empty when the key or the value is missing or is no text.
  std::wstring DefaultValue(const std::wstring& AKey) {
    if (!FRegistry.OpenKeyReadOnly(AKey)) return std::wstring();
    std::wstring text;
    try {
      text = FRegistry.ReadString(L"");
    } catch (const ERegistryException&) {
      // A value that is not text names no class.
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
  TRegisteredValuesReader FReader;
  TRegisteredValues FValues;
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
  for (const std::wstring* path : {&FValues.InprocServer, &FValues.LocalServer}) {
    if (!IsBlankText(*path) && !FileFound(*path, FView)) {
      Add(AEntry, TObjectType::otCLSID, L"Server file not found", *path);
    }
  }
  const std::wstring progId = Trim(FValues.ProgId);
  if (!progId.empty() && !SameTextAscii(Trim(DefaultValue(progId + L"\\CLSID")), AEntry.GUID.view())) {
    Add(AEntry, TObjectType::otCLSID, L"ProgID does not lead back to the class", progId);
  }
  if (!IsBlankText(FValues.TypeLib) && !FTypeLibs.Contains(FValues.TypeLib)) {
    Add(AEntry, TObjectType::otCLSID, L"Type library not registered", FValues.TypeLib);
  }
  if (!IsBlankText(FValues.AppId) && !FAppIds.Contains(FValues.AppId)) {
    Add(AEntry, TObjectType::otCLSID, L"Application ID not registered", FValues.AppId);
  }
}

void TChecker::CheckTypeLib(const TObjectData& AEntry) {
  for (const TTypeLibVersion& version : FValues.Versions) {
    for (const TTypeLibFile& file : version.Files) {
      const bool win64 = file.Platform == L"win64";
      if (win64 && !Is64BitWindows()) continue;
      if (!IsBlankText(file.Path) && !FileFound(file.Path, win64 ? TRegView::rv64 : TRegView::rv32)) {
        Add(AEntry, TObjectType::otTypeLib,
            win64 ? L"Type library file not found (win64)" : L"Type library file not found (win32)", file.Path);
      }
    }
  }
}

// Whether an account name is known to the system; "Interactive User" is the user logged on.
bool AccountExists(const std::wstring& AName) {
  if (SameTextAscii(AName, L"Interactive User")) return true;
  DWORD sidSize = 0, domainSize = 0;
  SID_NAME_USE use;
  if (LookupAccountNameW(nullptr, AName.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use)) return true;
  // Only an answer that the name is unknown says so; other failures leave the account be.
  return GetLastError() != ERROR_NONE_MAPPED;
}

void TChecker::CheckAppId(const TObjectData& AEntry) {
  const std::wstring service = Trim(FValues.LocalService);
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
  if (!IsBlankText(FValues.DllSurrogate) && !FileFound(FValues.DllSurrogate, FView)) {
    Add(AEntry, TObjectType::otAppID, L"Surrogate program not found", FValues.DllSurrogate);
  }
  const std::wstring account = Trim(FValues.RunAs);
  if (!account.empty() && !AccountExists(account)) {
    Add(AEntry, TObjectType::otAppID, L"RunAs account not found", FValues.RunAs);
  }
}

void TChecker::CheckInterface(const TObjectData& AEntry) {
  if (!IsBlankText(FValues.ProxyStub) && !FClasses.Contains(FValues.ProxyStub)) {
    Add(AEntry, TObjectType::otInterface, L"Proxy/stub class not registered", FValues.ProxyStub);
  }
  if (!IsBlankText(FValues.TypeLib) && !FTypeLibs.Contains(FValues.TypeLib)) {
    Add(AEntry, TObjectType::otInterface, L"Type library not registered", FValues.TypeLib);
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
      FReader.Read(entry.Typ, entry.GUID.view(), FValues);
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
