// Real keyboard and mouse input through the X server that Wine draws on (xdotool).
#pragma once

#include <windows.h>

#include <string>

namespace vantrel::test {

// Runs a shell command on the Unix side and waits until it ends; returns its exit status, or -1
// when it could not run or did not end within ATimeoutMs.
int RunUnixCommand(const std::string& ACommand, DWORD ATimeoutMs = 30000);

// xdotool with the given arguments, e.g. XDoTool("key ctrl+r").
bool XDoTool(const std::string& AArguments);

// Gives a top-level window the X input focus (and so Wine's activation).
bool FocusWindow(HWND AWindow);

// Waits until APredicate holds, handling messages meanwhile; false after ATimeoutMs.
template <typename P>
bool WaitFor(P APredicate, DWORD ATimeoutMs = 30000) {
  DWORD start = GetTickCount();
  while (!APredicate()) {
    if (GetTickCount() - start > ATimeoutMs) return false;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(50);
  }
  return true;
}

}  // namespace vantrel::test
