// An in-process COM server for the Free Pascal proof of the import unit's event sinks: a Ticker
// raises the events of DTickerEvents through its connection point and reports what the sinks left
// in the arguments passed by reference, and the failures they returned.
#include <windows.h>
#include <ocidl.h>
#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

#include "VantrelEventServer_h.h"
#include "base/Zarvek_Handles.h"
#include "tests/eventserver/ServerSupport.h"

namespace {

using vantrel::TBstr;
using namespace vantrel::testserver;
using vantrel::TComPtr;
using vantrel::TVariant;

const GUID kLibId = {0x8E3B6C20, 0x4D1A, 0x4F7E, {0xA5, 0xC2, 0x3B, 0x9D, 0x0E, 0x6F, 0x7A, 0x01}};
const IID kDiidTickerEvents = {0x8E3B6C20, 0x4D1A, 0x4F7E, {0xA5, 0xC2, 0x3B, 0x9D, 0x0E, 0x6F, 0x7A, 0x02}};
const IID kIidTicker = {0x8E3B6C20, 0x4D1A, 0x4F7E, {0xA5, 0xC2, 0x3B, 0x9D, 0x0E, 0x6F, 0x7A, 0x03}};
const CLSID kClsidTicker = {0x8E3B6C20, 0x4D1A, 0x4F7E, {0xA5, 0xC2, 0x3B, 0x9D, 0x0E, 0x6F, 0x7A, 0x04}};
constexpr wchar_t kClsidText[] = L"{8E3B6C20-4D1A-4F7E-A5C2-3B9D0E6F7A04}";
constexpr wchar_t kLibIdText[] = L"{8E3B6C20-4D1A-4F7E-A5C2-3B9D0E6F7A01}";
constexpr wchar_t kProgId[] = L"Vantrel.TestTicker.1";
constexpr wchar_t kClassName[] = L"Vantrel Test Ticker";

// The dispids of DTickerEvents.
enum : DISPID { kStarted = 1, kTick = 2, kAdjust = 3, kClosing = 4, kAsk = 5, kAttached = 6 };

// Owner of the strings an EXCEPINFO receives.
class TExcepInfo {
 public:
  TExcepInfo() = default;
  ~TExcepInfo() {
    SysFreeString(FInfo.bstrSource);
    SysFreeString(FInfo.bstrDescription);
    SysFreeString(FInfo.bstrHelpFile);
  }
  TExcepInfo(const TExcepInfo&) = delete;
  TExcepInfo& operator=(const TExcepInfo&) = delete;
  EXCEPINFO* get() { return &FInfo; }
  std::wstring Description() const { return FInfo.bstrDescription ? FInfo.bstrDescription : L""; }

 private:
  EXCEPINFO FInfo = {};
};

std::wstring Hex(HRESULT ACode) {
  wchar_t text[16] = {};
  swprintf(text, 16, L"%08X", static_cast<unsigned>(ACode));
  return text;
}

// A variant as the report shows it.
std::wstring Describe(const VARIANT& AValue) {
  switch (V_VT(&AValue)) {
    case VT_EMPTY: return L"empty";
    case VT_BSTR: return V_BSTR(&AValue) ? V_BSTR(&AValue) : L"";
    case VT_I4: return std::to_wstring(V_I4(&AValue));
    case VT_I2: return std::to_wstring(V_I2(&AValue)) + L" (VT_I2)";
    case VT_BOOL: return V_BOOL(&AValue) ? L"True" : L"False";
    default: return L"vt " + std::to_wstring(V_VT(&AValue));
  }
}

// The library's description of ITicker, for its IDispatch side.
HRESULT TickerTypeInfo(ITypeInfo** AInfo) {
  *AInfo = nullptr;
  TComPtr<ITypeLib> lib;
  const HRESULT result = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, lib.put());
  return FAILED(result) ? result : lib->GetTypeInfoOfGuid(kIidTicker, AInfo);
}

class TTicker;

