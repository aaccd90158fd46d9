// A type library reader that fails on purpose, the way the environment variable
// VANTREL_TEST_READER_FAULT names, so that the tests can show what the program makes of a reader
// that crashes, hangs, ends early or sends what is no record. Where it can, it runs the program's
// own reader and puts the fault behind the loader.
#include <windows.h>
#include <oaidl.h>

#include <stdexcept>
#include <string>

#include "base/Zarvek_Handles.h"
#include "typelib/TypeLibLoader.h"
#include "typelib/TypeLibReader.h"
#include "typelib/TypeLibSnapshot.h"

using namespace vantrel;

namespace {

// A library that crashes when it is first asked anything.
class TCrashingLib final : public ITypeLib {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** AObject) override {
    *AObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return Crash<UINT>(); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, ITypeInfo**) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT, TYPEKIND*) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID, ITypeInfo**) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR**) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE GetDocumentation(INT, BSTR*, BSTR*, DWORD*, BSTR*) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE IsName(LPOLESTR, ULONG, BOOL*) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) override {
    return Crash<HRESULT>();
  }
  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR*) override {}

 private:
  template <class T>
  static T Crash() {
    volatile int* nowhere = nullptr;
    return static_cast<T>(*nowhere);
  }
};

std::string ReadStandardInput() {
  std::string data;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &read, nullptr) && read) {
    data.append(buffer, read);
  }
  return data;
}

void WriteStandardOutput(const std::string& AData) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), AData.data(), static_cast<DWORD>(AData.size()), &written, nullptr);
}

}  // namespace

int wmain() {
  wchar_t fault[64] = {};
  GetEnvironmentVariableW(L"VANTREL_TEST_READER_FAULT", fault, 64);
  const std::wstring kind = fault;
  if (kind == L"crash") {
    return RunTypeLibReader([](const TObjectData&, TComPtr<ITypeLib>&, TRegView) {
      volatile int* nowhere = nullptr;
      return static_cast<HRESULT>(*nowhere);
    });
  }
  if (kind == L"walkcrash") {
    static TCrashingLib library;
    return RunTypeLibReader([](const TObjectData&, TComPtr<ITypeLib>& ALib, TRegView) {
      ALib.reset(&library);
      return S_OK;
    });
  }
  if (kind == L"hang") {
    return RunTypeLibReader([](const TObjectData&, TComPtr<ITypeLib>&, TRegView) -> HRESULT {
      Sleep(INFINITE);
      return E_FAIL;
    });
  }
  if (kind == L"throw") {
    return RunTypeLibReader([](const TObjectData&, TComPtr<ITypeLib>&, TRegView) -> HRESULT {
      throw std::runtime_error("the loader gave up");
    });
  }
  if (kind == L"quit") return 5;
  ReadStandardInput();
  if (kind == L"exit") return 7;
  if (kind == L"garbage") {
    // The head of a real record, so that the damage is found past it.
    WriteStandardOutput(RecordLoadFailure(E_FAIL).substr(0, 8) + '\0' + std::string(1000, '\xA5') + "END.");
    return 0;
  }
  if (kind == L"flood") {
    // Endless data, as a compromised reader might send to exhaust the program's memory.
    const std::string block(1 << 20, '\x5A');
    for (;;) {
      DWORD written = 0;
      if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), block.data(), static_cast<DWORD>(block.size()), &written, nullptr)) {
        return 0;
      }
    }
  }
  if (kind == L"partial") {
    const std::string record = RecordLoadFailure(E_FAIL);
    WriteStandardOutput(record.substr(0, record.size() / 2));
    return 0;
  }
  return 9;
}
