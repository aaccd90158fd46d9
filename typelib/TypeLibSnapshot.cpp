#include "typelib/TypeLibSnapshot.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <unordered_map>
#include <type_traits>
#include <vector>

#include "typelib/SnapshotModel.h"
#include "typelib/TypeInfoSource.h"

// Layout of a record, all numbers little-endian as the processes that exchange it store them:
//   "VTLS", format version, outcome (0 loaded, 1 load failed + code, 2 message)
//   the table of texts, library attributes, library documentation, library custom data, the list's
//   entries, the type descriptions, "END."
// The documentation of the library, of every description and of every member is followed by the
// answer of GetDocumentation2 (result, help string, help string context, help string DLL).
// A full description ends in its custom data: its own, then by position each function's (each
// followed by its parameters'), each variable's and each implemented type's.
// A text is its position in the table: a library repeats its names and doc strings many times.
// Every answer is stored with its result code, so that a failing call fails again on replay.

namespace vantrel {

namespace {

constexpr char kMagic[4] = {'V', 'T', 'L', 'S'};
constexpr char kTrailer[4] = {'E', 'N', 'D', '.'};
constexpr uint32_t kFormatVersion = 6;
constexpr uint32_t kNullText = 0xFFFFFFFF;
constexpr uint32_t kNoType = 0xFFFFFFFF;

enum : uint8_t { kOutcomeLoaded = 0, kOutcomeLoadFailed = 1, kOutcomeMessage = 2 };
enum : uint8_t { kValueNone = 0, kValueScalar = 1, kValueText = 2, kValueOther = 3, kValueNullInterface = 4 };

// The generator gives up below 64 levels; one level more keeps its answer for deeper chains.
constexpr int kMaxTypeDescDepth = 65;

// The first 16 bytes of a VARIANT: its type and every scalar value, DECIMAL included.
constexpr size_t kVariantBytes = 16;

// An item of custom data takes its GUID and at least the byte that says its value's form.
constexpr size_t kCustomItemBytes = sizeof(GUID) + 1;

// Value types stored by their bytes: none of them holds a pointer.
bool IsScalarType(VARTYPE AType) {
  switch (AType) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY:
    case VT_DATE: case VT_ERROR: case VT_BOOL: case VT_DECIMAL: case VT_I1: case VT_UI1:
    case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
      return true;
    default:
      return false;
  }
}

class TSnapshotWriter {
 public:
  void Bytes(const void* AData, size_t ASize) { FData.append(static_cast<const char*>(AData), ASize); }
  template <class T>
  void Value(T AValue) {
    static_assert(std::is_trivially_copyable_v<T>);
    Bytes(&AValue, sizeof(AValue));
  }
  void U8(uint8_t AValue) { Value(AValue); }
  // Numbers take 7 bits a byte, small ones (most of them) one byte; signed ones zigzag first.
  void U32(uint32_t AValue) {
    char bytes[5];
    size_t count = 0;
    do {
      bytes[count++] = static_cast<char>((AValue & 0x7F) | (AValue > 0x7F ? 0x80 : 0));
      AValue >>= 7;
    } while (AValue);
    Bytes(bytes, count);
  }
  void U16(uint16_t AValue) { U32(AValue); }
  void I32(int32_t AValue) {
    const auto value = static_cast<uint32_t>(AValue);
    U32((value << 1) ^ (0u - (value >> 31)));
  }
  void Result(HRESULT AValue) { I32(static_cast<int32_t>(AValue)); }
  void Guid(const GUID& AValue) { Value(AValue); }
  void Text(std::wstring_view AText) {
    U32(static_cast<uint32_t>(AText.size()));
    Bytes(AText.data(), AText.size() * sizeof(wchar_t));
  }
  // A count written before its elements are known, in four bytes.
  size_t Placeholder() {
    Value(uint32_t{0});
    return FData.size() - sizeof(uint32_t);
  }
  void Patch(size_t AOffset, uint32_t AValue) { std::memcpy(&FData[AOffset], &AValue, sizeof(AValue)); }
  std::string& Data() { return FData; }

 private:
  std::string FData;
};

void WriteHeader(TSnapshotWriter& AOut, uint8_t AOutcome) {
  AOut.Bytes(kMagic, sizeof(kMagic));
  AOut.Value(kFormatVersion);
  AOut.U8(AOutcome);
}

// Walks a loaded library and writes what the tree and the generator ask of it.
class TLibraryRecorder {
 public:
  explicit TLibraryRecorder(ITypeLib* ALib) : FLib(ALib), FNames(TNameList::Capacity, nullptr) {}
  ~TLibraryRecorder() { FreeNames(); }

  std::string Record();

 private:
  uint32_t TypeIndex(ITypeInfo* AInfo, bool AFull);
  void WriteDoc(HRESULT AResult, BSTR AName, BSTR ADoc, DWORD AHelpContext, BSTR AHelpFile);
  // The answer of a GetDocumentation2 call: help string, its context and the help string DLL.
  template <class TCall>
  void WriteDoc2(TCall ACall);
  void WriteTypeDoc(ITypeInfo* AInfo, MEMBERID AMember);
  void WriteLibrary();
  void WriteType(size_t AIndex);
  void WriteTypeAttr(const TYPEATTR& AAttr);
  void WriteTypeDesc(const TYPEDESC& ADesc, int ADepth);
  void WriteValue(const VARIANT* AValue);
  void WriteElemDesc(const ELEMDESC& ADesc);
  void WriteVars(ITypeInfo* AInfo, UINT ACount, std::vector<MEMBERID>& AMembers);
  void WriteFuncs(ITypeInfo* AInfo, UINT ACount, std::vector<MEMBERID>& AMembers, std::vector<MEMBERID>& ANamed,
                  std::vector<UINT>& AParamCounts);
  void WriteMemberDocs(ITypeInfo* AInfo, std::vector<MEMBERID>& AMembers);
  void WriteMemberNames(ITypeInfo* AInfo, std::vector<MEMBERID>& AMembers);
  void WriteImplTypes(ITypeInfo* AInfo, const TYPEATTR& AAttr);
  void WriteRefs(ITypeInfo* AInfo);
  // The result of a call that fills a CUSTDATA, and the items it gave.
  template <class TCall>
  void WriteCustomData(TCall ACall);
  void WriteNoCustomData();
  void WriteTypeCustomData(ITypeInfo* AInfo, const TYPEATTR* AAttr, const std::vector<UINT>& AParamCounts);
  void WriteDllEntries(ITypeInfo* AInfo, const TYPEATTR* AAttr);
  void NoteRef(HREFTYPE ARefType) { FRefs.push_back(ARefType); }
  // The position of a description in the library, or -1 when it belongs to another.
  INT ContainingIndex(ITypeInfo* AInfo);
  void WriteExternalLibrary(ITypeInfo* AInfo);
  void FreeNames();
  // Writes the text's position in the table, adding it when it is new.
  void Text(BSTR AText);

