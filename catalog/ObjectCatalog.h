// The catalog of COM registrations: one record type for every kind, four lists and their loaders.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/CompactString.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"

namespace vantrel {

// Numeric order matters: an entry's image index is its value + 1.
enum class TObjectType : uint8_t { otCLSID = 0, otTypeLib = 1, otAppID = 2, otInterface = 3 };

struct TObjectData {
  TCompactString Name;
  TCompactString GUID;  // the subkey name under the kind's root key, exactly as enumerated
  TCompactString Server;
  TCompactString TypeLib;
  TCompactString CLSID;
  TCompactString ProgId;
  TCompactString AppId;
  uint32_t MajorVersion = 0;
  uint32_t MinorVersion = 0;
  TCompactString Bitmap;
  TCompactString DefaultIcon;
  TObjectType Typ = TObjectType::otCLSID;
  // The entry's key exists but may not be read: it is listed under its GUID, with nothing more.
  bool Unreadable = false;
};

using TObjects = std::vector<TObjectData>;

// Root key under HKEY_CLASSES_ROOT and tree caption of each kind.
const wchar_t* RootKeyName(TObjectType AType);
const wchar_t* RootCaption(TObjectType AType);

// Each loader empties the list, then appends one record per accepted subkey of its root key, in
// the registry's enumeration order, reading everything in the registry view AView. An entry whose
// name is not text is named by its GUID; one whose key may not be read is listed under its GUID
// and marked Unreadable. A missing root key gives an empty list; a root key that
// exists but cannot be read raises ERegistryException.
void LoadCLSIDList(TObjects& AList, TRegView AView);
void LoadTypeLibList(TObjects& AList, TRegView AView);
void LoadAppIDList(TObjects& AList, TRegView AView);
void LoadInterfaceList(TObjects& AList, TRegView AView);

// The version key a type library is listed under: its highest version, compared as numbers
// (versions are hexadecimal, "a.0" is above "9.0"); a key that is no version only when no key is
// one. Null for an empty list.
const std::wstring* HighestVersionKey(const TStringList& AKeys);

// The loader of a kind.
void LoadList(TObjectType AType, TObjects& AList, TRegView AView);

}  // namespace vantrel
