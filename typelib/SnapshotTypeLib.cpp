// A type library that answers from a replayed record. Its type descriptions are parts of it: they
// count their references on the library, so that the record lives while any of them is held.
#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>

#include "typelib/SnapshotModel.h"

namespace vantrel {

namespace {

class TSnapshotTypeLib;

// The custom data of a position that has no record: the description did not offer ITypeInfo2.
const TSnapCustomData* NoCustomData() {
  static const TSnapCustomData none;
  return &none;
}

// The value stored under a GUID; VT_EMPTY and AAbsent when there is none. For an absent GUID the
// platform answers S_OK for a description and its functions, TYPE_E_ELEMENTNOTFOUND for the
// library, parameters, variables and implemented types. A null list stands for a position the
// description does not have.
HRESULT AnswerCustomData(const TSnapCustomData* AData, REFGUID AGuid, VARIANT* AValue, HRESULT AAbsent) {
  if (!AValue) return E_INVALIDARG;
  VariantInit(AValue);
  if (!AData) return TYPE_E_ELEMENTNOTFOUND;
  if (FAILED(AData->Result)) return AData->Result;
  for (const TSnapCustomItem& item : AData->Items) {
    if (IsEqualGUID(item.Guid, AGuid)) return VariantCopy(AValue, item.Value);
  }
  return AAbsent;
}

// Every item with a copy of its value, in memory that the caller frees with ClearCustData as it
// frees the platform's own answer.
HRESULT AnswerAllCustomData(const TSnapCustomData* AData, CUSTDATA* AResult) {
  if (!AResult) return E_INVALIDARG;
  *AResult = CUSTDATA{};
  if (!AData) return TYPE_E_ELEMENTNOTFOUND;
  if (FAILED(AData->Result)) return AData->Result;
  const size_t count = AData->Items.size();
  if (count == 0) return S_OK;
  auto* items = static_cast<CUSTDATAITEM*>(CoTaskMemAlloc(count * sizeof(CUSTDATAITEM)));
  if (!items) return E_OUTOFMEMORY;
  for (size_t i = 0; i < count; ++i) {
    items[i].guid = AData->Items[i].Guid;
    VariantInit(&items[i].varValue);
  }
  AResult->cCustData = static_cast<DWORD>(count);
  AResult->prgCustData = items;
  for (size_t i = 0; i < count; ++i) {
    const HRESULT hr = VariantCopy(&items[i].varValue, AData->Items[i].Value);
    if (FAILED(hr)) {
      ClearCustData(AResult);
      *AResult = CUSTDATA{};
      return hr;
    }
  }
  return S_OK;
}


class TSnapshotTypeInfo final : public ITypeInfo2 {
 public:
  TSnapshotTypeInfo(TSnapshotTypeLib& ALib, const TSnapType& AType) : FLib(ALib), FType(AType) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID ARiid, void** AObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** AAttr) override;
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** AComp) override { return Unsupported(AComp); }
  HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT AIndex, FUNCDESC** ADesc) override;
  HRESULT STDMETHODCALLTYPE GetVarDesc(UINT AIndex, VARDESC** ADesc) override;
  HRESULT STDMETHODCALLTYPE GetNames(MEMBERID AMember, BSTR* ANames, UINT AMax, UINT* ACount) override;
  HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT AIndex, HREFTYPE* ARefType) override;
  // The recorded answers for an implemented type; null when none was recorded.
  const TSnapImplType* ImplType(UINT AIndex) const;
  HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT AIndex, INT* AFlags) override;
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID AMember, BSTR* AName, BSTR* ADocString, DWORD* AHelpContext,
                                             BSTR* AHelpFile) override;
  HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID AMember, INVOKEKIND AKind, BSTR* ADll, BSTR* AName,
                                        WORD* AOrdinal) override;
  HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE ARefType, ITypeInfo** AInfo) override;
  HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID* AAddress) override {
    return Unsupported(AAddress);
  }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID* AObject) override { return Unsupported(AObject); }
  HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR* AMops) override { return Unsupported(AMops); }
  HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ALib, UINT* AIndex) override;
  void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR*) override {}
  void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC*) override {}
  void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}

  HRESULT STDMETHODCALLTYPE GetTypeKind(TYPEKIND* AKind) override;
  HRESULT STDMETHODCALLTYPE GetTypeFlags(ULONG* AFlags) override;
  HRESULT STDMETHODCALLTYPE GetFuncIndexOfMemId(MEMBERID AMember, INVOKEKIND AKind, UINT* AIndex) override;
  HRESULT STDMETHODCALLTYPE GetVarIndexOfMemId(MEMBERID AMember, UINT* AIndex) override;
  HRESULT STDMETHODCALLTYPE GetCustData(REFGUID AGuid, VARIANT* AValue) override {
    return AnswerCustomData(&FType.Custom, AGuid, AValue, S_OK);
  }
  HRESULT STDMETHODCALLTYPE GetFuncCustData(UINT AIndex, REFGUID AGuid, VARIANT* AValue) override {
    return AnswerCustomData(FuncCustomData(AIndex), AGuid, AValue, S_OK);
  }
  HRESULT STDMETHODCALLTYPE GetParamCustData(UINT AFunc, UINT AParam, REFGUID AGuid, VARIANT* AValue) override {
    return AnswerCustomData(ParamCustomData(AFunc, AParam), AGuid, AValue, TYPE_E_ELEMENTNOTFOUND);
  }
  HRESULT STDMETHODCALLTYPE GetVarCustData(UINT AIndex, REFGUID AGuid, VARIANT* AValue) override {
    return AnswerCustomData(VarCustomData(AIndex), AGuid, AValue, TYPE_E_ELEMENTNOTFOUND);
  }
  HRESULT STDMETHODCALLTYPE GetImplTypeCustData(UINT AIndex, REFGUID AGuid, VARIANT* AValue) override {
    return AnswerCustomData(ImplTypeCustomData(AIndex), AGuid, AValue, TYPE_E_ELEMENTNOTFOUND);
  }
  HRESULT STDMETHODCALLTYPE GetDocumentation2(MEMBERID AMember, LCID, BSTR* AHelpString, DWORD* AHelpContext,
                                              BSTR* AHelpDll) override;
  HRESULT STDMETHODCALLTYPE GetAllCustData(CUSTDATA* AData) override {
    return AnswerAllCustomData(&FType.Custom, AData);
  }
  HRESULT STDMETHODCALLTYPE GetAllFuncCustData(UINT AIndex, CUSTDATA* AData) override {
    return AnswerAllCustomData(FuncCustomData(AIndex), AData);
  }
  HRESULT STDMETHODCALLTYPE GetAllParamCustData(UINT AFunc, UINT AParam, CUSTDATA* AData) override {
    return AnswerAllCustomData(ParamCustomData(AFunc, AParam), AData);
  }
  HRESULT STDMETHODCALLTYPE GetAllVarCustData(UINT AIndex, CUSTDATA* AData) override {
    return AnswerAllCustomData(VarCustomData(AIndex), AData);
  }
  HRESULT STDMETHODCALLTYPE GetAllImplTypeCustData(UINT AIndex, CUSTDATA* AData) override {
    return AnswerAllCustomData(ImplTypeCustomData(AIndex), AData);
  }

 private:
  // The custom data of a position; null for one the description does not have.
  const TSnapCustomData* FuncCustomData(UINT AIndex) const;
  const TSnapCustomData* ParamCustomData(UINT AFunc, UINT AParam) const;
  const TSnapCustomData* VarCustomData(UINT AIndex) const;
  const TSnapCustomData* ImplTypeCustomData(UINT AIndex) const;

  template <class T>
  static HRESULT Unsupported(T** AOutput) {
    if (AOutput) *AOutput = nullptr;
    return E_NOTIMPL;
  }

  TSnapshotTypeLib& FLib;
  const TSnapType& FType;
};