  ITypeLib* FLib;
  TSnapshotWriter FOut;
  std::deque<std::wstring> FTexts;
  std::unordered_map<std::wstring_view, uint32_t> FTextPositions;
  std::vector<TComPtr<ITypeInfo>> FTypes;
  std::vector<bool> FFull;
  std::vector<HREFTYPE> FFullRefs;  // of the description being written
  size_t FWriting = 0;
  std::map<IUnknown*, uint32_t> FIdentities;
  std::vector<TComPtr<IUnknown>> FKeptIdentities;  // so that no address is used twice
  std::vector<HREFTYPE> FRefs;                     // of the description being written
  std::vector<BSTR> FNames;
  UINT FNameCount = 0;
};

// The same description, reached twice, is stored once: the library's own keep their members when
// a reference leads to them.
uint32_t TLibraryRecorder::TypeIndex(ITypeInfo* AInfo, bool AFull) {
  TComPtr<IUnknown> identity;
  if (SUCCEEDED(AInfo->QueryInterface(IID_IUnknown, identity.put_void())) && identity) {
    auto known = FIdentities.find(identity.get());
    if (known != FIdentities.end()) return known->second;
  }
  const auto index = static_cast<uint32_t>(FTypes.size());
  FTypes.emplace_back(AInfo, true);
  FFull.push_back(AFull);
  if (identity) {
    FIdentities.emplace(identity.get(), index);
    FKeptIdentities.push_back(std::move(identity));
  }
  return index;
}

void TLibraryRecorder::Text(BSTR AText) {
  if (!AText) {
    FOut.U32(kNullText);
    return;
  }
  const std::wstring_view text = WholeText(AText);
  auto known = FTextPositions.find(text);
  if (known != FTextPositions.end()) {
    FOut.U32(known->second);
    return;
  }
  const auto position = static_cast<uint32_t>(FTexts.size());
  FTextPositions.emplace(FTexts.emplace_back(text), position);
  FOut.U32(position);
}

void TLibraryRecorder::WriteDoc(HRESULT AResult, BSTR AName, BSTR ADoc, DWORD AHelpContext, BSTR AHelpFile) {
  FOut.Result(AResult);
  if (FAILED(AResult)) return;
  Text(AName);
  Text(ADoc);
  FOut.U32(AHelpContext);
  Text(AHelpFile);
}

// Of a description or member, the name, doc string and help context: its help file is the
// library's.
void TLibraryRecorder::WriteTypeDoc(ITypeInfo* AInfo, MEMBERID AMember) {
  TBstr name, doc;
  DWORD context = 0;
  HRESULT hr = AInfo->GetDocumentation(AMember, name.put(), doc.put(), &context, nullptr);
  WriteDoc(hr, name.get(), doc.get(), SUCCEEDED(hr) ? context : 0, nullptr);
  TComPtr<ITypeInfo2> info;
  if (FAILED(AInfo->QueryInterface(IID_ITypeInfo2, info.put_void())) || !info) info.reset();
  WriteDoc2([&](BSTR* AText, DWORD* AContext, BSTR* ADll) -> HRESULT {
    return info ? info->GetDocumentation2(AMember, 0, AText, AContext, ADll) : E_NOTIMPL;
  });
}

template <class TCall>
void TLibraryRecorder::WriteDoc2(TCall ACall) {
  TBstr text, dll;
  DWORD context = 0;
  const HRESULT hr = ACall(text.put(), &context, dll.put());
  FOut.Result(hr);
  if (FAILED(hr)) return;
  Text(text.get());
  FOut.U32(context);
  Text(dll.get());
}

std::string TLibraryRecorder::Record() {
  WriteLibrary();
  const size_t typeCount = FOut.Placeholder();
  // Writing a description may add the ones it refers to: the list grows while it is written.
  for (size_t i = 0; i < FTypes.size(); ++i) WriteType(i);
  FOut.Patch(typeCount, static_cast<uint32_t>(FTypes.size()));

  // The table goes before the descriptions that refer to it.
  TSnapshotWriter record;
  size_t size = FOut.Data().size() + 64;
  for (const std::wstring& text : FTexts) size += 4 + text.size() * sizeof(wchar_t);
  record.Data().reserve(size);
  WriteHeader(record, kOutcomeLoaded);
  record.U32(static_cast<uint32_t>(FTexts.size()));
  for (const std::wstring& text : FTexts) record.Text(std::wstring_view(text));
  record.Bytes(FOut.Data().data(), FOut.Data().size());
  record.Bytes(kTrailer, sizeof(kTrailer));
  return std::move(record.Data());
}

void TLibraryRecorder::WriteLibrary() {
  TLIBATTR* attr = nullptr;
  HRESULT hr = FLib->GetLibAttr(&attr);
  if (SUCCEEDED(hr) && !attr) hr = E_POINTER;
  FOut.Result(hr);
  if (SUCCEEDED(hr)) {
    FOut.Guid(attr->guid);
    FOut.U32(attr->lcid);
    FOut.U32(static_cast<uint32_t>(attr->syskind));
    FOut.U16(attr->wMajorVerNum);
    FOut.U16(attr->wMinorVerNum);
    FOut.U16(attr->wLibFlags);
    FLib->ReleaseTLibAttr(attr);
  }
  {
    TBstr name, doc, helpFile;
    DWORD context = 0;
    hr = FLib->GetDocumentation(-1, name.put(), doc.put(), &context, helpFile.put());
    WriteDoc(hr, name.get(), doc.get(), context, helpFile.get());
  }
  // Loaders that do not offer ITypeLib2 have no custom data and no second documentation.
  TComPtr<ITypeLib2> lib2;
  if (FAILED(FLib->QueryInterface(IID_ITypeLib2, lib2.put_void())) || !lib2) lib2.reset();
  WriteDoc2([&](BSTR* AText, DWORD* AContext, BSTR* ADll) -> HRESULT {
    return lib2 ? lib2->GetDocumentation2(-1, 0, AText, AContext, ADll) : E_NOTIMPL;
  });
  if (lib2) {
    WriteCustomData([&](CUSTDATA* AData) { return lib2->GetAllCustData(AData); });
  } else {
    WriteNoCustomData();
  }

  const UINT count = FLib->GetTypeInfoCount();
  FOut.U32(count);
  for (UINT i = 0; i < count; ++i) {
    TBstr name, doc, helpFile;
    DWORD context = 0;
    hr = FLib->GetDocumentation(static_cast<INT>(i), name.put(), doc.put(), &context, helpFile.put());
    WriteDoc(hr, name.get(), doc.get(), context, helpFile.get());
    TYPEKIND kind = TKIND_MAX;
    hr = FLib->GetTypeInfoType(i, &kind);
    FOut.Result(hr);
    FOut.U32(static_cast<uint32_t>(kind));
    TComPtr<ITypeInfo> info;
    hr = ReadTypeInfo(FLib, i, info);
    FOut.Result(hr);
    FOut.U32(SUCCEEDED(hr) ? TypeIndex(info.get(), true) : kNoType);
  }
}

void TLibraryRecorder::WriteTypeDesc(const TYPEDESC& ADesc, int ADepth) {
  if (ADepth > kMaxTypeDescDepth) {
    FOut.U16(VT_EMPTY);
    return;
  }
  FOut.U16(ADesc.vt);
  switch (ADesc.vt) {
    case VT_PTR:
    case VT_SAFEARRAY:
      FOut.U8(ADesc.lptdesc != nullptr);
      if (ADesc.lptdesc) WriteTypeDesc(*ADesc.lptdesc, ADepth + 1);
      break;
    case VT_CARRAY: {
      const ARRAYDESC* array = ADesc.lpadesc;
      FOut.U8(array != nullptr);
      if (!array) break;
      WriteTypeDesc(array->tdescElem, ADepth + 1);
      FOut.U16(array->cDims);
      for (USHORT i = 0; i < array->cDims; ++i) {
        FOut.U32(array->rgbounds[i].cElements);
        FOut.I32(array->rgbounds[i].lLbound);
      }
      break;
    }
    case VT_USERDEFINED:
      FOut.U32(ADesc.hreftype);
      NoteRef(ADesc.hreftype);
      break;
    default: break;
  }
}

void TLibraryRecorder::WriteValue(const VARIANT* AValue) {
  if (!AValue) {
    FOut.U8(kValueNone);
    return;
  }
  const VARTYPE type = V_VT(AValue);
  if (type == VT_BSTR) {
    FOut.U8(kValueText);
    Text(V_BSTR(AValue));
  } else if (IsScalarType(type)) {
    FOut.U8(kValueScalar);
    FOut.Bytes(AValue, kVariantBytes);
  } else if ((type == VT_UNKNOWN && !V_UNKNOWN(AValue)) || (type == VT_DISPATCH && !V_DISPATCH(AValue))) {
    // The null interface pointer a default value may be.
    FOut.U8(kValueNullInterface);
    FOut.U16(type);
  } else {
    // A type with pointers inside: no other process can read them.
    FOut.U8(kValueOther);
    FOut.U16(type);
  }
}

void TLibraryRecorder::WriteElemDesc(const ELEMDESC& ADesc) {
  WriteTypeDesc(ADesc.tdesc, 0);
  const USHORT flags = ADesc.paramdesc.wParamFlags;
  FOut.U16(flags);
  const bool hasDefault = (flags & PARAMFLAG_FHASDEFAULT) && ADesc.paramdesc.pparamdescex;
  FOut.U8(hasDefault);
  if (hasDefault) WriteValue(&ADesc.paramdesc.pparamdescex->varDefaultValue);
}

void TLibraryRecorder::WriteTypeAttr(const TYPEATTR& AAttr) {
  FOut.Guid(AAttr.guid);
  FOut.U32(AAttr.lcid);
  FOut.I32(AAttr.memidConstructor);
  FOut.I32(AAttr.memidDestructor);
  FOut.U32(AAttr.cbSizeInstance);
  FOut.U32(static_cast<uint32_t>(AAttr.typekind));
  FOut.U16(AAttr.cFuncs);
  FOut.U16(AAttr.cVars);
  FOut.U16(AAttr.cImplTypes);
  FOut.U16(AAttr.cbSizeVft);
  FOut.U16(AAttr.cbAlignment);
  FOut.U16(AAttr.wTypeFlags);
  FOut.U16(AAttr.wMajorVerNum);
  FOut.U16(AAttr.wMinorVerNum);
  FOut.U16(AAttr.idldescType.wIDLFlags);
  WriteTypeDesc(AAttr.tdescAlias, 0);
}

void TLibraryRecorder::WriteVars(ITypeInfo* AInfo, UINT ACount, std::vector<MEMBERID>& AMembers) {
  FOut.U32(ACount);
  for (UINT i = 0; i < ACount; ++i) {
    TVarDescHolder var(AInfo);
    HRESULT hr = var.Fetch(i);
    FOut.Result(hr);
    if (FAILED(hr)) continue;
    AMembers.push_back(var->memid);
    FOut.I32(var->memid);
    FOut.U32(static_cast<uint32_t>(var->varkind));
    FOut.U16(var->wVarFlags);
    if (var->varkind == VAR_CONST) {
      WriteValue(var->lpvarValue);
    } else {
      FOut.U32(var->oInst);
    }
    WriteElemDesc(var->elemdescVar);
  }
}

void TLibraryRecorder::WriteFuncs(ITypeInfo* AInfo, UINT ACount, std::vector<MEMBERID>& AMembers,
                                  std::vector<MEMBERID>& ANamed, std::vector<UINT>& AParamCounts) {
  FOut.U32(ACount);
  for (UINT i = 0; i < ACount; ++i) {
    TFuncDescHolder func(AInfo);
    HRESULT hr = func.Fetch(i);
    FOut.Result(hr);
    AParamCounts.push_back(SUCCEEDED(hr) ? static_cast<UINT>(std::max<SHORT>(func->cParams, 0)) : 0);
    if (FAILED(hr)) continue;
    AMembers.push_back(func->memid);
    ANamed.push_back(func->memid);
    FOut.I32(func->memid);
    FOut.U32(static_cast<uint32_t>(func->funckind));
    FOut.U32(static_cast<uint32_t>(func->invkind));
    FOut.U32(static_cast<uint32_t>(func->callconv));
    FOut.I32(func->cParams);
    FOut.I32(func->cParamsOpt);
    FOut.I32(func->oVft);
    FOut.U16(func->wFuncFlags);
    WriteElemDesc(func->elemdescFunc);
    const auto params = static_cast<SHORT>(std::max<SHORT>(func->cParams, 0));
    FOut.U8(func->lprgelemdescParam != nullptr);
    if (func->lprgelemdescParam) {
      for (SHORT p = 0; p < params; ++p) WriteElemDesc(func->lprgelemdescParam[p]);
    }
    const auto scodes = static_cast<SHORT>(std::max<SHORT>(func->cScodes, 0));
    FOut.I32(func->cScodes);
    FOut.U8(func->lprgscode != nullptr);
    if (func->lprgscode) {
      for (SHORT s = 0; s < scodes; ++s) FOut.I32(func->lprgscode[s]);
    }
  }
}

void SortUnique(std::vector<MEMBERID>& AValues) {
  std::sort(AValues.begin(), AValues.end());
  AValues.erase(std::unique(AValues.begin(), AValues.end()), AValues.end());
}

void TLibraryRecorder::WriteMemberDocs(ITypeInfo* AInfo, std::vector<MEMBERID>& AMembers) {
  SortUnique(AMembers);
  FOut.U32(static_cast<uint32_t>(AMembers.size()));
  for (MEMBERID member : AMembers) {
    FOut.I32(member);
    WriteTypeDoc(AInfo, member);
  }
}

void TLibraryRecorder::FreeNames() {
  for (UINT i = 0; i < FNameCount; ++i) {
    SysFreeString(FNames[i]);
    FNames[i] = nullptr;
  }
  FNameCount = 0;
}

void TLibraryRecorder::WriteMemberNames(ITypeInfo* AInfo, std::vector<MEMBERID>& AMembers) {
  SortUnique(AMembers);
  FOut.U32(static_cast<uint32_t>(AMembers.size()));
  for (MEMBERID member : AMembers) {
    UINT count = 0;
    HRESULT hr = AInfo->GetNames(member, FNames.data(), TNameList::Capacity, &count);
    FNameCount = std::min<UINT>(count, TNameList::Capacity);
    FOut.I32(member);
    FOut.Result(hr);
    if (SUCCEEDED(hr)) {
      FOut.U32(FNameCount);
      for (UINT i = 0; i < FNameCount; ++i) Text(FNames[i]);
    }
    FreeNames();
  }
}

void TLibraryRecorder::WriteImplTypes(ITypeInfo* AInfo, const TYPEATTR& AAttr) {
  // A dual dispatch interface reaches its interface face through the position -1.
  const bool dualDispatch = AAttr.typekind == TKIND_DISPATCH && (AAttr.wTypeFlags & TYPEFLAG_FDUAL);
  const INT first = dualDispatch ? -1 : 0;
  FOut.U32(static_cast<uint32_t>(AAttr.cImplTypes - first));
  for (INT i = first; i < static_cast<INT>(AAttr.cImplTypes); ++i) {
    HREFTYPE refType = 0;
    HRESULT hr = AInfo->GetRefTypeOfImplType(static_cast<UINT>(i), &refType);
    INT flags = 0;
    HRESULT flagsResult = AInfo->GetImplTypeFlags(static_cast<UINT>(i), &flags);
    FOut.I32(i);
    FOut.Result(hr);
    FOut.U32(refType);
    FOut.Result(flagsResult);
    FOut.I32(flags);
    if (SUCCEEDED(hr)) NoteRef(refType);
    // The interface face of a dual interface is recorded whole: it holds the methods.
    if (SUCCEEDED(hr) && i == -1) FFullRefs.push_back(refType);
  }
}

void TLibraryRecorder::WriteExternalLibrary(ITypeInfo* AInfo) {
  // Another library's description: which library, for the unit that declares it.
  TComPtr<ITypeLib> lib;
  UINT index = 0;
  TLIBATTR* attr = nullptr;
  if (FAILED(AInfo->GetContainingTypeLib(lib.put(), &index)) || !lib || FAILED(lib->GetLibAttr(&attr)) || !attr) {
    FOut.U8(0);
    return;
  }
  TBstr name;
  lib->GetDocumentation(-1, name.put(), nullptr, nullptr, nullptr);
  FOut.U8(1);
  Text(name.get());
  FOut.Guid(attr->guid);
  FOut.U32(attr->lcid);
  FOut.U32(static_cast<uint32_t>(attr->syskind));
  FOut.U16(attr->wMajorVerNum);
  FOut.U16(attr->wMinorVerNum);
  FOut.I32(static_cast<int32_t>(index));
  lib->ReleaseTLibAttr(attr);
}

INT TLibraryRecorder::ContainingIndex(ITypeInfo* AInfo) {
  TComPtr<ITypeLib> lib;
  UINT index = 0;
  if (FAILED(AInfo->GetContainingTypeLib(lib.put(), &index)) || !lib) return -1;
  if (!IsSameLibrary(FLib, lib.get())) return -1;
  return index < FLib->GetTypeInfoCount() ? static_cast<INT>(index) : -1;
}

void TLibraryRecorder::WriteRefs(ITypeInfo* AInfo) {
  std::sort(FRefs.begin(), FRefs.end());
  FRefs.erase(std::unique(FRefs.begin(), FRefs.end()), FRefs.end());
  FOut.U32(static_cast<uint32_t>(FRefs.size()));
  for (HREFTYPE refType : FRefs) {
    TComPtr<ITypeInfo> referred;
    HRESULT hr = ReadRefTypeInfo(AInfo, refType, referred);
    FOut.U32(refType);
    FOut.Result(hr);
    uint32_t index = kNoType;
    if (SUCCEEDED(hr)) {
      const bool full = std::find(FFullRefs.begin(), FFullRefs.end(), refType) != FFullRefs.end();
      index = TypeIndex(referred.get(), full);
      // A description met before as a mere reference is recorded whole if not yet written.
      if (full && index > FWriting) FFull[index] = true;
    }
    FOut.U32(index);
  }
  FRefs.clear();
  FFullRefs.clear();
}

void TLibraryRecorder::WriteType(size_t AIndex) {
  // A copy: recording the references may grow the list.
  const TComPtr<ITypeInfo> info = FTypes[AIndex];
  const bool full = FFull[AIndex];
  FWriting = AIndex;
  FOut.U8(full);
  TTypeAttrHolder attr(info.get());
  HRESULT hr = attr.Fetch();
  FOut.Result(hr);
  if (SUCCEEDED(hr)) WriteTypeAttr(*attr.get());
  WriteTypeDoc(info.get(), MEMBERID_NIL);
  const INT position = ContainingIndex(info.get());
  FOut.I32(position);
  if (position < 0) WriteExternalLibrary(info.get());
  if (!full) {
    FRefs.clear();
    return;
  }
  std::vector<MEMBERID> documented, named;
  std::vector<UINT> paramCounts;
  WriteVars(info.get(), attr ? attr->cVars : 0, documented);
  WriteFuncs(info.get(), attr ? attr->cFuncs : 0, documented, named, paramCounts);
  WriteMemberDocs(info.get(), documented);
  WriteMemberNames(info.get(), named);
  if (attr) {
    WriteImplTypes(info.get(), *attr.get());
  } else {
    FOut.U32(0);
  }
  WriteRefs(info.get());
  WriteTypeCustomData(info.get(), attr.get(), paramCounts);
  WriteDllEntries(info.get(), attr.get());
}

void TLibraryRecorder::WriteDllEntries(ITypeInfo* AInfo, const TYPEATTR* AAttr) {
  if (!AAttr || AAttr->typekind != TKIND_MODULE) {
    FOut.U32(0);
    return;
  }
  struct TFunc {
    MEMBERID Member;
    INVOKEKIND Kind;
  };
  std::vector<TFunc> funcs;
  for (UINT i = 0; i < AAttr->cFuncs; ++i) {
    TFuncDescHolder func(AInfo);
    if (SUCCEEDED(func.Fetch(i))) funcs.push_back({func->memid, func->invkind});
  }
  FOut.U32(static_cast<uint32_t>(funcs.size()));
  for (const TFunc& func : funcs) {
    TBstr dll, entry;
    WORD ordinal = 0;
    const HRESULT hr = AInfo->GetDllEntry(func.Member, func.Kind, dll.put(), entry.put(), &ordinal);
    FOut.I32(func.Member);
    FOut.U32(static_cast<uint32_t>(func.Kind));
    FOut.Result(hr);
    if (FAILED(hr)) continue;
    Text(dll.get());
    Text(entry.get());
    FOut.U16(ordinal);
  }
}

template <class TCall>
void TLibraryRecorder::WriteCustomData(TCall ACall) {
  TCustDataHolder data;
  HRESULT hr = ACall(data.put());
  const CUSTDATA& items = data.get();
  if (SUCCEEDED(hr) && items.cCustData && !items.prgCustData) hr = E_POINTER;
  FOut.Result(hr);
  if (FAILED(hr)) return;
  FOut.U32(items.cCustData);
  for (DWORD i = 0; i < items.cCustData; ++i) {
    FOut.Guid(items.prgCustData[i].guid);
    WriteValue(&items.prgCustData[i].varValue);
  }
}

void TLibraryRecorder::WriteNoCustomData() {
  FOut.Result(S_OK);
  FOut.U32(0);
}

// Positions as the attributes and function descriptions count them; the platform's answer for
// each is kept, a failure included.
void TLibraryRecorder::WriteTypeCustomData(ITypeInfo* AInfo, const TYPEATTR* AAttr,
                                           const std::vector<UINT>& AParamCounts) {
  // Descriptions that do not offer ITypeInfo2 have no custom data.
  TComPtr<ITypeInfo2> info;
  if (FAILED(AInfo->QueryInterface(IID_ITypeInfo2, info.put_void())) || !info) {
    WriteNoCustomData();
    FOut.U32(0);  // functions
    FOut.U32(0);  // variables
    FOut.U32(0);  // implemented types
    return;
  }
  WriteCustomData([&](CUSTDATA* AData) { return info->GetAllCustData(AData); });
  FOut.U32(static_cast<uint32_t>(AParamCounts.size()));
  for (UINT f = 0; f < AParamCounts.size(); ++f) {
    WriteCustomData([&](CUSTDATA* AData) { return info->GetAllFuncCustData(f, AData); });
    // A dispinterface's view of a function leaves out its [lcid] and [retval] parameters, whose
    // custom data the platform still gives by position past the last parameter described.
    UINT params = AParamCounts[f];
    for (TCustDataHolder probe; params < AParamCounts[f] + 2; ++params) {
      if (FAILED(info->GetAllParamCustData(f, params, probe.put()))) break;
    }
    FOut.U32(params);
    for (UINT p = 0; p < params; ++p) {
      WriteCustomData([&](CUSTDATA* AData) { return info->GetAllParamCustData(f, p, AData); });
    }
  }
  const UINT vars = AAttr ? AAttr->cVars : 0;
  FOut.U32(vars);
  for (UINT v = 0; v < vars; ++v) {
    WriteCustomData([&](CUSTDATA* AData) { return info->GetAllVarCustData(v, AData); });
  }
  // Wine's loader keeps no record of the IDispatch a dispinterface reports as its implemented type
  // and crashes when asked for its custom data; that IDispatch carries none anyway.
  const bool dispatch = AAttr && AAttr->typekind == TKIND_DISPATCH;
  const UINT implTypes = AAttr && !dispatch ? AAttr->cImplTypes : 0;
  FOut.U32(implTypes);
  for (UINT i = 0; i < implTypes; ++i) {
    WriteCustomData([&](CUSTDATA* AData) { return info->GetAllImplTypeCustData(i, AData); });
  }
}

// Reads a record, checking every count and length against what is left of it.
class TSnapshotReader {
 public:
  explicit TSnapshotReader(std::string_view AData) : FData(AData) {}

