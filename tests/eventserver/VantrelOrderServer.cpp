// An in-process COM server for the Free Pascal proof that an import unit calls the slots the
// library gives. Its type library, written at registration through ICreateTypeLib2 (widl always
// lists members in vtable order), lists the members of IOrder out of vtable order, holds one
// member without a name, a method that returns a BSTR itself and a cdecl method. Each method
// answers with a value of its own, so a call that lands in another slot prints something else.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <string>
#include <vector>

#include "base/Zarvek_Handles.h"
#include "tests/eventserver/ServerSupport.h"

namespace {

using namespace vantrel::testserver;
using vantrel::TComPtr;

const GUID kLibId = {0x5D2A7E40, 0x9C1B, 0x4E3F, {0xB6, 0x0D, 0x71, 0x2C, 0x8A, 0x4E, 0x15, 0x01}};
const IID kIidOrder = {0x5D2A7E40, 0x9C1B, 0x4E3F, {0xB6, 0x0D, 0x71, 0x2C, 0x8A, 0x4E, 0x15, 0x02}};
const CLSID kClsidOrder = {0x5D2A7E40, 0x9C1B, 0x4E3F, {0xB6, 0x0D, 0x71, 0x2C, 0x8A, 0x4E, 0x15, 0x03}};
const IID kIidMoreOrder = {0x5D2A7E40, 0x9C1B, 0x4E3F, {0xB6, 0x0D, 0x71, 0x2C, 0x8A, 0x4E, 0x15, 0x04}};
constexpr wchar_t kClsidText[] = L"{5D2A7E40-9C1B-4E3F-B60D-712C8A4E1503}";
constexpr wchar_t kLibIdText[] = L"{5D2A7E40-9C1B-4E3F-B60D-712C8A4E1501}";
constexpr wchar_t kClassName[] = L"Vantrel Test Order";

// IOrder's vtable, as the object lays it out; IMoreOrder adds one slot after it.
struct IOrder : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE First(LONG* AResult) = 0;        // slot 3
  virtual HRESULT STDMETHODCALLTYPE Second(BSTR* AResult) = 0;       // slot 4
  virtual HRESULT STDMETHODCALLTYPE Third(LONG AValue, LONG* AResult) = 0;  // slot 5
  virtual HRESULT STDMETHODCALLTYPE Hidden() = 0;                    // slot 6, no name in the library
  virtual BSTR STDMETHODCALLTYPE Text() = 0;                         // slot 7, returns the BSTR itself
  virtual LONG __cdecl Sum(LONG A, LONG B) = 0;                      // slot 8
};
struct IMoreOrder : IOrder {
  virtual HRESULT STDMETHODCALLTYPE Fourth(LONG* AResult) = 0;  // slot 9
};

