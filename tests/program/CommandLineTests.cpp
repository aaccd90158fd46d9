// The built Vantrel.exe, run as a user or a script runs it.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <cstring>

#include "base/Zarvek_SysUtils.h"
#include "catalog/RegistrationCheck.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/ProgramWindows.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

const wchar_t* const kCsvFiles[] = {L"AppIds.csv", L"Intfs.csv", L"ObjClasses.csv", L"TypeLibs.csv", L"Problems.csv"};

// Reads a default value the plain way, for an expectation independent of the program's code.
bool RawDefaultText(HKEY AKey, std::wstring& AText) {
  DWORD type = 0, size = 0;
  AText.clear();
  if (RegQueryValueExW(AKey, nullptr, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return true;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  std::wstring buffer(size / 2 + 1, L'\0');
  RegQueryValueExW(AKey, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
  AText = buffer.c_str();
  return true;
}

std::vector<std::wstring> RawSubkeys(HKEY AKey) {
  std::vector<std::wstring> names;
  wchar_t name[512];
  for (DWORD i = 0;; ++i) {
    DWORD length = 512;
    if (RegEnumKeyExW(AKey, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  return names;
}

std::string CsvLine(const std::wstring& AName, const std::wstring& AGuid) {
  return WideToCodePage((IsBlankText(AName) ? AGuid : AName) + L";" + AGuid + L"\r\n", CP_ACP);
}

std::string ExpectedAppIds() {
  std::string csv = "Name;GUID\r\n";
  HKEY root;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"AppID", 0, KEY_READ, &root) != ERROR_SUCCESS) return csv;
  for (const std::wstring& guid : RawSubkeys(root)) {
    HKEY key;
    if (RegOpenKeyExW(root, guid.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    std::wstring name;
    EXPECT_TRUE(RawDefaultText(key, name));
    RegCloseKey(key);
    csv += CsvLine(name, guid);
  }
  RegCloseKey(root);
  return csv;
}

std::string ExpectedTypeLibs() {
  std::string csv = "Name;GUID\r\n";
  HKEY root;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, L"TypeLib", 0, KEY_READ, &root) != ERROR_SUCCESS) return csv;
  for (const std::wstring& guid : RawSubkeys(root)) {
    HKEY key;
    if (RegOpenKeyExW(root, guid.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    std::vector<std::wstring> versions = RawSubkeys(key);
    // Listed under the highest version, read as the platform reads version keys.
    size_t highest = 0;
    unsigned bestMajor = 0, bestMinor = 0;
    for (size_t i = 0; i < versions.size(); ++i) {
      unsigned major = 0, minor = 0;
      if (swscanf(versions[i].c_str(), L"%x.%x", &major, &minor) == 2 &&
          (major > bestMajor || (major == bestMajor && minor > bestMinor))) {
        highest = i;
        bestMajor = major;
        bestMinor = minor;
      }
    }
    HKEY version;
    if (!versions.empty() && RegOpenKeyExW(key, versions[highest].c_str(), 0, KEY_READ, &version) == ERROR_SUCCESS) {
      std::wstring name;
      EXPECT_TRUE(RawDefaultText(version, name));
      RegCloseKey(version);
      csv += CsvLine(name, guid);
    }
    RegCloseKey(key);
  }
  RegCloseKey(root);
  return csv;
}

class ProgramRun : public testing::Test {
 protected:
  void SetUp() override { RemoveCsvFiles(); }
  void TearDown() override { RemoveCsvFiles(); }
  static std::wstring NextToProgram(const std::wstring& AName) { return ExtractFilePath(ProgramPath()) + AName; }
  static void RemoveCsvFiles() {
    for (const wchar_t* name : kCsvFiles) {
      DeleteFileW(NextToProgram(name).c_str());
      RemoveDirectoryW(NextToProgram(name).c_str());
    }
  }
  static TProcessResult Run(const std::wstring& AArgs) {
    return RunProcess(L"\"" + ProgramPath() + L"\" " + AArgs, 120000);
  }
};

}  // namespace

TEST_F(ProgramRun, ExportsAppIdsAndTypeLibsWithoutAWindow) {
  TRegistryFixture reg;
  reg.SetString(L"AppID\\" + NewGuid(), L"", L"Semi;colon \"app\"");
  reg.SetString(L"TypeLib\\" + NewGuid() + L"\\1.0", L"", L"Fixture Library");
  TProcessResult run = Run(L"/st -SA");
  ASSERT_TRUE(run.Started);
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  std::string appIds = ReadFileBytes(NextToProgram(L"AppIds.csv"));
  std::string typeLibs = ReadFileBytes(NextToProgram(L"TypeLibs.csv"));
  // The expectation quotes the one field with a semicolon and quotes; every other line is plain.
  std::string expectedAppIds = ExpectedAppIds();
  const std::string plain = "Semi;colon \"app\";";
  size_t special = expectedAppIds.find(plain);
  ASSERT_NE(special, std::string::npos);
  expectedAppIds.replace(special, plain.size(), "\"Semi;colon \"\"app\"\"\";");
  EXPECT_EQ(appIds, expectedAppIds);
  EXPECT_EQ(typeLibs, ExpectedTypeLibs());
  EXPECT_NE(typeLibs.find("Fixture Library;"), std::string::npos);
  EXPECT_FALSE(FileExists(NextToProgram(L"ObjClasses.csv")));
  EXPECT_FALSE(FileExists(NextToProgram(L"Intfs.csv")));
}

TEST_F(ProgramRun, LoaderErrorIsReportedAndTheOtherSwitchesStillRun) {
  TUnreadableKey denied(L"AppID");
  TProcessResult run = Run(L"-sa /SO");
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 1u);
  EXPECT_NE(run.StdErr.find("HKEY_CLASSES_ROOT\\AppID cannot be read"), std::string::npos) << run.StdErr;
  EXPECT_FALSE(FileExists(NextToProgram(L"AppIds.csv")));
  EXPECT_TRUE(FileExists(NextToProgram(L"ObjClasses.csv")));
}

TEST_F(ProgramRun, UnwritableFileIsReportedAndTheOtherSwitchesStillRun) {
  CreateDirectoryW(NextToProgram(L"Intfs.csv").c_str(), nullptr);
  TProcessResult run = Run(L"/SI /ST");
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 1u);
  EXPECT_NE(run.StdErr.find("Intfs.csv"), std::string::npos) << run.StdErr;
  EXPECT_TRUE(FileExists(NextToProgram(L"TypeLibs.csv")));
}

TEST_F(ProgramRun, EachRegistryViewExportsItsOwnClasses) {
  if (!Is64BitWindows()) GTEST_SKIP() << "one registry view only";
  TRegistryFixture reg;
  const std::wstring only32 = NewGuid(), only64 = NewGuid();
  reg.SetString(L"CLSID\\" + only32, L"", L"Only 32", TView::v32);
  reg.SetString(L"CLSID\\" + only64, L"", L"Only 64", TView::v64);
  auto listed = [](const std::string& ACsv, const std::wstring& AGuid) {
    return ACsv.find(WideToCodePage(AGuid, CP_ACP)) != std::string::npos;
  };
  TProcessResult run = Run(L"/64 /SO");
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  const std::string sixtyFour = ReadFileBytes(NextToProgram(L"ObjClasses.csv"));
  EXPECT_TRUE(listed(sixtyFour, only64));
  EXPECT_FALSE(listed(sixtyFour, only32));
  run = Run(L"/so -32");
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  const std::string thirtyTwo = ReadFileBytes(NextToProgram(L"ObjClasses.csv"));
  EXPECT_TRUE(listed(thirtyTwo, only32));
  EXPECT_FALSE(listed(thirtyTwo, only64));
  // Without a switch, the program's own view.
  run = Run(L"/SO");
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  EXPECT_EQ(ReadFileBytes(NextToProgram(L"ObjClasses.csv")), ProcessRegView() == TRegView::rv64 ? sixtyFour : thirtyTwo);
  run = Run(L"/32 /SO /64");
  EXPECT_EQ(run.ExitCode, 1u);
  EXPECT_NE(run.StdErr.find("/32 and /64 cannot be combined"), std::string::npos) << run.StdErr;
}

TEST_F(ProgramRun, TheOtherBuildExportsTheViewOfItsOwnPrograms) {
  VANTREL_SKIP_WITHOUT_32BIT_PROGRAMS("the 32-bit build does not run");
  if (!Is64BitWindows()) GTEST_SKIP() << "one registry view only";
  const bool own64 = ProcessRegView() == TRegView::rv64;
  const std::wstring otherProgram =
      ExpandFileName(BinaryPath(own64 ? L"..\\i686\\bin\\Vantrel.exe" : L"..\\x86_64\\bin\\Vantrel.exe"));
  if (!FileExists(otherProgram)) GTEST_SKIP() << "no build of the other bitness beside this one";
  TRegistryFixture reg;
  const std::wstring onlyOther = NewGuid();
  reg.SetString(L"CLSID\\" + onlyOther, L"", L"Only in the other view", FixtureView(OtherRegView()));
  // The other build writes without a switch the file this one writes when asked for its view.
  TProcessResult run = Run(own64 ? L"/32 /SO" : L"/64 /SO");
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  const std::string asked = ReadFileBytes(NextToProgram(L"ObjClasses.csv"));
  EXPECT_NE(asked.find(WideToCodePage(onlyOther, CP_ACP)), std::string::npos);
  const std::wstring otherCsv = ExtractFilePath(otherProgram) + L"ObjClasses.csv";
  DeleteFileW(otherCsv.c_str());
  run = RunProcess(L"\"" + otherProgram + L"\" /SO", 120000);
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  EXPECT_EQ(ReadFileBytes(otherCsv), asked);
  DeleteFileW(otherCsv.c_str());
}

TEST_F(ProgramRun, ViewSwitchAloneOpensTheWindowInThatView) {
  if (!Is64BitWindows()) GTEST_SKIP() << "one registry view only";
  const bool own64 = ProcessRegView() == TRegView::rv64;
  PROCESS_INFORMATION info = {};
  HWND window = StartProgramWindow(own64 ? L"/32 not-a-switch" : L"/64 not-a-switch", info);
  ASSERT_NE(window, nullptr) << "no main window appeared";
  // The status bar names the view on screen.
  HWND statusBar = FindWindowExW(window, nullptr, STATUSCLASSNAMEW, nullptr);
  ASSERT_NE(statusBar, nullptr);
  EXPECT_EQ(RemoteStatusText(info.hProcess, statusBar, 2), own64 ? L"32-bit Registry" : L"64-bit Registry");
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 30000), WAIT_OBJECT_0);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
}

TEST_F(ProgramRun, UnknownParameterOpensTheMainWindow) {
  PROCESS_INFORMATION info = {};
  HWND window = StartProgramWindow(L"/x", info);
  ASSERT_NE(window, nullptr) << "no main window appeared";
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(info.hProcess, 30000), WAIT_OBJECT_0);
  DWORD exitCode = 99;
  GetExitCodeProcess(info.hProcess, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  for (const wchar_t* name : kCsvFiles) EXPECT_FALSE(FileExists(NextToProgram(name)));
}

TEST_F(ProgramRun, ProblemsSwitchWritesTheCheckOfTheViewAskedForWithoutAWindow) {
  TRegistryFixture reg;
  const std::wstring both = NewGuid(), only32 = NewGuid(), only64 = NewGuid();
  reg.SetString(L"CLSID\\" + both, L"", L"Program run class");
  reg.SetString(L"CLSID\\" + both + L"\\InprocServer32", L"", L"C:\\no\\such\\server.dll");
  reg.SetString(L"CLSID\\" + only32 + L"\\LocalServer32", L"", L"\"C:\\No Vendor\\x;y.exe\" /automation", TView::v32);
  reg.SetString(L"CLSID\\" + only64, L"", L"Class \"64\"", TView::v64);
  reg.SetString(L"CLSID\\" + only64 + L"\\TypeLib", L"", L"{00000000-0000-0000-0000-00000000BAD1}", TView::v64);
  const std::string line = "Object Classes;Program run class;" + WideToCodePage(both, CP_ACP) +
                           ";Server file not found;C:\\no\\such\\server.dll\r\n";
  const std::string line32 = "Object Classes;" + WideToCodePage(only32, CP_ACP) + ";" + WideToCodePage(only32, CP_ACP) +
                             ";Server file not found;\"\"\"C:\\No Vendor\\x;y.exe\"\" /automation\"\r\n";
  const std::string line64 = "Object Classes;\"Class \"\"64\"\"\";" + WideToCodePage(only64, CP_ACP) +
                             ";Type library not registered;{00000000-0000-0000-0000-00000000BAD1}\r\n";
  TStringList environment;
  ReadEnvironmentBlock(environment);
  struct TCase {
    const wchar_t* Switches;
    TRegView View;
  } cases[] = {{L"/SP", ProcessRegView()}, {L"/32 /SP", TRegView::rv32}, {L"/SP /64", TRegView::rv64}};
  for (const TCase& c : cases) {
    if (c.View == TRegView::rv64 && !Is64BitWindows()) continue;
    SCOPED_TRACE(testing::PrintToString(std::wstring(c.Switches)));
    TProcessResult run = Run(c.Switches);
    ASSERT_TRUE(run.Started);
    ASSERT_FALSE(run.TimedOut);
    EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
    const std::string text = ReadFileBytes(NextToProgram(L"Problems.csv"));
    // Byte for byte what the check finds in that view, the fixture's lines among it.
    EXPECT_EQ(text, FormatProblemsCsv(CheckRegistrations(c.View, environment)));
    EXPECT_EQ(text.rfind("Catalog;Name;GUID;Problem;Value\r\n", 0), 0u);
    EXPECT_NE(text.find(line), std::string::npos);
    EXPECT_EQ(text.find(line32) != std::string::npos, c.View == TRegView::rv32);
    EXPECT_EQ(text.find(line64) != std::string::npos, c.View == TRegView::rv64);
    EXPECT_FALSE(FileExists(NextToProgram(L"ObjClasses.csv")));
  }
}

TEST(ProgramImage, IsTerminalServerAware) {
  // Without the flag a terminal server hands the program a per-user Windows folder.
  const std::string image = ReadFileBytes(ProgramPath());
  ASSERT_GT(image.size(), 0x200u);
  IMAGE_DOS_HEADER dos;
  std::memcpy(&dos, image.data(), sizeof(dos));
  ASSERT_EQ(dos.e_magic, IMAGE_DOS_SIGNATURE);
  const size_t nt = static_cast<size_t>(dos.e_lfanew);
  ASSERT_LT(nt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER) + sizeof(WORD), image.size());
  WORD magic = 0;
  std::memcpy(&magic, image.data() + nt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER), sizeof(magic));
  // DllCharacteristics sits at the same offset in both optional header formats.
  const size_t at = nt + sizeof(DWORD) + sizeof(IMAGE_FILE_HEADER) + offsetof(IMAGE_OPTIONAL_HEADER32, DllCharacteristics);
  ASSERT_TRUE(magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC || magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC);
  WORD characteristics = 0;
  std::memcpy(&characteristics, image.data() + at, sizeof(characteristics));
  EXPECT_TRUE(characteristics & IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE);
  wchar_t windows[MAX_PATH] = {};
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  EXPECT_TRUE(SameTextAscii(WindowsDirectoryPath(), IncludeTrailingPathDelimiter(windows)));
}
