// The replayed side of a type library record: the platform's own structures, built once from the
// record and owned here, so that the replayed library can hand out pointers to them as the loader
// hands out its own.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/Zarvek_Handles.h"

namespace vantrel {

// A text as the loader gave it, as its position in the library's table of texts; kNoText for
// a null BSTR. Every text is stored once, however often the library repeats it.
using TTextRef = uint32_t;
constexpr TTextRef kNoText = 0xFFFFFFFF;

// The answer to a documentation request; of the library, a description and its members also the
// answer of GetDocumentation2 (the entries of the library's list ask their descriptions).
struct TSnapDoc {
  HRESULT Result = E_FAIL;
  TTextRef Name = kNoText;
  TTextRef DocString = kNoText;
  DWORD HelpContext = 0;
  TTextRef HelpFile = kNoText;
  HRESULT Result2 = E_NOTIMPL;
  TTextRef HelpString = kNoText;
  DWORD HelpStringContext = 0;
  TTextRef HelpStringDll = kNoText;
};

struct TSnapVar {
  HRESULT Result = E_FAIL;
  VARDESC Desc = {};
};

struct TSnapFunc {
  HRESULT Result = E_FAIL;
  FUNCDESC Desc = {};
};

struct TSnapMemberDoc {
  MEMBERID Member = 0;
  TSnapDoc Doc;
};

struct TSnapNames {
  MEMBERID Member = 0;
  HRESULT Result = E_FAIL;
  std::vector<TTextRef> Names;
};

struct TSnapImplType {
  INT Index = 0;
  HRESULT Result = E_FAIL;
  HREFTYPE RefType = 0;
  HRESULT FlagsResult = E_FAIL;
  INT Flags = 0;
};

// Where a module's function lives, as GetDllEntry answered for its member and kind.
struct TSnapDllEntry {
  MEMBERID Member = 0;
  INVOKEKIND Kind = INVOKE_FUNC;
  HRESULT Result = E_FAIL;
  TTextRef Dll = kNoText;
  TTextRef Entry = kNoText;
  WORD Ordinal = 0;
};

// The order DllEntries are searched in.
inline bool DllEntryBefore(const TSnapDllEntry& A, const TSnapDllEntry& B) {
  return A.Member != B.Member ? A.Member < B.Member : A.Kind < B.Kind;
}

struct TSnapRef {
  HREFTYPE RefType = 0;
  HRESULT Result = E_FAIL;
  uint32_t Type = 0;  // position in TSnapLibrary::Types
};

// One item of custom data: the GUID that names it and its value, kept in the storage.
struct TSnapCustomItem {
  GUID Guid = {};
  VARIANT* Value = nullptr;
};

// The custom data of the library or of one part of a description, as the call that read it
// answered: its result and the items in the order given.
struct TSnapCustomData {
  HRESULT Result = S_OK;
  std::vector<TSnapCustomItem> Items;
};

struct TSnapFuncCustomData {
  TSnapCustomData Func;
  std::vector<TSnapCustomData> Params;  // by parameter position
};

// One type description. A full one is one of the library's own; the others were reached through a
// reference and carry their attributes and documentation only.
struct TSnapType {
  bool Full = false;
  HRESULT AttrResult = E_FAIL;
  TYPEATTR Attr = {};
  TSnapDoc Doc;
  std::vector<TSnapVar> Vars;
  std::vector<TSnapFunc> Funcs;
  std::vector<TSnapMemberDoc> MemberDocs;  // sorted by member
  std::vector<TSnapNames> MemberNames;     // sorted by member
  std::vector<TSnapImplType> ImplTypes;   // sorted by index
  std::vector<TSnapDllEntry> DllEntries;  // a module's functions only, sorted by DllEntryBefore
  std::vector<TSnapRef> Refs;  // sorted by reference
  INT LibraryIndex = -1;       // its position in the library, for the library's own
  // The library another description belongs to, when it said: its name, attributes and the
  // description's position in it.
  bool HasExternal = false;
  TTextRef ExternalName = kNoText;
  TLIBATTR ExternalAttr = {};
  INT ExternalIndex = 0;
  // Custom data, of a full description only: its own and, by position, its functions' (with
  // their parameters'), variables' and implemented types'. A position without a record has none.
  TSnapCustomData Custom;
  std::vector<TSnapFuncCustomData> FuncCustom;
  std::vector<TSnapCustomData> VarCustom;
  std::vector<TSnapCustomData> ImplTypeCustom;
};

// One position of the library's list.
struct TSnapEntry {
  TSnapDoc Doc;
  HRESULT KindResult = E_FAIL;
  TYPEKIND Kind = TKIND_MAX;
  HRESULT InfoResult = E_FAIL;
  uint32_t Type = 0;
};

// Storage that the descriptions point into; its containers never move what they hold.
class TSnapStorage {
 public:
  TSnapStorage() = default;
  TSnapStorage(const TSnapStorage&) = delete;
  TSnapStorage& operator=(const TSnapStorage&) = delete;
  ~TSnapStorage() {
    for (VARIANT& value : FValues) VariantClear(&value);
    for (PARAMDESCEX& value : FDefaults) VariantClear(&value.varDefaultValue);
  }

  TYPEDESC* NewTypeDesc() { return &FTypeDescs.emplace_back(); }
  ARRAYDESC* NewArrayDesc(USHORT ADims) {
    // ARRAYDESC ends in a one-element array of bounds; room for all of them.
    const size_t size = sizeof(ARRAYDESC) + (ADims ? ADims - 1 : 0) * sizeof(SAFEARRAYBOUND);
    auto& block = FArrayDescs.emplace_back(std::make_unique<std::byte[]>(size));
    return new (block.get()) ARRAYDESC{};
  }
  VARIANT* NewValue() {
    VARIANT& value = FValues.emplace_back();
    VariantInit(&value);
    return &value;
  }
  PARAMDESCEX* NewDefault() {
    PARAMDESCEX& value = FDefaults.emplace_back();
    value.cBytes = sizeof(PARAMDESCEX);
    VariantInit(&value.varDefaultValue);
    return &value;
  }
  ELEMDESC* NewElemDescs(size_t ACount) {
    return FElemDescs.emplace_back(std::make_unique<ELEMDESC[]>(ACount ? ACount : 1)).get();
  }
  SCODE* NewScodes(size_t ACount) {
    return FScodes.emplace_back(std::make_unique<SCODE[]>(ACount ? ACount : 1)).get();
  }

 private:
  std::deque<TYPEDESC> FTypeDescs;
  std::deque<std::unique_ptr<std::byte[]>> FArrayDescs;
  std::deque<VARIANT> FValues;
  std::deque<PARAMDESCEX> FDefaults;
  std::deque<std::unique_ptr<ELEMDESC[]>> FElemDescs;
  std::deque<std::unique_ptr<SCODE[]>> FScodes;
};

struct TSnapLibrary {
  std::vector<std::wstring> Texts;
  HRESULT AttrResult = E_FAIL;
  TLIBATTR Attr = {};
  TSnapDoc Doc;
  TSnapCustomData Custom;
  std::vector<TSnapEntry> Entries;
  std::vector<TSnapType> Types;
  TSnapStorage Storage;

  // A new BSTR with the text (whole, NUL characters included); null for kNoText.
  BSTR Allocate(TTextRef AText) const {
    if (AText == kNoText) return nullptr;
    const std::wstring& text = Texts[AText];
    return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  }
};

// The library that answers from the model; it owns it.
TComPtr<ITypeLib> CreateSnapshotTypeLib(std::unique_ptr<TSnapLibrary> AModel);

}  // namespace vantrel
