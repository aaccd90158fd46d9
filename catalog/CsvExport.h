// The CSV form of a catalog list, and the command-line export that writes it without a window.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "catalog/ObjectCatalog.h"

namespace vantrel {

// "Name;GUID", then one "%s;%s" line per entry in list order; ANSI code page, CR LF after every
// line. A field holding ';', '"', CR or LF is quoted, with inner quotes doubled.
std::string FormatCsv(const TObjects& AList);
// Writes FormatCsv(AList) to the file, creating or replacing it; raises EFileError.
void SaveList(std::wstring_view AFilename, const TObjects& AList);

// One CSV field as FormatCsv writes it.
std::string CsvField(std::wstring_view AText);

struct TExportSwitch {
  const wchar_t* Name;  // "SA", "SI", "SO", "ST"
  TObjectType Kind;
  const wchar_t* FileName;
};
// The switches in the order they are processed.
extern const TExportSwitch ExportSwitches[4];

// "/SP": the registration check's problems into Problems.csv, beside the catalog files.
inline constexpr wchar_t kProblemsSwitch[] = L"SP";

// True when AParam is "-" or "/" followed by ASwitch, in any letter case.
bool IsSwitch(std::wstring_view AParam, std::wstring_view ASwitch);

// "/32" or "/64" (or "-32", "-64"): the registry view the other switches and the window use.
bool IsViewSwitch(std::wstring_view AParam);
// The view chosen among AParams, else the process's own. False, with AError set, when no view can
// be chosen: /64 on 32-bit Windows, or /32 and /64 together.
bool ChooseRegView(const TStringList& AParams, bool A64BitWindows, TRegView& AView, std::wstring& AError);

enum class TExportOutcome { NoSwitch, Succeeded, Failed };

// Processes the CSV switches among AParams (the four catalogs, then /SP), reading the catalogs in the registry view AView and
// writing the files into AFolder. Each failure (a loader error, a file that cannot be written)
// goes to AReportError and the remaining switches still run.
TExportOutcome RunCommandLineExport(const TStringList& AParams, std::wstring_view AFolder,
                                    const std::function<void(const std::wstring&)>& AReportError, TRegView AView);

}  // namespace vantrel
