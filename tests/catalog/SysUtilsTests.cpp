#include <gtest/gtest.h>

#include "forms/Zarvek_Dialogs.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

TEST(ExpandPathVariables, ReplacesVariablesAsThePlatformDoes) {
  TStringList env = {L"SystemRoot=C:\\windows", L"TEMP=C:\\temp",  L"ProgramData=C:\\ProgramData",
                     L"A=%B%",                L"B=bee",           L"=C:=C:\\",
                     L" =blank",              L"temp=second"};
  struct Case {
    const wchar_t* text;
    const wchar_t* expected;
  } cases[] = {
      {L"%SystemRoot%\\x.dll", L"C:\\windows\\x.dll"},
      {L"%systemroot%\\x.dll", L"C:\\windows\\x.dll"},  // names compared without regard to case
      {L"%TEMP%;%Temp%", L"C:\\temp;C:\\temp"},          // every occurrence; the first line of a name wins
      {L"\\SystemRoot\\system32\\x.dll", L"C:\\windows\\system32\\x.dll"},
      {L"\\systemroot\\%TEMP%", L"C:\\windows\\C:\\temp"},
      // A variable's name inside a path is just a folder.
      {L"C:\\TEMP\\x.dll", L"C:\\TEMP\\x.dll"},
      {L"C:\\ProgramData\\Vendor\\x.dll", L"C:\\ProgramData\\Vendor\\x.dll"},
      {L"D:\\SystemRoot\\x.dll", L"D:\\SystemRoot\\x.dll"},
      {L"%A%", L"%B%"},  // replaced text is not expanded again
      {L"%UNKNOWN%\\x", L"%UNKNOWN%\\x"},
      {L"100%%TEMP%", L"100%C:\\temp"},  // a "%" that opens no known variable stays
      {L"50% of %B", L"50% of %B"},
      {L"%%", L"%%"},
      {L"% %", L"% %"},
      {L"plain", L"plain"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpandPathVariables(env, c.text), c.expected) << testing::PrintToString(std::wstring(c.text));
  }
}

TEST(ExpandPathVariables, KeepsTheWholeText) {
  std::wstring tail(5000, L'x');
  EXPECT_EQ(ExpandPathVariables({L"V=v"}, L"%V%" + tail + L"%V%"), L"v" + tail + L"v");
  EXPECT_EQ(ExpandPathVariables({}, L"\\SystemRoot\\x.dll"), WindowsDirectoryPath() + L"x.dll");
}

TEST(RegistryViewFiles, SystemFolderAndPathsOfEachView) {
  const std::wstring windows = WindowsDirectoryPath();
  const std::wstring own = SystemDirectoryPath();
  EXPECT_EQ(ViewSystemDirectoryPath(ProcessRegView()), own);
  EXPECT_EQ(ViewFilePath(own + L"x.dll", ProcessRegView()), own + L"x.dll");
  if (!Is64BitWindows()) GTEST_SKIP() << "one registry view only";
  // A 32-bit process reaches the 64-bit system folder through Sysnative, a 64-bit one the 32-bit
  // folder as SysWOW64.
  const std::wstring other = windows + (IsWow64() ? L"Sysnative\\" : L"SysWOW64\\");
  EXPECT_TRUE(SameTextAscii(ViewSystemDirectoryPath(OtherRegView()), other)) << ViewSystemDirectoryPath(OtherRegView());
  EXPECT_TRUE(SameTextAscii(ViewFilePath(UpperCaseAscii(own) + L"x.dll", OtherRegView()), other + L"x.dll"));
  EXPECT_EQ(ViewFilePath(L"C:\\Vendor\\x.dll", OtherRegView()), L"C:\\Vendor\\x.dll");
  EXPECT_EQ(ViewFilePath(own + L"x.dll", ProcessRegView()), own + L"x.dll");
}