  [[noreturn]] static void Fail(const wchar_t* AWhat) {
    throw ESnapshotError(AWhat);
  }
  void Bytes(void* ATarget, size_t ASize) {
    if (ASize > FData.size() - FPos) Fail(L"it ends too early");
    std::memcpy(ATarget, FData.data() + FPos, ASize);
    FPos += ASize;
  }
  template <class T>
  T Value() {
    static_assert(std::is_trivially_copyable_v<T>);
    T value;
    Bytes(&value, sizeof(value));
    return value;
  }
  uint8_t U8() { return Value<uint8_t>(); }
  uint32_t U32() {
    uint32_t value = 0;
    for (int shift = 0; shift < 35; shift += 7) {
      const uint8_t byte = U8();
      if (shift == 28 && (byte & 0x70)) Fail(L"a number is too large");
      value |= static_cast<uint32_t>(byte & 0x7F) << shift;
      if (!(byte & 0x80)) return value;
    }
    Fail(L"a number is too large");
  }
  uint16_t U16() {
    const uint32_t value = U32();
    if (value > 0xFFFF) Fail(L"a number is too large");
    return static_cast<uint16_t>(value);
  }
  int32_t I32() {
    const uint32_t value = U32();
    return static_cast<int32_t>((value >> 1) ^ (0u - (value & 1)));
  }
  SHORT Short() {
    const int32_t value = I32();
    if (value < -32768 || value > 32767) Fail(L"a number is too large");
    return static_cast<SHORT>(value);
  }
  HRESULT Result() { return static_cast<HRESULT>(I32()); }
  bool Flag() {
    const uint8_t value = U8();
    if (value > 1) Fail(L"a flag is neither set nor clear");
    return value == 1;
  }
  // A count of elements that take at least AMinSize bytes each: no more than the rest can hold.
  uint32_t Count(size_t AMinSize) { return Checked(U32(), AMinSize); }
  // The same written in four bytes.
  uint32_t FixedCount(size_t AMinSize) { return Checked(Value<uint32_t>(), AMinSize); }
  // False for a null text.
  bool Text(std::wstring& AText) {
    const uint32_t length = U32();
    if (length == kNullText) return false;
    if (length > (FData.size() - FPos) / sizeof(wchar_t)) Fail(L"a text is longer than the record");
    AText.resize(length);
    Bytes(AText.data(), length * sizeof(wchar_t));
    return true;
  }
  void Expect(const char (&AMark)[4], const wchar_t* AWhat) {
    char mark[4];
    Bytes(mark, sizeof(mark));
    if (std::memcmp(mark, AMark, sizeof(mark)) != 0) Fail(AWhat);
  }
  bool AtEnd() const { return FPos == FData.size(); }

