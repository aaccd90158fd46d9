// How the generators name each basic type of the platform, and what it takes in memory: one table
// for the import unit and the IDL.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string_view>

namespace vantrel {

struct TPlatformType {
  VARTYPE Type;
  // The import unit's name; for the managed ones the name outside a variant record.
  std::wstring_view Pascal;
  std::wstring_view Idl;
  // IDL's name is a declaration of the platform's IDL files, not a word of the language.
  bool IdlDeclared;
  // Bytes and alignment; both 0 for a type as large as a pointer (see SizeOn, AlignOn).
  BYTE Size;
  BYTE Align;
  // May stand in a dispinterface.
  bool Automatable;
  // Finalized by the Pascal compiler (a string, a variant, an interface reference).
  bool Managed;
  // An interface reference, passed as the pointer it is.
  bool Interface;
  // The name a variant record takes instead, where the type is managed.
  std::wstring_view PascalInUnion;

  // Bytes and alignment where pointers have APointerSize bytes.
  ULONG SizeOn(ULONG APointerSize) const;
  ULONG AlignOn(ULONG APointerSize) const { return Align ? Align : APointerSize; }
};

// The entry of a basic type; nullptr for the types built from others (pointers, arrays, safe
// arrays, user-defined types) and for those no library declares.
const TPlatformType* FindPlatformType(VARTYPE AType);

// Whether AType is one of the types a variant converts to and from directly (VariantChangeType).
bool IsVariantBasicType(VARTYPE AType);

}  // namespace vantrel
