#include "typelib/TypeLibLoader.h"

#include <algorithm>

#include <cstring>
#include <cwchar>

#include "catalog/DetailReaders.h"
#include "catalog/ServerPaths.h"
#include "catalog/Zarvek_RegUtils.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"

namespace vantrel {

namespace {

// The data the platform's loader reads for a path, held open as long as the object lives: the
// TYPELIB resource of a program or DLL, else the whole file. A path ending in "\N" (digits only)
// names resource N of the file before it, as the loader reads such paths.
class TLibraryImage {
 public:
  explicit TLibraryImage(const std::wstring& APath) {
    std::wstring file = APath;
    int index = 1;
    size_t slash = APath.rfind(L'\\');
    if (slash != std::wstring::npos && slash + 1 < APath.size()) {
      std::wstring_view tail = std::wstring_view(APath).substr(slash + 1);
      bool digits = tail.size() <= 9;
      for (wchar_t c : tail) digits = digits && c >= L'0' && c <= L'9';
      if (digits) {
        index = static_cast<int>(std::wcstol(std::wstring(tail).c_str(), nullptr, 10));
        file = APath.substr(0, slash);
      }
    }
    FModule = LoadLibraryExW(file.c_str(), nullptr,
                             DONT_RESOLVE_DLL_REFERENCES | LOAD_LIBRARY_AS_DATAFILE | LOAD_WITH_ALTERED_SEARCH_PATH);
    if (FModule) {
      HRSRC resource = FindResourceW(FModule, MAKEINTRESOURCEW(index), L"TYPELIB");
      HGLOBAL loaded = resource ? LoadResource(FModule, resource) : nullptr;
      FData = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
      FSize = FData ? SizeofResource(FModule, resource) : 0;
      return;
    }
    FFile.reset(CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!FFile) return;
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(FFile.get(), &size) || size.QuadPart == 0 || size.QuadPart > 0x7FFFFFFF) return;
    FMapping.reset(CreateFileMappingW(FFile.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!FMapping) return;
    FView = MapViewOfFile(FMapping.get(), FILE_MAP_READ, 0, 0, 0);
    FData = static_cast<const BYTE*>(FView);
    FSize = FData ? static_cast<size_t>(size.QuadPart) : 0;
  }
  ~TLibraryImage() {
    if (FView) UnmapViewOfFile(FView);
    if (FModule) FreeLibrary(FModule);
  }
  TLibraryImage(const TLibraryImage&) = delete;
  TLibraryImage& operator=(const TLibraryImage&) = delete;

  const BYTE* Data() const { return FData; }
  size_t Size() const { return FSize; }