 private:
  uint32_t Checked(uint32_t ACount, size_t AMinSize) const {
    if (ACount > (FData.size() - FPos) / AMinSize) Fail(L"a count is larger than the record");
    return ACount;
  }

  std::string_view FData;
  size_t FPos = 0;
};

// A count no type library can hold: TYPEATTR counts functions, variables and implemented types,
// and FUNCDESC a function's parameters, in 16 bits.
uint32_t WithinFormat(uint32_t ACount, uint32_t ALimit) {
  if (ACount > ALimit) TSnapshotReader::Fail(L"a count is larger than any library holds");
  return ACount;
}
constexpr uint32_t kMaxMembers = 0xFFFF;

class TLibraryDecoder {
 public:
  explicit TLibraryDecoder(TSnapshotReader& AIn) : FIn(AIn), FModel(std::make_unique<TSnapLibrary>()) {}
  std::unique_ptr<TSnapLibrary> Decode();

 private:
  TSnapDoc ReadDoc();
  void ReadDoc2(TSnapDoc& ADoc);
  void ReadTypeDesc(TYPEDESC& ADesc, int ADepth);
  // False for a value that was absent.
  bool ReadValue(VARIANT& AValue);
  void ReadElemDesc(ELEMDESC& ADesc);
  void ReadTypeAttr(TYPEATTR& AAttr);
  void ReadType(TSnapType& AType);
  void ReadVars(TSnapType& AType);
  void ReadFuncs(TSnapType& AType);
  void ReadCustomData(TSnapCustomData& AData);
  void ReadTypeCustomData(TSnapType& AType);
  uint32_t TypeReference();

