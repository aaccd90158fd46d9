#include "catalog/CsvExport.h"

#include <windows.h>

#include "base/Zarvek_SysUtils.h"
#include "catalog/RegistrationCheck.h"

namespace vantrel {

const TExportSwitch ExportSwitches[4] = {
    {L"SA", TObjectType::otAppID, L"AppIds.csv"},
    {L"SI", TObjectType::otInterface, L"Intfs.csv"},
    {L"SO", TObjectType::otCLSID, L"ObjClasses.csv"},
    {L"ST", TObjectType::otTypeLib, L"TypeLibs.csv"},
};

std::string CsvField(std::wstring_view AText) {
  std::string bytes = WideToCodePage(AText, CP_ACP);
  if (AText.find_first_of(L";\"\r\n") == std::wstring_view::npos) return bytes;
  std::string quoted = "\"";
  for (char c : bytes) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string FormatCsv(const TObjects& AList) {
  std::string text = "Name;GUID\r\n";
  text.reserve(AList.size() * 64);
  for (const TObjectData& entry : AList) {
    text += CsvField(entry.Name);
    text += ';';
    text += CsvField(entry.GUID);
    text += "\r\n";
  }
  return text;
}

void SaveList(std::wstring_view AFilename, const TObjects& AList) { WriteFileBytes(AFilename, FormatCsv(AList)); }

bool IsSwitch(std::wstring_view AParam, std::wstring_view ASwitch) {
  return AParam.size() == ASwitch.size() + 1 && (AParam[0] == L'-' || AParam[0] == L'/') &&
         SameTextAscii(AParam.substr(1), ASwitch);
}

bool IsViewSwitch(std::wstring_view AParam) { return IsSwitch(AParam, L"32") || IsSwitch(AParam, L"64"); }

bool ChooseRegView(const TStringList& AParams, bool A64BitWindows, TRegView& AView, std::wstring& AError) {
  bool want32 = false, want64 = false;
  for (const std::wstring& param : AParams) {
    want32 = want32 || IsSwitch(param, L"32");
    want64 = want64 || IsSwitch(param, L"64");
  }
  AView = ProcessRegView();
  AError.clear();
  if (want32 && want64) {
    AError = L"/32 and /64 cannot be combined: choose one registry view";
    return false;
  }
  if (want64 && !A64BitWindows) {
    AError = L"/64: this is 32-bit Windows, which has no 64-bit registry";
    return false;
  }
  if (want32) AView = TRegView::rv32;
  if (want64) AView = TRegView::rv64;
  return true;
}

TExportOutcome RunCommandLineExport(const TStringList& AParams, std::wstring_view AFolder,
                                    const std::function<void(const std::wstring&)>& AReportError, TRegView AView) {
  bool found = false;
  bool failed = false;
  for (const TExportSwitch& item : ExportSwitches) {
    bool requested = false;
    for (const std::wstring& param : AParams) requested = requested || IsSwitch(param, item.Name);
    if (!requested) continue;
    found = true;
    try {
      TObjects list;
      LoadList(item.Kind, list, AView);
      SaveList(IncludeTrailingPathDelimiter(AFolder) + item.FileName, list);
    } catch (const std::exception& e) {
      failed = true;
      AReportError(ExceptionMessage(e));
    }
  }
  bool problems = false;
  for (const std::wstring& param : AParams) problems = problems || IsSwitch(param, kProblemsSwitch);
  if (problems) {
    found = true;
    try {
      TStringList environment;
      ReadEnvironmentBlock(environment);
      // Problems found are the file's content, not a failure.
      SaveProblems(IncludeTrailingPathDelimiter(AFolder) + L"Problems.csv", CheckRegistrations(AView, environment));
    } catch (const std::exception& e) {
      failed = true;
      AReportError(ExceptionMessage(e));
    }
  }
  if (!found) return TExportOutcome::NoSwitch;
  return failed ? TExportOutcome::Failed : TExportOutcome::Succeeded;
}

}  // namespace vantrel