 private:
  HMODULE FModule = nullptr;
  THandle FFile;
  THandle FMapping;
  void* FView = nullptr;
  const BYTE* FData = nullptr;
  size_t FSize = 0;
};

// True for a path through Sysnative, which a 32-bit process uses to reach the 64-bit system
// folder: Wine's loader turns it back into System32 and so misses the file.
bool IsSysnativePath(const std::wstring& APath) {
  const std::wstring folder = WindowsDirectoryPath() + L"Sysnative\\";
  return APath.size() > folder.size() && SameTextAscii(std::wstring_view(APath).substr(0, folder.size()), folder);
}

// Loads data that has been checked: a sound library from its path, an unsafe one not at all, and a
// repairable one (or one the platform's loader cannot reach by its path) from a copy in a
// temporary file.
HRESULT LoadCheckedLibrary(const std::wstring& APath, TComPtr<ITypeLib>& ALib) {
  ALib.reset();
  std::wstring loadPath = APath;
  // The loader reads the whole file at once and keeps nothing of it open: the copy goes at the end.
  TTempFile copyFile;
  {
    TLibraryImage image(APath);
    if (image.Data()) {
      TLibraryCheck check = CheckTypeLibraryData(image.Data(), image.Size());
      if (check.Verdict == TLibraryVerdict::Unsafe) return TYPE_E_CANTLOADLIBRARY;
      const bool repair = check.Verdict == TLibraryVerdict::Repairable;
      if (repair || IsSysnativePath(APath)) {
        wchar_t folder[MAX_PATH + 1];
        DWORD length = GetTempPathW(MAX_PATH + 1, folder);
        GUID id;
        if (length == 0 || length > MAX_PATH || FAILED(CoCreateGuid(&id))) return TYPE_E_CANTLOADLIBRARY;
        wchar_t name[40];
        StringFromGUID2(id, name, 40);
        copyFile.reset(std::wstring(folder, length) + L"vantrel-" + name + L".tlb");
        try {
          WriteFileBytes(copyFile.Path(),
                         repair ? RepairTypeLibraryData(image.Data(), image.Size(), check)
                                : std::string(reinterpret_cast<const char*>(image.Data()), image.Size()));
        } catch (const EFileError&) {
          return TYPE_E_CANTLOADLIBRARY;
        }
        loadPath = copyFile.Path();
      }
    }
  }
  ITypeLib* lib = nullptr;
  // LoadTypeLib would register a library given by a relative path; the program only reads.
  HRESULT hr = LoadTypeLibEx(loadPath.c_str(), REGKIND_NONE, &lib);
  if (SUCCEEDED(hr) && !lib) hr = E_POINTER;
  if (SUCCEEDED(hr)) ALib.reset(lib);
  return hr;
}

// LoadRegTypeLib, with the registered file checked like any other.
HRESULT LoadRegisteredLibrary(const GUID& AGuid, WORD AMajor, WORD AMinor, TComPtr<ITypeLib>& ALib) {
  ALib.reset();
  TBstr path;
  if (SUCCEEDED(QueryPathOfRegTypeLib(AGuid, AMajor, AMinor, kTypeLibLocale, path.put())) && path.get()) {
    const std::wstring file = path.str();
    TLibraryImage image(file);
    const TLibraryVerdict verdict =
        image.Data() ? CheckTypeLibraryData(image.Data(), image.Size()).Verdict : TLibraryVerdict::Sound;
    if (verdict == TLibraryVerdict::Unsafe) return TYPE_E_CANTLOADLIBRARY;
    if (verdict == TLibraryVerdict::Repairable) {
      HRESULT hr = LoadCheckedLibrary(file, ALib);
      if (FAILED(hr)) return hr;
      // The version rule of LoadRegTypeLib: the same major version, at least the minor one.
      TLIBATTR* attr = nullptr;
      if (SUCCEEDED(ALib->GetLibAttr(&attr)) && attr) {
        const bool mismatch = attr->wMajorVerNum != AMajor || attr->wMinorVerNum < AMinor;
        ALib->ReleaseTLibAttr(attr);
        if (mismatch) {
          ALib.reset();
          return TYPE_E_LIBNOTREGISTERED;
        }
      }
      return hr;
    }
  }
  ITypeLib* lib = nullptr;
  HRESULT hr = LoadRegTypeLib(AGuid, AMajor, AMinor, kTypeLibLocale, &lib);
  if (SUCCEEDED(hr) && !lib) hr = E_POINTER;
  if (SUCCEEDED(hr)) ALib.reset(lib);
  return hr;
}

}  // namespace

HRESULT LoadTypeLibraryFile(const std::wstring& APath, TComPtr<ITypeLib>& ALib) {
  return LoadCheckedLibrary(APath, ALib);
}

std::wstring RegisteredLibraryPath(std::wstring_view AGuid, WORD AMajor, WORD AMinor, TRegView AView) {
  const std::wstring key = L"TypeLib\\" + std::wstring(AGuid);
  TStringList versions;
  ListSubkeys(HKEY_CLASSES_ROOT, key, versions, AView);
  const std::wstring* best = nullptr;
  unsigned bestMinor = 0;
  for (const std::wstring& version : versions) {
    unsigned major = 0, minor = 0;
    wchar_t rest = 0;
    if (swscanf(version.c_str(), L"%x.%x%lc", &major, &minor, &rest) != 2 || major != AMajor || minor < AMinor) {
      continue;
    }
    if (minor == AMinor) {
      best = &version;
      break;
    }
    if (!best || minor > bestMinor) {
      best = &version;
      bestMinor = minor;
    }
  }
  return best ? RegisteredTypeLibFile(key + L"\\" + *best, AView) : std::wstring();
}

HRESULT LoadTypeLibraryFor(const TObjectData& AData, TComPtr<ITypeLib>& ALib, TRegView AView) {
  ALib.reset();
  HRESULT hr = E_NOTIMPL;
  if (!IsBlankText(AData.TypeLib)) {
    GUID guid = StringToGUID(AData.TypeLib);
    const WORD major = static_cast<WORD>(AData.MajorVersion & 0xFFFF);
    const WORD minor = static_cast<WORD>(AData.MinorVersion & 0xFFFF);
    if (AView == ProcessRegView()) {
      hr = LoadRegisteredLibrary(guid, major, minor, ALib);
    } else {
      // The platform's loader reads the registration of the process's own platform only.
      const std::wstring path = RegisteredLibraryPath(Trim(AData.TypeLib), major, minor, AView);
      hr = path.empty() ? TYPE_E_LIBNOTREGISTERED : LoadTypeLibraryFile(ViewFilePath(path, AView), ALib);
    }
  }
  if (FAILED(hr)) {
    // The server found as the view's programs find it, never in this program's current folder.
    const std::wstring file = LocateTypeLibraryFile(SplitServerCommand(AData.Server, AView).Path, AView);
    if (!file.empty()) hr = LoadTypeLibraryFile(file, ALib);
  }
  return hr;
}

namespace {

BOOL CALLBACK CollectResourceNumber(HMODULE, LPCWSTR, LPWSTR AName, LONG_PTR AParam) {
  // The loader reaches a library by its number ("x.dll\2"); named ones it cannot reach.
  if (IS_INTRESOURCE(AName)) {
    reinterpret_cast<std::vector<int>*>(AParam)->push_back(static_cast<int>(reinterpret_cast<ULONG_PTR>(AName)));
  }
  return TRUE;
}

}  // namespace

std::vector<int> TypeLibraryResources(const std::wstring& APath) {
  std::vector<int> numbers;
  HMODULE module = LoadLibraryExW(APath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) module = LoadLibraryExW(APath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!module) return numbers;
  EnumResourceNamesW(module, L"TYPELIB", CollectResourceNumber, reinterpret_cast<LONG_PTR>(&numbers));
  FreeLibrary(module);
  std::sort(numbers.begin(), numbers.end());
  return numbers;
}

std::wstring LoadErrorText(HRESULT ACode) { return OleErrorText(ACode); }

TLibraryCheck CheckTypeLibraryFile(const std::wstring& APath) {
  TLibraryImage image(APath);
  if (!image.Data()) return TLibraryCheck();
  return CheckTypeLibraryData(image.Data(), image.Size());
}

}  // namespace vantrel
