// Type libraries written by the platform's own writer (CreateTypeLib2), for what widl cannot put
// into a library: string constants, doc strings of enumeration constants, line breaks in doc
// strings, NUL characters and line breaks in string values.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"

namespace vantrel::test {

// Raises std::runtime_error naming AWhat when the writer fails.
void Check(HRESULT AResult, const char* AWhat);

TComPtr<ICreateTypeInfo> NewType(ICreateTypeLib2* ALib, const wchar_t* AName, TYPEKIND AKind);

// A field (AValue null) or a constant of AValue, with an optional doc string.
void AddVariable(ICreateTypeInfo* AInfo, UINT AIndex, const wchar_t* AName, VARTYPE AType, const VARIANT* AValue,
                 const wchar_t* ADoc = nullptr);

// The library "Texts": doc strings with CR LF, CR and LF line breaks (of the library, of a type,
// of enumeration constants, of union fields and of a function), string constants and string
// defaults holding line breaks and NUL characters. Saved to APath.
void WriteTextsLibrary(const std::wstring& APath);

// The unit's lines after its head (from "type" to before the footer) for that library.
TStringList TextsDeclarations();

// Two libraries that import each other, "MutualA" (its interface IAlphaUser takes an IBeta) and
// "MutualB" (its IBeta takes an IAlpha of MutualA), written to APathA and APathB and registered,
// as the loader finds a library's imports by registration. Unregistered when it ends.
class TMutualLibraries {
 public:
  TMutualLibraries(const std::wstring& APathA, const std::wstring& APathB);
  ~TMutualLibraries();
  TMutualLibraries(const TMutualLibraries&) = delete;
  TMutualLibraries& operator=(const TMutualLibraries&) = delete;
};

// The head line of its doc string, and the line after it.
extern const wchar_t kTextsHelpLine1[];
extern const wchar_t kTextsHelpLine2[];

// The text that follows the NUL of the constant mkNul, found only when the NUL cuts nothing.
extern const wchar_t kTextAfterNul[];

}  // namespace vantrel::test
