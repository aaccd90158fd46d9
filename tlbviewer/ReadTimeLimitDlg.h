// The dialog where the user sets how long a type library read may take before it is stopped.
#pragma once

#include <windows.h>

#include "forms/Zarvek.Forms.Form.h"

namespace vantrel {

class TdlgReadTimeLimit : public TForm {
 public:
  // Creates the dialog (hidden) over AOwner, showing ASeconds.
  TdlgReadTimeLimit(HWND AOwner, DWORD ASeconds);

  HWND SecondsEdit() const { return FEdit; }
  // The number of seconds taken with OK.
  DWORD Seconds() const { return FSeconds; }
  // Shows the dialog modally; true when the user took a valid number with OK.
  bool Execute();

  // Handlers.
  void bOkClick();
  void bCancelClick();

 protected:
  void Command(int AId, int ACode, HWND AControl) override;
  void Resize() override;

 private:
  HWND FText = nullptr, FEdit = nullptr, FUpDown = nullptr, FUnit = nullptr, FOk = nullptr, FCancel = nullptr;
  DWORD FSeconds;
};

// Asks for the limit in seconds with a TdlgReadTimeLimit owned by AOwner, starting from ASeconds;
// false when the user cancelled, ASeconds unchanged.
bool AskReadTimeLimit(HWND AOwner, DWORD& ASeconds);

}  // namespace vantrel
