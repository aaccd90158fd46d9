// What the in-process test servers share: the module, the count of live objects, a class factory
// and the keys registration writes.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <string>

#include "base/Zarvek_Handles.h"

namespace vantrel::testserver {

inline HMODULE gModule = nullptr;
inline std::atomic<long> gObjects{0};

inline std::wstring ModulePath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(gModule, path, MAX_PATH);
  return path;
}

// Makes objects of TObject, a class that starts with one reference of its own.
template <typename TObject>
class TClassFactory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* AOuter, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (AOuter) return CLASS_E_NOAGGREGATION;
    TObject* object = new TObject();
    const HRESULT result = object->QueryInterface(riid, ppv);
    object->Release();
    return result;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// Keys go to the registry view of the server's own bitness, as regsvr32 of that bitness runs it.
inline bool SetClassesKey(const std::wstring& APath, const wchar_t* AName, const std::wstring& AValue) {
  TRegKey key;
  const std::wstring full = L"Software\\Classes\\" + APath;
  return RegCreateKeyExW(HKEY_LOCAL_MACHINE, full.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(),
                         nullptr) == ERROR_SUCCESS &&
         RegSetValueExW(key.get(), AName, 0, REG_SZ, reinterpret_cast<const BYTE*>(AValue.c_str()),
                        static_cast<DWORD>((AValue.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

inline void DeleteClassesKey(const std::wstring& APath) {
  TRegKey classes;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_ALL_ACCESS, classes.put()) != ERROR_SUCCESS) {
    return;
  }
  RegDeleteTreeW(classes.get(), APath.c_str());
  RegDeleteKeyW(classes.get(), APath.c_str());
}

}  // namespace vantrel::testserver