class TSnapshotTypeLib final : public ITypeLib2 {
 public:
  explicit TSnapshotTypeLib(std::unique_ptr<TSnapLibrary> AModel) : FModel(std::move(AModel)) {
    FInfos.reserve(FModel->Types.size());
    for (const TSnapType& type : FModel->Types) FInfos.push_back(std::make_unique<TSnapshotTypeInfo>(*this, type));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID ARiid, void** AObject) override {
    if (!AObject) return E_POINTER;
    if (ARiid == IID_IUnknown || ARiid == IID_ITypeLib || ARiid == IID_ITypeLib2) {
      *AObject = static_cast<ITypeLib2*>(this);
      AddRef();
      return S_OK;
    }
    *AObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG refs = --FRefs;
    if (refs == 0) delete this;
    return refs;
  }

  // A text of the record's table.
  std::wstring Text(TTextRef AText) const {
    return AText < FModel->Texts.size() ? FModel->Texts[AText] : std::wstring();
  }

  UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return static_cast<UINT>(FModel->Entries.size()); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT AIndex, ITypeInfo** AInfo) override {
    if (!AInfo) return E_INVALIDARG;
    *AInfo = nullptr;
    const TSnapEntry* entry = Entry(AIndex);
    if (!entry) return TYPE_E_ELEMENTNOTFOUND;
    if (FAILED(entry->InfoResult)) return entry->InfoResult;
    *AInfo = Info(entry->Type);
    return entry->InfoResult;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT AIndex, TYPEKIND* AKind) override {
    if (!AKind) return E_INVALIDARG;
    const TSnapEntry* entry = Entry(AIndex);
    if (!entry) return TYPE_E_ELEMENTNOTFOUND;
    if (SUCCEEDED(entry->KindResult)) *AKind = entry->Kind;
    return entry->KindResult;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID AGuid, ITypeInfo** AInfo) override {
    if (!AInfo) return E_INVALIDARG;
    *AInfo = nullptr;
    for (const TSnapEntry& entry : FModel->Entries) {
      if (FAILED(entry.InfoResult)) continue;
      const TSnapType& type = FModel->Types[entry.Type];
      if (SUCCEEDED(type.AttrResult) && type.Attr.guid == AGuid) {
        *AInfo = Info(entry.Type);
        return S_OK;
      }
    }
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** AAttr) override {
    if (!AAttr) return E_INVALIDARG;
    *AAttr = SUCCEEDED(FModel->AttrResult) ? &FModel->Attr : nullptr;
    return FModel->AttrResult;
  }
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** AComp) override {
    if (AComp) *AComp = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDocumentation(INT AIndex, BSTR* AName, BSTR* ADocString, DWORD* AHelpContext,
                                             BSTR* AHelpFile) override {
    const TSnapDoc* doc = nullptr;
    if (AIndex == -1) {
      doc = &FModel->Doc;
    } else if (const TSnapEntry* entry = AIndex >= 0 ? Entry(static_cast<UINT>(AIndex)) : nullptr) {
      doc = &entry->Doc;
    }
    return AnswerDoc(doc, AName, ADocString, AHelpContext, AHelpFile);
  }
  HRESULT STDMETHODCALLTYPE IsName(LPOLESTR, ULONG, BOOL* AFound) override {
    if (AFound) *AFound = FALSE;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT* AFound) override {
    if (AFound) *AFound = 0;
    return E_NOTIMPL;
  }
  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR*) override {}

  HRESULT STDMETHODCALLTYPE GetCustData(REFGUID AGuid, VARIANT* AValue) override {
    return AnswerCustomData(&FModel->Custom, AGuid, AValue, TYPE_E_ELEMENTNOTFOUND);
  }
  HRESULT STDMETHODCALLTYPE GetLibStatistics(ULONG* AUniqueNames, ULONG* AUniqueNameChars) override {
    if (AUniqueNames) *AUniqueNames = 0;
    if (AUniqueNameChars) *AUniqueNameChars = 0;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDocumentation2(INT AIndex, LCID ALocale, BSTR* AHelpString, DWORD* AHelpContext,
                                              BSTR* AHelpDll) override {
    if (AIndex == -1) return AnswerDoc2(&FModel->Doc, AHelpString, AHelpContext, AHelpDll);
    // An entry's answer is its description's, as the platform gives it.
    const TSnapEntry* entry = AIndex >= 0 ? Entry(static_cast<UINT>(AIndex)) : nullptr;
    if (!entry || FAILED(entry->InfoResult)) {
      AnswerDoc2(nullptr, AHelpString, AHelpContext, AHelpDll);
      return entry ? entry->InfoResult : TYPE_E_ELEMENTNOTFOUND;
    }
    TComPtr<ITypeInfo> info(Info(entry->Type), false);
    TComPtr<ITypeInfo2> info2;
    if (FAILED(info->QueryInterface(IID_ITypeInfo2, info2.put_void())) || !info2) {
      AnswerDoc2(nullptr, AHelpString, AHelpContext, AHelpDll);
      return E_NOINTERFACE;
    }
    return info2->GetDocumentation2(MEMBERID_NIL, ALocale, AHelpString, AHelpContext, AHelpDll);
  }
  HRESULT STDMETHODCALLTYPE GetAllCustData(CUSTDATA* AData) override {
    return AnswerAllCustomData(&FModel->Custom, AData);
  }

  // Answers a documentation request; a missing record is a member the library does not know.
  HRESULT AnswerDoc(const TSnapDoc* ADoc, BSTR* AName, BSTR* ADocString, DWORD* AHelpContext,
                    BSTR* AHelpFile) const {
    for (BSTR* output : {AName, ADocString, AHelpFile}) {
      if (output) *output = nullptr;
    }
    if (!ADoc) return TYPE_E_ELEMENTNOTFOUND;
    if (FAILED(ADoc->Result)) return ADoc->Result;
    if (AName) *AName = FModel->Allocate(ADoc->Name);
    if (ADocString) *ADocString = FModel->Allocate(ADoc->DocString);
    if (AHelpContext) *AHelpContext = ADoc->HelpContext;
    if (AHelpFile) *AHelpFile = FModel->Allocate(ADoc->HelpFile);
    return ADoc->Result;
  }

  // Answers GetDocumentation2 as the record of ADoc says.
  HRESULT AnswerDoc2(const TSnapDoc* ADoc, BSTR* AHelpString, DWORD* AHelpContext, BSTR* AHelpDll) const {
    if (AHelpString) *AHelpString = nullptr;
    if (AHelpContext) *AHelpContext = 0;
    if (AHelpDll) *AHelpDll = nullptr;
    if (!ADoc) return TYPE_E_ELEMENTNOTFOUND;
    if (FAILED(ADoc->Result2)) return ADoc->Result2;
    if (AHelpString) *AHelpString = FModel->Allocate(ADoc->HelpString);
    if (AHelpContext) *AHelpContext = ADoc->HelpStringContext;
    if (AHelpDll) *AHelpDll = FModel->Allocate(ADoc->HelpStringDll);
    return ADoc->Result2;
  }

  BSTR Allocate(TTextRef AText) const { return FModel->Allocate(AText); }

  // The description at a position of the record, with a reference counted for the caller.
  ITypeInfo* Info(uint32_t AType) {
    ITypeInfo* info = FInfos[AType].get();
    info->AddRef();
    return info;
  }

 private:
  ~TSnapshotTypeLib() = default;

  const TSnapEntry* Entry(UINT AIndex) const {
    return AIndex < FModel->Entries.size() ? &FModel->Entries[AIndex] : nullptr;
  }

  std::atomic<ULONG> FRefs{1};
  std::unique_ptr<TSnapLibrary> FModel;
  std::vector<std::unique_ptr<TSnapshotTypeInfo>> FInfos;
};

