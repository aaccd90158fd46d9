// The built Vantrel.exe with /SU, run as a script runs it: exit codes, files and messages, and
// damaged libraries that must end in a message rather than a crash.
#include <gtest/gtest.h>

#include <algorithm>

#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/tlbgen/GeneratorTestSupport.h"
#include "tests/tlbgen/LibraryData.h"
#include "tests/tlbgen/WrittenLibrary.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

const wchar_t kStdOleGuid[] = L"{00020430-0000-0000-C000-000000000046}";

TProcessResult RunProgram(const std::wstring& AArgs, const std::wstring& AFolder = {}) {
  return RunProcess(L"\"" + ProgramPath() + L"\" " + AArgs, 120000, AFolder);
}

std::wstring Quoted(const std::wstring& AText) { return L"\"" + AText + L"\""; }

// While it lives, a program that crashes ends at once instead of waiting for a debugger (which
// would also keep the output pipes of RunProcess open): the debugger command of the prefix is a
// command that does nothing. The previous command comes back afterwards.
class TNoDebugger {
 public:
  TNoDebugger() {
    for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
      HKEY key = nullptr;
      if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr) !=
          ERROR_SUCCESS) {
        continue;
      }
      TSaved saved{view, false, {}};
      wchar_t buffer[1024] = {};
      DWORD size = sizeof(buffer) - sizeof(wchar_t), type = 0;
      if (RegQueryValueExW(key, L"Debugger", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) == ERROR_SUCCESS) {
        saved.Existed = true;
        saved.Value = buffer;
      }
      const wchar_t command[] = L"cmd.exe /c rem %ld %ld";
      RegSetValueExW(key, L"Debugger", 0, REG_SZ, reinterpret_cast<const BYTE*>(command), sizeof(command));
      RegCloseKey(key);
      FSaved.push_back(saved);
    }
  }
  ~TNoDebugger() {
    for (const TSaved& saved : FSaved) {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS | saved.View, &key) != ERROR_SUCCESS) continue;
      if (saved.Existed) {
        RegSetValueExW(key, L"Debugger", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved.Value.c_str()),
                       static_cast<DWORD>((saved.Value.size() + 1) * sizeof(wchar_t)));
      } else {
        RegDeleteValueW(key, L"Debugger");
      }
      RegCloseKey(key);
    }
  }
  TNoDebugger(const TNoDebugger&) = delete;
  TNoDebugger& operator=(const TNoDebugger&) = delete;

 private:
  static constexpr const wchar_t* kKey = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug";
  struct TSaved {
    REGSAM View;
    bool Existed;
    std::wstring Value;
  };
  std::vector<TSaved> FSaved;
};

class UnitSwitch : public testing::Test {
 protected:
  TNoDebugger NoDebugger;
  TTempDir Temp;
};

}  // namespace

TEST_F(UnitSwitch, WritesTheUnitOfAFile) {
  const std::wstring source = FixturePath(L"Shapes.tlb");
  TProcessResult run = RunProgram(L"/SU " + Quoted(source) + L" " + Quoted(Temp.File(L"shapes.pas")));
  ASSERT_TRUE(run.Started);
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  EXPECT_EQ(run.StdErr, "");
  TStringList lines = ReadExpectedLines(L"tests\\tlbgen\\expected\\Shapes.pas");
  lines[0] = L"// typelib filename: " + source;
  lines[2] = L"// uid: ";
  lines[3] = L"// version: 0.0";
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\r\n";
  EXPECT_EQ(ReadFileBytes(Temp.File(L"shapes.pas")), "\xEF\xBB\xBF" + WideToCodePage(text, CP_UTF8));
}

