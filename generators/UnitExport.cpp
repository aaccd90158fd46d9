#include "generators/UnitExport.h"

#include <windows.h>

#include "catalog/DetailReaders.h"
#include "base/Zarvek_Handles.h"
#include "catalog/Zarvek_RegUtils.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "generators/IdlGenerator.h"
#include "generators/ImportUnit.h"
#include "generators/TLBGenerator.h"
#include "base/Zarvek_GuidText.h"
#include "typelib/TypeLibReader.h"

namespace vantrel {

namespace {

const wchar_t kUnitSwitch[] = L"SU";
const wchar_t kImportUnitSwitch[] = L"PAS";
const wchar_t kIdlSwitch[] = L"IDL";

bool IsAnySwitch(std::wstring_view AParam) {
  if (IsSwitch(AParam, kUnitSwitch) || IsSwitch(AParam, kImportUnitSwitch) || IsSwitch(AParam, kIdlSwitch) ||
      IsSwitch(AParam, kProblemsSwitch) || IsViewSwitch(AParam)) {
    return true;
  }
  for (const TExportSwitch& item : ExportSwitches) {
    if (IsSwitch(AParam, item.Name)) return true;
  }
  return false;
}

// "major.minor" as the library's version key names it: hexadecimal ("c.1" for 12.1), nothing
// else in the text, each part a 16-bit number as the platform's versions are.
bool TryParseVersion(std::wstring_view AText, uint32_t& AMajor, uint32_t& AMinor) {
  const std::wstring text = Trim(AText);
  uint32_t major = 0, minor = 0;
  if (!SplitVersion(text, major, minor) || major > 0xFFFF || minor > 0xFFFF) return false;
  // The whole text is the version: "1.0x" or "1.0.5" is not.
  const std::wstring_view rest = std::wstring_view(text).substr(text.find(L'.') + 1);
  if (rest.empty() || rest.find_first_not_of(L"0123456789abcdefABCDEF") != std::wstring_view::npos) return false;
  AMajor = major;
  AMinor = minor;
  return true;
}

// The subkey of TypeLib that names AGuid, spelled as the registry enumerates it.
std::wstring RegisteredGuidName(const std::wstring& AGuid, TRegView AView) {
  TStringList names;
  ListSubkeys(HKEY_CLASSES_ROOT, L"TypeLib", names, AView);
  for (const std::wstring& name : names) {
    if (SameTextAscii(name, AGuid)) return name;
  }
  return AGuid;
}

TObjectData RegisteredLibraryRecord(const std::wstring& AGuidText, bool AHasVersion, uint32_t AMajor,
                                    uint32_t AMinor, TRegView AView) {
  TObjectData data;
  data.GUID = RegisteredGuidName(AGuidText, AView);
  data.Name = data.GUID;
  data.Typ = TObjectType::otTypeLib;
  data.MajorVersion = AMajor;
  data.MinorVersion = AMinor;

  TRegistry registry = CatalogRegistry(AView);
  const std::wstring key = L"TypeLib\\" + data.GUID;
  TStringList versions;
  if (registry.OpenKeyReadOnly(key)) {
    registry.GetKeyNames(versions);
    registry.CloseKey();
  }
  // The catalog lists a library under its highest version; an explicit version picks the key
  // of that version, so that the file tried after the registry is the file of that version.
  const std::wstring* version = AHasVersion ? nullptr : HighestVersionKey(versions);
  for (const std::wstring& name : versions) {
    uint32_t major = 0, minor = 0;
    if (AHasVersion && SplitVersion(name, major, minor) && major == AMajor && minor == AMinor) {
      version = &name;
      break;
    }
  }
  if (version && registry.OpenKeyReadOnly(key + L"\\" + *version)) {
    try {
      data.Name = registry.ReadString(L"");
    } catch (const ERegistryException&) {
      // A name that is not text: the library is named by its GUID, as the catalog names it.
    }
    registry.CloseKey();
    if (IsBlankText(data.Name)) data.Name = data.GUID;
    if (!AHasVersion) SplitVersion(*version, data.MajorVersion, data.MinorVersion);
  }

  if (!AHasVersion) {
    ReadTypeLibDetails(data.GUID, data, AView);
  } else {
    data.TypeLib = data.GUID;
    data.CLSID = data.GUID;
    // Only the key of the version asked for: without it no file is tried.
    if (version) {
      data.Server = RegisteredTypeLibFile(key + L"\\" + *version, AView);
    }
  }
  return data;
}

}  // namespace

TObjectData UnitSourceRecord(const std::wstring& ASource, TRegView AView) {
  if (!ASource.empty() && ASource[0] == L'{') {
    size_t colon = ASource.find(L':');
    std::wstring guidText = ASource.substr(0, colon);
    StringToGUID(guidText);
    uint32_t major = 0, minor = 0;
    bool hasVersion = colon != std::wstring::npos;
    if (hasVersion && !TryParseVersion(std::wstring_view(ASource).substr(colon + 1), major, minor)) {
      throw EConvertError(FormatS(L"'%s' is not a valid type library version", {ASource.substr(colon + 1)}));
    }
    return RegisteredLibraryRecord(guidText, hasVersion, major, minor, AView);
  }
  TObjectData data;
  data.Server = ExpandFileName(ASource);
  return data;
}

std::wstring DefaultUnitFileName(std::wstring_view AUnitName, std::wstring_view AExtension) {
  std::wstring name = Trim(AUnitName);
  for (wchar_t& c : name) {
    if (c < L' ' || std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos) c = L'_';
  }
  // Trailing dots and blanks vanish from Windows file names; a bare device name is no file.
  while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
  static const wchar_t* const kDevices[] = {L"CON",  L"PRN",  L"AUX",  L"NUL",  L"COM1", L"COM2", L"COM3", L"COM4",
                                            L"COM5", L"COM6", L"COM7", L"COM8", L"COM9", L"LPT1", L"LPT2", L"LPT3",
                                            L"LPT4", L"LPT5", L"LPT6", L"LPT7", L"LPT8", L"LPT9"};
  for (const wchar_t* device : kDevices) {
    if (SameTextAscii(name, device)) name += L'_';
  }
  if (name.empty()) name = L"Unit";
  return name + std::wstring(AExtension);
}

std::string FormatUnitFile(const TLineList& ALines) {
  return "\xEF\xBB\xBF" + WideToCodePage(ALines.Text(L"\r\n"), CP_UTF8);
}

void SaveUnitFile(std::wstring_view AFilename, const TLineList& ALines) {
  WriteFileBytes(AFilename, FormatUnitFile(ALines));
}

std::string FormatIdlFile(const TLineList& ALines) { return WideToCodePage(ALines.Text(L"\r\n"), CP_UTF8); }

void SaveIdlFile(std::wstring_view AFilename, const TLineList& ALines) {
  WriteFileBytes(AFilename, FormatIdlFile(ALines));
}

namespace {

std::wstring GuidString(const GUID& AGuid) {
  wchar_t text[40] = {};
  StringFromGUID2(AGuid, text, 40);
  return text;
}

// One unit of a folder of import units.
struct TUnitJob {
  TObjectData Data;
  TComPtr<ITypeLib> Lib;
  GUID Guid = GUID_NULL;
  std::vector<GUID> StandIns;
  std::vector<TImportedLibrary> Imports;
  TLineList Lines;
  std::wstring Unit;
  void Generate() {
    Lines.Clear();
    GenerateCompilableUnit(Data, Lib.get(), Lines, Unit, &Imports, StandIns);
  }
};

// A path in the import graph from job AFrom back to itself, as the jobs it passes; empty if none.
std::vector<size_t> CycleFrom(const std::vector<TUnitJob>& AJobs, size_t AFrom) {
  auto indexOf = [&](const GUID& AGuid) {
    for (size_t i = 0; i < AJobs.size(); ++i) {
      if (IsEqualGUID(AJobs[i].Guid, AGuid)) return i;
    }
    return AJobs.size();
  };
  // Depth first over the units each uses, remembering the path.
  std::vector<size_t> path = {AFrom};
  std::vector<size_t> next = {0};
  std::vector<bool> seen(AJobs.size(), false);
  seen[AFrom] = true;
  while (!path.empty()) {
    const TUnitJob& job = AJobs[path.back()];
    if (next.back() >= job.Imports.size()) {
      path.pop_back();
      next.pop_back();
      continue;
    }
    const size_t target = indexOf(job.Imports[next.back()++].Guid);
    if (target == AFrom) return path;
    if (target < AJobs.size() && !seen[target]) {
      seen[target] = true;
      path.push_back(target);
      next.push_back(0);
    }
  }
  return {};
}

// Writes the import unit of a library and those of every library it imports, and of theirs, into
// AFolder. Units of libraries that import each other would use each other, which no compiler
// accepts: in each such cycle the unit with the last name takes the next one's types as stand-ins.
TExportOutcome WriteImportUnitFolder(const TObjectData& AData, TComPtr<ITypeLib> ALib, const std::wstring& AFolder,
                                     TRegView AView, const std::function<void(const std::wstring&)>& AReportError) {
  std::vector<TUnitJob> jobs;
  jobs.push_back({AData, std::move(ALib)});
  TLIBATTR* attr = nullptr;
  if (SUCCEEDED(jobs[0].Lib->GetLibAttr(&attr)) && attr) {
    jobs[0].Guid = attr->guid;
    jobs[0].Lib->ReleaseTLibAttr(attr);
  }
  bool complete = true;
  for (size_t i = 0; i < jobs.size(); ++i) {
    jobs[i].Generate();
    for (const TImportedLibrary& imported : std::vector<TImportedLibrary>(jobs[i].Imports)) {
      bool known = false;
      for (const TUnitJob& job : jobs) known = known || IsEqualGUID(job.Guid, imported.Guid);
      if (known) continue;
      TObjectData data;
      data.TypeLib = GuidString(imported.Guid);
      data.GUID = data.TypeLib;
      data.CLSID = data.TypeLib;
      data.Name = imported.Unit;
      data.Typ = TObjectType::otTypeLib;
      data.MajorVersion = imported.MajorVersion;
      data.MinorVersion = imported.MinorVersion;
      TTypeLibRead read = ReadTypeLibrary(data, AView);
      if (!read.Library) {
        AReportError(FormatS(L"The unit %s uses %s, whose library cannot be read: %s",
                             {jobs[i].Unit, imported.Unit, read.Message}));
        complete = false;
        continue;
      }
      TUnitJob job{data, std::move(read.Library)};
      job.Guid = imported.Guid;
      jobs.push_back(std::move(job));
    }
  }
  // No unit may use itself through others: each cycle gives up its edge from the last name.
  for (bool changed = true; changed;) {
    changed = false;
    for (size_t i = 0; i < jobs.size() && !changed; ++i) {
      const std::vector<size_t> cycle = CycleFrom(jobs, i);
      if (cycle.empty()) continue;
      size_t last = 0;
      for (size_t k = 1; k < cycle.size(); ++k) {
        if (LowerCaseAscii(jobs[cycle[k]].Unit) > LowerCaseAscii(jobs[cycle[last]].Unit)) last = k;
      }
      TUnitJob& cutter = jobs[cycle[last]];
      cutter.StandIns.push_back(jobs[cycle[(last + 1) % cycle.size()]].Guid);
      cutter.Generate();
      changed = true;
    }
  }
  const std::wstring folder = IncludeTrailingPathDelimiter(AFolder);
  for (const TUnitJob& job : jobs) SaveUnitFile(folder + DefaultUnitFileName(job.Unit), job.Lines);
  return complete ? TExportOutcome::Succeeded : TExportOutcome::Failed;
}

// Whether an output names a folder: one that exists, or a path that ends in a separator.
bool IsFolderOutput(const std::wstring& AOutput) {
  return !AOutput.empty() && (AOutput.back() == L'\\' || AOutput.back() == L'/' || DirectoryExists(AOutput));
}

// A unit of the library a switch names, written to the file after it (or to the library's name).
using TUnitGenerator = void (*)(const TObjectData& AData, ITypeLib* ALib, TLineList& ALines, std::wstring& AUnitName);

TExportOutcome RunLibraryExport(const TStringList& AParams, const wchar_t* ASwitch, TUnitGenerator AGenerate,
                                const std::function<void(const std::wstring&)>& AReportError, TRegView AView,
                                const wchar_t* AExtension = L".pas") {
  size_t index = 0;
  while (index < AParams.size() && !IsSwitch(AParams[index], ASwitch)) ++index;
  if (index == AParams.size()) return TExportOutcome::NoSwitch;

  auto argument = [&](size_t APos) {
    return APos < AParams.size() && !IsAnySwitch(AParams[APos]) ? AParams[APos] : std::wstring();
  };
  const std::wstring source = argument(index + 1);
  if (IsBlankText(source)) {
    AReportError(FormatS(L"/%s needs a type library: /%s <file or {GUID}[:major.minor]> [<output file>]",
                         {ASwitch, ASwitch}));
    return TExportOutcome::Failed;
  }
  std::wstring output = argument(index + 2);
  // "C:\units\" in quotes reaches the program as C:\units" (the backslash escapes the quote): a
  // file name holds no quotes, so the quote stands for the separator it replaced.
  if (!output.empty() && output.back() == L'"') output.back() = L'\\';

  try {
    TComInit com;
    TObjectData data = UnitSourceRecord(source, AView);
    TTypeLibRead read = ReadTypeLibrary(data, AView);
    if (!read.Library) {
      AReportError(read.Message);
      return TExportOutcome::Failed;
    }
    if (AGenerate == static_cast<TUnitGenerator>(GenerateCompilableUnit) && IsFolderOutput(output)) {
      if (!DirectoryExists(output) && !CreateDirectoryW(output.c_str(), nullptr)) {
        throw EFileError(FormatS(L"Cannot create the folder %s: %s", {output, Trim(SysErrorMessage(GetLastError()))}));
      }
      return WriteImportUnitFolder(data, std::move(read.Library), output, AView, AReportError);
    }
    TLineList lines;
    std::wstring unitName;
    AGenerate(data, read.Library.get(), lines, unitName);
    if (IsBlankText(output)) output = DefaultUnitFileName(unitName, AExtension);
    if (std::wstring_view(AExtension) == L".idl") {
      SaveIdlFile(output, lines);
    } else {
      SaveUnitFile(output, lines);
    }
    return TExportOutcome::Succeeded;
  } catch (const std::exception& e) {
    AReportError(ExceptionMessage(e));
    return TExportOutcome::Failed;
  }
}

}  // namespace

TExportOutcome RunUnitExport(const TStringList& AParams, const std::function<void(const std::wstring&)>& AReportError,
                             TRegView AView) {
  return RunLibraryExport(AParams, kUnitSwitch, GenerateImportUnit, AReportError, AView);
}

TExportOutcome RunImportUnitExport(const TStringList& AParams,
                                   const std::function<void(const std::wstring&)>& AReportError, TRegView AView) {
  return RunLibraryExport(AParams, kImportUnitSwitch, GenerateCompilableUnit, AReportError, AView);
}

TExportOutcome RunIdlExport(const TStringList& AParams, const std::function<void(const std::wstring&)>& AReportError,
                            TRegView AView) {
  return RunLibraryExport(AParams, kIdlSwitch, GenerateIdl, AReportError, AView, L".idl");
}

}  // namespace vantrel