class TOrder : public IMoreOrder {
 public:
  TOrder() { ++gObjects; }
  virtual ~TOrder() { --gObjects; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == kIidOrder || riid == kIidMoreOrder) {
      *ppv = static_cast<IMoreOrder*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FReferences; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --FReferences;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE First(LONG* AResult) override {
    *AResult = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Second(BSTR* AResult) override {
    *AResult = SysAllocString(L"second");
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Third(LONG AValue, LONG* AResult) override {
    *AResult = AValue * 3;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Hidden() override { return E_NOTIMPL; }
  BSTR STDMETHODCALLTYPE Text() override { return SysAllocString(L"text"); }
  LONG __cdecl Sum(LONG A, LONG B) override { return A + B; }
  HRESULT STDMETHODCALLTYPE Fourth(LONG* AResult) override {
    *AResult = 4;
    return S_OK;
  }

 private:
  std::atomic<ULONG> FReferences{1};
};

TClassFactory<TOrder> gFactory;

std::wstring LibraryPath() {
  std::wstring path = ModulePath();
  return path.substr(0, path.find_last_of(L'.')) + L".tlb";
}

// One member as the library describes it; names go with it unless AName is null.
struct TMember {
  const wchar_t* Name;
  int Slot;
  VARTYPE Result;
  CALLCONV CallConv;
  std::initializer_list<ELEMDESC> Params;
  std::initializer_list<const wchar_t*> ParamNames;
};

ELEMDESC Param(VARTYPE AType, USHORT AFlags, TYPEDESC* APointee = nullptr) {
  ELEMDESC desc = {};
  if (APointee) {
    desc.tdesc.vt = VT_PTR;
    desc.tdesc.lptdesc = APointee;
  } else {
    desc.tdesc.vt = AType;
  }
  desc.paramdesc.wParamFlags = AFlags;
  return desc;
}

HRESULT AddMembers(ICreateTypeInfo* AInfo, std::initializer_list<TMember> AMembers) {
  UINT index = 0;
  for (const TMember& member : AMembers) {
    std::vector<ELEMDESC> params(member.Params);
    FUNCDESC desc = {};
    desc.memid = static_cast<MEMBERID>(0x60010000 + member.Slot);
    desc.funckind = FUNC_PUREVIRTUAL;
    desc.invkind = INVOKE_FUNC;
    desc.callconv = member.CallConv;
    desc.cParams = static_cast<SHORT>(params.size());
    desc.lprgelemdescParam = params.data();
    desc.elemdescFunc.tdesc.vt = member.Result;
    desc.oVft = static_cast<SHORT>(member.Slot * sizeof(void*));
    HRESULT result = AInfo->AddFuncDesc(index, &desc);
    if (FAILED(result)) return result;
    if (member.Name) {
      std::vector<LPOLESTR> names{const_cast<LPOLESTR>(member.Name)};
      for (const wchar_t* name : member.ParamNames) names.push_back(const_cast<LPOLESTR>(name));
      result = AInfo->SetFuncAndParamNames(index, names.data(), static_cast<UINT>(names.size()));
      if (FAILED(result)) return result;
    }
    ++index;
  }
  return S_OK;
}

HRESULT AddBase(ICreateTypeInfo* AInfo, ITypeInfo* ABase) {
  HREFTYPE reference = 0;
  HRESULT result = AInfo->AddRefTypeInfo(ABase, &reference);
  return SUCCEEDED(result) ? AInfo->AddImplType(0, reference) : result;
}

// Writes the library beside the server: IOrder's members listed Text, Third, First, Sum, the
// member without a name, Second; IMoreOrder adds Fourth; the class Order implements IMoreOrder.
HRESULT WriteLibrary(const std::wstring& APath) {
  TComPtr<ICreateTypeLib2> lib;
  HRESULT result = CreateTypeLib2(sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32, APath.c_str(), lib.put());
  if (FAILED(result)) return result;
  lib->SetGuid(kLibId);
  lib->SetName(const_cast<LPOLESTR>(L"VantrelOrder"));
  lib->SetVersion(1, 0);
  lib->SetLcid(LOCALE_NEUTRAL);

  TComPtr<ITypeLib> stdole;
  TComPtr<ITypeInfo> unknown;
  result = LoadTypeLib(L"stdole2.tlb", stdole.put());
  if (SUCCEEDED(result)) result = stdole->GetTypeInfoOfGuid(IID_IUnknown, unknown.put());
  if (FAILED(result)) return result;

  TComPtr<ICreateTypeInfo> order;
  result = lib->CreateTypeInfo(const_cast<LPOLESTR>(L"IOrder"), TKIND_INTERFACE, order.put());
  if (FAILED(result)) return result;
  order->SetGuid(kIidOrder);
  TYPEDESC longType = {};
  longType.vt = VT_I4;
  TYPEDESC bstrType = {};
  bstrType.vt = VT_BSTR;
  const USHORT out = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
  result = AddBase(order.get(), unknown.get());
  if (SUCCEEDED(result))
    result = AddMembers(order.get(),
                        {{L"Text", 7, VT_BSTR, CC_STDCALL, {}, {}},
                         {L"Third", 5, VT_HRESULT, CC_STDCALL,
                          {Param(VT_I4, PARAMFLAG_FIN), Param(0, out, &longType)}, {L"Value"}},
                         {L"First", 3, VT_HRESULT, CC_STDCALL, {Param(0, out, &longType)}, {}},
                         {L"Sum", 8, VT_I4, CC_CDECL, {Param(VT_I4, PARAMFLAG_FIN), Param(VT_I4, PARAMFLAG_FIN)},
                          {L"A", L"B"}},
                         {nullptr, 6, VT_HRESULT, CC_STDCALL, {}, {}},
                         {L"Second", 4, VT_HRESULT, CC_STDCALL, {Param(0, out, &bstrType)}, {}}});
  if (SUCCEEDED(result)) result = order->LayOut();
  if (FAILED(result)) return result;

  TComPtr<ITypeInfo> orderInfo;
  result = order->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(orderInfo.put()));
  if (FAILED(result)) return result;
  TComPtr<ICreateTypeInfo> more;
  result = lib->CreateTypeInfo(const_cast<LPOLESTR>(L"IMoreOrder"), TKIND_INTERFACE, more.put());
  if (FAILED(result)) return result;
  more->SetGuid(kIidMoreOrder);
  result = AddBase(more.get(), orderInfo.get());
  if (SUCCEEDED(result))
    result = AddMembers(more.get(), {{L"Fourth", 9, VT_HRESULT, CC_STDCALL, {Param(0, out, &longType)}, {}}});
  if (SUCCEEDED(result)) result = more->LayOut();
  if (FAILED(result)) return result;

  TComPtr<ITypeInfo> moreInfo;
  result = more->QueryInterface(IID_ITypeInfo, reinterpret_cast<void**>(moreInfo.put()));
  if (FAILED(result)) return result;
  TComPtr<ICreateTypeInfo> coclass;
  result = lib->CreateTypeInfo(const_cast<LPOLESTR>(L"Order"), TKIND_COCLASS, coclass.put());
  if (FAILED(result)) return result;
  coclass->SetGuid(kClsidOrder);
  coclass->SetTypeFlags(TYPEFLAG_FCANCREATE);
  result = AddBase(coclass.get(), moreInfo.get());
  if (SUCCEEDED(result)) result = coclass->SetImplTypeFlags(0, IMPLTYPEFLAG_FDEFAULT);
  if (SUCCEEDED(result)) result = coclass->LayOut();
  return SUCCEEDED(result) ? lib->SaveAllChanges() : result;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE AInstance, DWORD AReason, LPVOID) {
  if (AReason == DLL_PROCESS_ATTACH) gModule = AInstance;
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (rclsid == kClsidOrder) return gFactory.QueryInterface(riid, ppv);
  *ppv = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return gObjects == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  if (FAILED(WriteLibrary(LibraryPath()))) return SELFREG_E_TYPELIB;
  const std::wstring key = std::wstring(L"CLSID\\") + kClsidText;
  const bool ok = SetClassesKey(key, nullptr, kClassName) &&
                  SetClassesKey(key + L"\\InprocServer32", nullptr, ModulePath()) &&
                  SetClassesKey(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
                  SetClassesKey(key + L"\\TypeLib", nullptr, kLibIdText);
  return ok ? S_OK : SELFREG_E_CLASS;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  DeleteClassesKey(std::wstring(L"CLSID\\") + kClsidText);
  DeleteFileW(LibraryPath().c_str());
  return S_OK;
}
