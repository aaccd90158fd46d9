// Completing a catalog entry with the rest of its registration when the user selects it.
#pragma once

#include <string>

#include "catalog/ObjectCatalog.h"

namespace vantrel {

// Each reader writes into the list entry itself, reading in the registry view AView (the view of
// the entry's catalog). AEnvironment: the NAME=VALUE snapshot of the process environment taken at
// start, used to expand server paths as the view's programs would.
void ReadCLSIDDetails(const std::wstring& AGuid, TObjectData& AData, const TStringList& AEnvironment, TRegView AView);
void ReadTypeLibDetails(const std::wstring& AGuid, TObjectData& AData, TRegView AView);
void ReadAppIDDetails(const std::wstring& AGuid, TObjectData& AData);
void ReadInterfaceDetails(const std::wstring& AGuid, TObjectData& AData, TRegView AView);

// The reader of the entry's kind.
void ReadDetails(TObjectData& AData, const TStringList& AEnvironment, TRegView AView);

// The file registered for a type library version key ("TypeLib\{G}\1.0") in the neutral locale,
// for the platform of the view's programs: win32 in the 32-bit view; win64 in the 64-bit view,
// else win32 as 64-bit programs fall back to it. Empty when none is registered.
std::wstring RegisteredTypeLibFile(const std::wstring& AVersionKey, TRegView AView);

}  // namespace vantrel