  TTextRef TextRef() {
    const uint32_t position = FIn.U32();
    if (position != kNoText && position >= FModel->Texts.size()) TSnapshotReader::Fail(L"a text is not in its table");
    return position;
  }

  // Reads ACount elements into AList one by one: the list grows with what the record holds, not
  // with what a count claims, and the lists of one record together stay within kListBudget.
  template <typename T, typename F>
  void ReadEach(std::vector<T>& AList, uint32_t ACount, F AReadOne) {
    constexpr uint32_t kReserveLimit = 1024;
    FListBytes += static_cast<uint64_t>(ACount) * sizeof(T);
    if (FListBytes > kListBudget) TSnapshotReader::Fail(L"it describes more than any library holds");
    AList.clear();
    AList.reserve(std::min(ACount, kReserveLimit));
    for (uint32_t i = 0; i < ACount; ++i) AReadOne(AList.emplace_back());
  }
  // The decoded lists of mshtml.tlb, the largest library Wine installs, take 6.5 MB in the
  // 64-bit build.
  static constexpr uint64_t kListBudget = uint64_t(256) << 20;

  TSnapshotReader& FIn;
  std::unique_ptr<TSnapLibrary> FModel;
  uint64_t FListBytes = 0;
  TSnapStorage& Storage() { return FModel->Storage; }
};

TSnapDoc TLibraryDecoder::ReadDoc() {
  TSnapDoc doc;
  doc.Result = FIn.Result();
  if (FAILED(doc.Result)) return doc;
  doc.Name = TextRef();
  doc.DocString = TextRef();
  doc.HelpContext = FIn.U32();
  doc.HelpFile = TextRef();
  return doc;
}

void TLibraryDecoder::ReadDoc2(TSnapDoc& ADoc) {
  ADoc.Result2 = FIn.Result();
  if (FAILED(ADoc.Result2)) return;
  ADoc.HelpString = TextRef();
  ADoc.HelpStringContext = FIn.U32();
  ADoc.HelpStringDll = TextRef();
}

void TLibraryDecoder::ReadTypeDesc(TYPEDESC& ADesc, int ADepth) {
  if (ADepth > kMaxTypeDescDepth + 1) TSnapshotReader::Fail(L"a type is nested too deeply");
  ADesc = TYPEDESC{};
  ADesc.vt = FIn.U16();
  switch (ADesc.vt) {
    case VT_PTR:
    case VT_SAFEARRAY:
      if (FIn.Flag()) {
        ADesc.lptdesc = Storage().NewTypeDesc();
        ReadTypeDesc(*ADesc.lptdesc, ADepth + 1);
      }
      break;
    case VT_CARRAY: {
      if (!FIn.Flag()) break;
      TYPEDESC element;
      ReadTypeDesc(element, ADepth + 1);
      const USHORT dims = FIn.U16();
      ARRAYDESC* array = Storage().NewArrayDesc(dims);
      array->tdescElem = element;
      array->cDims = dims;
      for (USHORT i = 0; i < dims; ++i) {
        array->rgbounds[i].cElements = FIn.U32();
        array->rgbounds[i].lLbound = FIn.I32();
      }
      ADesc.lpadesc = array;
      break;
    }
    case VT_USERDEFINED: ADesc.hreftype = FIn.U32(); break;
    default: break;
  }
}

bool TLibraryDecoder::ReadValue(VARIANT& AValue) {
  VariantClear(&AValue);
  switch (FIn.U8()) {
    case kValueNone: return false;
    case kValueScalar:
      FIn.Bytes(&AValue, kVariantBytes);
      if (!IsScalarType(V_VT(&AValue))) {
        V_VT(&AValue) = VT_EMPTY;
        TSnapshotReader::Fail(L"a value's type does not match its data");
      }
      break;
    case kValueText: {
      const TTextRef text = TextRef();
      V_VT(&AValue) = VT_BSTR;
      V_BSTR(&AValue) = FModel->Allocate(text);
      if (text != kNoText && !V_BSTR(&AValue)) throw std::bad_alloc();
      break;
    }
    case kValueOther:
      // The loaded value had no form another process can read: it shows as a value without text.
      FIn.U16();
      V_VT(&AValue) = VT_NULL;
      break;
    case kValueNullInterface: {
      const VARTYPE type = FIn.U16();
      if (type != VT_UNKNOWN && type != VT_DISPATCH) TSnapshotReader::Fail(L"a null value is of no interface type");
      V_VT(&AValue) = type;
      V_UNKNOWN(&AValue) = nullptr;
      break;
    }
    default: TSnapshotReader::Fail(L"a value has an unknown form");
  }
  return true;
}

void TLibraryDecoder::ReadElemDesc(ELEMDESC& ADesc) {
  ADesc = ELEMDESC{};
  ReadTypeDesc(ADesc.tdesc, 0);
  ADesc.paramdesc.wParamFlags = FIn.U16();
  if (FIn.Flag()) {
    PARAMDESCEX* value = Storage().NewDefault();
    ReadValue(value->varDefaultValue);
    ADesc.paramdesc.pparamdescex = value;
  }
}

void TLibraryDecoder::ReadTypeAttr(TYPEATTR& AAttr) {
  AAttr = TYPEATTR{};
  AAttr.guid = FIn.Value<GUID>();
  AAttr.lcid = FIn.U32();
  AAttr.memidConstructor = FIn.I32();
  AAttr.memidDestructor = FIn.I32();
  AAttr.cbSizeInstance = FIn.U32();
  AAttr.typekind = static_cast<TYPEKIND>(FIn.U32());
  AAttr.cFuncs = FIn.U16();
  AAttr.cVars = FIn.U16();
  AAttr.cImplTypes = FIn.U16();
  AAttr.cbSizeVft = FIn.U16();
  AAttr.cbAlignment = FIn.U16();
  AAttr.wTypeFlags = FIn.U16();
  AAttr.wMajorVerNum = FIn.U16();
  AAttr.wMinorVerNum = FIn.U16();
  AAttr.idldescType.wIDLFlags = FIn.U16();
  ReadTypeDesc(AAttr.tdescAlias, 0);
}

void TLibraryDecoder::ReadVars(TSnapType& AType) {
  ReadEach(AType.Vars, WithinFormat(FIn.Count(1), kMaxMembers), [&](TSnapVar& var) {
    var.Result = FIn.Result();
    if (FAILED(var.Result)) return;
    VARDESC& desc = var.Desc;
    desc.memid = FIn.I32();
    desc.varkind = static_cast<VARKIND>(FIn.U32());
    desc.wVarFlags = FIn.U16();
    if (desc.varkind == VAR_CONST) {
      VARIANT* value = Storage().NewValue();
      desc.lpvarValue = ReadValue(*value) ? value : nullptr;
    } else {
      desc.oInst = FIn.U32();
    }
    ReadElemDesc(desc.elemdescVar);
  });
}

void TLibraryDecoder::ReadFuncs(TSnapType& AType) {
  ReadEach(AType.Funcs, WithinFormat(FIn.Count(1), kMaxMembers), [&](TSnapFunc& func) {
    func.Result = FIn.Result();
    if (FAILED(func.Result)) return;
    FUNCDESC& desc = func.Desc;
    desc.memid = FIn.I32();
    desc.funckind = static_cast<FUNCKIND>(FIn.U32());
    desc.invkind = static_cast<INVOKEKIND>(FIn.U32());
    desc.callconv = static_cast<CALLCONV>(FIn.U32());
    desc.cParams = FIn.Short();
    desc.cParamsOpt = FIn.Short();
    desc.oVft = FIn.Short();
    desc.wFuncFlags = FIn.U16();
    ReadElemDesc(desc.elemdescFunc);
    const size_t params = static_cast<size_t>(std::max<SHORT>(desc.cParams, 0));
    if (FIn.Flag()) {
      desc.lprgelemdescParam = Storage().NewElemDescs(params);
      for (size_t p = 0; p < params; ++p) ReadElemDesc(desc.lprgelemdescParam[p]);
    }
    desc.cScodes = FIn.Short();
    if (FIn.Flag()) {
      const size_t scodes = static_cast<size_t>(std::max<SHORT>(desc.cScodes, 0));
      desc.lprgscode = Storage().NewScodes(scodes);
      for (size_t s = 0; s < scodes; ++s) desc.lprgscode[s] = FIn.I32();
    }
  });
}

void TLibraryDecoder::ReadCustomData(TSnapCustomData& AData) {
  AData.Result = FIn.Result();
  if (FAILED(AData.Result)) return;
  ReadEach(AData.Items, FIn.Count(kCustomItemBytes), [&](TSnapCustomItem& item) {
    item.Guid = FIn.Value<GUID>();
    item.Value = Storage().NewValue();
    if (!ReadValue(*item.Value)) TSnapshotReader::Fail(L"a custom value is missing");
  });
}

void TLibraryDecoder::ReadTypeCustomData(TSnapType& AType) {
  ReadCustomData(AType.Custom);
  ReadEach(AType.FuncCustom, WithinFormat(FIn.Count(2), kMaxMembers), [&](TSnapFuncCustomData& func) {
    ReadCustomData(func.Func);
    ReadEach(func.Params, WithinFormat(FIn.Count(1), kMaxMembers + 1), [&](TSnapCustomData& param) { ReadCustomData(param); });
  });
  ReadEach(AType.VarCustom, WithinFormat(FIn.Count(1), kMaxMembers), [&](TSnapCustomData& var) { ReadCustomData(var); });
  ReadEach(AType.ImplTypeCustom, WithinFormat(FIn.Count(1), kMaxMembers + 1), [&](TSnapCustomData& implType) { ReadCustomData(implType); });
}

uint32_t TLibraryDecoder::TypeReference() {
  // Checked once all descriptions are read: a reference may point forward.
  return FIn.U32();
}

void TLibraryDecoder::ReadType(TSnapType& AType) {
  AType.Full = FIn.Flag();
  AType.AttrResult = FIn.Result();
  if (SUCCEEDED(AType.AttrResult)) ReadTypeAttr(AType.Attr);
  AType.Doc = ReadDoc();
  ReadDoc2(AType.Doc);
  AType.LibraryIndex = FIn.I32();
  if (AType.LibraryIndex < 0) {
    AType.HasExternal = FIn.Flag();
    if (AType.HasExternal) {
      AType.ExternalName = TextRef();
      AType.ExternalAttr.guid = FIn.Value<GUID>();
      AType.ExternalAttr.lcid = FIn.U32();
      AType.ExternalAttr.syskind = static_cast<SYSKIND>(FIn.U32());
      AType.ExternalAttr.wMajorVerNum = FIn.U16();
      AType.ExternalAttr.wMinorVerNum = FIn.U16();
      AType.ExternalIndex = FIn.I32();
    }
  }
  if (!AType.Full) return;
  ReadVars(AType);
  ReadFuncs(AType);

  ReadEach(AType.MemberDocs, FIn.Count(2), [&](TSnapMemberDoc& doc) {
    doc.Member = FIn.I32();
    doc.Doc = ReadDoc();
    ReadDoc2(doc.Doc);
  });
  ReadEach(AType.MemberNames, FIn.Count(2), [&](TSnapNames& names) {
    names.Member = FIn.I32();
    names.Result = FIn.Result();
    if (FAILED(names.Result)) return;
    ReadEach(names.Names, WithinFormat(FIn.Count(1), kMaxMembers + 1), [&](TTextRef& name) { name = TextRef(); });
  });
  ReadEach(AType.ImplTypes, WithinFormat(FIn.Count(5), kMaxMembers + 1), [&](TSnapImplType& impl) {
    impl.Index = FIn.I32();
    impl.Result = FIn.Result();
    impl.RefType = FIn.U32();
    impl.FlagsResult = FIn.Result();
    impl.Flags = FIn.I32();
  });
  ReadEach(AType.Refs, FIn.Count(3), [&](TSnapRef& ref) {
    ref.RefType = FIn.U32();
    ref.Result = FIn.Result();
    ref.Type = TypeReference();
  });
  ReadTypeCustomData(AType);
  ReadEach(AType.DllEntries, WithinFormat(FIn.Count(3), kMaxMembers), [&](TSnapDllEntry& entry) {
    entry.Member = FIn.I32();
    entry.Kind = static_cast<INVOKEKIND>(FIn.U32());
    entry.Result = FIn.Result();
    if (FAILED(entry.Result)) return;
    entry.Dll = TextRef();
    entry.Entry = TextRef();
    entry.Ordinal = FIn.U16();
  });

  // Lookups search these; a record out of order is damaged.
  auto byMember = [](const auto& A, const auto& B) { return A.Member < B.Member; };
  auto byRef = [](const TSnapRef& A, const TSnapRef& B) { return A.RefType < B.RefType; };
  auto byIndex = [](const TSnapImplType& A, const TSnapImplType& B) { return A.Index < B.Index; };
  if (!std::is_sorted(AType.MemberDocs.begin(), AType.MemberDocs.end(), byMember) ||
      !std::is_sorted(AType.MemberNames.begin(), AType.MemberNames.end(), byMember) ||
      !std::is_sorted(AType.Refs.begin(), AType.Refs.end(), byRef) ||
      !std::is_sorted(AType.ImplTypes.begin(), AType.ImplTypes.end(), byIndex)) {
    TSnapshotReader::Fail(L"a lookup list is out of order");
  }
  // Recorded in the order of the module's functions; searched by member and kind, the first
  // recorded answering.
  std::stable_sort(AType.DllEntries.begin(), AType.DllEntries.end(), DllEntryBefore);
}

std::unique_ptr<TSnapLibrary> TLibraryDecoder::Decode() {
  TSnapLibrary& library = *FModel;
  ReadEach(library.Texts, FIn.Count(1), [&](std::wstring& text) {
    if (!FIn.Text(text)) TSnapshotReader::Fail(L"its table holds no text");
  });
  library.AttrResult = FIn.Result();
  if (SUCCEEDED(library.AttrResult)) {
    library.Attr.guid = FIn.Value<GUID>();
    library.Attr.lcid = FIn.U32();
    library.Attr.syskind = static_cast<SYSKIND>(FIn.U32());
    library.Attr.wMajorVerNum = FIn.U16();
    library.Attr.wMinorVerNum = FIn.U16();
    library.Attr.wLibFlags = FIn.U16();
  }
  library.Doc = ReadDoc();
  ReadDoc2(library.Doc);
  ReadCustomData(library.Custom);

  ReadEach(library.Entries, FIn.Count(5), [&](TSnapEntry& entry) {
    entry.Doc = ReadDoc();
    entry.KindResult = FIn.Result();
    entry.Kind = static_cast<TYPEKIND>(FIn.U32());
    entry.InfoResult = FIn.Result();
    entry.Type = TypeReference();
  });
  ReadEach(library.Types, FIn.FixedCount(3), [&](TSnapType& type) { ReadType(type); });
  FIn.Expect(kTrailer, L"its end mark is missing");
  if (!FIn.AtEnd()) TSnapshotReader::Fail(L"data follows its end");

  const size_t types = library.Types.size();
  for (TSnapType& type : library.Types) {
    if (type.LibraryIndex < -1 || type.LibraryIndex >= static_cast<INT>(library.Entries.size())) {
      TSnapshotReader::Fail(L"a library position points outside it");
    }
  }
  for (size_t i = 0; i < library.Entries.size(); ++i) {
    TSnapEntry& entry = library.Entries[i];
    if (FAILED(entry.InfoResult)) continue;
    if (entry.Type >= types) TSnapshotReader::Fail(L"a type reference points outside it");
    library.Types[entry.Type].LibraryIndex = static_cast<INT>(i);
  }
  for (const TSnapType& type : library.Types) {
    for (const TSnapRef& ref : type.Refs) {
      if (SUCCEEDED(ref.Result) && ref.Type >= types) TSnapshotReader::Fail(L"a type reference points outside it");
    }
  }
  return std::move(FModel);
}

}  // namespace

