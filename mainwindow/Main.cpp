#include "mainwindow/Main.h"

#include "catalog/CsvExport.h"
#include "catalog/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "mainwindow/resource.h"
#include "tlbviewer/UnitExport.h"

namespace vantrel {

namespace {

TFormDesign MainDesign() {
  TFormDesign design;
  design.ClassName = L"TfrmMain";
  design.Caption = L"Vantrel";
  design.ClientWidth = 1016;
  design.ClientHeight = 554;
  design.IconId = IDI_VANTREL;
  return design;
}

// Errors of the command line go where a script can read them; a message box only when the
// program has no standard error stream.
void ReportCommandLineError(const std::wstring& AText) {
  if (HasStdErr()) {
    WriteStdErrLine(AText);
  } else {
    Application().ShowErrorText(AText);
  }
}

}  // namespace

TfrmMain::TfrmMain(const TStringList& AParams) : TLMForm(MainDesign()) { FormCreate(AParams); }

TfrmMain::~TfrmMain() = default;

void TfrmMain::FormCreate(const TStringList& AParams) {
  Environment.clear();
  if (!AParams.empty() && RunCommandLine(AParams)) return;
  ReadEnvironmentBlock(Environment);
}

bool TfrmMain::RunCommandLine(const TStringList& AParams) {
  TExportOutcome lists =
      RunCommandLineExport(AParams, ExtractFilePath(ModuleFileName()), ReportCommandLineError);
  TExportOutcome unit = RunUnitExport(AParams, ReportCommandLineError);
  if (lists == TExportOutcome::NoSwitch && unit == TExportOutcome::NoSwitch) return false;
  FExitCode = lists == TExportOutcome::Failed || unit == TExportOutcome::Failed ? 1 : 0;
  Application().Terminate(FExitCode);
  return true;
}

int RunProgram(const TStringList& AParams) {
  Application().Initialize();
  ApplyUserLocale();
  Application().SetTitle(L"Vantrel");
  TfrmMain form(AParams);
  if (Application().Terminated()) return form.ExitCode();
  Application().SetMainForm(&form);
  form.Show();
  return Application().Run();
}

}  // namespace vantrel
