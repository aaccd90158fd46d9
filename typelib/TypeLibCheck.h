// The check of type library data that runs before the platform's loader sees it.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace vantrel {

// The platform's loader trusts the offsets, counts and chains it finds in a library and crashes
// or loops on damaged data; and some values it loads (of types a VARIANT cannot hold, or pointers
// packed into a number) crash it later, when a description holding them is copied or freed.
// The check walks the data the way the loader does before the loader sees it.
enum class TLibraryVerdict {
  Sound,       // also data in a format the check does not know: the loader then judges it alone
  Repairable,  // sound, but for values the platform cannot copy: loaded with those values null
  Unsafe,      // the loader would read outside the data, loop, or corrupt its memory
};

struct TLibraryCheck {
  TLibraryVerdict Verdict = TLibraryVerdict::Sound;
  std::string Problem;                   // why the data is unsafe
  std::vector<size_t> UnreadableValues;  // positions of the value references a repair replaces
};

// Checks the data of a type library in memory (a .tlb file or a TYPELIB resource).
TLibraryCheck CheckTypeLibraryData(const void* AData, size_t ASize);

// A copy of the data with every unreadable value replaced by a null value.
std::string RepairTypeLibraryData(const void* AData, size_t ASize, const TLibraryCheck& ACheck);

}  // namespace vantrel
