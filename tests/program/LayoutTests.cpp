// The windows' layout kept in HKEY_CURRENT_USER\Software\Vantrel across runs of the built program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_SysUtils.h"
#include "mainwindow/resource.h"
#include "tests/support/ProgramWindows.h"
#include "tests/support/RegistryFixture.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

const wchar_t kLayoutKey[] = L"Software\\Vantrel";

RECT WorkArea() {
  RECT work = {};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  return work;
}

RECT WindowRect(HWND AWindow) {
  RECT rect = {};
  GetWindowRect(AWindow, &rect);
  return rect;
}

// Waits until ACondition holds; false after ATimeoutMs.
template <typename F>
bool WaitUntil(F ACondition, DWORD ATimeoutMs = 20000) {
  for (DWORD waited = 0; waited <= ATimeoutMs; waited += 50) {
    if (ACondition()) return true;
    Sleep(50);
  }
  return false;
}

// One run of the program with its window; closed and waited for at the end.
class TRun {
 public:
  explicit TRun(const std::wstring& AArgs = {}) { FMain = StartProgramWindow(AArgs, FInfo); }
  ~TRun() {
    if (!FInfo.hProcess) return;
    if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) Close();
    if (WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(FInfo.hProcess, 1);
    CloseHandle(FInfo.hProcess);
    CloseHandle(FInfo.hThread);
  }
  TRun(const TRun&) = delete;
  TRun& operator=(const TRun&) = delete;

  HWND Main() const { return FMain; }
  // The registry view the status bar names.
  std::wstring ViewShown() const {
    return RemoteStatusText(FInfo.hProcess, FindWindowExW(FMain, nullptr, STATUSCLASSNAMEW, nullptr), 2);
  }
  bool Close() {
    PostMessageW(FMain, WM_CLOSE, 0, 0);
    return WaitForSingleObject(FInfo.hProcess, 30000) == WAIT_OBJECT_0;
  }
  // Selects the type library entry named AName in the catalog tree and opens the viewer on it, as
  // the menu does; the viewer's window, or null.
  HWND OpenViewer(const std::wstring& AName) {
    HWND tree = FindWindowExW(FMain, nullptr, WC_TREEVIEWW, nullptr);
    HTREEITEM root = TreeView_GetRoot(tree);
    while (root && RemoteTreeItemText(FInfo.hProcess, tree, root) != L"Type Libraries") {
      root = TreeView_GetNextSibling(tree, root);
    }
    if (!root) return nullptr;
    TreeView_Expand(tree, root, TVE_EXPAND);
    HTREEITEM entry = TreeView_GetChild(tree, root);
    while (entry && RemoteTreeItemText(FInfo.hProcess, tree, entry) != AName) entry = TreeView_GetNextSibling(tree, entry);
    if (!entry) return nullptr;
    TreeView_SelectItem(tree, entry);
    PostMessageW(FMain, WM_COMMAND, IDM_VIEWTLB, 0);
    return WaitForProcessWindow(L"TfrmTLBView", FInfo.dwProcessId, 30000);
  }

 private:
  PROCESS_INFORMATION FInfo = {};
  HWND FMain = nullptr;
};

class LayoutRun : public testing::Test {
 protected:
  void SetUp() override { EraseLayout(); }
  void TearDown() override { EraseLayout(); }
  static void EraseLayout() {
    RegDeleteTreeW(HKEY_CURRENT_USER, kLayoutKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, kLayoutKey);
  }
  static bool LayoutExists() {
    TRegKey key;
    return RegOpenKeyExW(HKEY_CURRENT_USER, kLayoutKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
  }
};

}  // namespace

