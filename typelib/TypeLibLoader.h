// Loading the type library a catalog record points to: by registration, else from its file.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>
#include <vector>

#include "catalog/ObjectCatalog.h"
#include "base/Zarvek_GuidText.h"
#include "base/Zarvek_Handles.h"
#include "typelib/TypeLibCheck.h"

namespace vantrel {

// The locale asked of the registry: the system default.
constexpr LCID kTypeLibLocale = 2048;

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

// The numbers of the type libraries a program or DLL holds (its TYPELIB resources), in order;
// empty for a file that is no such program, or holds none. Read as data: nothing of it runs.
std::vector<int> TypeLibraryResources(const std::wstring& APath);

// The message for a failed load: "%s (Error code: 0x%x)".
std::wstring LoadErrorText(HRESULT ACode);

// Checks the data the loader would read for a path (see LoadTypeLibraryFile).
TLibraryCheck CheckTypeLibraryFile(const std::wstring& APath);

}  // namespace vantrel
