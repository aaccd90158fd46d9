#include "forms/Zarvek.Forms.Control.h"

#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

namespace {

bool IsChildWindow(HWND AWindow) { return (GetWindowLongPtrW(AWindow, GWL_STYLE) & WS_CHILD) != 0; }

}  // namespace

RECT ControlBounds(HWND AWindow) {
  RECT rect = {};
  if (!AWindow || !GetWindowRect(AWindow, &rect)) return {};
  if (IsChildWindow(AWindow)) {
    MapWindowPoints(nullptr, GetParent(AWindow), reinterpret_cast<POINT*>(&rect), 2);
  }
  return rect;
}

void SetControlBounds(HWND AWindow, const RECT& ABounds) {
  SetWindowPos(AWindow, nullptr, ABounds.left, ABounds.top, ABounds.right - ABounds.left, ABounds.bottom - ABounds.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

bool ControlVisible(HWND AWindow) { return (GetWindowLongPtrW(AWindow, GWL_STYLE) & WS_VISIBLE) != 0; }

void SetControlVisible(HWND AWindow, bool AVisible) {
  if (AVisible != ControlVisible(AWindow)) ShowWindow(AWindow, AVisible ? SW_SHOWNA : SW_HIDE);
}

bool ControlEnabled(HWND AWindow) { return IsWindowEnabled(AWindow) != FALSE; }

void SetControlEnabled(HWND AWindow, bool AEnabled) { EnableWindow(AWindow, AEnabled ? TRUE : FALSE); }

TFormStyle FormStyleOf(HWND AWindow) {
  if (GetWindowLongPtrW(AWindow, GWL_EXSTYLE) & WS_EX_MDICHILD) return TFormStyle::fsMDIChild;
  if (FindWindowExW(AWindow, nullptr, L"MDIClient", nullptr)) return TFormStyle::fsMDIForm;
  if (GetWindowLongPtrW(AWindow, GWL_EXSTYLE) & WS_EX_TOPMOST) return TFormStyle::fsStayOnTop;
  return TFormStyle::fsNormal;
}

bool SetFormStyleOf(HWND AWindow, TFormStyle AStyle) {
  TFormStyle current = FormStyleOf(AWindow);
  if (current == AStyle) return true;
  auto switchable = [](TFormStyle AValue) {
    return AValue == TFormStyle::fsNormal || AValue == TFormStyle::fsStayOnTop;
  };
  if (!switchable(current) || !switchable(AStyle)) return false;
  SetWindowPos(AWindow, AStyle == TFormStyle::fsStayOnTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return true;
}

TControl::TControl(TComponent* AOwner, HWND AParent, const std::wstring& AWindowClass, std::wstring AName,
                   DWORD AStyle) {
  // Named and owned first: if the window cannot be made, the base's destructor undoes this.
  SetName(std::move(AName));
  SetOwner(AOwner);
  FHandle = CreateWindowExW(0, AWindowClass.c_str(), L"", AStyle | WS_CHILD, 0, 0, 0, 0, AParent, nullptr,
                            Application().Instance(), nullptr);
  if (!FHandle) throw Exception(L"Cannot create window: " + Trim(SysErrorMessage(GetLastError())));
}

TControl::~TControl() {
  if (IsWindow(FHandle)) DestroyWindow(FHandle);
}

int TControl::Width() const {
  RECT r = ControlBounds(FHandle);
  return r.right - r.left;
}

int TControl::Height() const {
  RECT r = ControlBounds(FHandle);
  return r.bottom - r.top;
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
  SetControlBounds(FHandle, {ALeft, ATop, ALeft + AWidth, ATop + AHeight});
}

}  // namespace vantrel
