// Loading the object class and interface catalogs against the plainest loop over the same keys.
//   bench_registry --populate N [FIRST]   registers classes and named interfaces FIRST..N-1 (not timed)
//   bench_registry                 measures
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "bench/support/BenchSupport.h"
#include "catalog/ObjectCatalog.h"
#include "catalog/Zarvek_RegUtils.h"

using namespace vantrel;
using namespace vantrel::bench;

namespace {

std::wstring Guid(const wchar_t* APrefix, int AIndex) {
  wchar_t text[64];
  swprintf(text, 64, L"{%ls-0000-4000-8000-%012d}", APrefix, AIndex);
  return text;
}

void SetDefault(HKEY ARoot, const std::wstring& APath, REGSAM AView, const std::wstring& AText) {
  HKEY key;
  if (RegCreateKeyExW(ARoot, APath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | AView, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return;
  }
  if (!AText.empty()) {
    RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(AText.c_str()),
                   static_cast<DWORD>((AText.size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
}

void Populate(int AFirst, int ACount) {
  const std::wstring classes = L"Software\\Classes\\";
  for (int i = AFirst; i < ACount; ++i) {
    // Both views hold every entry, so that switching views reads catalogs of the same size.
    std::wstring clsid = classes + L"CLSID\\" + Guid(L"BE0C1A55", i);
    std::wstring intf = classes + L"Interface\\" + Guid(L"BE0C1F00", i);
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      SetDefault(HKEY_LOCAL_MACHINE, clsid, view, L"Bench Class " + std::to_wstring(i));
      SetDefault(HKEY_LOCAL_MACHINE, clsid + L"\\InprocServer32", view, L"C:\\bench\\server.dll");
      SetDefault(HKEY_LOCAL_MACHINE, intf, view, L"IBenchInterface" + std::to_wstring(i));
      SetDefault(HKEY_LOCAL_MACHINE, intf + L"\\ProxyStubClsid32", view, L"{00020424-0000-0000-C000-000000000046}");
    }
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wcscmp(argv[1], L"--populate") == 0) {
    Populate(argc >= 4 ? _wtoi(argv[3]) : 0, _wtoi(argv[2]));
    return 0;
  }
  const TRegView view = ProcessRegView();
  TObjects list;
  LoadCLSIDList(list, view);
  std::printf("object classes: %zu, ", list.size());
  LoadInterfaceList(list, view);
  std::printf("named interfaces: %zu\n", list.size());
  Compare("LoadCLSIDList", "raw loop", 7, [&] { LoadCLSIDList(list, view); }, [] { RawDefaultValueLoop(L"CLSID"); });
  Compare("LoadInterfaceList", "raw loop", 7, [&] { LoadInterfaceList(list, view); },
          [&] { RawDefaultValueLoop(L"Interface"); });
  if (Is64BitWindows()) {
    // The other registry view, against the same loop in that view.
    const TRegView other = view == TRegView::rv64 ? TRegView::rv32 : TRegView::rv64;
    const REGSAM flag = other == TRegView::rv64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
    Compare("LoadCLSIDList, other view", "raw loop in that view", 7, [&] { LoadCLSIDList(list, other); },
            [&] { RawDefaultValueLoop(L"CLSID", flag); });
    Compare("LoadInterfaceList, other view", "raw loop in that view", 7, [&] { LoadInterfaceList(list, other); },
            [&] { RawDefaultValueLoop(L"Interface", flag); });
  }
  return 0;
}
