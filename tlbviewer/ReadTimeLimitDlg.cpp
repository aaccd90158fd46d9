#include "tlbviewer/ReadTimeLimitDlg.h"

#include <commctrl.h>

#include "base/Zarvek_StrUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "forms/Zarvek_Dialogs.h"
#include "typelib/ReadTimeLimit.h"

namespace vantrel {

namespace {

constexpr int kEditId = 100;

TFormDesign ReadTimeLimitDesign(HWND AOwner) {
  return DialogDesign(AOwner, L"TdlgReadTimeLimit", L"Reading Time Limit", 360, 112);
}

}  // namespace

TdlgReadTimeLimit::TdlgReadTimeLimit(HWND AOwner, DWORD ASeconds)
    : TForm(ReadTimeLimitDesign(AOwner)), FSeconds(ASeconds) {
  HINSTANCE instance = Application().Instance();
  const std::wstring question = L"Stop reading a type library after (" + UIntToStr(kReadTimeLimitMinimum) + L" to " +
                                UIntToStr(kReadTimeLimitMaximum) + L" seconds):";
  FText = CreateWindowExW(0, WC_STATICW, question.c_str(), WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 0, 0, 10, 10, Handle(),
                          nullptr, instance, nullptr);
  FEdit = CreateWindowExW(WS_EX_CLIENTEDGE, WC_EDITW, UIntToStr(ASeconds).c_str(),
                          WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, 0, 0, 10, 10, Handle(),
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(kEditId)), instance, nullptr);
  SendMessageW(FEdit, EM_SETLIMITTEXT, 4, 0);
  FUpDown = CreateWindowExW(0, UPDOWN_CLASSW, L"",
                            WS_CHILD | WS_VISIBLE | UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_ARROWKEYS | UDS_NOTHOUSANDS,
                            0, 0, 10, 10, Handle(), nullptr, instance, nullptr);
  FUnit = CreateWindowExW(0, WC_STATICW, L"seconds", WS_CHILD | WS_VISIBLE | SS_NOPREFIX, 0, 0, 10, 10, Handle(),
                          nullptr, instance, nullptr);
  FOk = CreateWindowExW(0, WC_BUTTONW, L"OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 0, 10, 10,
                        Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), instance, nullptr);
  FCancel = CreateWindowExW(0, WC_BUTTONW, L"Cancel", WS_CHILD | WS_VISIBLE | WS_TABSTOP, 0, 0, 10, 10, Handle(),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDCANCEL)), instance, nullptr);
  for (HWND control : {FText, FEdit, FUnit, FOk, FCancel}) ApplyFont(control);
  Resize();
  SendMessageW(FUpDown, UDM_SETRANGE32, kReadTimeLimitMinimum, kReadTimeLimitMaximum);
  SendMessageW(FUpDown, UDM_SETPOS32, 0, static_cast<LPARAM>(ASeconds));
  // Over the middle of the owner, else of the screen.
  RECT area = {};
  if (!AOwner || !GetWindowRect(AOwner, &area)) SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  SetBounds((area.left + area.right - Width()) / 2, (area.top + area.bottom - Height()) / 2, Width(), Height());
}

void TdlgReadTimeLimit::Resize() {
  if (!FCancel) return;
  const SIZE client = ClientSize();
  const int gap = Scale(12), line = Scale(16), buttonWidth = Scale(80), buttonHeight = Scale(24);
  const int editWidth = Scale(72), editHeight = Scale(22);
  MoveWindow(FText, gap, gap, client.cx - 2 * gap, line, TRUE);
  const int editTop = gap + line + Scale(6);
  MoveWindow(FEdit, gap, editTop, editWidth, editHeight, TRUE);
  // The arrows sit at the edit's right edge again.
  SendMessageW(FUpDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(FEdit), 0);
  RECT edit = {};
  GetWindowRect(FUpDown, &edit);
  MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&edit), 2);
  MoveWindow(FUnit, edit.right + Scale(6), editTop + (editHeight - line) / 2, Scale(100), line, TRUE);
  const int buttonTop = client.cy - gap - buttonHeight;
  MoveWindow(FCancel, client.cx - gap - buttonWidth, buttonTop, buttonWidth, buttonHeight, TRUE);
  MoveWindow(FOk, client.cx - 2 * (gap + buttonWidth) + gap / 2, buttonTop, buttonWidth, buttonHeight, TRUE);
}

void TdlgReadTimeLimit::bOkClick() {
  wchar_t text[16] = {};
  GetWindowTextW(FEdit, text, static_cast<int>(std::size(text)));
  int32_t seconds = 0;
  if (!TryStrToInt(Trim(text), seconds) || seconds < static_cast<int32_t>(kReadTimeLimitMinimum) ||
      seconds > static_cast<int32_t>(kReadTimeLimitMaximum)) {
    ErrorBox(L"Enter a number of seconds from " + UIntToStr(kReadTimeLimitMinimum) + L" to " +
             UIntToStr(kReadTimeLimitMaximum) + L".");
    SetFocus(FEdit);
    SendMessageW(FEdit, EM_SETSEL, 0, -1);
    return;
  }
  FSeconds = static_cast<DWORD>(seconds);
  SetModalResult(mrOk);
}

void TdlgReadTimeLimit::bCancelClick() { SetModalResult(mrCancel); }

void TdlgReadTimeLimit::Command(int AId, int, HWND) {
  switch (AId) {
    case IDOK: bOkClick(); break;
    case IDCANCEL: bCancelClick(); break;
    default: break;
  }
}

bool TdlgReadTimeLimit::Execute() {
  // Typing replaces the number shown.
  SetFocus(FEdit);
  SendMessageW(FEdit, EM_SETSEL, 0, -1);
  return ShowModal() == mrOk;
}

bool AskReadTimeLimit(HWND AOwner, DWORD& ASeconds) {
  TdlgReadTimeLimit dialog(AOwner, ASeconds);
  if (!dialog.Execute()) return false;
  ASeconds = dialog.Seconds();
  return true;
}

}  // namespace vantrel