TEST_F(LayoutRun, BothWindowsComeBackAsTheyWereLeft) {
  TRegistryFixture reg;
  const std::wstring library = NewGuid();
  reg.SetString(L"TypeLib\\" + library + L"\\1.0", L"", L"Vantrel Layout Library");
  reg.SetString(L"TypeLib\\" + library + L"\\1.0\\0\\win32", L"", SystemDirectoryPath() + L"stdole2.tlb");
  const RECT work = WorkArea();
  RECT left = {};
  {
    TRun run;
    ASSERT_NE(run.Main(), nullptr) << "no main window appeared";
    // Moved and resized, the viewer maximized: as the user leaves them.
    SetWindowPos(run.Main(), nullptr, work.left + 40, work.top + 30, 900, 600, SWP_NOZORDER | SWP_NOACTIVATE);
    left = WindowRect(run.Main());
    HWND viewer = run.OpenViewer(L"Vantrel Layout Library");
    ASSERT_NE(viewer, nullptr) << "no viewer appeared";
    PostMessageW(viewer, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
    ASSERT_TRUE(WaitUntil([&] { return IsZoomed(viewer) != FALSE; }));
    PostMessageW(viewer, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(viewer) || !IsWindowVisible(viewer); }));
    ASSERT_TRUE(run.Close());
  }
  ASSERT_TRUE(LayoutExists());
  {
    TRun run;
    ASSERT_NE(run.Main(), nullptr) << "no main window appeared";
    const RECT now = WindowRect(run.Main());
    EXPECT_EQ(now.left, left.left);
    EXPECT_EQ(now.top, left.top);
    EXPECT_EQ(now.right - now.left, left.right - left.left);
    EXPECT_EQ(now.bottom - now.top, left.bottom - left.top);
    HWND viewer = run.OpenViewer(L"Vantrel Layout Library");
    ASSERT_NE(viewer, nullptr) << "no viewer appeared";
    EXPECT_TRUE(IsZoomed(viewer));
    PostMessageW(viewer, WM_CLOSE, 0, 0);
    WaitUntil([&] { return !IsWindow(viewer) || !IsWindowVisible(viewer); });
    EXPECT_TRUE(run.Close());
  }
}

TEST_F(LayoutRun, APlaceOnNoMonitorOpensCentred) {
  {
    TRun run;
    ASSERT_NE(run.Main(), nullptr) << "no main window appeared";
    SetWindowPos(run.Main(), nullptr, 10, 10, 880, 560, SWP_NOZORDER | SWP_NOACTIVATE);
    ASSERT_TRUE(run.Close());
  }
  // Every place the window remembers moved off every monitor, as after unplugging one.
  TRegKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (std::wstring(kLayoutKey) + L"\\TfrmMain").c_str(), 0,
                          KEY_READ | KEY_SET_VALUE, key.put()),
            ERROR_SUCCESS);
  int moved = 0;
  wchar_t name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    if (RegEnumValueW(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (length < 3 || wcsncmp(name, L"Pos", 3) != 0) continue;
    const wchar_t offscreen[] = L"-30000,-30000";
    RegSetValueExW(key.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(offscreen), sizeof(offscreen));
    ++moved;
  }
  ASSERT_GT(moved, 0);
  TRun run;
  ASSERT_NE(run.Main(), nullptr) << "no main window appeared";
  const RECT work = WorkArea();
  const RECT now = WindowRect(run.Main());
  EXPECT_EQ(now.right - now.left, 880);
  EXPECT_EQ(now.left, work.left + (work.right - work.left - 880) / 2);
  EXPECT_EQ(now.top, work.top + (work.bottom - work.top - (now.bottom - now.top)) / 2);
}

TEST_F(LayoutRun, TheViewChosenInTheMenuIsRememberedAndOneGivenOnTheCommandLineIsNot) {
  if (!Is64BitWindows()) GTEST_SKIP() << "one registry view only";
  // The program is of this test's build: it starts in the same view as this process.
  const bool own64 = ProcessRegView() == TRegView::rv64;
  const std::wstring own = own64 ? L"64-bit Registry" : L"32-bit Registry";
  const std::wstring other = own64 ? L"32-bit Registry" : L"64-bit Registry";
  {
    TRun run(own64 ? L"/32" : L"/64");
    ASSERT_NE(run.Main(), nullptr) << "no main window appeared";
    EXPECT_EQ(run.ViewShown(), other);
    ASSERT_TRUE(run.Close());
  }
  {
    TRun run;
    ASSERT_NE(run.Main(), nullptr) << "no main window appeared";
    EXPECT_EQ(run.ViewShown(), own);
    SendMessageW(run.Main(), WM_COMMAND, own64 ? IDM_VIEW32 : IDM_VIEW64, 0);
    EXPECT_EQ(run.ViewShown(), other);
    ASSERT_TRUE(run.Close());
  }
  {
    TRun run;
    ASSERT_NE(run.Main(), nullptr) << "no main window appeared";
    EXPECT_EQ(run.ViewShown(), other);
    ASSERT_TRUE(run.Close());
  }
  TRun given(own64 ? L"/64" : L"/32");
  ASSERT_NE(given.Main(), nullptr) << "no main window appeared";
  EXPECT_EQ(given.ViewShown(), own);
}

TEST_F(LayoutRun, CommandLineSwitchesWriteNoLayout) {
  TProcessResult run = RunProcess(L"\"" + ProgramPath() + L"\" /SA", 120000);
  ASSERT_FALSE(run.TimedOut);
  EXPECT_EQ(run.ExitCode, 0u) << run.StdErr;
  EXPECT_FALSE(LayoutExists());
  DeleteFileW((ExtractFilePath(ProgramPath()) + L"AppIds.csv").c_str());
}
