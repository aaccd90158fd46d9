// A small modal dialog that asks the user to pick one of several choices from a list.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "forms/Zarvek.Forms.Form.h"

namespace vantrel {

class TdlgChoice : public TForm {
 public:
  TdlgChoice(HWND AOwner, const std::wstring& AQuestion, const std::vector<std::wstring>& AChoices);

  HWND List() const { return FList; }
  // The choice made: an index into the choices, or -1 when the dialog was cancelled.
  int Chosen() const { return FChosen; }
  // Shows the dialog modally; the choice made, or -1.
  int Execute();

  // Handlers.
  void bOkClick();
  void bCancelClick();

 protected:
  void Command(int AId, int ACode, HWND AControl) override;
  void Resize() override;

 private:
  HWND FQuestion = nullptr, FList = nullptr, FOk = nullptr, FCancel = nullptr;
  int FChosen = -1;
};

// Asks with a TdlgChoice owned by AOwner; the index of the choice made, or -1.
int ChooseFromList(HWND AOwner, const std::wstring& AQuestion, const std::vector<std::wstring>& AChoices);

}  // namespace vantrel
