// The command-line switch that writes the import unit of a type library to a file.
#pragma once

#include <functional>
#include <string>

#include "catalog/CsvExport.h"

namespace vantrel {

// "/SU <source> [<output file>]" (or "-SU", any case): writes the unit the viewer would show.
// Returns NoSwitch when the switch is absent; failures go to AReportError.
TExportOutcome RunUnitExport(const TStringList& AParams, const std::function<void(const std::wstring&)>& AReportError);

}  // namespace vantrel