HRESULT TSnapshotTypeInfo::QueryInterface(REFIID ARiid, void** AObject) {
  if (!AObject) return E_POINTER;
  if (ARiid == IID_IUnknown || ARiid == IID_ITypeInfo || ARiid == IID_ITypeInfo2) {
    *AObject = static_cast<ITypeInfo2*>(this);
    AddRef();
    return S_OK;
  }
  *AObject = nullptr;
  return E_NOINTERFACE;
}

ULONG TSnapshotTypeInfo::AddRef() { return FLib.AddRef(); }
ULONG TSnapshotTypeInfo::Release() { return FLib.Release(); }

HRESULT TSnapshotTypeInfo::GetTypeAttr(TYPEATTR** AAttr) {
  if (!AAttr) return E_INVALIDARG;
  *AAttr = SUCCEEDED(FType.AttrResult) ? const_cast<TYPEATTR*>(&FType.Attr) : nullptr;
  return FType.AttrResult;
}

HRESULT TSnapshotTypeInfo::GetFuncDesc(UINT AIndex, FUNCDESC** ADesc) {
  if (!ADesc) return E_INVALIDARG;
  *ADesc = nullptr;
  if (AIndex >= FType.Funcs.size()) return TYPE_E_ELEMENTNOTFOUND;
  const TSnapFunc& func = FType.Funcs[AIndex];
  if (SUCCEEDED(func.Result)) *ADesc = const_cast<FUNCDESC*>(&func.Desc);
  return func.Result;
}

