// The command-line switch that writes the import unit of a type library to a file, and the unit
// file format the viewer's "Save As..." shares with it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "catalog/CsvExport.h"
#include "catalog/ObjectCatalog.h"
#include "generators/TLBGenerator.h"

namespace vantrel {

// "/SU <source> [<output file>]" (or "-SU", any case): writes the unit the viewer would show.
// Returns NoSwitch when the switch is absent; failures go to AReportError.
// A registered library is read as the registry view AView registers it.
TExportOutcome RunUnitExport(const TStringList& AParams, const std::function<void(const std::wstring&)>& AReportError,
                             TRegView AView = ProcessRegView());

// A unit file: UTF-8 with byte order mark, CR LF after every line.
std::string FormatUnitFile(const TLineList& ALines);
// "/PAS <source> [<output file>]" (or "-PAS", any case): writes the import unit that compiles, from
// the same sources and with the same rules as /SU.
TExportOutcome RunImportUnitExport(const TStringList& AParams,
                                   const std::function<void(const std::wstring&)>& AReportError,
                                   TRegView AView = ProcessRegView());

// "/IDL <source> [<output file>]" (or "-IDL", any case): writes the library as IDL, from the same
// sources and with the same rules as /SU; without an output file to the library's name with ".idl".
TExportOutcome RunIdlExport(const TStringList& AParams, const std::function<void(const std::wstring&)>& AReportError,
                            TRegView AView = ProcessRegView());

// Writes FormatUnitFile(ALines) to the file, creating or replacing it; raises EFileError.
void SaveUnitFile(std::wstring_view AFilename, const TLineList& ALines);

// An IDL file: UTF-8 without a byte order mark (an IDL compiler reads the mark as text), CR LF
// after every line.
std::string FormatIdlFile(const TLineList& ALines);
void SaveIdlFile(std::wstring_view AFilename, const TLineList& ALines);

// The record the viewer would be given for a /SU source: for a file, an empty record whose
// Server is the file's full path; for "{GUID}" or "{GUID}:major.minor", the catalog entry of
// that registered library, read in the registry view AView, completed with its details. Raises
// EConvertError for a malformed GUID or version.
TObjectData UnitSourceRecord(const std::wstring& ASource, TRegView AView = ProcessRegView());

// The library's name as a file name with ".pas": characters a file name cannot hold become "_",
// so the file lands in the current folder whatever the library calls itself.
std::wstring DefaultUnitFileName(std::wstring_view AUnitName, std::wstring_view AExtension = L".pas");

}  // namespace vantrel
