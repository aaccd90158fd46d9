#include <gtest/gtest.h>

#include "catalog/ServerPaths.h"
#include "base/Zarvek_Handles.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

TEST(SplitServerCommand, QuotesAndArgumentsAreSeparatedFromThePath) {
  TTempDir temp;
  CreateDirectoryW(temp.File(L"Program Files").c_str(), nullptr);
  const std::wstring exe = temp.File(L"Program Files\\x.exe"), dll = temp.File(L"Program Files\\y z.dll");
  WriteFileText(exe, "MZ");
  WriteFileText(dll, "MZ");
  struct Case {
    std::wstring server, path, arguments;
  } cases[] = {
      {L"\"" + exe + L"\" /automation", exe, L"/automation"},
      {L"  \"" + exe + L"\"  ", exe, L""},
      {exe + L" /automation -embedding", exe, L"/automation -embedding"},  // unquoted, blanks in the path
      {dll, dll, L""},
      {dll + L" extra", dll, L"extra"},
      {L"C:\\missing\\server.exe /automation", L"C:\\missing\\server.exe", L"/automation"},
      {L"C:\\missing folder\\server.dll", L"C:\\missing folder\\server.dll", L""},
      {L"C:\\a - b\\server.dll", L"C:\\a - b\\server.dll", L""},
      {L"\"unterminated", L"unterminated", L""},
      {L"", L"", L""},
  };
  for (const Case& c : cases) {
    TServerCommand command = SplitServerCommand(c.server, ProcessRegView());
    EXPECT_EQ(command.Path, c.path) << testing::PrintToString(c.server);
    EXPECT_EQ(command.Arguments, c.arguments) << testing::PrintToString(c.server);
  }
}

TEST(RegistrationCommand, LibrariesGoToTheViewsRegsvr32AndProgramsRegisterThemselves) {
  const std::wstring own = SystemDirectoryPath();
  struct Case {
    std::wstring server;
    bool unregister;
    TRegView view;
    std::wstring program, parameters;
  };
  std::vector<Case> cases = {
      {L"C:\\x\\a.dll", false, ProcessRegView(), L"\"" + own + L"regsvr32.exe\"", L"\"C:\\x\\a.dll\""},
      {L"C:\\x\\a.dll", true, ProcessRegView(), L"\"" + own + L"regsvr32.exe\"", L"/u \"C:\\x\\a.dll\""},
      {L"\"C:\\x y\\a.ocx\"", false, ProcessRegView(), L"\"" + own + L"regsvr32.exe\"", L"\"C:\\x y\\a.ocx\""},
      {L"\"C:\\x y\\app.exe\" /automation", false, ProcessRegView(), L"\"C:\\x y\\app.exe\"", L"/RegServer"},
      {L"C:\\x\\APP.EXE -Embedding", true, ProcessRegView(), L"\"C:\\x\\APP.EXE\"", L"/UnregServer"},
  };
  if (Is64BitWindows()) {
    // The other view's programs are reached through its system folder (Sysnative from a 32-bit
    // process, SysWOW64 from a 64-bit one); its regsvr32 reads the path in its own file system.
    const TRegView other = OtherRegView();
    const std::wstring otherSystem = ViewSystemDirectoryPath(other);
    cases.push_back({own + L"a.dll", false, other, L"\"" + otherSystem + L"regsvr32.exe\"", L"\"" + own + L"a.dll\""});
    cases.push_back({own + L"app.exe", false, other, L"\"" + otherSystem + L"app.exe\"", L"/RegServer"});
    cases.push_back(
        {own + L"a.dll", true, ProcessRegView(), L"\"" + own + L"regsvr32.exe\"", L"/u \"" + own + L"a.dll\""});
  }
  for (const Case& c : cases) {
    TRegistrationCommand command = RegistrationCommand(c.server, c.unregister, c.view);
    EXPECT_EQ(command.Program, c.program) << testing::PrintToString(c.server) << RegViewBits(c.view);
    EXPECT_EQ(command.Parameters, c.parameters) << testing::PrintToString(c.server) << RegViewBits(c.view);
  }
  EXPECT_TRUE(IsProgramFile(L"C:\\x\\a.Exe"));
  EXPECT_FALSE(IsProgramFile(L"C:\\x.exe\\a.dll"));
  EXPECT_FALSE(IsProgramFile(L".exe"));
}

