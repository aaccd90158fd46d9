// The search over the four catalogs: every entry's name, GUID and registered values, lower-cased
// in one buffer, so that a keystroke's search is one pass over memory. No windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalog/ObjectCatalog.h"
#include "catalog/RegisteredValues.h"

namespace vantrel {

// Where a search text was found; the result list names it in its "Found in" column.
enum class TSearchField : uint8_t {
  sfName,
  sfGUID,
  sfProgId,     // ProgID and version-independent ProgID
  sfServer,     // InprocServer32, LocalServer32
  sfTypeLib,    // a class's or interface's type library
  sfAppId,      // a class's application ID
  sfProxyStub,  // an interface's proxy/stub class
  sfFile,       // a type library version's file
  sfService,    // an application ID's LocalService
  sfSurrogate,  // an application ID's DllSurrogate
};
constexpr size_t kSearchFieldCount = 10;

// "name", "GUID", "ProgID", "server", "type library", "application ID", "proxy/stub class",
// "file", "service", "surrogate".
const wchar_t* SearchFieldName(TSearchField AField);
// The names of the fields of a set (bit 1 << field), in field order, separated by ", ".
std::wstring FoundInText(uint32_t AFields);

class TSearchIndex {
 public:
  // One entry that matched: its catalog, its position in the catalog's list, and the fields that
  // hold the text (bit 1 << TSearchField).
  struct THit {
    TObjectType Catalog = TObjectType::otCLSID;
    uint32_t Index = 0;
    uint32_t Fields = 0;
  };

  // Adds an entry at the end. The type library fields searched are the versions' names (as
  // "name") and files; a class's type library and application ID, and an interface's proxy/stub
  // class and type library, are GUIDs.
  void Add(TObjectType AType, uint32_t AIndex, std::wstring_view AName, std::wstring_view AGuid,
           const TRegisteredValues& AValues);
  // Moves the entries of another index to the end of this one: chunks built on a worker thread.
  void Append(TSearchIndex&& AOther);
  void Clear();
  // Gives back the room kept for more entries, once the index is complete.
  void Compact();
  size_t Count() const;
  // The bytes the index holds, for the memory figures.
  size_t MemoryUsed() const;

  // The entries from position AFirst on whose fields hold AText, without regard to case, in the
  // order they were added, one hit per entry. A GUID field also matches the text without its
  // braces and dashes ("0002df01-0000" finds {0002DF01-0000-0000-C000-000000000046}). A blank
  // text matches nothing.
  std::vector<THit> Find(std::wstring_view AText, size_t AFirst = 0) const;

 private:
  // Every field is a marker byte (below a blank: its TSearchField) and its text, lower-cased, in
  // UTF-8, without control characters. GUIDs are kept as their 32 digits in a text of their own,
  // searched only for a text that can be part of a GUID; the rest in the other. An entry's fields
  // follow one another in each text; the tables say where each entry starts and what it is.
  struct TFieldText {
    std::string Text;
    std::vector<uint32_t> Starts;  // by entry
  };
  void AddField(TSearchField AField, std::wstring_view AText);
  void AddGuidField(TSearchField AField, std::wstring_view AText);
  // The entries from AFirst on with APattern in a field of AText, in order, as (entry position,
  // field bits). ARecordSize: the size of every field with its marker, when they have one size.
  static void Scan(const TFieldText& AText, std::string_view APattern, size_t AFirst, size_t ARecordSize,
                   std::vector<THit>& AHits);

  TFieldText FFields;
  TFieldText FGuids;
  std::vector<uint32_t> FIndices;
  std::vector<TObjectType> FCatalogs;
  std::wstring FLowered;  // reused while adding
};

}  // namespace vantrel
