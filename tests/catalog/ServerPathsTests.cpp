#include <gtest/gtest.h>

#include "catalog/ServerPaths.h"
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

TEST(LocateServerFile, AsGivenElseInTheViewsSystemFolderElseInTheWindowsFolder) {
  EXPECT_EQ(LocateServerFile(L"shell32.dll", ProcessRegView()), SystemDirectoryPath() + L"shell32.dll");
  EXPECT_EQ(LocateServerFile(L"notepad.exe", ProcessRegView()), SystemDirectoryPath() + L"notepad.exe");
  EXPECT_EQ(LocateServerFile(L"no-such-file.dll", ProcessRegView()), L"");
  EXPECT_EQ(LocateServerFile(L"", ProcessRegView()), L"");
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