TEST(LocateServerFile, AsTheLoaderAndCreateProcessFindItNeverInTheCurrentFolder) {
  const std::wstring system = SystemDirectoryPath();
  TTempDir current, onPath;
  WriteFileText(current.File(L"vantrel-here.dll"), "MZ");
  WriteFileText(onPath.File(L"vantrel-on-path.exe"), "MZ");
  wchar_t savedFolder[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, savedFolder);
  SetCurrentDirectoryW(current.Path().c_str());
  std::wstring savedPath(32767, L'\0');
  savedPath.resize(GetEnvironmentVariableW(L"PATH", savedPath.data(), 32767));
  SetEnvironmentVariableW(L"PATH", (savedPath + L";relative;" + onPath.Path()).c_str());
  TScopeExit restore([&] {
    SetCurrentDirectoryW(savedFolder);
    SetEnvironmentVariableW(L"PATH", savedPath.c_str());
  });
  const auto library = TServerFileKind::sfLibrary, program = TServerFileKind::sfProgram, file = TServerFileKind::sfFile;
  struct Case {
    std::wstring name;
    TServerFileKind kind;
    std::wstring found;
  } cases[] = {
      {L"shell32.dll", file, system + L"shell32.dll"},
      {L"notepad.exe", file, system + L"notepad.exe"},
      {system + L"notepad.exe", program, system + L"notepad.exe"},
      // The extension each kind implies, and a trailing dot that says there is none.
      {L"shell32", library, system + L"shell32.dll"},
      {L"notepad", program, system + L"notepad.exe"},
      {L"shell32", file, L""},
      {L"shell32.", library, L""},
      {L"NOTEPAD.EXE", program, system + L"NOTEPAD.EXE"},
      // Never this program's current folder, whatever the platform's own search might do.
      {L"vantrel-here.dll", library, L""},
      {L".\\vantrel-here.dll", library, L""},
      {current.File(L"vantrel-here.dll"), library, current.File(L"vantrel-here.dll")},
      // The folders of PATH come last; a relative one is left out.
      {L"vantrel-on-path", program, onPath.File(L"vantrel-on-path.exe")},
      {L"no-such-file.dll", library, L""},
      {L"", library, L""},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(SameTextAscii(LocateServerFile(c.name, ProcessRegView(), c.kind), c.found))
        << testing::PrintToString(c.name) << " gave " << testing::PrintToString(LocateServerFile(c.name, ProcessRegView(), c.kind));
  }
  EXPECT_EQ(LocateTypeLibraryFile(system + L"oleaut32.dll\\2", ProcessRegView()), system + L"oleaut32.dll\\2");
  EXPECT_EQ(LocateTypeLibraryFile(L"stdole2.tlb", ProcessRegView()), system + L"stdole2.tlb");
  EXPECT_EQ(LocateTypeLibraryFile(system + L"no-such.dll\\2", ProcessRegView()), L"");
}

TEST(RegistrationCommand, ServersAreNamedByTheirFullPathAndRunInTheirOwnFolder) {
  const std::wstring system = SystemDirectoryPath();
  TRegistrationCommand library = RegistrationCommand(L"ole32.dll", false, ProcessRegView());
  EXPECT_EQ(library.Parameters, L"\"" + system + L"ole32.dll\"");
  EXPECT_EQ(library.Directory, system);
  EXPECT_EQ(library.File, L"ole32.dll");
  TRegistrationCommand program = RegistrationCommand(L"notepad.exe -Embedding", true, ProcessRegView());
  EXPECT_EQ(program.Program, L"\"" + system + L"notepad.exe\"");
  EXPECT_EQ(program.Parameters, L"/UnregServer");
  EXPECT_EQ(program.Directory, system);
  // A server that is not found goes as registered, to fail with the tool's own message.
  TRegistrationCommand missing = RegistrationCommand(L"vantrel-missing.dll", false, ProcessRegView());
  EXPECT_EQ(missing.Parameters, L"\"vantrel-missing.dll\"");
  EXPECT_EQ(missing.Directory, L"");
  if (!Is64BitWindows()) return;
  // The other view's regsvr32 gets the path as its own programs name it.
  const std::wstring name = L"vantrel-" + NewGuid().substr(1, 8) + L".dll";
  TFileCopy copy(system + L"ole32.dll", ViewSystemDirectoryPath(OtherRegView()) + name);
  TRegistrationCommand other = RegistrationCommand(name, false, OtherRegView());
  EXPECT_EQ(other.Program, L"\"" + ViewSystemDirectoryPath(OtherRegView()) + L"regsvr32.exe\"");
  const std::wstring named = OtherRegView() == TRegView::rv64 ? system + name : ViewSystemDirectoryPath(OtherRegView()) + name;
  EXPECT_TRUE(SameTextAscii(other.Parameters, L"\"" + named + L"\"")) << testing::PrintToString(other.Parameters);
}

TEST(UnquotedServerHijack, AShorterCandidateThatIsAProgramRunsFirst) {
  TTempDir temp;
  CreateDirectoryW(temp.File(L"Vendor App").c_str(), nullptr);
  CreateDirectoryW(temp.File(L"Other Vendor").c_str(), nullptr);
  WriteFileText(temp.File(L"Vendor App\\server.exe"), "MZ");
  WriteFileText(temp.File(L"Other Vendor\\server.exe"), "MZ");
  WriteFileText(temp.File(L"Vendor.exe"), "MZ");
  const std::wstring meant = temp.File(L"Vendor App\\server.exe");
  struct Case {
    std::wstring server, runs;
  } cases[] = {
      {meant, temp.File(L"Vendor.exe")},
      {meant + L" /automation", temp.File(L"Vendor.exe")},
      {L"\"" + meant + L"\" /automation", L""},
      {temp.File(L"Other Vendor\\server.exe"), L""},  // no "Other.exe"
      {temp.File(L"Vendor App\\server.dll"), L""},    // not a program
      {L"", L""},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(SameTextAscii(UnquotedServerHijack(c.server, ProcessRegView()), c.runs)) << testing::PrintToString(c.server);
  }
}

TEST(LocateServerFile, TheOtherViewLooksInItsOwnSystemFolder) {
  if (!Is64BitWindows()) GTEST_SKIP() << "one registry view only";
  // A file only in the other view's system folder (Sysnative from a 32-bit process, SysWOW64 from
  // a 64-bit one), under a name no other file has.
  const std::wstring otherSystem = ViewSystemDirectoryPath(OtherRegView());
  const std::wstring name = L"vantrel-" + NewGuid().substr(1, 8) + L".dll";
  TFileCopy copy(SystemDirectoryPath() + L"shell32.dll", otherSystem + name);
  ASSERT_FALSE(FileExists(SystemDirectoryPath() + name));
  EXPECT_EQ(LowerCaseAscii(LocateServerFile(name, OtherRegView())), LowerCaseAscii(otherSystem + name));
  EXPECT_EQ(LocateServerFile(SystemDirectoryPath() + name, OtherRegView()), otherSystem + name);
  EXPECT_EQ(LocateServerFile(name, ProcessRegView()), L"");
}