// The connection point of DTickerEvents. It lives inside its ticker and counts references with it.
class TEventsPoint : public IConnectionPoint {
 public:
  explicit TEventsPoint(TTicker& AOwner) : FOwner(AOwner) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE GetConnectionInterface(IID* AIid) override {
    *AIid = kDiidTickerEvents;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetConnectionPointContainer(IConnectionPointContainer** AContainer) override;
  HRESULT STDMETHODCALLTYPE Advise(IUnknown* ASink, DWORD* ACookie) override {
    *ACookie = 0;
    if (!ASink) return E_POINTER;
    // A sink must answer for the interface of the events, as connection points commonly ask.
    TComPtr<IDispatch> sink;
    if (FAILED(ASink->QueryInterface(kDiidTickerEvents, sink.put_void()))) return CONNECT_E_CANNOTCONNECT;
    *ACookie = FNextCookie++;
    FSinks.emplace_back(*ACookie, std::move(sink));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD ACookie) override {
    for (auto it = FSinks.begin(); it != FSinks.end(); ++it) {
      if (it->first != ACookie) continue;
      FSinks.erase(it);
      return S_OK;
    }
    return CONNECT_E_NOCONNECTION;
  }
  HRESULT STDMETHODCALLTYPE EnumConnections(IEnumConnections** AEnum) override {
    *AEnum = nullptr;
    return E_NOTIMPL;
  }

  size_t Count() const { return FSinks.size(); }
  // Calls every sink; the text of the first failure, empty when there is none.
  std::wstring Raise(DISPID AEvent, std::vector<VARIANTARG>& AArgs, std::vector<DISPID>& ANamed, VARIANT* AResult) {
    DISPPARAMS params = {AArgs.data(), ANamed.data(), static_cast<UINT>(AArgs.size()), static_cast<UINT>(ANamed.size())};
    std::wstring failure;
    // A copy: a handler may disconnect its sink.
    const std::vector<std::pair<DWORD, TComPtr<IDispatch>>> sinks = FSinks;
    for (const auto& [cookie, sink] : sinks) {
      TExcepInfo error;
      const HRESULT result =
          sink->Invoke(AEvent, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, AResult, error.get(), nullptr);
      if (FAILED(result) && failure.empty()) failure = L"error " + Hex(result) + L" " + error.Description();
    }
    return failure;
  }

 private:
  TTicker& FOwner;
  std::vector<std::pair<DWORD, TComPtr<IDispatch>>> FSinks;
  DWORD FNextCookie = 1;
};

class TTicker : public ITicker, public IConnectionPointContainer {
 public:
  TTicker() { ++gObjects; }
  virtual ~TTicker() { --gObjects; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIidTicker) {
      *ppv = static_cast<ITicker*>(this);
    } else if (riid == IID_IConnectionPointContainer) {
      *ppv = static_cast<IConnectionPointContainer*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG refs = --FRefs;
    if (refs == 0) delete this;
    return refs;
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* ACount) override {
    *ACount = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** AInfo) override { return TickerTypeInfo(AInfo); }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* ANames, UINT ACount, LCID, DISPID* AIds) override {
    TComPtr<ITypeInfo> info;
    const HRESULT result = TickerTypeInfo(info.put());
    return FAILED(result) ? result : DispGetIDsOfNames(info.get(), ANames, ACount, AIds);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID AId, REFIID, LCID, WORD AFlags, DISPPARAMS* AParams, VARIANT* AResult,
                                   EXCEPINFO* AError, UINT* AArgError) override {
    TComPtr<ITypeInfo> info;
    const HRESULT result = TickerTypeInfo(info.put());
    if (FAILED(result)) return result;
    return DispInvoke(static_cast<ITicker*>(this), info.get(), AId, AFlags, AParams, AResult, AError, AArgError);
  }

  HRESULT STDMETHODCALLTYPE get_Name(BSTR* AName) override {
    *AName = SysAllocString(FName.c_str());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Name(BSTR AName) override {
    FName = AName ? AName : L"";
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Connections(LONG* ACount) override {
    *ACount = static_cast<LONG>(FEvents.Count());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Fire(BSTR AQuestion, BSTR* ASeen) override;

  HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** AEnum) override {
    *AEnum = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID AIid, IConnectionPoint** APoint) override {
    *APoint = nullptr;
    if (AIid != kDiidTickerEvents) return CONNECT_E_NOCONNECTION;
    *APoint = &FEvents;
    FEvents.AddRef();
    return S_OK;
  }

 private:
  std::atomic<ULONG> FRefs{1};
  std::wstring FName;
  TEventsPoint FEvents{*this};
};

HRESULT TEventsPoint::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}
ULONG TEventsPoint::AddRef() { return FOwner.AddRef(); }
ULONG TEventsPoint::Release() { return FOwner.Release(); }
HRESULT TEventsPoint::GetConnectionPointContainer(IConnectionPointContainer** AContainer) {
  return FOwner.QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(AContainer));
}

