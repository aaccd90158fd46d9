// Owners of what ITypeInfo hands out, and the text reads of type information, so that every
// attribute record, description and string is given back on every path.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/Zarvek_Handles.h"

namespace vantrel {

// Type kinds as the platform numbers them (TYPEKIND).
enum TTypeKind : int {
  tkEnum = 0,
  tkRecord = 1,
  tkModule = 2,
  tkInterface = 3,
  tkDispatch = 4,
  tkCoClass = 5,
  tkAlias = 6,
  tkUnion = 7,
};

// TYPEFLAG_FDUAL: the type is reachable both through IDispatch and its own vtable.
constexpr WORD kDualFlag = 0x40;

// The attributes of a type description, released with ReleaseTypeAttr.
class TTypeAttrHolder {
 public:
  explicit TTypeAttrHolder(ITypeInfo* AInfo) : FInfo(AInfo) {}
  ~TTypeAttrHolder() { reset(); }
  TTypeAttrHolder(const TTypeAttrHolder&) = delete;
  TTypeAttrHolder& operator=(const TTypeAttrHolder&) = delete;

  // A success without a record counts as a failure.
  HRESULT Fetch();
  TYPEATTR* get() const { return FAttr; }
  TYPEATTR* operator->() const { return FAttr; }
  explicit operator bool() const { return FAttr != nullptr; }
  void reset();

 private:
  ITypeInfo* FInfo;
  TYPEATTR* FAttr = nullptr;
};

// A function description, released with ReleaseFuncDesc.
class TFuncDescHolder {
 public:
  explicit TFuncDescHolder(ITypeInfo* AInfo) : FInfo(AInfo) {}
  ~TFuncDescHolder() { reset(); }
  TFuncDescHolder(const TFuncDescHolder&) = delete;
  TFuncDescHolder& operator=(const TFuncDescHolder&) = delete;

  HRESULT Fetch(UINT AIndex);
  FUNCDESC* get() const { return FDesc; }
  FUNCDESC* operator->() const { return FDesc; }
  explicit operator bool() const { return FDesc != nullptr; }
  void reset();

 private:
  ITypeInfo* FInfo;
  FUNCDESC* FDesc = nullptr;
};

// A variable description, released with ReleaseVarDesc.
class TVarDescHolder {
 public:
  explicit TVarDescHolder(ITypeInfo* AInfo) : FInfo(AInfo) {}
  ~TVarDescHolder() { reset(); }
  TVarDescHolder(const TVarDescHolder&) = delete;
  TVarDescHolder& operator=(const TVarDescHolder&) = delete;

  HRESULT Fetch(UINT AIndex);
  VARDESC* get() const { return FDesc; }
  VARDESC* operator->() const { return FDesc; }
  explicit operator bool() const { return FDesc != nullptr; }
  void reset();

 private:
  ITypeInfo* FInfo;
  VARDESC* FDesc = nullptr;
};

// Custom data as ITypeLib2 and ITypeInfo2 hand it out, freed with ClearCustData.
class TCustDataHolder {
 public:
  TCustDataHolder() = default;
  ~TCustDataHolder() { ClearCustData(&FData); }
  TCustDataHolder(const TCustDataHolder&) = delete;
  TCustDataHolder& operator=(const TCustDataHolder&) = delete;

  // Frees what the holder had and gives an empty structure for a call to fill.
  CUSTDATA* put() {
    ClearCustData(&FData);
    FData = CUSTDATA{};
    return &FData;
  }
  const CUSTDATA& get() const { return FData; }

 private:
  CUSTDATA FData = {};
};

// The names of a member as GetNames gives them: entry 0 the member, entries 1 to n its
// parameters. The array has room for the largest count GetNames can report, so an
// implementation that fills it up to the capacity stays inside it; only the entries reported are
// kept and freed, which makes the object cheap to reuse for every member of a library.
class TNameList {
 public:
  static constexpr UINT Capacity = 65535;

  TNameList();
  ~TNameList() { Clear(); }
  TNameList(const TNameList&) = delete;
  TNameList& operator=(const TNameList&) = delete;

  // Replaces the list with the names of AMember; empty after a failure.
  HRESULT Read(ITypeInfo* AInfo, MEMBERID AMember);
  UINT Count() const { return FCount; }
  // Entry AIndex cut at its first NUL; empty when there is no such entry. The view lives until
  // the next Read or Clear.
  std::wstring_view Name(UINT AIndex) const;
  void Clear();

 private:
  std::vector<BSTR> FNames;
  UINT FCount = 0;
};

// Name and doc string of a member (or of the type itself for MEMBERID_NIL), whole, with any
// NUL characters they hold. Outputs may be null; on failure they are emptied.
HRESULT ReadTypeDocumentation(ITypeInfo* AInfo, MEMBERID AMember, std::wstring* AName, std::wstring* ADocString);

// The same into string owners, for callers that only look at the texts.
HRESULT ReadTypeDocumentation(ITypeInfo* AInfo, MEMBERID AMember, TBstr* AName, TBstr* ADocString);

// A BSTR's text up to its first NUL, and its whole text.
std::wstring_view CutAtNul(BSTR AText);
std::wstring_view WholeText(BSTR AText);

// Name, doc string and help file of a library's type description (or of the library for -1).
HRESULT ReadLibDocumentation(ITypeLib* ALib, INT AIndex, std::wstring* AName, std::wstring* ADocString,
                             std::wstring* AHelpFile);

// The description a reference handle of AInfo points to; a success without one is a failure.
HRESULT ReadRefTypeInfo(ITypeInfo* AInfo, HREFTYPE ARefType, TComPtr<ITypeInfo>& AResult);

// The description of a library's type at AIndex; a success without one is a failure.
HRESULT ReadTypeInfo(ITypeLib* ALib, UINT AIndex, TComPtr<ITypeInfo>& AResult);

// True when AOther is AOwn or another object for the same library: the same GUID, version and
// locale. A library may share its GUID with another version of itself.
bool IsSameLibrary(ITypeLib* AOwn, ITypeLib* AOther);

}  // namespace vantrel