TEST(RegistryViewFiles, EachViewFindsTheBuildOfItsOwnPrograms) {
  VANTREL_SKIP_WITHOUT_32BIT_PROGRAMS("the 32-bit system folder is empty");
  // Wine's two builds of the same library differ.
  auto size = [](const std::wstring& APath) {
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    return GetFileAttributesExW(APath.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
  };
  const std::wstring kernel = SystemDirectoryPath() + L"kernel32.dll";
  ASSERT_NE(size(ViewFilePath(kernel, TRegView::rv64)), 0u);
  ASSERT_NE(size(ViewFilePath(kernel, TRegView::rv32)), 0u);
  EXPECT_NE(size(ViewFilePath(kernel, TRegView::rv64)), size(ViewFilePath(kernel, TRegView::rv32)));
}

TEST(RegistryViewFiles, EnvironmentNamesTheProgramFoldersOfTheView) {
  TStringList env = {L"ProgramFiles=own programs", L"CommonProgramFiles=own common", L"Path=x"};
  EXPECT_EQ(ViewEnvironment(env, ProcessRegView()), env);
  if (!Is64BitWindows()) GTEST_SKIP() << "one registry view only";
  const bool to64 = OtherRegView() == TRegView::rv64;
  wchar_t programs[MAX_PATH] = {}, common[MAX_PATH] = {};
  GetEnvironmentVariableW(to64 ? L"ProgramW6432" : L"ProgramFiles(x86)", programs, MAX_PATH);
  GetEnvironmentVariableW(to64 ? L"CommonProgramW6432" : L"CommonProgramFiles(x86)", common, MAX_PATH);
  ASSERT_NE(programs[0], L'\0');
  TStringList other = ViewEnvironment(env, OtherRegView());
  EXPECT_EQ(ExpandPathVariables(other, L"%ProgramFiles%|%CommonProgramFiles%|%Path%"),
            std::wstring(programs) + L"|" + common + L"|x");
}

TEST(Environment, BlockSkipsDriveEntriesAndKeepsOrder) {
  SetEnvironmentVariableW(L"VANTREL_TEST_VAR", L"value");
  TStringList env = {L"stale"};
  ReadEnvironmentBlock(env);
  bool found = false;
  for (const std::wstring& line : env) {
    EXPECT_FALSE(line.empty());
    EXPECT_NE(line[0], L'=');
    found = found || line == L"VANTREL_TEST_VAR=value";
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(std::find(env.begin(), env.end(), L"stale"), env.end());
}

TEST(Directories, EndInABackslash) {
  std::wstring windows = WindowsDirectoryPath();
  std::wstring system = SystemDirectoryPath();
  ASSERT_FALSE(windows.empty());
  EXPECT_EQ(windows.back(), L'\\');
  EXPECT_EQ(system.back(), L'\\');
  EXPECT_TRUE(DirectoryExists(system));
  EXPECT_TRUE(FileExists(system + L"regsvr32.exe"));
}

TEST(StartProcessAndWait, ReturnsAfterTheProgramEnded) {
  TTempDir temp;
  std::wstring marker = temp.File(L"marker.txt");
  // The child sleeps about a second before it writes the file.
  std::wstring params = L"/c ping -n 2 127.0.0.1 >nul & echo done>\"" + marker + L"\"";
  ASSERT_TRUE(StartProcessAndWait(SystemDirectoryPath() + L"cmd.exe", params, SW_HIDE, L"", INFINITE));
  EXPECT_TRUE(FileExists(marker));
}

TEST(StartProcessAndWait, RunsInTheProgramsFolderByDefault) {
  TTempDir temp;
  std::wstring params = L"/c cd>\"" + temp.File(L"cwd.txt") + L"\"";
  ASSERT_TRUE(StartProcessAndWait(SystemDirectoryPath() + L"cmd.exe", params, SW_HIDE, L"", INFINITE));
  std::string cwd = ReadFileBytes(temp.File(L"cwd.txt"));
  std::string system = WideToCodePage(SystemDirectoryPath(), CP_ACP);
  system.pop_back();
  EXPECT_EQ(_stricmp(cwd.substr(0, cwd.find('\r')).c_str(), system.c_str()), 0) << cwd;
}

TEST(StartProcessAndWait, FailsForAMissingProgram) {
  EXPECT_FALSE(StartProcessAndWait(L"Z:\\nonexistent\\program.exe", L"", SW_HIDE, L"", 1000));
}

TEST(OleErrorText, SystemTextWithoutTrailingStopAndTheCodeInHex) {
  std::wstring text = OleErrorText(E_NOTIMPL);
  std::wstring suffix = L" (Error code: 0x80004001)";
  ASSERT_GT(text.size(), suffix.size());
  EXPECT_EQ(text.substr(text.size() - suffix.size()), suffix);
  wchar_t last = text[text.size() - suffix.size() - 1];
  EXPECT_NE(last, L'.');
  EXPECT_NE(last, L'\n');
  EXPECT_NE(last, L' ');
}

TEST(OleErrorText, CodeWithoutSystemTextKeepsTheLeadingBlank) {
  EXPECT_EQ(OleErrorText(static_cast<HRESULT>(0x8002801D)), L" (Error code: 0x8002801D)");
}

TEST(MessageBoxes, DefaultCaptionsAndIcons) {
  struct Shown {
    std::wstring text, caption;
    UINT flags;
  };
  std::vector<Shown> shown;
  auto previous = SetMessageBoxFunction([&](HWND, const std::wstring& text, const std::wstring& caption, UINT flags) {
    shown.push_back({text, caption, flags});
    return IDOK;
  });
  ErrorBox(L"bad");
  InfoBox(L"note");
  ErrorBox(L"own", L"Mine");
  SetMessageBoxFunction(previous);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0].caption, L"Error");
  EXPECT_EQ(shown[0].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(shown[1].caption, L"Information");
  EXPECT_EQ(shown[1].flags & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
  EXPECT_EQ(shown[2].caption, L"Mine");
  EXPECT_EQ(shown[2].text, L"own");
}
