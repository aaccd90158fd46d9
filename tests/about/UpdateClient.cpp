// A program that runs one update check and reports how it ended, for the tests of starting the
// downloaded file and ending the program afterwards.
//
//   about_update_client <page address> <port> <target folder>   runs the check
//   about_update_client --touch <file>                           creates the file (the "update")
#include <windows.h>

#include <cstdio>
#include <string>

#include "about/Zarvek.Component.UpdateCheck.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"

using namespace vantrel;

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[1]) == L"--touch") {
    WriteFileBytes(argv[2], "started\n");
    return 0;
  }
  if (argc != 4) return 2;
  Application().Initialize();
  TUpdateCheck check;
  check.ProductInfo().SetURL(argv[1]);
  check.ProductInfo().Version = L"1.0";
  check.HTTPPort = static_cast<uint32_t>(_wtoi(argv[2]));
  check.TargetFolder = argv[3];
  check.Options = TUpdateOptions{uoRunUpdate, uoTerminate, uoOverwrite};
  check.OnAfterDownload = [](TUpdateCheck*, const std::wstring&) { std::printf("downloaded\n"); };
  check.OnCannotExecute = [](TUpdateCheck*) { std::printf("cannot execute\n"); };
  bool result = check.CheckForAnUpdate();
  std::printf("returned %d %s\n", result ? 1 : 0, WideToCodePage(check.DownloadError(), CP_UTF8).c_str());
  std::fflush(stdout);
  return 3;
}
