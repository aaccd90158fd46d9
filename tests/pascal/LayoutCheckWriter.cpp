// Writes the layout check program of a type library's import unit (see GenerateLayoutCheck), for
// the Pascal tests: VantrelLayoutCheck <library> <program file>. Exit code 0 when written.
#include <windows.h>

#include <cstdio>

#include "base/Zarvek_SysUtils.h"
#include "generators/ImportUnit.h"
#include "typelib/TypeLibLoader.h"
#include "generators/UnitExport.h"

using namespace vantrel;

int wmain(int AArgc, wchar_t** AArgv) {
  if (AArgc != 3) {
    fwprintf(stderr, L"usage: VantrelLayoutCheck <library> <program file>\n");
    return 2;
  }
  CoInitialize(nullptr);
  TComPtr<ITypeLib> lib;
  const HRESULT hr = LoadTypeLibraryFile(AArgv[1], lib);
  if (FAILED(hr)) {
    fwprintf(stderr, L"%ls\n", LoadErrorText(hr).c_str());
    return 1;
  }
  TObjectData data;
  data.Server = AArgv[1];
  TLineList lines;
  GenerateLayoutCheck(data, lib.get(), lines);
  try {
    SaveUnitFile(AArgv[2], lines);
  } catch (const std::exception& e) {
    fwprintf(stderr, L"%ls\n", ExceptionMessage(e).c_str());
    return 1;
  }
  return 0;
}
