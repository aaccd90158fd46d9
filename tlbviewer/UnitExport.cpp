#include "tlbviewer/UnitExport.h"

namespace vantrel {

TExportOutcome RunUnitExport(const TStringList&, const std::function<void(const std::wstring&)>&) {
  return TExportOutcome::NoSwitch;
}

}  // namespace vantrel
