// Loading the type library a catalog record points to: by registration, else from its file.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>
#include <vector>

#include "catalog/ObjectCatalog.h"
#include "base/Zarvek_Handles.h"

namespace vantrel {

// The locale asked of the registry: the system default.
constexpr LCID kTypeLibLocale = 2048;

// The registry form of a GUID, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", and nothing else.
bool TryStringToGUID(std::wstring_view AText, GUID& AGuid);
// As TryStringToGUID; raises EConvertError "'%s' is not a valid GUID value".
GUID StringToGUID(std::wstring_view AText);

// Loads the library of AData. When TypeLib is not blank, the library of that GUID and version
// (the low 16 bits of each number, locale 2048) as the registry view AView registers it; when that
// fails and Server names an existing file (quotes and arguments removed), the library in that
// file. Returns the result code of the last load tried, E_NOTIMPL when neither applies. A TypeLib
// that is not a GUID raises EConvertError. Both loads check the library's data first, as
// LoadTypeLibraryFile does.
HRESULT LoadTypeLibraryFor(const TObjectData& AData, TComPtr<ITypeLib>& ALib, TRegView AView = ProcessRegView());

// The file a registry view registers for a library version: the version key of the same major
// version with exactly that minor version, else the highest minor version above it (version keys
// are hexadecimal), and its file for the view's platform. Empty when there is none.
std::wstring RegisteredLibraryPath(std::wstring_view AGuid, WORD AMajor, WORD AMinor, TRegView AView);

// Loads the library stored in a file (a type library, or a program or DLL holding one; a path
// may end in "\N" for the N-th library of a program, as the platform reads it). The data is
// checked first (CheckTypeLibraryData). Nothing is registered.
HRESULT LoadTypeLibraryFile(const std::wstring& APath, TComPtr<ITypeLib>& ALib);

// The message for a failed load: "%s (Error code: 0x%x)".
std::wstring LoadErrorText(HRESULT ACode);

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
// Checks the data the loader would read for a path (see LoadTypeLibraryFile).
TLibraryCheck CheckTypeLibraryFile(const std::wstring& APath);

// A copy of the data with every unreadable value replaced by a null value.
std::string RepairTypeLibraryData(const void* AData, size_t ASize, const TLibraryCheck& ACheck);

}  // namespace vantrel
