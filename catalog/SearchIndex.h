// The search over the four catalogs: every entry's name, GUID and registered values, lower-cased
// in one buffer, so that a keystroke's search is one pass over memory; and the reading of what
// the index holds, in one registry view. No windows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalog/ObjectCatalog.h"
#include "catalog/RegisteredValues.h"

namespace vantrel {

// Where a search text was found; the result list names it in its "Found in" column.
enum class TSearchField : uint8_t {
  sfName,
  sfGUID,
  sfProgId,     // ProgID and version-independent ProgID, and the ProgID keys that name a class
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

// What an entry is found by beyond the values its own key registers.
struct TSearchExtras {
  // The environment of the registry view's programs (ViewEnvironment): server, surrogate and
  // library paths are also found with their variables expanded. None: as registered only.
  const TStringList* Environment = nullptr;
  // A class's ProgIDs as HKEY_CLASSES_ROOT's ProgID keys name them.
  const std::vector<std::wstring>* ProgIds = nullptr;
};

class TSearchIndex {
 public:
  // One entry that matched: its catalog, its position in the catalog's list, and the fields that
  // hold the text (bit 1 << TSearchField).
  struct THit {
    TObjectType Catalog = TObjectType::otCLSID;
    uint32_t Index = 0;
    uint32_t Fields = 0;
    // The entry's name (the tree's text) is the search text, without regard to case.
    bool ExactName = false;
  };

  // Adds an entry at the end. The type library fields searched are the versions' names (as
  // "name") and files; a class's type library and application ID, and an interface's proxy/stub
  // class and type library, are GUIDs.
  void Add(TObjectType AType, uint32_t AIndex, std::wstring_view AName, std::wstring_view AGuid,
           const TRegisteredValues& AValues, const TSearchExtras& AExtras = {});
  // Moves the entries of another index to the end of this one: chunks built on a worker thread.
  void Append(TSearchIndex&& AOther);
  void Clear();
  // Gives back the room kept for more entries, once the index is complete.
  void Compact();
  size_t Count() const;
  // The bytes the index holds, for the memory figures.
  size_t MemoryUsed() const;

  // The entries from position AFirst on whose fields hold AText, without regard to case, one hit
  // per entry: those whose name is the text first, then the rest, each in the order they were
  // added. A blank text matches nothing.
  //
  // GUIDs are matched by their 32 digits, and only by a text that is a piece of a GUID: hex
  // digits, with dashes between or around them, in braces or not, and with a brace, a dash or at
  // least 8 digits ("{0002df01", "c000-", "46}", "0002df0100000000"). The text's braces and
  // dashes must stand where the GUID's do: "{0002" finds GUIDs that start with 0002, "c000-" a
  // group that ends in c000. Shorter runs of hex letters ("face", "add") are words: they never
  // match inside a GUID, not even one written in a path.
  std::vector<THit> Find(std::wstring_view AText, size_t AFirst = 0) const;

 private:
  // Every field is a marker byte (below a blank: its TSearchField, or the entry's own name) and
  // its text, lower-cased, in UTF-8, without control characters. GUIDs are kept as their 32
  // digits in a text of their own, searched only for a text that can be part of a GUID; the rest
  // in the other. An entry's fields follow one another in each text; the tables say where each
  // entry starts and what it is.
  struct TFieldText {
    std::string Text;
    std::vector<uint32_t> Starts;  // by entry
  };
  void AddField(char AMarker, std::wstring_view AText);
  void AddField(TSearchField AField, std::wstring_view AText) { AddField(static_cast<char>(AField), AText); }
  // A path as registered and, when the environment changes it, expanded.
  void AddPathField(TSearchField AField, std::wstring_view APath, const TStringList* AEnvironment);
  void AddGuidField(TSearchField AField, std::wstring_view AText);

  TFieldText FFields;
  TFieldText FGuids;
  std::vector<uint32_t> FIndices;
  std::vector<TObjectType> FCatalogs;
  std::wstring FLowered;  // reused while adding
};

// The classes that HKEY_CLASSES_ROOT's ProgID keys name: every key directly below it that is no
// file extension and no catalog, with a CLSID subkey whose default value names a class.
class TProgIdKeys {
 public:
  TProgIdKeys() = default;
  // Reads the keys in the registry view AView; AStopped, when given, is asked now and then
  // whether to give up (what was read so far stays).
  explicit TProgIdKeys(TRegView AView, const std::function<bool()>& AStopped = {});
  // The ProgIDs that name the class (its GUID in any case, with blanks around or not), in the
  // registry's order; none when no key does.
  const std::vector<std::wstring>& Of(std::wstring_view AClassGuid) const;
  // The number of keys that name a class.
  size_t Count() const { return FCount; }

 private:
  std::unordered_map<std::wstring, std::vector<std::wstring>> FByClass;  // by upper-case GUID
  size_t FCount = 0;
};

// Reads what the index finds entries by, in one registry view, and adds them to an index: the
// values each entry's key registers, its paths expanded with the view's environment, and for a
// class the ProgID keys that name it.
class TSearchEntryReader {
 public:
  // AEnvironment: the environment of the view's programs (ViewEnvironment).
  TSearchEntryReader(TRegView AView, TStringList AEnvironment, TProgIdKeys AProgIds);
  // Adds AEntry, at position AListIndex of its catalog's list, to the end of AIndex.
  void Add(TSearchIndex& AIndex, TObjectType AType, uint32_t AListIndex, const TObjectData& AEntry);

 private:
  TRegisteredValuesReader FReader;
  TRegisteredValues FValues;
  TStringList FEnvironment;
  TProgIdKeys FProgIds;
};

}  // namespace vantrel