HRESULT TSnapshotTypeInfo::GetVarDesc(UINT AIndex, VARDESC** ADesc) {
  if (!ADesc) return E_INVALIDARG;
  *ADesc = nullptr;
  if (AIndex >= FType.Vars.size()) return TYPE_E_ELEMENTNOTFOUND;
  const TSnapVar& var = FType.Vars[AIndex];
  if (SUCCEEDED(var.Result)) *ADesc = const_cast<VARDESC*>(&var.Desc);
  return var.Result;
}

HRESULT TSnapshotTypeInfo::GetNames(MEMBERID AMember, BSTR* ANames, UINT AMax, UINT* ACount) {
  if (!ANames || !ACount) return E_INVALIDARG;
  *ACount = 0;
  auto found = std::lower_bound(FType.MemberNames.begin(), FType.MemberNames.end(), AMember,
                                [](const TSnapNames& A, MEMBERID B) { return A.Member < B; });
  if (found == FType.MemberNames.end() || found->Member != AMember) return TYPE_E_ELEMENTNOTFOUND;
  if (FAILED(found->Result)) return found->Result;
  const UINT count = std::min<UINT>(AMax, static_cast<UINT>(found->Names.size()));
  for (UINT i = 0; i < count; ++i) ANames[i] = FLib.Allocate(found->Names[i]);
  *ACount = count;
  return found->Result;
}