TEST_F(UnitSwitch, ALibraryOfAFileIsNamedByItsNumber) {
  // A DLL that holds two libraries: "file\2" is the second, in every switch that reads one.
  const std::wstring source = FixturePath(L"TwoLibraries.dll") + L"\\2";
  struct Case {
    const wchar_t* Switch;
    const wchar_t* File;
    const char* Expected;
  } cases[] = {
      {L"/PAS", L"pens.pas", "\r\nunit PensLib_TLB;\r\n"},
      {L"/SU", L"pens-annotated.pas", "\r\nunit PensLib;\r\n"},
      {L"/IDL", L"pens.idl", "\nlibrary PensLib\n"},
  };
  for (const Case& c : cases) {
    TProcessResult run = RunProgram(std::wstring(c.Switch) + L" " + Quoted(source) + L" " + Quoted(Temp.File(c.File)));
    ASSERT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
    std::string text = ReadFileBytes(Temp.File(c.File));
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    std::string expected = c.Expected;
    expected.erase(std::remove(expected.begin(), expected.end(), '\r'), expected.end());
    EXPECT_NE(text.find(expected), std::string::npos) << WideToCodePage(c.Switch, CP_UTF8);
  }
}

TEST_F(UnitSwitch, LinesWithNulsAndLineBreaksAreWrittenWhole) {
  const std::wstring source = Temp.File(L"texts.tlb");
  {
    TComInit com;
    ASSERT_NO_THROW(WriteTextsLibrary(source));
  }
  TProcessResult run = RunProgram(L"/SU " + Quoted(source) + L" " + Quoted(Temp.File(L"texts.pas")));
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  TStringList lines = {L"// typelib filename: " + source,
                       L"",
                       L"// uid: ",
                       L"// version: 0.0",
                       kTextsHelpLine1,
                       kTextsHelpLine2,
                       L"// helpfile: ",
                       L"",
                       L"unit Texts;",
                       L"",
                       L"interface",
                       L"",
                       L"uses Windows, ActiveX, Classes;",
                       L""};
  for (const std::wstring& line : TextsDeclarations()) lines.push_back(line);
  for (const wchar_t* line : {L"", L"implementation", L"", L"end."}) lines.push_back(line);
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\r\n";
  const std::string bytes = ReadFileBytes(Temp.File(L"texts.pas"));
  EXPECT_EQ(bytes, "\xEF\xBB\xBF" + WideToCodePage(text, CP_UTF8));
  EXPECT_NE(bytes.find(std::string("before\0after the NUL", 20)), std::string::npos);
}

TEST_F(UnitSwitch, AFolderGetsTheUnitsOfEveryLibraryTheLibraryImports) {
  // Drawing imports Pens, found through its registration.
  const TRegisteredLibrary pens(FixturePath(L"Pens.tlb"));
  ASSERT_HRESULT_SUCCEEDED(pens.Result());
  const std::wstring folder = Temp.File(L"units\\");
  TProcessResult run = RunProgram(L"/PAS " + Quoted(FixturePath(L"Drawing.tlb")) + L" " + Quoted(folder));
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  const std::string drawing = ReadFileBytes(folder + L"DrawingLib_TLB.pas");
  EXPECT_NE(drawing.find("  PensLib_TLB;\r\n"), std::string::npos);
  EXPECT_NE(ReadFileBytes(folder + L"PensLib_TLB.pas").find("\r\nunit PensLib_TLB;\r\n"), std::string::npos);
}

TEST_F(UnitSwitch, LibrariesThatImportEachOtherGetUnitsThatDoNotUseEachOther) {
  const std::wstring a = Temp.File(L"MutualA.tlb"), b = Temp.File(L"MutualB.tlb");
  TMutualLibraries libraries(a, b);
  const std::wstring folder = Temp.File(L"units");
  CreateDirectoryW(folder.c_str(), nullptr);
  TProcessResult run = RunProgram(L"/PAS " + Quoted(a) + L" " + Quoted(folder));
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  const std::string unitA = ReadFileBytes(folder + L"\\MutualA_TLB.pas");
  const std::string unitB = ReadFileBytes(folder + L"\\MutualB_TLB.pas");
  // MutualA uses MutualB; MutualB, last by name, takes MutualA's interface as IUnknown.
  EXPECT_NE(unitA.find("  MutualB_TLB;\r\n"), std::string::npos) << unitA;
  EXPECT_NE(unitA.find("function Take(const item: MutualB_TLB.IBeta): HResult; stdcall;"), std::string::npos) << unitA;
  EXPECT_EQ(unitB.find("MutualA_TLB"), std::string::npos) << unitB;
  EXPECT_NE(unitB.find("function Take(const item: IUnknown): HResult; stdcall;"), std::string::npos) << unitB;
}

