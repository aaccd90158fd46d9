// The import unit of a type library that a Pascal compiler accepts: Free Pascal in Delphi mode
// and Delphi. Read only through ITypeLib and ITypeInfo, like the annotated unit, so that the
// reader's snapshot and the tests' fakes drive it too; no windows.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>

#include "catalog/ObjectCatalog.h"
#include "tlbviewer/TLBGenerator.h"

namespace vantrel {

// A name as a Pascal identifier: what cannot be part of one becomes "_", a leading digit gets a
// "_" before it, and a reserved word is escaped with "&" ("&Type").
std::wstring PascalIdentifier(std::wstring_view AName);

// The unit name of a library's import unit: its name as an identifier, then "_TLB".
std::wstring ImportUnitName(std::wstring_view ALibraryName);

// Appends the whole unit to ALines and sets AUnitName to its name. AData tells where the library
// came from, for the header. Declarations that cannot be read are left out with a comment.
void GenerateCompilableUnit(const TObjectData& AData, ITypeLib* ALib, TLineList& ALines, std::wstring& AUnitName);

}  // namespace vantrel