const TSnapImplType* TSnapshotTypeInfo::ImplType(UINT AIndex) const {
  // An index is a UINT that the platform also answers for as -1 (a dual interface's dispatch side).
  const INT index = static_cast<INT>(AIndex);
  auto found = std::lower_bound(FType.ImplTypes.begin(), FType.ImplTypes.end(), index,
                                [](const TSnapImplType& A, INT B) { return A.Index < B; });
  return found != FType.ImplTypes.end() && found->Index == index ? &*found : nullptr;
}

HRESULT TSnapshotTypeInfo::GetRefTypeOfImplType(UINT AIndex, HREFTYPE* ARefType) {
  if (!ARefType) return E_INVALIDARG;
  const TSnapImplType* impl = ImplType(AIndex);
  if (!impl) return TYPE_E_ELEMENTNOTFOUND;
  if (SUCCEEDED(impl->Result)) *ARefType = impl->RefType;
  return impl->Result;
}

HRESULT TSnapshotTypeInfo::GetImplTypeFlags(UINT AIndex, INT* AFlags) {
  if (!AFlags) return E_INVALIDARG;
  const TSnapImplType* impl = ImplType(AIndex);
  if (!impl) return TYPE_E_ELEMENTNOTFOUND;
  if (SUCCEEDED(impl->FlagsResult)) *AFlags = impl->Flags;
  return impl->FlagsResult;
}

HRESULT TSnapshotTypeInfo::GetDocumentation(MEMBERID AMember, BSTR* AName, BSTR* ADocString, DWORD* AHelpContext,
                                            BSTR* AHelpFile) {
  const TSnapDoc* doc = nullptr;
  if (AMember == MEMBERID_NIL) {
    doc = &FType.Doc;
  } else {
    auto found = std::lower_bound(FType.MemberDocs.begin(), FType.MemberDocs.end(), AMember,
                                  [](const TSnapMemberDoc& A, MEMBERID B) { return A.Member < B; });
    if (found != FType.MemberDocs.end() && found->Member == AMember) doc = &found->Doc;
  }
  return FLib.AnswerDoc(doc, AName, ADocString, AHelpContext, AHelpFile);
}

HRESULT TSnapshotTypeInfo::GetDocumentation2(MEMBERID AMember, LCID, BSTR* AHelpString, DWORD* AHelpContext,
                                             BSTR* AHelpDll) {
  const TSnapDoc* doc = nullptr;
  if (AMember == MEMBERID_NIL) {
    doc = &FType.Doc;
  } else {
    auto found = std::lower_bound(FType.MemberDocs.begin(), FType.MemberDocs.end(), AMember,
                                  [](const TSnapMemberDoc& A, MEMBERID B) { return A.Member < B; });
    if (found != FType.MemberDocs.end() && found->Member == AMember) doc = &found->Doc;
  }
  return FLib.AnswerDoc2(doc, AHelpString, AHelpContext, AHelpDll);
}