TEST_F(UnitSwitch, RegisteredLibraryGoesToItsNameInTheCurrentFolder) {
  TProcessResult run = RunProgram(L"-su " + std::wstring(kStdOleGuid), Temp.Path());
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  const std::string text = ReadFileBytes(Temp.File(L"stdole.pas"));
  EXPECT_EQ(text.substr(0, 24), "\xEF\xBB\xBF// typelib filename: ");
  EXPECT_NE(text.find("\r\n// uid: {00020430-0000-0000-C000-000000000046}\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nunit stdole;\r\n"), std::string::npos);
  const std::string footer = "\r\n\r\nimplementation\r\n\r\nend.\r\n";
  ASSERT_GT(text.size(), footer.size());
  EXPECT_EQ(text.substr(text.size() - footer.size()), footer);
}

TEST_F(UnitSwitch, RegisteredLibraryComesFromTheChosenRegistryView) {
  if (!Is64BitWindows()) GTEST_SKIP() << "one registry view only";
  // The program is of this test's build; the library is registered for the other view only.
  TRegistryFixture reg;
  TOtherViewLibrary library(reg);
  const bool own64 = ProcessRegView() == TRegView::rv64;
  TProcessResult run = RunProgram((own64 ? L"/32 /SU " : L"/64 /SU ") + library.Guid() + L" " +
                                      Quoted(Temp.File(L"shapes.pas")), Temp.Path());
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  EXPECT_NE(ReadFileBytes(Temp.File(L"shapes.pas")).find("\r\nunit ShapesLib;\r\n"), std::string::npos);
  run = RunProgram(L"/SU " + library.Guid() + (own64 ? L" -64 " : L" -32 ") + Quoted(Temp.File(L"none.pas")),
                   Temp.Path());
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 1u);
  // A 64-bit program falls back to the win32 registration, whose file its own folder lacks.
  const std::string code = own64 ? "(Error code: 0x" : "(Error code: 0x8002801D)";
  EXPECT_NE(run.StdErr.find(code), std::string::npos) << run.StdErr;
  EXPECT_FALSE(FileExists(Temp.File(L"none.pas")));
}

TEST_F(UnitSwitch, FailuresEndWithExitCodeOneAndTheMessage) {
  struct TCase {
    std::wstring Args;
    std::string Message;
  } cases[] = {
      {L"/SU " + Quoted(Temp.File(L"missing.tlb")) + L" " + Quoted(Temp.File(L"out.pas")),
       WideToCodePage(OleErrorText(E_NOTIMPL), CP_UTF8)},
      {L"/SU {bad} " + Quoted(Temp.File(L"out.pas")), "'{bad}' is not a valid GUID value"},
      {L"/SU " + Quoted(FixturePath(L"Shapes.tlb")) + L" " + Quoted(Temp.File(L"none\\out.pas")),
       WideToCodePage(Temp.File(L"none\\out.pas"), CP_UTF8)},
      {L"/SU", "/SU"},
  };
  for (const TCase& c : cases) {
    TProcessResult run = RunProgram(c.Args, Temp.Path());
    ASSERT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 1u) << WideToCodePage(c.Args, CP_UTF8);
    EXPECT_NE(run.StdErr.find(c.Message), std::string::npos) << run.StdErr;
  }
  EXPECT_FALSE(FileExists(Temp.File(L"out.pas")));
}

