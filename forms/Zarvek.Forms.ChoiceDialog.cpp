#include "forms/Zarvek.Forms.ChoiceDialog.h"

#include <commctrl.h>

#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

namespace {

constexpr int kListId = 100;

TFormDesign ChoiceDesign(HWND AOwner) {
  TFormDesign design = DialogDesign(AOwner, L"TdlgChoice", L"Vantrel", 460, 240);
  // The list of choices grows with the window.
  design.Style |= WS_THICKFRAME;
  return design;
}

}  // namespace

TdlgChoice::TdlgChoice(HWND AOwner, const std::wstring& AQuestion, const std::vector<std::wstring>& AChoices)
    : TForm(ChoiceDesign(AOwner)) {
  HINSTANCE instance = Application().Instance();
  FQuestion = CreateWindowExW(0, WC_STATICW, AQuestion.c_str(), WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, Handle(), nullptr,
                              instance, nullptr);
  FList = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTBOXW, L"",
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 0, 0, 10,
                          10, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(kListId)), instance, nullptr);
  FOk = CreateWindowExW(0, WC_BUTTONW, L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 10, 10,
                        Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), instance, nullptr);
  FCancel = CreateWindowExW(0, WC_BUTTONW, L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 10, 10, Handle(),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDCANCEL)), instance, nullptr);
  for (HWND control : {FQuestion, FList, FOk, FCancel}) ApplyFont(control);
  for (const std::wstring& choice : AChoices) SendMessageW(FList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.c_str()));
  SendMessageW(FList, LB_SETCURSEL, 0, 0);
  Resize();
}

void TdlgChoice::Resize() {
  if (!FList) return;
  const SIZE client = ClientSize();
  const int gap = Scale(8), buttonWidth = Scale(80), buttonHeight = Scale(24), questionHeight = Scale(32);
  MoveWindow(FQuestion, gap, gap, client.cx - 2 * gap, questionHeight, TRUE);
  const int buttonTop = client.cy - gap - buttonHeight;
  MoveWindow(FList, gap, gap + questionHeight, client.cx - 2 * gap, buttonTop - 2 * gap - questionHeight, TRUE);
  MoveWindow(FCancel, client.cx - gap - buttonWidth, buttonTop, buttonWidth, buttonHeight, TRUE);
  MoveWindow(FOk, client.cx - 2 * (gap + buttonWidth), buttonTop, buttonWidth, buttonHeight, TRUE);
}

void TdlgChoice::bOkClick() {
  FChosen = static_cast<int>(SendMessageW(FList, LB_GETCURSEL, 0, 0));
  SetModalResult(FChosen >= 0 ? mrOk : mrCancel);
}

void TdlgChoice::bCancelClick() {
  FChosen = -1;
  SetModalResult(mrCancel);
}

void TdlgChoice::Command(int AId, int ACode, HWND) {
  switch (AId) {
    case IDOK: bOkClick(); break;
    case IDCANCEL: bCancelClick(); break;
    case kListId:
      // A double-click chooses, as in every list of choices.
      if (ACode == LBN_DBLCLK) bOkClick();
      break;
    default: break;
  }
}

int TdlgChoice::Execute() {
  SetFocus(FList);
  return ShowModal() == mrOk ? FChosen : -1;
}

int ChooseFromList(HWND AOwner, const std::wstring& AQuestion, const std::vector<std::wstring>& AChoices) {
  TdlgChoice dialog(AOwner, AQuestion, AChoices);
  return dialog.Execute();
}

}  // namespace vantrel
