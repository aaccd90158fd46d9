// The main window: the catalog tree, the details of the selected entry, and the commands.
#pragma once

#include "catalog/ObjectCatalog.h"
#include "forms/Zarvek.LayoutManager.Form.h"

namespace vantrel {

class TfrmMain : public TLMForm {
 public:
  // AParams: the command-line parameters (without the program name).
  explicit TfrmMain(const TStringList& AParams);
  ~TfrmMain() override;

  // Exit code requested by the command-line export; meaningful when the application was terminated.
  int ExitCode() const { return FExitCode; }

  TObjects OCList, TLList, AIList, IFList;
  TStringList Environment;

 private:
  void FormCreate(const TStringList& AParams);
  // Runs the command-line switches; true when one was found and the program is to end.
  bool RunCommandLine(const TStringList& AParams);

  int FExitCode = 0;
};

// The program block: locale, title, main window, message loop. Returns the exit code.
int RunProgram(const TStringList& AParams);

}  // namespace vantrel