TEST_F(UnitSwitch, ImportUnitSwitchWritesTheUnitThatCompilesUnderItsNameAndFailsAsTheOtherDoes) {
  const std::wstring source = FixturePath(L"Shapes.tlb");
  TProcessResult run = RunProgram(L"-pas " + Quoted(source), Temp.Path());
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  const std::string text = ReadFileBytes(Temp.File(L"ShapesLib_TLB.pas"));
  EXPECT_EQ(text.rfind("\xEF\xBB\xBF// Import unit of the type library", 0), 0u);
  EXPECT_NE(text.find("\r\nunit ShapesLib_TLB;\r\n"), std::string::npos);
  EXPECT_NE(text.find("{$MODE DELPHI}"), std::string::npos);
  // The annotated unit and the import unit from one command line, each to its file.
  run = RunProgram(L"/SU " + Quoted(source) + L" a.pas /PAS " + Quoted(source) + L" b.pas", Temp.Path());
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  EXPECT_NE(ReadFileBytes(Temp.File(L"a.pas")).find("// typelib filename: "), std::string::npos);
  EXPECT_NE(ReadFileBytes(Temp.File(L"b.pas")).find("unit ShapesLib_TLB;"), std::string::npos);
  run = RunProgram(L"/PAS", Temp.Path());
  EXPECT_EQ(run.ExitCode, 1u);
  EXPECT_NE(run.StdErr.find("/PAS needs a type library"), std::string::npos) << run.StdErr;
  run = RunProgram(L"/PAS " + Quoted(Temp.File(L"missing.tlb")), Temp.Path());
  EXPECT_EQ(run.ExitCode, 1u);
  EXPECT_NE(run.StdErr.find(WideToCodePage(OleErrorText(E_NOTIMPL), CP_UTF8)), std::string::npos) << run.StdErr;
}

TEST_F(UnitSwitch, IdlSwitchWritesTheLibraryAsIdlWithoutAByteOrderMark) {
  TProcessResult run = RunProgram(L"/IDL " + Quoted(FixturePath(L"Shapes.tlb")), Temp.Path());
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  const std::string text = ReadFileBytes(Temp.File(L"ShapesLib.idl"));
  EXPECT_EQ(text.rfind("// IDL of the type library ShapesLib\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\nlibrary ShapesLib\r\n{\r\n    importlib(\"stdole2.tlb\");\r\n"), std::string::npos);
  EXPECT_NE(text.find("uuid(5C1D3A70-4B2E-4F60-9A81-0000000000A1)"), std::string::npos);
  run = RunProgram(L"-idl", Temp.Path());
  EXPECT_EQ(run.ExitCode, 1u);
  EXPECT_NE(run.StdErr.find("/IDL needs a type library"), std::string::npos) << run.StdErr;
}

TEST_F(UnitSwitch, DamagedLibrariesEndInAMessageNotACrash) {
  // On copies like these the platform's loader crashes or hangs about every other time.
  struct TSource {
    std::wstring Path;
    uint32_t Seed;
  } sources[] = {{SystemDirectoryPath() + L"stdole2.tlb", 7}, {FixturePath(L"Shapes.tlb"), 8}};
  int loaded = 0, refused = 0;
  for (const TSource& source : sources) {
    const std::string data = ReadLibraryData(source.Path);
    ASSERT_FALSE(data.empty());
    int index = 0;
    for (const std::string& copy : DamagedCopies(data, source.Seed, 24)) {
      const std::wstring file = Temp.File(L"damaged" + std::to_wstring(index++) + L".tlb");
      WriteFileText(file, copy);
      TProcessResult run = RunProgram(L"/SU " + Quoted(file) + L" " + Quoted(Temp.File(L"out.pas")));
      ASSERT_FALSE(run.TimedOut) << WideToCodePage(file, CP_UTF8);
      EXPECT_TRUE(run.ExitCode == 0 || run.ExitCode == 1) << WideToCodePage(file, CP_UTF8) << " " << run.ExitCode;
      if (run.ExitCode == 1) {
        ++refused;
        EXPECT_NE(run.StdErr.find("(Error code: 0x"), std::string::npos) << run.StdErr;
      } else if (run.ExitCode == 0) {
        ++loaded;
      }
    }
  }
  EXPECT_GT(refused, 0);
  EXPECT_GT(loaded, 0);
}
