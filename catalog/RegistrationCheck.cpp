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
  void Assign(const std::vector<std::wstring>& ANames) {
    FNames.clear();
    FNames.reserve(ANames.size());
    for (const std::wstring& name : ANames) FNames.insert(UpperCaseAscii(name));
  }
  bool Contains(std::wstring_view AName) const { return FNames.count(UpperCaseAscii(Trim(AName))) != 0; }

 private:
  std::unordered_set<std::wstring> FNames;
};

// An entry being checked: its catalog, GUID (the key's name) and name.
struct TCheckedEntry {
  TObjectType Typ = TObjectType::otCLSID;
  std::wstring GUID;
  std::wstring Name;
};

class TChecker {
 public:
  TChecker(TRegView AView, const TStringList& AEnvironment, const TCheckProgress& AProgress)
      : FView(AView),
        FEnvironment(ViewEnvironment(AEnvironment, AView)),
        FProgress(AProgress),
        FRegistry(CatalogRegistry(AView)),
        FReader(AView) {}

  TRegistrationProblems Run();

 private:
  void CheckEntry(const TCheckedEntry& AEntry);
  void CheckClass(const TCheckedEntry& AEntry);
  void CheckServer(const TCheckedEntry& AEntry, const std::wstring& APath, DWORD AType, TServerFileKind AKind);
  void CheckTypeLib(const TCheckedEntry& AEntry);
  void CheckAppId(const TCheckedEntry& AEntry);
  void CheckInterface(const TCheckedEntry& AEntry);
  // ProgID keys directly under HKEY_CLASSES_ROOT: the class each names, and the ProgID a
  // version-independent one's CurVer names.
  void CheckProgIds(const std::vector<std::wstring>& AKeys, size_t& ADone, size_t ATotal, bool& AStopped);
  void Add(const TCheckedEntry& AEntry, const wchar_t* AProblem, const std::wstring& AValue,
           const std::wstring& AKey = {}) {
    FProblems.push_back({AEntry.Typ, AEntry.Name, AEntry.GUID, AProblem, AValue, AKey});
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
  // True when the file a server, surrogate or library path names exists, for the programs of
  // AView. AExpand: the path's variables are expanded first.
  bool FileFound(const std::wstring& APath, TRegView AView, TServerFileKind AKind, bool AExpand = true);
  bool TypeLibFileFound(const std::wstring& APath, TRegView AView);

  TRegView FView;
  TStringList FEnvironment;
  const TCheckProgress& FProgress;
  TRegistry FRegistry;
  TRegisteredValuesReader FReader;
  TRegisteredValues FValues;
  TRegisteredKeys FClasses, FTypeLibs, FAppIds;
  std::unordered_map<std::wstring, bool> FFiles[2];  // by view, the kind and upper-case path
  TRegistrationProblems FProblems;
};

bool TChecker::FileFound(const std::wstring& APath, TRegView AView, TServerFileKind AKind, bool AExpand) {
  auto& known = FFiles[AView == TRegView::rv64 ? 1 : 0];
  // One map for every kind of lookup: the kind and the expansion go before the path.
  std::wstring key = UpperCaseAscii(APath);
  key.insert(key.begin(), static_cast<wchar_t>(L'0' + static_cast<int>(AKind) + (AExpand ? 4 : 0)));
  auto found = known.find(key);
  if (found != known.end()) return found->second;
  const std::wstring file =
      SplitServerCommand(AExpand ? ExpandPathVariables(FEnvironment, APath) : APath, AView).Path;
  const bool exists = !LocateServerFile(file, AView, AKind).empty();
  known.emplace(key, exists);
  return exists;
}

bool TChecker::TypeLibFileFound(const std::wstring& APath, TRegView AView) {
  auto& known = FFiles[AView == TRegView::rv64 ? 1 : 0];
  std::wstring key = UpperCaseAscii(APath);
  key.insert(key.begin(), L'T');
  auto found = known.find(key);
  if (found != known.end()) return found->second;
  // A library inside a program may be named with its resource number: "C:\x.dll\2".
  const bool exists = !LocateTypeLibraryFile(ExpandPathVariables(FEnvironment, APath), AView).empty();
  known.emplace(key, exists);
  return exists;
}

// Whether a registered path names a variable ("%SystemRoot%"), which COM expands only in a
// REG_EXPAND_SZ value.
bool HoldsVariable(const std::wstring& APath) {
  const size_t first = APath.find(L'%');
  return first != std::wstring::npos && APath.find(L'%', first + 2) != std::wstring::npos;
}

void TChecker::CheckServer(const TCheckedEntry& AEntry, const std::wstring& APath, DWORD AType,
                           TServerFileKind AKind) {
  if (IsBlankText(APath)) return;
  const bool expandable = AType == REG_EXPAND_SZ;
  if (!expandable && HoldsVariable(APath)) {
    // COM takes the text as it stands: the variable is part of the file name it looks for.
    Add(AEntry, L"Server path names a variable in a REG_SZ value, which COM does not expand", APath);
    return;
  }
  if (!FileFound(APath, FView, AKind, expandable)) {
    Add(AEntry, L"Server file not found", APath);
    return;
  }
  if (AKind == TServerFileKind::sfProgram) {
    const std::wstring path = expandable ? ExpandPathVariables(FEnvironment, APath) : APath;
    const std::wstring other = UnquotedServerHijack(path, FView);
    if (!other.empty()) Add(AEntry, L"Unquoted server path with blanks starts another program first", other);
  }
}

void TChecker::CheckClass(const TCheckedEntry& AEntry) {
  CheckServer(AEntry, FValues.InprocServer, FValues.InprocServerType, TServerFileKind::sfLibrary);
  CheckServer(AEntry, FValues.LocalServer, FValues.LocalServerType, TServerFileKind::sfProgram);
  if (!IsBlankText(FValues.ServerExecutable) &&
      !FileFound(FValues.ServerExecutable, FView, TServerFileKind::sfProgram)) {
    Add(AEntry, L"ServerExecutable not found", FValues.ServerExecutable);
  }
  const std::wstring progId = Trim(FValues.ProgId);
  if (!progId.empty() && !SameTextAscii(Trim(DefaultValue(progId + L"\\CLSID")), AEntry.GUID)) {
    Add(AEntry, L"ProgID does not lead back to the class", progId);
  }
  if (!IsBlankText(FValues.TypeLib) && !FTypeLibs.Contains(FValues.TypeLib)) {
    Add(AEntry, L"Type library not registered", FValues.TypeLib);
  }
  if (!IsBlankText(FValues.AppId) && !FAppIds.Contains(FValues.AppId)) {
    Add(AEntry, L"Application ID not registered", FValues.AppId);
  }
  if (!IsBlankText(FValues.TreatAs) && !FClasses.Contains(FValues.TreatAs)) {
    Add(AEntry, L"TreatAs names a class that is not registered", FValues.TreatAs);
  }
  if (!IsBlankText(FValues.AutoConvertTo) && !FClasses.Contains(FValues.AutoConvertTo)) {
    Add(AEntry, L"AutoConvertTo names a class that is not registered", FValues.AutoConvertTo);
  }
  // A class another emulates (TreatAs) needs no server of its own.
  if (!FValues.HasServerKey && IsBlankText(FValues.AppId) && IsBlankText(FValues.TreatAs)) {
    Add(AEntry, L"Class has no server and no application ID", L"");
  }
}

void TChecker::CheckTypeLib(const TCheckedEntry& AEntry) {
  bool anyVersion = false;
  for (const TTypeLibVersion& version : FValues.Versions) {
    uint32_t major = 0, minor = 0;
    anyVersion = anyVersion || SplitVersion(version.Version, major, minor);
    for (const TTypeLibFile& file : version.Files) {
      const bool win64 = file.Platform == L"win64";
      if (win64 && !Is64BitWindows()) continue;
      if (!IsBlankText(file.Path) && !TypeLibFileFound(file.Path, win64 ? TRegView::rv64 : TRegView::rv32)) {
        Add(AEntry, win64 ? L"Type library file not found (win64)" : L"Type library file not found (win32)",
            file.Path);
      }
    }
  }
  if (!anyVersion) Add(AEntry, L"Type library has no version", L"");
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

void TChecker::CheckAppId(const TCheckedEntry& AEntry) {
  const std::wstring service = Trim(FValues.LocalService);
  if (!service.empty()) {
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (manager) {
      SC_HANDLE handle = OpenServiceW(manager, service.c_str(), SERVICE_QUERY_STATUS);
      const DWORD error = handle ? ERROR_SUCCESS : GetLastError();
      if (handle) CloseServiceHandle(handle);
      CloseServiceHandle(manager);
      if (error == ERROR_SERVICE_DOES_NOT_EXIST) Add(AEntry, L"Service not installed", service);
    }
  }
  // An empty surrogate is the platform's own.
  if (!IsBlankText(FValues.DllSurrogate) && !FileFound(FValues.DllSurrogate, FView, TServerFileKind::sfProgram)) {
    Add(AEntry, L"Surrogate program not found", FValues.DllSurrogate);
  }
  const std::wstring account = Trim(FValues.RunAs);
  if (!account.empty() && !AccountExists(account)) {
    Add(AEntry, L"RunAs account not found", FValues.RunAs);
  }
}

void TChecker::CheckInterface(const TCheckedEntry& AEntry) {
  if (IsBlankText(FValues.Name)) {
    // Not in the catalog, and nothing asks for it by name: a leftover, unless it serves nothing.
    if (!IsBlankText(FValues.ProxyStub) || !IsBlankText(FValues.TypeLib)) {
      Add(AEntry, L"Interface without a name still has a proxy/stub class or type library",
          IsBlankText(FValues.ProxyStub) ? FValues.TypeLib : FValues.ProxyStub);
    }
    return;
  }
  if (!IsBlankText(FValues.ProxyStub) && !FClasses.Contains(FValues.ProxyStub)) {
    Add(AEntry, L"Proxy/stub class not registered", FValues.ProxyStub);
  }
  if (!IsBlankText(FValues.TypeLib) && !FTypeLibs.Contains(FValues.TypeLib)) {
    Add(AEntry, L"Type library not registered", FValues.TypeLib);
  }
}

void TChecker::CheckEntry(const TCheckedEntry& AEntry) {
  if (FValues.OpenResult == ERROR_ACCESS_DENIED) {
    Add(AEntry, L"Key cannot be read", Trim(SysErrorMessage(ERROR_ACCESS_DENIED)));
    return;
  }
  if (FValues.OpenResult != ERROR_SUCCESS) return;  // gone since it was listed
  switch (AEntry.Typ) {
    case TObjectType::otCLSID: CheckClass(AEntry); break;
    case TObjectType::otTypeLib: CheckTypeLib(AEntry); break;
    case TObjectType::otAppID: CheckAppId(AEntry); break;
    case TObjectType::otInterface: CheckInterface(AEntry); break;
  }
}

void TChecker::CheckProgIds(const std::vector<std::wstring>& AKeys, size_t& ADone, size_t ATotal, bool& AStopped) {
  for (const std::wstring& name : AKeys) {
    if (FProgress && ADone % 64 == 0 && !FProgress(ADone, ATotal)) {
      AStopped = true;
      return;
    }
    ++ADone;
    const std::wstring clsid = Trim(DefaultValue(name + L"\\CLSID"));
    // The most common leftover of an uninstall: the ProgID stays, its class is gone.
    if (!clsid.empty() && !FClasses.Contains(clsid)) {
      FProblems.push_back({TObjectType::otCLSID, name, clsid, L"ProgID names a class that is not registered", name, name});
    }
    const std::wstring current = Trim(DefaultValue(name + L"\\CurVer"));
    if (!current.empty() && !FRegistry.KeyExists(current)) {
      FProblems.push_back({TObjectType::otCLSID, name, clsid, L"CurVer names no ProgID", current, name});
    }
  }
}

// The subkey names of a key, in the registry's order; none when it cannot be read.
std::vector<std::wstring> KeyNames(TRegistry& ARegistry, const wchar_t* APath) {
  std::vector<std::wstring> names;
  if (!ARegistry.OpenKeyReadOnly(APath)) return names;
  ARegistry.ForEachKeyName([&](std::wstring_view AName) { names.emplace_back(AName); });
  ARegistry.CloseKey();
  return names;
}

// Whether a key directly under HKEY_CLASSES_ROOT can be a ProgID: not a file extension, not one
// of the catalogs.
bool MayBeProgId(const std::wstring& AName) {
  if (AName.empty() || AName[0] == L'.' || AName[0] == L'*') return false;
  for (const wchar_t* root : {L"CLSID", L"TypeLib", L"AppID", L"Interface"}) {
    if (SameTextAscii(AName, root)) return false;
  }
  return true;
}

TRegistrationProblems TChecker::Run() {
  // The keys as they are, not the catalogs: entries the catalogs leave out (unnamed interfaces,
  // libraries without a version) are checked too.
  std::vector<std::wstring> keys[4];
  const TObjectType kinds[4] = {TObjectType::otCLSID, TObjectType::otTypeLib, TObjectType::otAppID,
                                TObjectType::otInterface};
  for (int kind = 0; kind < 4; ++kind) keys[kind] = KeyNames(FRegistry, RootKeyName(kinds[kind]));
  FClasses.Assign(keys[0]);
  FTypeLibs.Assign(keys[1]);
  FAppIds.Assign(keys[2]);
  std::vector<std::wstring> progIds;
  FRegistry.OpenKeyReadOnly(L"");
  FRegistry.ForEachKeyName([&](std::wstring_view AName) {
    std::wstring name(AName);
    if (MayBeProgId(name)) progIds.push_back(std::move(name));
  });
  FRegistry.CloseKey();
  size_t total = progIds.size();
  for (const auto& list : keys) total += list.size();
  size_t done = 0;
  TCheckedEntry entry;
  for (int kind = 0; kind < 4; ++kind) {
    entry.Typ = kinds[kind];
    for (std::wstring& guid : keys[kind]) {
      if (FProgress && done % 64 == 0 && !FProgress(done, total)) return std::move(FProblems);
      FReader.Read(entry.Typ, guid, FValues);
      entry.GUID = std::move(guid);
      entry.Name = IsBlankText(FValues.Name) ? entry.GUID : FValues.Name;
      CheckEntry(entry);
      ++done;
    }
    if (kind == 0) {
      bool stopped = false;
      CheckProgIds(progIds, done, total, stopped);
      if (stopped) return std::move(FProblems);
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
