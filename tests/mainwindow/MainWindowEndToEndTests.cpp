// The real Vantrel.exe driven with real keyboard input under the X server.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "base/Zarvek_SysUtils.h"
#include "mainwindow/resource.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XInput.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

// A running Vantrel.exe, ended when the test ends.
class TRunningProgram {
 public:
  explicit TRunningProgram(const std::wstring& AArgs = {}) {
    std::wstring commandLine = L"\"" + ProgramPath() + L"\" " + AArgs;
    STARTUPINFOW startup = {sizeof(startup)};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &FInfo)) {
      FInfo = {};
    }
  }
  ~TRunningProgram() {
    if (FInfo.hProcess) {
      if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(FInfo.hProcess, 99);
      CloseHandle(FInfo.hProcess);
      CloseHandle(FInfo.hThread);
    }
  }
  // The first visible top-level window of the program with this class name.
  HWND Window(const wchar_t* AClass, DWORD ATimeoutMs = 60000) const {
    HWND found = nullptr;
    WaitFor(
        [&] {
          found = nullptr;
          for (HWND w = FindWindowExW(nullptr, nullptr, AClass, nullptr); w && !found;
               w = FindWindowExW(nullptr, w, AClass, nullptr)) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid == FInfo.dwProcessId && IsWindowVisible(w)) found = w;
          }
          return found != nullptr;
        },
        ATimeoutMs);
    return found;
  }
  DWORD WaitForExit(DWORD ATimeoutMs) const {
    if (WaitForSingleObject(FInfo.hProcess, ATimeoutMs) != WAIT_OBJECT_0) return 259;
    DWORD code = 0;
    GetExitCodeProcess(FInfo.hProcess, &code);
    return code;
  }

 private:
  PROCESS_INFORMATION FInfo = {};
};

std::wstring WindowText(HWND AWindow) {
  wchar_t text[512] = {};
  SendMessageTimeoutW(AWindow, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
  return text;
}

}  // namespace

TEST(EndToEnd, TypingFindsAClassAndSavingMatchesTheCommandLineExport) {
  TRegistryFixture reg;
  reg.SetString(L"CLSID\\" + NewGuid(), L"", L"Zyxwv Fixture Class");
  const std::wstring exported = ExtractFilePath(ProgramPath()) + L"ObjClasses.csv";
  DeleteFileW(exported.c_str());
  TProcessResult run = RunProcess(L"\"" + ProgramPath() + L"\" /SO", 120000);
  ASSERT_EQ(run.ExitCode, 0u) << run.StdErr;
  std::string expected = ReadFileBytes(exported);
  DeleteFileW(exported.c_str());

  TRunningProgram program;
  HWND main = program.Window(L"TfrmMain");
  ASSERT_NE(main, nullptr) << "no main window";
  ASSERT_TRUE(FocusWindow(main));
  // The tree has the focus: select the first root, expand it, type the first letters.
  ASSERT_TRUE(XDoTool("key --delay 100 Home Right"));
  HWND name = GetDlgItem(main, IDC_NAME);
  ASSERT_TRUE(WaitFor([&] { return WindowText(name) == L"Object Classes"; }));
  ASSERT_TRUE(XDoTool("type --delay 60 zyxw"));
  EXPECT_TRUE(WaitFor([&] { return WindowText(name) == L"Zyxwv Fixture Class"; })) << WindowText(name);

  TTempDir temp;
  const std::wstring saved = temp.File(L"saved.csv");
  ASSERT_TRUE(XDoTool("key --delay 150 alt+f s o"));
  HWND dialog = program.Window(L"#32770");
  ASSERT_NE(dialog, nullptr) << "no save dialog";
  ASSERT_TRUE(FocusWindow(dialog));
  std::string path = WideToCodePage(saved, CP_UTF8);
  ASSERT_TRUE(XDoTool("key ctrl+a"));
  ASSERT_TRUE(XDoTool("type --delay 30 '" + path + "'"));
  ASSERT_TRUE(XDoTool("key Return"));
  ASSERT_TRUE(WaitFor([&] { return FileExists(saved) && ReadFileBytes(saved).size() == expected.size(); }))
      << "the file was not saved";
  EXPECT_EQ(ReadFileBytes(saved), expected);

  // Ctrl+R reads the catalogs again: nothing stays selected, the roots are collapsed.
  ASSERT_TRUE(FocusWindow(main));
  HWND tree = FindWindowExW(main, nullptr, L"SysTreeView32", nullptr);
  ASSERT_NE(TreeView_GetSelection(tree), nullptr);
  ASSERT_TRUE(XDoTool("key ctrl+r"));
  EXPECT_TRUE(WaitFor([&] { return TreeView_GetSelection(tree) == nullptr; }));
  HTREEITEM root = TreeView_GetRoot(tree);
  ASSERT_NE(root, nullptr);
  EXPECT_FALSE(TreeView_GetItemState(tree, root, TVIS_EXPANDED) & TVIS_EXPANDED);
  ASSERT_TRUE(XDoTool("key --delay 150 alt+f x"));
  EXPECT_EQ(program.WaitForExit(30000), 0u);
}
