// A small in-process COM server for the tests: two classes with ProgIDs and a dual interface.
// "Greeter" answers GetTypeInfo from its type library; "Broken" refuses it.
#include <windows.h>
#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <string>

#include "VantrelTestServer_h.h"

namespace {

HMODULE gModule = nullptr;
std::atomic<long> gObjects{0};

const GUID kLibId = {0x6D8E5A10, 0x2B7C, 0x4C1E, {0x9A, 0x61, 0x0F, 0x3D, 0x2E, 0x7B, 0x5A, 0x01}};
const IID kIidGreeter = {0x6D8E5A10, 0x2B7C, 0x4C1E, {0x9A, 0x61, 0x0F, 0x3D, 0x2E, 0x7B, 0x5A, 0x02}};
const CLSID kClsidGreeter = {0x6D8E5A10, 0x2B7C, 0x4C1E, {0x9A, 0x61, 0x0F, 0x3D, 0x2E, 0x7B, 0x5A, 0x03}};
const CLSID kClsidBroken = {0x6D8E5A10, 0x2B7C, 0x4C1E, {0x9A, 0x61, 0x0F, 0x3D, 0x2E, 0x7B, 0x5A, 0x04}};

struct TClassInfo {
  const CLSID* Clsid;
  const wchar_t* Guid;
  const wchar_t* Name;
  const wchar_t* ProgId;
};
const TClassInfo kClasses[] = {
    {&kClsidGreeter, L"{6D8E5A10-2B7C-4C1E-9A61-0F3D2E7B5A03}", L"Vantrel Test Greeter", L"Vantrel.TestGreeter.1"},
    {&kClsidBroken, L"{6D8E5A10-2B7C-4C1E-9A61-0F3D2E7B5A04}", L"Vantrel Test Broken", L"Vantrel.TestBroken.1"},
};

std::wstring ModulePath() {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(gModule, path, MAX_PATH);
  return path;
}

class TGreeter : public IGreeter {
 public:
  explicit TGreeter(bool ABroken) : FBroken(ABroken) { ++gObjects; }
  virtual ~TGreeter() { --gObjects; }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == kIidGreeter) {
      *ppv = static_cast<IGreeter*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++FRefs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG refs = --FRefs;
    if (refs == 0) delete this;
    return refs;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) override {
    *pctinfo = FBroken ? 0 : 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) override {
    *ppTInfo = nullptr;
    if (FBroken) return TYPE_E_ELEMENTNOTFOUND;
    ITypeLib* lib = nullptr;
    HRESULT hr = LoadTypeLibEx(ModulePath().c_str(), REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    hr = lib->GetTypeInfoOfGuid(kIidGreeter, ppTInfo);
    lib->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Hello(BSTR* AText) override {
    *AText = SysAllocString(L"Hello");
    return S_OK;
  }

 private:
  std::atomic<ULONG> FRefs{1};
  bool FBroken;
};

class TFactory : public IClassFactory {
 public:
  explicit TFactory(bool ABroken) : FBroken(ABroken) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    TGreeter* object = new TGreeter(FBroken);
    HRESULT hr = object->QueryInterface(riid, ppv);
    object->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

 private:
  bool FBroken;
};

TFactory gGreeterFactory(false);
TFactory gBrokenFactory(true);

// Keys go to the registry view of the server's own bitness, as regsvr32 of that bitness runs it.
bool SetKey(const std::wstring& APath, const wchar_t* AName, const std::wstring& AValue) {
  HKEY key = nullptr;
  std::wstring full = L"Software\\Classes\\" + APath;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  LONG result = RegSetValueExW(key, AName, 0, REG_SZ, reinterpret_cast<const BYTE*>(AValue.c_str()),
                               static_cast<DWORD>((AValue.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

void DeleteKey(const std::wstring& APath) {
  HKEY classes = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_ALL_ACCESS, &classes) != ERROR_SUCCESS) {
    return;
  }
  RegDeleteTreeW(classes, APath.c_str());
  RegDeleteKeyW(classes, APath.c_str());
  RegCloseKey(classes);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE AInstance, DWORD AReason, LPVOID) {
  if (AReason == DLL_PROCESS_ATTACH) gModule = AInstance;
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
  if (rclsid == kClsidGreeter) return gGreeterFactory.QueryInterface(riid, ppv);
  if (rclsid == kClsidBroken) return gBrokenFactory.QueryInterface(riid, ppv);
  *ppv = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return gObjects == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  const std::wstring path = ModulePath();
  for (const TClassInfo& info : kClasses) {
    const std::wstring key = std::wstring(L"CLSID\\") + info.Guid;
    bool ok = SetKey(key, nullptr, info.Name) && SetKey(key + L"\\InprocServer32", nullptr, path) &&
              SetKey(key + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
              SetKey(key + L"\\ProgID", nullptr, info.ProgId) &&
              SetKey(key + L"\\TypeLib", nullptr, L"{6D8E5A10-2B7C-4C1E-9A61-0F3D2E7B5A01}") &&
              SetKey(key + L"\\Version", nullptr, L"1.0") && SetKey(info.ProgId, nullptr, info.Name) &&
              SetKey(std::wstring(info.ProgId) + L"\\CLSID", nullptr, info.Guid);
    if (!ok) return SELFREG_E_CLASS;
  }
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadTypeLibEx(path.c_str(), REGKIND_REGISTER, &lib);
  if (lib) lib->Release();
  return SUCCEEDED(hr) ? S_OK : SELFREG_E_TYPELIB;
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  for (const TClassInfo& info : kClasses) {
    DeleteKey(std::wstring(L"CLSID\\") + info.Guid);
    DeleteKey(info.ProgId);
  }
  UnRegisterTypeLib(kLibId, 1, 0, LOCALE_NEUTRAL, sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32);
  return S_OK;
}
