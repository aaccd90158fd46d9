// Shared helpers of the generator tests: running the generator and reading expected units.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "base/Zarvek_StrUtils.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/tlbgen/FakeTypeLib.h"
#include "generators/TLBGenerator.h"

namespace vantrel::test {

struct TGenerated {
  TStringList Lines;
  std::wstring UnitName;
};

// The unit of a library; with a fake, also checks that everything handed out came back.
TGenerated GenerateUnit(ITypeLib* ALib, const TObjectData& AData = {});
TGenerated GenerateUnit(TFakeLibrary& ALib, const TObjectData& AData = {});

// The lines between the 13 header rows and the 4 footer rows.
TStringList Declarations(const TStringList& ALines);

// A text file of the source tree (UTF-8, LF or CR LF) as lines.
TStringList ReadExpectedLines(const std::wstring& ARelativePath);

// The system's text for a code as the generator writes it when a type cannot be read,
// worked out here from FormatMessage.
std::wstring ExpectedMessageLine(HRESULT ACode);

// Lines joined by LF, for readable failure messages.
std::string Joined(const TStringList& ALines);

// The type libraries that ship with Wine, by file name.
extern const wchar_t* const kWineLibraries[25];
// Those found in the system folder of this process and in the one of the other bitness.
std::vector<std::wstring> WineLibraryFiles();

// A fixture built by widl at build time.
std::wstring FixturePath(const std::wstring& AName);

// The Shapes fixture registered for the programs of the other registry view only (win64 from a
// 32-bit process, win32 from a 64-bit one), named as those programs name it: in the system folder,
// which they reach as their own. The file lies in the other view's system folder only.
class TOtherViewLibrary {
 public:
  explicit TOtherViewLibrary(TRegistryFixture& AReg);
  const std::wstring& Guid() const { return FGuid; }
  const std::wstring& File() const { return FCopy.Path(); }  // the path this process reads

 private:
  std::wstring FName, FGuid;
  TFileCopy FCopy;
};

// A library file registered as LoadTypeLibEx registers it, for one test; unregistered when it goes.
class TRegisteredLibrary {
 public:
  explicit TRegisteredLibrary(const std::wstring& APath);
  ~TRegisteredLibrary();
  TRegisteredLibrary(const TRegisteredLibrary&) = delete;
  TRegisteredLibrary& operator=(const TRegisteredLibrary&) = delete;
  HRESULT Result() const { return FResult; }
  const TLIBATTR& Attr() const { return FAttr; }
  // The file the registration names, as QueryPathOfRegTypeLib answers; empty without one.
  std::wstring RegisteredPath() const;

 private:
  HRESULT FResult = E_FAIL;
  TLIBATTR FAttr = {};
};

}  // namespace vantrel::test