std::string RecordTypeLibrary(ITypeLib* ALib) { return TLibraryRecorder(ALib).Record(); }

std::string RecordLoadFailure(HRESULT ACode) {
  TSnapshotWriter out;
  WriteHeader(out, kOutcomeLoadFailed);
  out.Result(ACode);
  out.Bytes(kTrailer, sizeof(kTrailer));
  return std::move(out.Data());
}

std::string RecordFailureText(std::wstring_view AText) {
  TSnapshotWriter out;
  WriteHeader(out, kOutcomeMessage);
  out.Text(AText);
  out.Bytes(kTrailer, sizeof(kTrailer));
  return std::move(out.Data());
}

TSnapshotContent ReplayTypeLibrary(std::string_view AData) {
  TSnapshotReader in(AData);
  in.Expect(kMagic, L"it is not a type library record");
  if (in.Value<uint32_t>() != kFormatVersion) TSnapshotReader::Fail(L"it was written in another format version");
  TSnapshotContent content;
  switch (in.U8()) {
    case kOutcomeLoaded:
      content.Library = CreateSnapshotTypeLib(TLibraryDecoder(in).Decode());
      content.LoadResult = S_OK;
      return content;
    case kOutcomeLoadFailed:
      content.LoadResult = in.Result();
      if (SUCCEEDED(content.LoadResult)) TSnapshotReader::Fail(L"a failed load has a success code");
      break;
    case kOutcomeMessage:
      in.Text(content.FailureText);
      break;
    default: TSnapshotReader::Fail(L"its outcome is unknown");
  }
  in.Expect(kTrailer, L"its end mark is missing");
  if (!in.AtEnd()) TSnapshotReader::Fail(L"data follows its end");
  return content;
}

}  // namespace vantrel
