// Vantrel: a browser of the COM registrations of a Windows machine.
#include <windows.h>
#include <shellapi.h>

#include "base/Zarvek_SysUtils.h"
#include "mainwindow/Main.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  vantrel::TStringList params;
  int count = 0;
  if (wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) params.emplace_back(args[i]);
    LocalFree(args);
  }
  try {
    return vantrel::RunProgram(params);
  } catch (const std::exception& e) {
    // Nothing could be shown (no desktop, say): say why where it can be read.
    std::wstring text = L"Vantrel cannot start: " + vantrel::ExceptionMessage(e);
    if (vantrel::HasStdErr()) {
      vantrel::WriteStdErrLine(text);
    } else {
      MessageBoxW(nullptr, text.c_str(), L"Vantrel", MB_OK | MB_ICONERROR);
    }
    return 1;
  }
}
