#include "tests/support/XInput.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/Zarvek_StrUtils.h"

namespace vantrel::test {

namespace {

// X window id of a Wine top-level window, as Wine's X11 driver publishes it.
unsigned long XWindowOf(HWND AWindow) {
  HANDLE id = GetPropW(AWindow, L"__wine_x11_whole_window");
  return static_cast<unsigned long>(reinterpret_cast<uintptr_t>(id));
}

}  // namespace

int RunUnixCommand(const std::string& ACommand, DWORD ATimeoutMs) {
  static int counter = 0;
  char marker[128];
  std::snprintf(marker, sizeof(marker), "/tmp/vantrel-x-%lu-%d", GetCurrentProcessId(), ++counter);
  std::string script = ACommand + "; echo $? > " + marker;
  // Wine starts Unix programs given by their Unix path; their exit is seen through the marker.
  std::wstring commandLine = L"/bin/sh -c \"" + CodePageToWide(script, CP_UTF8) + L"\"";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    return -1;
  }
  CloseHandle(info.hProcess);
  CloseHandle(info.hThread);
  std::wstring markerPath = L"Z:" + CodePageToWide(marker, CP_UTF8);
  for (auto& c : markerPath) {
    if (c == L'/') c = L'\\';
  }
  int status = -1;
  WaitFor(
      [&] {
        std::ifstream file{std::filesystem::path(markerPath)};
        return file && (file >> status);
      },
      ATimeoutMs);
  DeleteFileW(markerPath.c_str());
  return status;
}

bool XDoTool(const std::string& AArguments) { return RunUnixCommand("xdotool " + AArguments) == 0; }

bool FocusWindow(HWND AWindow) {
  unsigned long window = XWindowOf(AWindow);
  if (!window) return false;
  return XDoTool("windowfocus --sync " + std::to_string(window));
}

}  // namespace vantrel::test
