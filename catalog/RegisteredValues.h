// The values of an entry's registration beyond its name and GUID that the search and the
// registration check look at, read in one registry view. No windows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalog/ObjectCatalog.h"
#include "catalog/Zarvek_RegUtils.h"

namespace vantrel {

// A file a type library version registers for one locale and platform ("0\win32").
struct TTypeLibFile {
  std::wstring Locale;    // hexadecimal locale key, "0" say
  std::wstring Platform;  // "win32" or "win64"
  std::wstring Path;      // as registered
};

struct TTypeLibVersion {
  std::wstring Version;  // the version key, "1.0" say
  std::wstring Name;     // its default value
  std::vector<TTypeLibFile> Files;
};

// Every text as registered (not trimmed, not expanded); empty when the key or value is missing
// or is not text.
struct TRegisteredValues {
  // The result of opening the entry's key: ERROR_ACCESS_DENIED for a key nobody may read.
  LONG OpenResult = ERROR_SUCCESS;
  std::wstring Name;  // the entry key's default value
  // Object classes.
  std::wstring InprocServer, LocalServer, ProgId, VersionIndependentProgId;
  // The value types of the two servers: COM expands variables only in REG_EXPAND_SZ.
  DWORD InprocServerType = REG_NONE, LocalServerType = REG_NONE;
  std::wstring ServerExecutable;  // LocalServer32's ServerExecutable value
  std::wstring TreatAs, AutoConvertTo;
  // Whether any server key (InprocServer32, LocalServer32, InprocServer, LocalServer) exists.
  bool HasServerKey = false;
  std::wstring TypeLib;  // classes and interfaces
  std::wstring AppId;    // the class's AppID value
  // Interfaces.
  std::wstring ProxyStub;  // ProxyStubClsid32
  // Type libraries.
  std::vector<TTypeLibVersion> Versions;
  // Application IDs.
  std::wstring LocalService, DllSurrogate, RunAs;

  void Clear();
};

// Reads entries of the four catalogs one after another. The catalogs' root keys stay open, and an
// entry's key is opened once below its root: tens of thousands of entries are read this way.
class TRegisteredValuesReader {
 public:
  explicit TRegisteredValuesReader(TRegView AView);
  // Replaces AValues with what the entry of kind AType and key AGuid registers.
  void Read(TObjectType AType, std::wstring_view AGuid, TRegisteredValues& AValues);

 private:
  HKEY Root(TObjectType AType);
  // The default value of a subkey of AKey, or a named value of AKey itself (ASubkey null); its
  // type into AType when given. False when the subkey does not exist.
  bool ReadText(HKEY AKey, const wchar_t* ASubkey, const wchar_t* AName, std::wstring& AText, DWORD* AType = nullptr);
  void ReadTypeLib(HKEY AEntry, TRegisteredValues& AValues);

  REGSAM FViewAccess;
  TRegKey FRoots[4];
  bool FRootTried[4] = {};
  std::vector<wchar_t> FBuffer;
  std::wstring FPath;
};

}  // namespace vantrel
