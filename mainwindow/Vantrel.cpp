// Vantrel: a browser of the COM registrations of a Windows machine.
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <optional>

#include "about/AboutDlg.h"
#include "base/Zarvek_SysUtils.h"
#include "catalog/CsvExport.h"
#include "forms/Zarvek.Forms.Application.h"
#include "forms/Zarvek.LayoutManager.RegistryStorage.h"
#include "mainwindow/Main.h"
#include "typelib/ReadTimeLimit.h"
#include "typelib/TypeLibReader.h"
#include "generators/UnitExport.h"

namespace vantrel {

namespace {

// Where the windows remember their layout and the program keeps its settings, below
// HKEY_CURRENT_USER.
const wchar_t kLayoutKey[] = L"Software\\Vantrel";

// Errors of the command line go where a script can read them; a message box only when the
// program has no standard error stream.
void ReportCommandLineError(const std::wstring& AText) {
  if (HasStdErr()) {
    WriteStdErrLine(AText);
  } else {
    Application().ShowErrorText(AText);
  }
}

// The command-line switches (registry view, CSV export and unit export): the exit code, or -1 when
// no switch ends the program; AView: the registry view chosen.
int RunCommandLine(const TStringList& AParams, TRegView& AView) {
  std::wstring error;
  if (!ChooseRegView(AParams, Is64BitWindows(), AView, error)) {
    ReportCommandLineError(error);
    return 1;
  }
  TExportOutcome lists =
      RunCommandLineExport(AParams, ExtractFilePath(ModuleFileName()), ReportCommandLineError, AView);
  const TExportOutcome outcomes[] = {lists, RunUnitExport(AParams, ReportCommandLineError, AView),
                                     RunImportUnitExport(AParams, ReportCommandLineError, AView),
                                     RunIdlExport(AParams, ReportCommandLineError, AView)};
  if (std::all_of(std::begin(outcomes), std::end(outcomes),
                  [](TExportOutcome AOutcome) { return AOutcome == TExportOutcome::NoSwitch; })) {
    return -1;
  }
  return std::any_of(std::begin(outcomes), std::end(outcomes),
                     [](TExportOutcome AOutcome) { return AOutcome == TExportOutcome::Failed; })
             ? 1
             : 0;
}

// The program block: locale, title, the command line, main window, message loop. Returns the
// exit code.
int RunProgram(const TStringList& AParams) {
  LoadExeVersionInfo();
  Application().Initialize();
  ApplyUserLocale();
  Application().SetTitle(L"Vantrel");
  // Every read, of the windows and of the switches, takes as long as the user allows.
  UseStoredReadTimeLimit(HKEY_CURRENT_USER, kLayoutKey);
  // The switches run before any window exists, so that scripts work without a desktop too.
  TRegView view = ProcessRegView();
  if (!AParams.empty()) {
    int exitCode = RunCommandLine(AParams, view);
    if (exitCode >= 0) return exitCode;
  }
  // The switches never reach the layout: it is attached only to the window.
  const bool viewGiven = std::any_of(AParams.begin(), AParams.end(), IsViewSwitch);
  TfrmMain form(viewGiven ? std::optional(view) : std::nullopt);
  form.SettingsKey = kLayoutKey;
  form.LayoutManager().SetStorage(std::make_shared<TRegistryLayoutStorage>(HKEY_CURRENT_USER, kLayoutKey));
  Application().SetMainForm(&form);
  form.Show();
  // The window keeps a type library reader started ahead, so that opening a library does not wait
  // for a process to start.
  TypeLibReaderDefaults().KeepSpare = true;
  PrepareTypeLibReader();
  return Application().Run();
}

}  // namespace

}  // namespace vantrel

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  vantrel::TStringList params;
  int count = 0;
  if (wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) params.emplace_back(args[i]);
    LocalFree(args);
  }
  // Started by itself to read a type library: nothing of the program's start-up is needed.
  if (vantrel::IsTypeLibReaderCall(params)) return vantrel::RunTypeLibReader();
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
