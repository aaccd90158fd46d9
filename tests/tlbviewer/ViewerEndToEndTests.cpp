// The real Vantrel.exe's viewer driven with real keyboard input under the X server.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "base/Zarvek_SysUtils.h"
#include "tests/support/TestSupport.h"
#include "tests/support/XInput.h"
#include "generators/TLBGenerator.h"
#include "typelib/TypeLibLoader.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

// A window of another process: the first visible top-level window of that process and class.
HWND ProcessWindow(DWORD AProcess, const wchar_t* AClass) {
  for (HWND w = FindWindowExW(nullptr, nullptr, AClass, nullptr); w; w = FindWindowExW(nullptr, w, AClass, nullptr)) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid == AProcess && IsWindowVisible(w)) return w;
  }
  return nullptr;
}

// A status bar part of another process, read through memory lent in that process.
std::wstring RemoteStatusText(HWND AStatusBar, int APart) {
  DWORD pid = 0;
  GetWindowThreadProcessId(AStatusBar, &pid);
  THandle process(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid));
  if (!process) return {};
  void* remote = VirtualAllocEx(process.get(), nullptr, 4096, MEM_COMMIT, PAGE_READWRITE);
  if (!remote) return {};
  SendMessageTimeoutW(AStatusBar, SB_GETTEXTW, static_cast<WPARAM>(APart), reinterpret_cast<LPARAM>(remote),
                      SMTO_ABORTIFHUNG, 5000, nullptr);
  wchar_t text[2048] = {};
  ReadProcessMemory(process.get(), remote, text, sizeof(text) - sizeof(wchar_t), nullptr);
  VirtualFreeEx(process.get(), remote, 0, MEM_RELEASE);
  return text;
}

}  // namespace

TEST(ViewerEndToEnd, OpenAFileThenFindWithTheKeyboard) {
  const std::wstring fixture = BinaryPath(L"tests\\tlbviewer\\fixtures\\Viewer.tlb");
  // Where "Ping" first stands in the unit the viewer will show.
  TComPtr<ITypeLib> library;
  ASSERT_TRUE(SUCCEEDED(LoadTypeLibraryFile(fixture, library)));
  TObjectData data;
  data.Server = fixture;
  TLineList lines;
  std::wstring unitName;
  GenerateImportUnit(data, library.get(), lines, unitName);
  TStringList text = lines.ToStringList();
  size_t pingLine = 0;
  while (pingLine < text.size() && text[pingLine].find(L"Ping") == std::wstring::npos) ++pingLine;
  ASSERT_LT(pingLine, text.size());

  std::wstring commandLine = L"\"" + ProgramPath() + L"\"";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION info = {};
  ASSERT_TRUE(CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                             &info));
  THandle process(info.hProcess), thread(info.hThread);
  HWND main = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (main = ProcessWindow(info.dwProcessId, L"TfrmMain")) != nullptr; }, 60000));
  ASSERT_TRUE(FocusWindow(main));
  ASSERT_TRUE(XDoTool("key --delay 150 alt+f v"));
  HWND open = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (open = ProcessWindow(info.dwProcessId, L"#32770")) != nullptr; }));
  ASSERT_TRUE(FocusWindow(open));
  ASSERT_TRUE(XDoTool("type --delay 30 '" + WideToCodePage(fixture, CP_UTF8) + "'"));
  ASSERT_TRUE(XDoTool("key Return"));
  HWND viewer = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (viewer = ProcessWindow(info.dwProcessId, L"TfrmTLBView")) != nullptr; }, 60000));
  wchar_t caption[128] = {};
  GetWindowTextW(viewer, caption, 128);
  EXPECT_STREQ(caption, L"ITypeLib Viewer - []");
  HWND status = FindWindowExW(viewer, nullptr, STATUSCLASSNAMEW, nullptr);
  ASSERT_NE(status, nullptr);
  EXPECT_TRUE(WaitFor([&] { return RemoteStatusText(status, 1).starts_with(L"Line: 1   Col: 1   Lines: "); }));

  ASSERT_TRUE(FocusWindow(viewer));
  ASSERT_TRUE(XDoTool("key ctrl+f"));
  HWND find = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (find = ProcessWindow(info.dwProcessId, L"#32770")) != nullptr; }));
  ASSERT_TRUE(FocusWindow(find));
  ASSERT_TRUE(XDoTool("type --delay 50 Ping"));
  ASSERT_TRUE(XDoTool("key Return"));
  const std::wstring expected = L"Line: " + std::to_wstring(pingLine + 1) + L"   ";
  EXPECT_TRUE(WaitFor([&] { return RemoteStatusText(status, 1).starts_with(expected); }))
      << testing::PrintToString(RemoteStatusText(status, 1)) << " expected " << testing::PrintToString(expected);

  // Esc closes the find dialog, then the viewer; the main window stays.
  ASSERT_TRUE(FocusWindow(find));
  ASSERT_TRUE(XDoTool("key Escape"));
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(find) || !IsWindowVisible(find); }));
  ASSERT_TRUE(FocusWindow(viewer));
  ASSERT_TRUE(XDoTool("key Escape"));
  EXPECT_TRUE(WaitFor([&] { return !IsWindow(viewer) || !IsWindowVisible(viewer); }));
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(WaitForSingleObject(process.get(), 30000), WAIT_OBJECT_0);
}
