// Loading the type library a catalog record points to: by registration, else from its file.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>

#include "catalog/ObjectCatalog.h"
#include "catalog/Zarvek_Handles.h"

namespace vantrel {

// The locale asked of the registry: the system default.
constexpr LCID kTypeLibLocale = 2048;

// The registry form of a GUID, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", and nothing else.
bool TryStringToGUID(std::wstring_view AText, GUID& AGuid);
// As TryStringToGUID; raises EConvertError "'%s' is not a valid GUID value".
GUID StringToGUID(std::wstring_view AText);

// Loads the library of AData. When TypeLib is not blank, the registered library of that GUID and
// version (the low 16 bits of each number, locale 2048); when that fails and a file exists at
// Server exactly as stored, the library in that file. Returns the result code of the last load
// tried, E_NOTIMPL when neither applies. A TypeLib that is not a GUID raises EConvertError.
HRESULT LoadTypeLibraryFor(const TObjectData& AData, TComPtr<ITypeLib>& ALib);

// Loads the library stored in a file (a type library, or a program or DLL holding one) after
// CheckTypeLibraryFile has accepted it. Nothing is registered.
HRESULT LoadTypeLibraryFile(const std::wstring& APath, TComPtr<ITypeLib>& ALib);

// The message for a failed load: "%s (Error code: 0x%x)".
std::wstring LoadErrorText(HRESULT ACode);

// A structural check of the type library data in a file, made before the platform's loader
// reads it: the loader trusts the offsets and counts it finds and can crash or loop on a
// damaged file. Returns S_OK when the file may be handed to the loader (also for data this
// check does not know, which the loader then rejects itself), TYPE_E_CANTLOADLIBRARY when the
// data would lead the loader outside the file or into a loop.
HRESULT CheckTypeLibraryFile(const std::wstring& APath);

// The same check for data in memory (a whole .tlb file or a TYPELIB resource).
bool IsSoundTypeLibraryData(const void* AData, size_t ASize);

}  // namespace vantrel
