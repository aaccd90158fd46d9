// Vantrel: a browser of the COM registrations of a Windows machine.
#include <windows.h>
#include <shellapi.h>

#include "mainwindow/Main.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  vantrel::TStringList params;
  int count = 0;
  if (wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) params.emplace_back(args[i]);
    LocalFree(args);
  }
  return vantrel::RunProgram(params);
}
