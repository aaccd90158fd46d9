// The import unit of a type library that a Pascal compiler accepts: Free Pascal in Delphi mode
// and Delphi. Read only through ITypeLib and ITypeInfo, like the annotated unit, so that the
// reader's snapshot and the tests' fakes drive it too; no windows.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>
#include <vector>

#include "catalog/ObjectCatalog.h"
#include "generators/TLBGenerator.h"

namespace vantrel {

// A name as a Pascal identifier: what cannot be part of one becomes "_", a leading digit gets a
// "_" before it, and a reserved word is escaped with "&" ("&Type").
std::wstring PascalIdentifier(std::wstring_view AName);

// The unit name of a library's import unit: its name as an identifier, then "_TLB".
std::wstring ImportUnitName(std::wstring_view ALibraryName);

// Where each method of an interface sits in its vtable, from the offsets the library gives.
struct TVtableLayout {
  // False when the library gives no usable offsets (all the same): the methods keep its order.
  bool Known = false;
  // Why the methods cannot be placed; empty when they can.
  std::wstring Refusal;
  std::vector<int> Slots;  // the slot of each offset given, in the same order
  int Count = 0;           // slots of the whole vtable, the base's included
};
// AOffsets: each method's oVft. ASizeVft: the interface's cbSizeVft, counted in pointers of the
// library's platform (APointerSize); a process of the other platform may count the offsets in its
// own pointers, and the layout with the fewest gaps wins. ABaseSlots: the vtable of the base as the
// library describes it; ADeclaredBaseSlots: the base the unit can name, which may have fewer.
TVtableLayout PlanVtable(const std::vector<int>& AOffsets, int ASizeVft, int APointerSize, int ABaseSlots,
                         int ADeclaredBaseSlots);

// A library an import unit uses the unit of.
struct TImportedLibrary {
  GUID Guid = GUID_NULL;
  WORD MajorVersion = 0, MinorVersion = 0;
  LCID Locale = 0;
  std::wstring Unit;  // its unit's name
};

// Appends the whole unit to ALines and sets AUnitName to its name. AData tells where the library
// came from, for the header. Declarations that cannot be read are left out with a comment.
void GenerateCompilableUnit(const TObjectData& AData, ITypeLib* ALib, TLineList& ALines, std::wstring& AUnitName);
// The same, telling which libraries' units the unit uses (AImports, may be null); the types of the
// libraries in AStandIns stand in as the types of a library the unit does not know (interfaces as
// IUnknown or IDispatch, records as their bytes), so that the unit does not use theirs: units of
// libraries that import each other cannot all use each other.
void GenerateCompilableUnit(const TObjectData& AData, ITypeLib* ALib, TLineList& ALines, std::wstring& AUnitName,
                            std::vector<TImportedLibrary>* AImports, const std::vector<GUID>& AStandIns);

// A program that uses the import unit and prints "FAIL ..." for every record whose size, and every
// field whose offset, differs from what the library says (cbSizeInstance, oInst); it ends with
// exit code 1 then.
void GenerateLayoutCheck(const TObjectData& AData, ITypeLib* ALib, TLineList& ALines);

}  // namespace vantrel