// A VARIANTARG that points to a value the caller keeps.
VARIANTARG ByReference(VARTYPE AType, void* AValue) {
  VARIANTARG arg;
  VariantInit(&arg);
  V_VT(&arg) = static_cast<VARTYPE>(VT_BYREF | AType);
  V_BYREF(&arg) = AValue;
  return arg;
}

HRESULT TTicker::Fire(BSTR AQuestion, BSTR* ASeen) {
  std::wstring failures;
  auto raise = [&](const wchar_t* AName, DISPID AEvent, std::vector<VARIANTARG> AArgs, std::vector<DISPID> ANamed = {},
                   VARIANT* AResult = nullptr) {
    const std::wstring failure = FEvents.Raise(AEvent, AArgs, ANamed, AResult);
    if (!failure.empty()) failures += std::wstring(L" ") + AName + L"=" + failure;
  };
  raise(L"Started", kStarted, {});

  // Arguments come in reverse order; "last" is passed by name, as a caller may.
  TVariant count, label, last;
  V_VT(count.get()) = VT_I4;
  V_I4(count.get()) = 7;
  V_VT(label.get()) = VT_BSTR;
  V_BSTR(label.get()) = SysAllocString(L"seven");
  V_VT(last.get()) = VT_BOOL;
  V_BOOL(last.get()) = VARIANT_TRUE;
  raise(L"Tick", kTick, {*last.get(), *label.get(), *count.get()}, {2});

  // The values live in variants of their own, which own what a sink leaves there.
  TVariant value, text, any;
  V_VT(value.get()) = VT_I4;
  V_I4(value.get()) = 10;
  V_VT(text.get()) = VT_BSTR;
  V_BSTR(text.get()) = SysAllocString(L"ten");
  V_VT(any.get()) = VT_I2;
  V_I2(any.get()) = 5;
  raise(L"Adjust", kAdjust,
        {ByReference(VT_VARIANT, any.get()), ByReference(VT_BSTR, &V_BSTR(text.get())),
         ByReference(VT_I4, &V_I4(value.get()))});

  TVariant cancel;
  V_VT(cancel.get()) = VT_BOOL;
  V_BOOL(cancel.get()) = VARIANT_FALSE;
  raise(L"Closing", kClosing, {ByReference(VT_BOOL, &V_BOOL(cancel.get()))});

  TVariant question, answer;
  V_VT(question.get()) = VT_BSTR;
  V_BSTR(question.get()) = SysAllocString(AQuestion ? AQuestion : L"");
  raise(L"Ask", kAsk, {*question.get()}, {}, answer.get());

  VARIANTARG source;
  VariantInit(&source);
  V_VT(&source) = VT_DISPATCH;
  V_DISPATCH(&source) = static_cast<ITicker*>(this);
  raise(L"Attached", kAttached, {source});

  const std::wstring seen = L"value=" + Describe(*value.get()) + L" text=" + Describe(*text.get()) +
                            L" any=" + Describe(*any.get()) + L" cancel=" + Describe(*cancel.get()) +
                            L" answer=" + Describe(*answer.get()) + failures;
  *ASeen = SysAllocString(seen.c_str());
  return S_OK;
}

TClassFactory<TTicker> gFactory;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE AInstance, DWORD AReason, LPVOID) {
  if (AReason == DLL_PROCESS_ATTACH) gModule = AInstance;
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (rclsid == kClsidTicker) return gFactory.QueryInterface(riid, ppv);
  *ppv = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return gObjects == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring key = std::wstring(L"CLSID\\") + kClsidText;
  const bool ok = SetClassesKey(key, nullptr, kClassName) &&
                  SetClassesKey(key + L"\\InprocServer32", nullptr, ModulePath()) &&
                  SetClassesKey(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
                  SetClassesKey(key + L"\\ProgID", nullptr, kProgId) &&
                  SetClassesKey(key + L"\\TypeLib", nullptr, kLibIdText) &&
                  SetClassesKey(kProgId, nullptr, kClassName) &&
                  SetClassesKey(std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText);
  if (!ok) return SELFREG_E_CLASS;
  TComPtr<ITypeLib> lib;
  return SUCCEEDED(LoadTypeLibEx(ModulePath().c_str(), REGKIND_REGISTER, lib.put())) ? S_OK : SELFREG_E_TYPELIB;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  DeleteClassesKey(std::wstring(L"CLSID\\") + kClsidText);
  DeleteClassesKey(kProgId);
  UnRegisterTypeLib(kLibId, 1, 0, LOCALE_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  return S_OK;
}
