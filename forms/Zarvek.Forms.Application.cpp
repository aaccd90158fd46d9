#include "forms/Zarvek.Forms.Application.h"

#include <commctrl.h>
#include <ole2.h>

#include <algorithm>

#include "forms/Zarvek_Dialogs.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Form.h"

namespace vantrel {

TApplication& Application() {
  static TApplication application;
  return application;
}

TApplication::TApplication() : FInstance(GetModuleHandleW(nullptr)) {
  SetMessageOwnerProvider([this] { return ActiveFormWindow(); });
  SetRestoreApplicationHandler([this] { Restore(); });
}

void TApplication::Initialize() {
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  OleInitialize(nullptr);
}

int TApplication::Run() {
  MSG msg;
  while (!FTerminated && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!PreTranslate(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return FExitCode;
}

void TApplication::Terminate(int AExitCode) {
  FExitCode = AExitCode;
  FTerminated = true;
  PostQuitMessage(AExitCode);
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      FTerminated = true;
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    if (!PreTranslate(msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
}

void TApplication::WaitFor(HANDLE AHandle) { WaitFor(AHandle, INFINITE); }

bool TApplication::WaitFor(HANDLE AHandle, DWORD ATimeout) { return WaitFor(AHandle, ATimeout, nullptr); }

bool TApplication::WaitFor(HANDLE AHandle, DWORD ATimeout, const std::function<bool()>& AStop) {
  const ULONGLONG deadline = GetTickCount64() + ATimeout;
  auto remaining = [&]() -> DWORD {
    if (ATimeout == INFINITE) return INFINITE;
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
  };
  while (!FTerminated) {
    if (AStop && AStop()) return false;
    DWORD result = MsgWaitForMultipleObjectsEx(1, &AHandle, remaining(), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (result != WAIT_OBJECT_0 + 1) break;  // signalled, timed out, or a handle that cannot be waited for
    ProcessMessages();
  }
  return WaitForSingleObject(AHandle, remaining()) == WAIT_OBJECT_0;
}

bool TApplication::PreTranslate(MSG& AMsg) {
  for (HWND dialog : FModelessDialogs) {
    if (IsWindow(dialog) && IsDialogMessageW(dialog, &AMsg)) return true;
  }
  if (AMsg.message < WM_KEYFIRST || AMsg.message > WM_KEYLAST) return false;
  TForm* form = FindForm(GetAncestor(AMsg.hwnd, GA_ROOT));
  if (!form) return false;
  if (form->Accelerators() && TranslateAcceleratorW(form->Handle(), form->Accelerators(), &AMsg)) return true;
  return form->PreTranslateMessage(AMsg);
}

void TApplication::ShowErrorText(const std::wstring& AText) {
  ShowMessageBox(ActiveFormWindow(), AText, FTitle, MB_OK | MB_ICONERROR);
}

void TApplication::ShowException(const std::exception& E) { ShowErrorText(ExceptionMessage(E)); }

void TApplication::Guard(const std::function<void()>& AWork) {
  try {
    AWork();
  } catch (const std::exception& e) {
    ShowException(e);
  } catch (...) {
    ShowErrorText(L"An unexpected error occurred.");
  }
}

void TApplication::SetCursor(TCursor ACursor) {
  FCursor = ACursor;
  ::SetCursor(LoadCursorW(nullptr, ACursor == TCursor::crHourGlass ? IDC_WAIT : IDC_ARROW));
}

bool TApplication::HandleSetCursor() {
  if (FCursor == TCursor::crDefault) return false;
  ::SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  return true;
}

HWND TApplication::ActiveFormWindow() const {
  HWND active = GetActiveWindow();
  if (active && FindForm(active)) return active;
  if (FMainForm && FMainForm->Handle()) return FMainForm->Handle();
  return active;
}

void TApplication::AddModelessDialog(HWND ADialog) { FModelessDialogs.push_back(ADialog); }

void TApplication::RemoveModelessDialog(HWND ADialog) {
  FModelessDialogs.erase(std::remove(FModelessDialogs.begin(), FModelessDialogs.end(), ADialog),
                         FModelessDialogs.end());
}

void TApplication::RegisterForm(TForm* AForm) { FForms.push_back(AForm); }

void TApplication::UnregisterForm(TForm* AForm) {
  FForms.erase(std::remove(FForms.begin(), FForms.end(), AForm), FForms.end());
  if (FMainForm == AForm) FMainForm = nullptr;
}

TForm* TApplication::FindForm(HWND AWindow) const {
  for (TForm* form : FForms) {
    if (form->Handle() == AWindow) return form;
  }
  return nullptr;
}

void TApplication::Restore() {
  if (FMainForm && FMainForm->Handle() && IsIconic(FMainForm->Handle())) {
    ShowWindow(FMainForm->Handle(), SW_RESTORE);
  }
}

}  // namespace vantrel