HRESULT TSnapshotTypeInfo::GetDllEntry(MEMBERID AMember, INVOKEKIND AKind, BSTR* ADll, BSTR* AName,
                                       WORD* AOrdinal) {
  if (ADll) *ADll = nullptr;
  if (AName) *AName = nullptr;
  if (AOrdinal) *AOrdinal = 0;
  if (SUCCEEDED(FType.AttrResult) && FType.Attr.typekind != TKIND_MODULE) return TYPE_E_BADMODULEKIND;
  TSnapDllEntry wanted;
  wanted.Member = AMember;
  wanted.Kind = AKind;
  auto found = std::lower_bound(FType.DllEntries.begin(), FType.DllEntries.end(), wanted, DllEntryBefore);
  if (found == FType.DllEntries.end() || found->Member != AMember || found->Kind != AKind) {
    return TYPE_E_ELEMENTNOTFOUND;
  }
  const TSnapDllEntry& entry = *found;
  if (FAILED(entry.Result)) return entry.Result;
  if (ADll) *ADll = FLib.Allocate(entry.Dll);
  if (AName) *AName = FLib.Allocate(entry.Entry);
  if (AOrdinal) *AOrdinal = entry.Ordinal;
  return S_OK;
}

HRESULT TSnapshotTypeInfo::GetRefTypeInfo(HREFTYPE ARefType, ITypeInfo** AInfo) {
  if (!AInfo) return E_INVALIDARG;
  *AInfo = nullptr;
  auto found = std::lower_bound(FType.Refs.begin(), FType.Refs.end(), ARefType,
                                [](const TSnapRef& A, HREFTYPE B) { return A.RefType < B; });
  if (found == FType.Refs.end() || found->RefType != ARefType) return TYPE_E_ELEMENTNOTFOUND;
  if (SUCCEEDED(found->Result)) *AInfo = FLib.Info(found->Type);
  return found->Result;
}

HRESULT TSnapshotTypeInfo::GetTypeKind(TYPEKIND* AKind) {
  if (!AKind) return E_INVALIDARG;
  if (SUCCEEDED(FType.AttrResult)) *AKind = FType.Attr.typekind;
  return FType.AttrResult;
}

HRESULT TSnapshotTypeInfo::GetTypeFlags(ULONG* AFlags) {
  if (!AFlags) return E_INVALIDARG;
  if (SUCCEEDED(FType.AttrResult)) *AFlags = FType.Attr.wTypeFlags;
  return FType.AttrResult;
}

