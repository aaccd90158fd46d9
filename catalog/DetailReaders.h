// Completing a catalog entry with the rest of its registration when the user selects it.
#pragma once

#include <string>

#include "catalog/ObjectCatalog.h"

namespace vantrel {

// Each reader writes into the list entry itself. AEnvironment: the NAME=VALUE snapshot of the
// process environment taken at start, used to expand server paths.
void ReadCLSIDDetails(const std::wstring& AGuid, TObjectData& AData, const TStringList& AEnvironment);
void ReadTypeLibDetails(const std::wstring& AGuid, TObjectData& AData);
void ReadAppIDDetails(const std::wstring& AGuid, TObjectData& AData);
void ReadInterfaceDetails(const std::wstring& AGuid, TObjectData& AData);

// The reader of the entry's kind.
void ReadDetails(TObjectData& AData, const TStringList& AEnvironment);

}  // namespace vantrel
