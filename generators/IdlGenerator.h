// A type library's declarations as IDL that an IDL compiler turns back into the same library.
// Read only through ITypeLib and ITypeInfo, like the units; no windows.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>

#include "catalog/ObjectCatalog.h"
#include "generators/TLBGenerator.h"

namespace vantrel {

// A text as a C string literal: quotes and backslashes escaped, control characters as \n, \r,
// \t or \x escapes.
std::wstring IdlString(std::wstring_view AText);

// A name as an IDL identifier: cut at a NUL; characters an identifier cannot hold become "_"; a
// name that starts with a digit gets a leading "_", and a keyword of the language a trailing one,
// since IDL has no way to use a keyword as a name.
std::wstring IdlIdentifier(std::wstring_view AName);

// Appends the library block to ALines and sets ALibName to the library's name. AData tells
// where the library came from, for the header comment.
void GenerateIdl(const TObjectData& AData, ITypeLib* ALib, TLineList& ALines, std::wstring& ALibName);

}  // namespace vantrel
