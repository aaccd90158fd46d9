// The built program's windows, watched and driven from the test process.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace vantrel::test {

// Starts the built Vantrel.exe with AArgs and returns its main window once it shows; null when
// none shows within a minute. AInfo receives the process; the caller closes its handles.
HWND StartProgramWindow(const std::wstring& AArgs, PROCESS_INFORMATION& AInfo);

// A visible top-level window of the class that belongs to the process; null after ATimeoutMs.
HWND WaitForProcessWindow(const wchar_t* AClassName, DWORD AProcessId, DWORD ATimeoutMs);

// Texts a control of another process keeps: the control writes them into a buffer of its own
// process, which is read from there.
std::wstring RemoteStatusText(HANDLE AProcess, HWND AStatusBar, int APart);
std::wstring RemoteTreeItemText(HANDLE AProcess, HWND ATree, HTREEITEM AItem);

}  // namespace vantrel::test
