// The version rules of the update check as one table, for the rules alone and for whole checks.
#pragma once

#include "about/Zarvek.Component.UpdatePage.h"

namespace vantrel::test {

struct TVersionCase {
  TVersionFormat format;
  const char* current;
  const char* offered;
  bool update;  // the offered version is newer
};

inline constexpr TVersionCase kVersionCases[] = {
      {vfStandard, "1.4.0.0", "1.5.0.0", true},
      {vfStandard, "1.4.0.0", "1.4.0.0", false},
      {vfStandard, "1.9.0.0", "1.10.0.0", true},   // numbers, not text
      {vfStandard, "1.10.0.0", "1.9.0.0", false},
      // The shorter version counts as if padded with zero parts, on either side.
      {vfStandard, "1.4.1.0", "1.4", false},
      {vfStandard, "1.4.1.0", "1.4.1", false},
      {vfStandard, "1.4.0.0", "1.4", false},
      {vfStandard, "1.4.1.0", "1.4.2", true},
      {vfStandard, "1.4.1.0", "1.5", true},
      {vfStandard, "1.4.1.0", "2", true},
      {vfStandard, "1.4", "1.4.0.0", false},
      {vfStandard, "1.4", "1.4.0.1", true},
      {vfStandard, "1.4.0.0", "1.4.0.0.0", false},
      {vfStandard, "1.4.0.0", "1.4.0.0.1", true},
      {vfStandard, "1.4.0.3 BETA 3", "1.4.0.1", true},  // "3 BETA 3" is no number: 0
      {vfStandard, "1.4.0.3", "1.4.0.3 BETA 3", false},
      {vfStandard, "2.0", "1.9.9.9", false},
      {vfString, "1.10", "1.9", true},
      {vfString, "1.9", "1.10", false},
      {vfString, "1.4", "1.4.1", true},            // a proper prefix sorts first
      {vfNumber, "1.5", "1.45", false},
      {vfNumber, "1.45", "1.5", true},
      {vfNumber, "1.5", "1.2.3", false},           // does not convert
      {vfNumber, "1.5", "  2", true},              // leading blanks are skipped
      {vfNumber, "1.5", "2 ", false},              // anything after the number is not
      {vfNumber, "1,5", "2", false},
};

}  // namespace vantrel::test