HRESULT TSnapshotTypeInfo::GetFuncIndexOfMemId(MEMBERID AMember, INVOKEKIND AKind, UINT* AIndex) {
  if (!AIndex) return E_INVALIDARG;
  for (size_t i = 0; i < FType.Funcs.size(); ++i) {
    const TSnapFunc& func = FType.Funcs[i];
    if (SUCCEEDED(func.Result) && func.Desc.memid == AMember && (func.Desc.invkind & AKind)) {
      *AIndex = static_cast<UINT>(i);
      return S_OK;
    }
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT TSnapshotTypeInfo::GetVarIndexOfMemId(MEMBERID AMember, UINT* AIndex) {
  if (!AIndex) return E_INVALIDARG;
  for (size_t i = 0; i < FType.Vars.size(); ++i) {
    const TSnapVar& var = FType.Vars[i];
    if (SUCCEEDED(var.Result) && var.Desc.memid == AMember) {
      *AIndex = static_cast<UINT>(i);
      return S_OK;
    }
  }
  return TYPE_E_ELEMENTNOTFOUND;
}

// Positions are those of the recorded descriptions; the custom data lists may be shorter.
const TSnapCustomData* TSnapshotTypeInfo::FuncCustomData(UINT AIndex) const {
  if (AIndex >= FType.Funcs.size()) return nullptr;
  return AIndex < FType.FuncCustom.size() ? &FType.FuncCustom[AIndex].Func : NoCustomData();
}

// The parameters the platform had custom data positions for, which may include some the function
// description leaves out; without a record, those of the description.
const TSnapCustomData* TSnapshotTypeInfo::ParamCustomData(UINT AFunc, UINT AParam) const {
  if (AFunc >= FType.Funcs.size()) return nullptr;
  if (AFunc < FType.FuncCustom.size()) {
    const std::vector<TSnapCustomData>& params = FType.FuncCustom[AFunc].Params;
    return AParam < params.size() ? &params[AParam] : nullptr;
  }
  const TSnapFunc& func = FType.Funcs[AFunc];
  if (FAILED(func.Result) || func.Desc.cParams <= 0 || AParam >= static_cast<UINT>(func.Desc.cParams)) {
    return nullptr;
  }
  return NoCustomData();
}

const TSnapCustomData* TSnapshotTypeInfo::VarCustomData(UINT AIndex) const {
  if (AIndex >= FType.Vars.size()) return nullptr;
  return AIndex < FType.VarCustom.size() ? &FType.VarCustom[AIndex] : NoCustomData();
}

const TSnapCustomData* TSnapshotTypeInfo::ImplTypeCustomData(UINT AIndex) const {
  if (FAILED(FType.AttrResult) || AIndex >= FType.Attr.cImplTypes) return nullptr;
  return AIndex < FType.ImplTypeCustom.size() ? &FType.ImplTypeCustom[AIndex] : NoCustomData();
}

// Another library, as far as the record knows it: its name and attributes.
class TExternalTypeLib final : public ITypeLib {
 public:
  TExternalTypeLib(std::wstring AName, const TLIBATTR& AAttr) : FName(std::move(AName)), FAttr(AAttr) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID ARiid, void** AObject) override {
    if (!AObject) return E_POINTER;
    if (ARiid == IID_IUnknown || ARiid == IID_ITypeLib) {
      *AObject = static_cast<ITypeLib*>(this);
      AddRef();
      return S_OK;
    }
    *AObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG refs = --FRefs;
    if (refs == 0) delete this;
    return refs;
  }
  UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return 0; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, ITypeInfo** AInfo) override { return Unsupported(AInfo); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT, TYPEKIND*) override { return TYPE_E_ELEMENTNOTFOUND; }
  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID, ITypeInfo** AInfo) override { return Unsupported(AInfo); }
  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** AAttr) override {
    if (!AAttr) return E_INVALIDARG;
    *AAttr = &FAttr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** AComp) override { return Unsupported(AComp); }
  HRESULT STDMETHODCALLTYPE GetDocumentation(INT AIndex, BSTR* AName, BSTR* ADocString, DWORD* AHelpContext,
                                             BSTR* AHelpFile) override {
    if (ADocString) *ADocString = nullptr;
    if (AHelpContext) *AHelpContext = 0;
    if (AHelpFile) *AHelpFile = nullptr;
    if (AName) *AName = nullptr;
    if (AIndex != -1) return TYPE_E_ELEMENTNOTFOUND;
    if (AName) *AName = SysAllocStringLen(FName.data(), static_cast<UINT>(FName.size()));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE IsName(LPOLESTR, ULONG, BOOL* AFound) override {
    if (AFound) *AFound = FALSE;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT* AFound) override {
    if (AFound) *AFound = 0;
    return E_NOTIMPL;
  }
  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR*) override {}

 private:
  template <class T>
  static HRESULT Unsupported(T** AOutput) {
    if (AOutput) *AOutput = nullptr;
    return E_NOTIMPL;
  }
  std::wstring FName;
  TLIBATTR FAttr;
  ULONG FRefs = 1;
};

HRESULT TSnapshotTypeInfo::GetContainingTypeLib(ITypeLib** ALib, UINT* AIndex) {
  // The library's own descriptions belong to it; of others the record may know the library.
  if (ALib) *ALib = nullptr;
  if (FType.LibraryIndex < 0 && FType.HasExternal) {
    if (ALib) *ALib = new TExternalTypeLib(FLib.Text(FType.ExternalName), FType.ExternalAttr);
    if (AIndex) *AIndex = static_cast<UINT>(FType.ExternalIndex);
    return S_OK;
  }
  if (FType.LibraryIndex < 0) return E_NOTIMPL;
  if (ALib) {
    *ALib = &FLib;
    FLib.AddRef();
  }
  if (AIndex) *AIndex = static_cast<UINT>(FType.LibraryIndex);
  return S_OK;
}

}  // namespace

TComPtr<ITypeLib> CreateSnapshotTypeLib(std::unique_ptr<TSnapLibrary> AModel) {
  return TComPtr<ITypeLib>(new TSnapshotTypeLib(std::move(AModel)));
}

}  // namespace vantrel
