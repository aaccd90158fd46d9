#include "typelib/TypeInfoSource.h"


namespace vantrel {

namespace {

// A source that reports success without handing out its result is treated as failing, so that
// no caller ever reads through a null pointer.
HRESULT Checked(HRESULT AResult, const void* AOutput) {
  if (FAILED(AResult)) return AResult;
  return AOutput ? AResult : E_POINTER;
}

void Assign(std::wstring* ATarget, const TBstr& AValue) {
  if (ATarget) *ATarget = AValue.str();
}

}  // namespace

HRESULT TTypeAttrHolder::Fetch() {
  reset();
  TYPEATTR* attr = nullptr;
  HRESULT hr = FInfo->GetTypeAttr(&attr);
  if (SUCCEEDED(hr)) FAttr = attr;
  return Checked(hr, FAttr);
}

void TTypeAttrHolder::reset() {
  if (FAttr) FInfo->ReleaseTypeAttr(FAttr);
  FAttr = nullptr;
}

HRESULT TFuncDescHolder::Fetch(UINT AIndex) {
  reset();
  FUNCDESC* desc = nullptr;
  HRESULT hr = FInfo->GetFuncDesc(AIndex, &desc);
  if (SUCCEEDED(hr)) FDesc = desc;
  return Checked(hr, FDesc);
}

void TFuncDescHolder::reset() {
  if (FDesc) FInfo->ReleaseFuncDesc(FDesc);
  FDesc = nullptr;
}

HRESULT TVarDescHolder::Fetch(UINT AIndex) {
  reset();
  VARDESC* desc = nullptr;
  HRESULT hr = FInfo->GetVarDesc(AIndex, &desc);
  if (SUCCEEDED(hr)) FDesc = desc;
  return Checked(hr, FDesc);
}

void TVarDescHolder::reset() {
  if (FDesc) FInfo->ReleaseVarDesc(FDesc);
  FDesc = nullptr;
}

TNameList::TNameList() : FNames(Capacity, nullptr) {}

HRESULT TNameList::Read(ITypeInfo* AInfo, MEMBERID AMember) {
  Clear();
  UINT count = 0;
  HRESULT hr = AInfo->GetNames(AMember, FNames.data(), Capacity, &count);
  // Whatever was handed out is freed by Clear, also after a failure.
  FCount = count < Capacity ? count : Capacity;
  if (FAILED(hr)) Clear();
  return hr;
}

std::wstring_view TNameList::Name(UINT AIndex) const {
  if (AIndex >= FCount) return std::wstring_view();
  return CutAtNul(FNames[AIndex]);
}

void TNameList::Clear() {
  for (UINT i = 0; i < FCount; ++i) {
    SysFreeString(FNames[i]);
    FNames[i] = nullptr;
  }
  FCount = 0;
}

HRESULT ReadTypeDocumentation(ITypeInfo* AInfo, MEMBERID AMember, std::wstring* AName, std::wstring* ADocString) {
  TBstr name, doc;
  HRESULT hr = AInfo->GetDocumentation(AMember, AName ? name.put() : nullptr, ADocString ? doc.put() : nullptr,
                                       nullptr, nullptr);
  if (FAILED(hr)) {
    if (AName) AName->clear();
    if (ADocString) ADocString->clear();
    return hr;
  }
  Assign(AName, name);
  Assign(ADocString, doc);
  return hr;
}

HRESULT ReadTypeDocumentation(ITypeInfo* AInfo, MEMBERID AMember, TBstr* AName, TBstr* ADocString) {
  HRESULT hr = AInfo->GetDocumentation(AMember, AName ? AName->put() : nullptr, ADocString ? ADocString->put() : nullptr,
                                       nullptr, nullptr);
  // put() frees and empties: nothing of a failed read is shown.
  if (FAILED(hr)) {
    if (AName) AName->put();
    if (ADocString) ADocString->put();
  }
  return hr;
}

std::wstring_view WholeText(BSTR AText) {
  return AText ? std::wstring_view(AText, SysStringLen(AText)) : std::wstring_view();
}

std::wstring_view CutAtNul(BSTR AText) {
  // A plain scan: names are short, and this runs for every name of a library.
  const size_t length = AText ? SysStringLen(AText) : 0;
  size_t i = 0;
  while (i < length && AText[i] != L'\0') ++i;
  return std::wstring_view(AText, i);
}

HRESULT ReadLibDocumentation(ITypeLib* ALib, INT AIndex, std::wstring* AName, std::wstring* ADocString,
                             std::wstring* AHelpFile) {
  TBstr name, doc, helpFile;
  HRESULT hr = ALib->GetDocumentation(AIndex, AName ? name.put() : nullptr, ADocString ? doc.put() : nullptr,
                                      nullptr, AHelpFile ? helpFile.put() : nullptr);
  if (FAILED(hr)) {
    if (AName) AName->clear();
    if (ADocString) ADocString->clear();
    if (AHelpFile) AHelpFile->clear();
    return hr;
  }
  Assign(AName, name);
  Assign(ADocString, doc);
  Assign(AHelpFile, helpFile);
  return hr;
}

HRESULT ReadRefTypeInfo(ITypeInfo* AInfo, HREFTYPE ARefType, TComPtr<ITypeInfo>& AResult) {
  ITypeInfo* info = nullptr;
  HRESULT hr = AInfo->GetRefTypeInfo(ARefType, &info);
  AResult.reset(SUCCEEDED(hr) ? info : nullptr);
  return Checked(hr, AResult.get());
}

HRESULT ReadTypeInfo(ITypeLib* ALib, UINT AIndex, TComPtr<ITypeInfo>& AResult) {
  ITypeInfo* info = nullptr;
  HRESULT hr = ALib->GetTypeInfo(AIndex, &info);
  AResult.reset(SUCCEEDED(hr) ? info : nullptr);
  return Checked(hr, AResult.get());
}

bool IsSameLibrary(ITypeLib* AOwn, ITypeLib* AOther) {
  if (AOwn == AOther) return true;
  if (!AOwn || !AOther) return false;
  TLIBATTR* own = nullptr;
  TLIBATTR* other = nullptr;
  bool same = false;
  if (SUCCEEDED(AOwn->GetLibAttr(&own)) && own) {
    if (SUCCEEDED(AOther->GetLibAttr(&other)) && other) {
      same = IsEqualGUID(own->guid, other->guid) && own->wMajorVerNum == other->wMajorVerNum &&
             own->wMinorVerNum == other->wMinorVerNum && own->lcid == other->lcid;
      AOther->ReleaseTLibAttr(other);
    }
    AOwn->ReleaseTLibAttr(own);
  }
  return same;
}

}  // namespace vantrel
