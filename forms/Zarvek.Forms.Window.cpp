#include "forms/Zarvek.Forms.Window.h"

#include <exception>

#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

void TWindow::RegisterWindowClass(WNDCLASSEXW AClass) {
  WNDCLASSEXW existing = {sizeof(existing)};
  if (GetClassInfoExW(AClass.hInstance, AClass.lpszClassName, &existing)) return;
  AClass.cbSize = sizeof(AClass);
  AClass.lpfnWndProc = WindowProc;
  RegisterClassExW(&AClass);
}

TWindow::~TWindow() {
  if (!FHandle) return;
  HWND handle = FHandle;
  SetWindowLongPtrW(handle, GWLP_USERDATA, 0);
  FHandle = nullptr;
  DestroyWindow(handle);
}

void TWindow::CreateHandle(DWORD AExStyle, const wchar_t* AClassName, const wchar_t* ACaption, DWORD AStyle, int AX,
                           int AY, int AWidth, int AHeight, HWND AParent, HMENU AMenuOrId) {
  CreateWindowExW(AExStyle, AClassName, ACaption, AStyle, AX, AY, AWidth, AHeight, AParent, AMenuOrId,
                  Application().Instance(), this);
  if (!FHandle) throw Exception(L"Cannot create window: " + Trim(SysErrorMessage(GetLastError())));
}

LRESULT TWindow::WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  return DefWindowProcW(FHandle, AMsg, AWParam, ALParam);
}

LRESULT CALLBACK TWindow::WindowProc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  if (AMsg == WM_NCCREATE) {
    auto* created = static_cast<TWindow*>(reinterpret_cast<CREATESTRUCTW*>(ALParam)->lpCreateParams);
    if (created) {
      created->FHandle = AWnd;
      SetWindowLongPtrW(AWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
    }
  }
  auto* window = reinterpret_cast<TWindow*>(GetWindowLongPtrW(AWnd, GWLP_USERDATA));
  if (!window) return DefWindowProcW(AWnd, AMsg, AWParam, ALParam);
  LRESULT result = 0;
  try {
    result = window->WndProc(AMsg, AWParam, ALParam);
  } catch (const std::exception& e) {
    Application().ShowException(e);
  } catch (...) {
    Application().ShowErrorText(L"An unexpected error occurred.");
  }
  if (AMsg == WM_NCDESTROY) {
    SetWindowLongPtrW(AWnd, GWLP_USERDATA, 0);
    window->FHandle = nullptr;
    window->WindowDestroyed();
  }
  return result;
}

}  // namespace vantrel
