// Move-only owners of platform handles: each releases its handle with the matching call.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>

namespace vantrel {

// A handle value plus the call that releases it.
template <typename H, typename Traits>
class TUniqueHandle {
 public:
  TUniqueHandle() = default;
  explicit TUniqueHandle(H AHandle) : FHandle(AHandle) {}
  ~TUniqueHandle() { reset(); }
  TUniqueHandle(const TUniqueHandle&) = delete;
  TUniqueHandle& operator=(const TUniqueHandle&) = delete;
  TUniqueHandle(TUniqueHandle&& AOther) noexcept : FHandle(AOther.release()) {}
  TUniqueHandle& operator=(TUniqueHandle&& AOther) noexcept {
    if (this != &AOther) reset(AOther.release());
    return *this;
  }

  H get() const { return FHandle; }
  H* put() {
    reset();
    return &FHandle;
  }
  H release() { return std::exchange(FHandle, Traits::Invalid()); }
  void reset(H AHandle = Traits::Invalid()) {
    H old = std::exchange(FHandle, AHandle);
    if (Traits::IsValid(old)) Traits::Close(old);
  }
  explicit operator bool() const { return Traits::IsValid(FHandle); }

 private:
  H FHandle = Traits::Invalid();
};

struct TKernelHandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
using THandle = TUniqueHandle<HANDLE, TKernelHandleTraits>;

struct TRegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static bool IsValid(HKEY h) { return h != nullptr; }
  static void Close(HKEY h) { RegCloseKey(h); }
};
using TRegKey = TUniqueHandle<HKEY, TRegKeyTraits>;

// Owner of a COM interface reference.
template <typename T>
class TComPtr {
 public:
  TComPtr() = default;
  explicit TComPtr(T* APointer, bool AAddRef = false) : FPtr(APointer) {
    if (FPtr && AAddRef) FPtr->AddRef();
  }
  ~TComPtr() { reset(); }
  TComPtr(const TComPtr& AOther) : FPtr(AOther.FPtr) {
    if (FPtr) FPtr->AddRef();
  }
  TComPtr& operator=(const TComPtr& AOther) {
    if (this != &AOther) {
      if (AOther.FPtr) AOther.FPtr->AddRef();
      reset(AOther.FPtr);
    }
    return *this;
  }
  TComPtr(TComPtr&& AOther) noexcept : FPtr(std::exchange(AOther.FPtr, nullptr)) {}
  TComPtr& operator=(TComPtr&& AOther) noexcept {
    if (this != &AOther) reset(std::exchange(AOther.FPtr, nullptr));
    return *this;
  }

  T* get() const { return FPtr; }
  T* operator->() const { return FPtr; }
  T** put() {
    reset();
    return &FPtr;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  void reset(T* APointer = nullptr) {
    T* old = std::exchange(FPtr, APointer);
    if (old) old->Release();
  }
  explicit operator bool() const { return FPtr != nullptr; }

 private:
  T* FPtr = nullptr;
};

// Owner of a BSTR.
class TBstr {
 public:
  TBstr() = default;
  ~TBstr() { SysFreeString(FValue); }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  BSTR* put() {
    SysFreeString(FValue);
    FValue = nullptr;
    return &FValue;
  }
  BSTR get() const { return FValue; }
  // The whole string, embedded NUL characters included.
  std::wstring str() const { return FValue ? std::wstring(FValue, SysStringLen(FValue)) : std::wstring(); }

 private:
  BSTR FValue = nullptr;
};

// Owner of a VARIANT, cleared with VariantClear.
class TVariant {
 public:
  TVariant() { VariantInit(&FValue); }
  ~TVariant() { VariantClear(&FValue); }
  TVariant(const TVariant&) = delete;
  TVariant& operator=(const TVariant&) = delete;
  VARIANT* get() { return &FValue; }
  const VARIANT* get() const { return &FValue; }

 private:
  VARIANT FValue;
};

// CoInitializeEx / CoUninitialize for the lifetime of the object.
class TComInit {
 public:
  explicit TComInit(DWORD AModel = COINIT_APARTMENTTHREADED) : FResult(CoInitializeEx(nullptr, AModel)) {}
  ~TComInit() {
    if (SUCCEEDED(FResult)) CoUninitialize();
  }
  TComInit(const TComInit&) = delete;
  TComInit& operator=(const TComInit&) = delete;

 private:
  HRESULT FResult;
};

// Runs a clean-up that has no owner type of its own when it goes out of scope, on every way out.
// The clean-up must not raise.
template <typename F>
class TScopeExit {
 public:
  explicit TScopeExit(F AAction) : FAction(std::move(AAction)) {}
  ~TScopeExit() { FAction(); }
  TScopeExit(const TScopeExit&) = delete;
  TScopeExit& operator=(const TScopeExit&) = delete;

 private:
  F FAction;
};

// A temporary file, deleted when the owner ends.
class TTempFile {
 public:
  TTempFile() = default;
  explicit TTempFile(std::wstring APath) : FPath(std::move(APath)) {}
  ~TTempFile() { reset(); }
  TTempFile(const TTempFile&) = delete;
  TTempFile& operator=(const TTempFile&) = delete;

  const std::wstring& Path() const { return FPath; }
  bool empty() const { return FPath.empty(); }
  void reset(std::wstring APath = {}) {
    if (!FPath.empty()) DeleteFileW(FPath.c_str());
    FPath = std::move(APath);
  }

 private:
  std::wstring FPath;
};

}  // namespace vantrel
