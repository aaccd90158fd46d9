#include "tests/tlbgen/FakeTypeLib.h"

#include <cstring>

namespace vantrel::test {

TOwnedVariant TOwnedVariant::Int(LONG AValue) {
  TOwnedVariant v;
  V_VT(&v.FValue) = VT_I4;
  V_I4(&v.FValue) = AValue;
  return v;
}

TOwnedVariant TOwnedVariant::Text(const std::wstring& AValue) {
  TOwnedVariant v;
  V_VT(&v.FValue) = VT_BSTR;
  V_BSTR(&v.FValue) = SysAllocStringLen(AValue.data(), static_cast<UINT>(AValue.size()));
  return v;
}

TOwnedVariant TOwnedVariant::Double(double AValue) {
  TOwnedVariant v;
  V_VT(&v.FValue) = VT_R8;
  V_R8(&v.FValue) = AValue;
  return v;
}

TOwnedVariant TOwnedVariant::Bool(bool AValue) {
  TOwnedVariant v;
  V_VT(&v.FValue) = VT_BOOL;
  V_BOOL(&v.FValue) = AValue ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

TOwnedVariant TOwnedVariant::Null() {
  TOwnedVariant v;
  V_VT(&v.FValue) = VT_NULL;
  return v;
}

TOwnedVariant TOwnedVariant::Error(SCODE AValue) {
  TOwnedVariant v;
  V_VT(&v.FValue) = VT_ERROR;
  V_ERROR(&v.FValue) = AValue;
  return v;
}

TYPEDESC TTypePool::Basic(VARTYPE AType) {
  TYPEDESC desc = {};
  desc.vt = AType;
  return desc;
}

TYPEDESC TTypePool::Ptr(const TYPEDESC& ATarget) {
  FDescs.push_back(ATarget);
  TYPEDESC desc = {};
  desc.vt = VT_PTR;
  desc.lptdesc = &FDescs.back();
  return desc;
}

TYPEDESC TTypePool::SafeArray(const TYPEDESC& AElement) {
  TYPEDESC desc = Ptr(AElement);
  desc.vt = VT_SAFEARRAY;
  return desc;
}

TYPEDESC TTypePool::CArray(const TYPEDESC& AElement, std::initializer_list<ULONG> ACounts) {
  const size_t size = sizeof(ARRAYDESC) + sizeof(SAFEARRAYBOUND) * (ACounts.size() ? ACounts.size() - 1 : 0);
  FArrays.push_back(std::make_unique<BYTE[]>(size));
  auto* array = reinterpret_cast<ARRAYDESC*>(FArrays.back().get());
  std::memset(array, 0, size);
  array->tdescElem = AElement;
  array->cDims = static_cast<USHORT>(ACounts.size());
  USHORT i = 0;
  for (ULONG count : ACounts) {
    array->rgbounds[i].cElements = count;
    array->rgbounds[i].lLbound = 7;  // lower bounds are not shown; a nonzero one proves it
    ++i;
  }
  TYPEDESC desc = {};
  desc.vt = VT_CARRAY;
  desc.lpadesc = array;
  return desc;
}

TYPEDESC TTypePool::User(HREFTYPE ARefType) {
  TYPEDESC desc = {};
  desc.vt = VT_USERDEFINED;
  desc.hreftype = ARefType;
  return desc;
}

namespace {

BSTR Bstr(const std::wstring& AText) { return SysAllocStringLen(AText.data(), static_cast<UINT>(AText.size())); }

struct TFuncRecord {
  FUNCDESC Desc = {};
  std::vector<ELEMDESC> Params;
  std::vector<PARAMDESCEX> Defaults;
};

struct TVarRecord {
  VARDESC Desc = {};
  VARIANT Value;
};

}  // namespace

class TFakeTypeInfo : public ITypeInfo {
 public:
  TFakeTypeInfo(TFakeLibrary* AOwner, size_t AIndex) : FOwner(AOwner), FIndex(AIndex) {}
  ~TFakeTypeInfo() {
    for (auto& [attr, unused] : FAttrs) delete attr;
    for (auto& [desc, record] : FFuncs) {
      for (PARAMDESCEX& value : record->Defaults) VariantClear(&value.varDefaultValue);
    }
    for (auto& [desc, record] : FVars) VariantClear(&record->Value);
  }
  LONG Refs() const { return FRefs; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID AIid, void** AObject) override {
    if (IsEqualIID(AIid, IID_IUnknown) || IsEqualIID(AIid, IID_ITypeInfo)) {
      *AObject = static_cast<ITypeInfo*>(this);
      AddRef();
      return S_OK;
    }
    *AObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++FRefs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--FRefs); }

  HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** AAttr) override {
    *AAttr = nullptr;
    const TFakeType& type = Type();
    if (FAILED(type.AttrResult)) return type.AttrResult;
    auto* attr = new TYPEATTR{};
    attr->guid = type.Guid;
    attr->typekind = type.Kind;
    attr->wTypeFlags = type.Flags;
    attr->cFuncs = static_cast<WORD>(type.Funcs.size());
    attr->cVars = static_cast<WORD>(type.Vars.size());
    attr->cImplTypes = static_cast<WORD>(type.ImplTypes.size());
    attr->tdescAlias = type.Alias;
    attr->cbSizeVft = type.SizeVft;
    attr->cbSizeInstance = type.Size;
    attr->cbAlignment = type.Alignment;
    attr->memidConstructor = MEMBERID_NIL;
    attr->memidDestructor = MEMBERID_NIL;
    FAttrs[attr] = true;
    ++FOwner->FOutstanding;
    *AAttr = attr;
    return S_OK;
  }
  void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* AAttr) override {
    auto it = FAttrs.find(AAttr);
    if (it == FAttrs.end()) {
      ++FOwner->FBadReleases;
      return;
    }
    delete AAttr;
    FAttrs.erase(it);
    --FOwner->FOutstanding;
  }

  HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT AIndex, FUNCDESC** ADesc) override {
    *ADesc = nullptr;
    const TFakeType& type = Type();
    if (AIndex >= type.Funcs.size()) return TYPE_E_ELEMENTNOTFOUND;
    const TFakeFunc& func = type.Funcs[AIndex];
    if (FAILED(func.DescResult)) return func.DescResult;
    auto record = std::make_unique<TFuncRecord>();
    record->Params.resize(func.Params.size());
    record->Defaults.resize(func.Params.size());
    for (size_t i = 0; i < func.Params.size(); ++i) {
      const TFakeParam& param = func.Params[i];
      ELEMDESC& elem = record->Params[i];
      elem.tdesc = param.Type;
      elem.paramdesc.wParamFlags = param.Flags;
      PARAMDESCEX& value = record->Defaults[i];
      value.cBytes = sizeof(PARAMDESCEX);
      VariantInit(&value.varDefaultValue);
      if (param.HasDefault) {
        VariantCopy(&value.varDefaultValue, const_cast<VARIANT*>(param.Default.get()));
        elem.paramdesc.pparamdescex = &value;
      }
    }
    FUNCDESC& desc = record->Desc;
    desc.memid = func.MemberId;
    desc.funckind = func.FuncKind;
    desc.invkind = func.InvokeKind;
    desc.callconv = func.CallConv;
    desc.oVft = func.VtableOffset;
    desc.cParams = static_cast<SHORT>(func.Params.size());
    desc.lprgelemdescParam = record->Params.empty() ? nullptr : record->Params.data();
    desc.elemdescFunc.tdesc = func.Result;
    *ADesc = &desc;
    FFuncs[&desc] = std::move(record);
    ++FOwner->FOutstanding;
    return S_OK;
  }
  void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* ADesc) override {
    auto it = FFuncs.find(ADesc);
    if (it == FFuncs.end()) {
      ++FOwner->FBadReleases;
      return;
    }
    for (PARAMDESCEX& value : it->second->Defaults) VariantClear(&value.varDefaultValue);
    FFuncs.erase(it);
    --FOwner->FOutstanding;
  }

  HRESULT STDMETHODCALLTYPE GetVarDesc(UINT AIndex, VARDESC** ADesc) override {
    *ADesc = nullptr;
    const TFakeType& type = Type();
    if (AIndex >= type.Vars.size()) return TYPE_E_ELEMENTNOTFOUND;
    const TFakeVar& var = type.Vars[AIndex];
    if (FAILED(var.DescResult)) return var.DescResult;
    auto record = std::make_unique<TVarRecord>();
    VariantInit(&record->Value);
    VARDESC& desc = record->Desc;
    desc.memid = var.MemberId;
    desc.varkind = var.Kind;
    desc.wVarFlags = var.Flags;
    desc.elemdescVar.tdesc = var.Type;
    if (var.Kind != VAR_CONST) desc.oInst = var.Offset;
    if (var.Kind == VAR_CONST && var.HasValue) {
      VariantCopy(&record->Value, const_cast<VARIANT*>(var.Value.get()));
      desc.lpvarValue = &record->Value;
    }
    *ADesc = &desc;
    FVars[&desc] = std::move(record);
    ++FOwner->FOutstanding;
    return S_OK;
  }
  void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC* ADesc) override {
    auto it = FVars.find(ADesc);
    if (it == FVars.end()) {
      ++FOwner->FBadReleases;
      return;
    }
    VariantClear(&it->second->Value);
    FVars.erase(it);
    --FOwner->FOutstanding;
  }

  HRESULT STDMETHODCALLTYPE GetNames(MEMBERID AMember, BSTR* ANames, UINT AMax, UINT* ACount) override {
    *ACount = 0;
    std::vector<std::wstring> names;
    if (const TFakeFunc* func = FindFunc(AMember)) {
      if (FAILED(func->NamesResult)) return func->NamesResult;
      if (func->ExplicitNames) {
        names = func->Names;
      } else {
        names.push_back(func->Name);
        for (const TFakeParam& param : func->Params) names.push_back(param.Name);
      }
    } else if (const TFakeVar* var = FindVar(AMember)) {
      names.push_back(var->Name);
    } else {
      return TYPE_E_ELEMENTNOTFOUND;
    }
    UINT count = 0;
    for (const std::wstring& name : names) {
      if (count >= AMax) break;
      ANames[count++] = Bstr(name);
    }
    *ACount = count;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID AMember, BSTR* AName, BSTR* ADoc, DWORD* AContext,
                                             BSTR* AHelpFile) override {
    if (AContext) *AContext = 0;
    if (AHelpFile) *AHelpFile = nullptr;
    const std::wstring* name = nullptr;
    const std::wstring* doc = nullptr;
    HRESULT result = S_OK;
    if (AMember == MEMBERID_NIL) {
      name = &Type().Name;
      doc = &Type().Doc;
      result = Type().TypeDocResult;
    } else if (const TFakeFunc* func = FindFunc(AMember)) {
      name = &func->Name;
      doc = &func->Doc;
      result = func->DocResult;
    } else if (const TFakeVar* var = FindVar(AMember)) {
      name = &var->Name;
      doc = &var->Doc;
      result = var->DocResult;
    } else {
      result = TYPE_E_ELEMENTNOTFOUND;
    }
    if (FAILED(result)) return result;
    if (AName) *AName = Bstr(*name);
    if (ADoc) *ADoc = Bstr(*doc);
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT AIndex, HREFTYPE* ARefType) override {
    if (AIndex >= Type().ImplTypes.size()) return TYPE_E_ELEMENTNOTFOUND;
    *ARefType = Type().ImplTypes[AIndex];
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE ARefType, ITypeInfo** AInfo) override {
    *AInfo = nullptr;
    auto failing = FOwner->FailingRefs.find(ARefType);
    if (failing != FOwner->FailingRefs.end()) return failing->second;
    auto it = FOwner->Refs.find(ARefType);
    if (it == FOwner->Refs.end()) return TYPE_E_ELEMENTNOTFOUND;
    ITypeInfo* info = FOwner->Info(it->second);
    info->AddRef();
    *AInfo = info;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT AIndex, INT* AFlags) override {
    if (AIndex >= Type().ImplTypeFlags.size()) return E_NOTIMPL;
    *AFlags = Type().ImplTypeFlags[AIndex];
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR*, UINT, MEMBERID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(PVOID, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID AMember, INVOKEKIND AKind, BSTR* ADll, BSTR* AEntry,
                                        WORD* AOrdinal) override {
    if (ADll) *ADll = nullptr;
    if (AEntry) *AEntry = nullptr;
    if (AOrdinal) *AOrdinal = 0;
    if (Type().Kind != TKIND_MODULE) return TYPE_E_BADMODULEKIND;
    for (const TFakeFunc& func : Type().Funcs) {
      if (func.MemberId != AMember || func.InvokeKind != AKind) continue;
      if (func.Dll.empty()) return TYPE_E_ELEMENTNOTFOUND;
      if (ADll) *ADll = Bstr(func.Dll);
      if (!func.Entry.empty()) {
        if (AEntry) *AEntry = Bstr(func.Entry);
      } else if (AOrdinal) {
        *AOrdinal = func.Ordinal;
      }
      return S_OK;
    }
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, PVOID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, PVOID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ALib, UINT* AIndex) override {
    if (ALib) *ALib = nullptr;
    // Only a library that can say which it is tells where its descriptions belong.
    if (!FOwner->HasAttr || !ALib) return E_NOTIMPL;
    *ALib = FOwner->Lib();
    (*ALib)->AddRef();
    if (AIndex) *AIndex = static_cast<UINT>(FIndex);
    return S_OK;
  }

 private:
  const TFakeType& Type() const { return FOwner->Types[FIndex]; }
  const TFakeFunc* FindFunc(MEMBERID AMember) const {
    for (const TFakeFunc& func : Type().Funcs) {
      if (func.MemberId == AMember) return &func;
    }
    return nullptr;
  }
  const TFakeVar* FindVar(MEMBERID AMember) const {
    for (const TFakeVar& var : Type().Vars) {
      if (var.MemberId == AMember) return &var;
    }
    return nullptr;
  }

  TFakeLibrary* FOwner;
  size_t FIndex;
  LONG FRefs = 1;
  std::map<TYPEATTR*, bool> FAttrs;
  std::map<FUNCDESC*, std::unique_ptr<TFuncRecord>> FFuncs;
  std::map<VARDESC*, std::unique_ptr<TVarRecord>> FVars;
};

class TFakeTypeLibObject : public ITypeLib {
 public:
  explicit TFakeTypeLibObject(TFakeLibrary* AOwner) : FOwner(AOwner) {}
  LONG Refs() const { return FRefs; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID AIid, void** AObject) override {
    if (IsEqualIID(AIid, IID_IUnknown) || IsEqualIID(AIid, IID_ITypeLib)) {
      *AObject = static_cast<ITypeLib*>(this);
      AddRef();
      return S_OK;
    }
    *AObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++FRefs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--FRefs); }

  UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return static_cast<UINT>(FOwner->Types.size()); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT AIndex, ITypeInfo** AInfo) override {
    *AInfo = nullptr;
    if (AIndex >= FOwner->Types.size()) return TYPE_E_ELEMENTNOTFOUND;
    if (FAILED(FOwner->Types[AIndex].InfoResult)) return FOwner->Types[AIndex].InfoResult;
    ITypeInfo* info = FOwner->Info(AIndex);
    info->AddRef();
    *AInfo = info;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT AIndex, TYPEKIND* AKind) override {
    if (AIndex >= FOwner->Types.size()) return TYPE_E_ELEMENTNOTFOUND;
    if (FAILED(FOwner->Types[AIndex].KindResult)) return FOwner->Types[AIndex].KindResult;
    *AKind = FOwner->Types[AIndex].Kind;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDocumentation(INT AIndex, BSTR* AName, BSTR* ADoc, DWORD* AContext,
                                             BSTR* AHelpFile) override {
    if (AContext) *AContext = 0;
    if (AIndex == -1) {
      if (FAILED(FOwner->DocResult)) return FOwner->DocResult;
      if (AName) *AName = Bstr(FOwner->Name);
      if (ADoc) *ADoc = Bstr(FOwner->Doc);
      if (AHelpFile) *AHelpFile = Bstr(FOwner->HelpFile);
      return S_OK;
    }
    if (AIndex < 0 || static_cast<size_t>(AIndex) >= FOwner->Types.size()) return TYPE_E_ELEMENTNOTFOUND;
    const TFakeType& type = FOwner->Types[static_cast<size_t>(AIndex)];
    if (FAILED(type.LibDocResult)) return type.LibDocResult;
    if (AName) *AName = Bstr(type.Name);
    if (ADoc) *ADoc = Bstr(type.Doc);
    if (AHelpFile) *AHelpFile = nullptr;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** AAttr) override {
    *AAttr = nullptr;
    if (!FOwner->HasAttr) return E_NOTIMPL;
    *AAttr = new TLIBATTR(FOwner->Attr);
    ++FOwner->FOutstanding;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsName(LPOLESTR, ULONG, BOOL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) override { return E_NOTIMPL; }
  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* AAttr) override {
    if (!AAttr) return;
    delete AAttr;
    --FOwner->FOutstanding;
  }

 private:
  TFakeLibrary* FOwner;
  LONG FRefs = 1;
};

TFakeLibrary::TFakeLibrary() = default;
TFakeLibrary::~TFakeLibrary() = default;

void TFakeLibrary::Build() {
  if (FLib) return;
  FLib = std::make_unique<TFakeTypeLibObject>(this);
  for (size_t i = 0; i < Types.size(); ++i) FInfos.push_back(std::make_unique<TFakeTypeInfo>(this, i));
}

ITypeLib* TFakeLibrary::Lib() {
  Build();
  return FLib.get();
}

ITypeInfo* TFakeLibrary::Info(size_t AIndex) {
  Build();
  return FInfos.at(AIndex).get();
}

bool TFakeLibrary::ReferencesBalanced() const {
  if (FLib && FLib->Refs() != 1) return false;
  for (const auto& info : FInfos) {
    if (info->Refs() != 1) return false;
  }
  return true;
}

}  // namespace vantrel::test
