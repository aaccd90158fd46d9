#include "forms/Zarvek.Forms.Splitter.h"

#include <windowsx.h>

#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

namespace {

const wchar_t kClassName[] = L"TSplitter";

void RegisterSplitterClass(WNDPROC AProc) {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW wc = {sizeof(wc)};
  wc.lpfnWndProc = AProc;
  wc.hInstance = Application().Instance();
  wc.hCursor = LoadCursorW(nullptr, IDC_SIZEWE);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassExW(&wc);
  registered = true;
}

}  // namespace

TSplitter::TSplitter(HWND AParent, std::function<void(int)> AOnMoved) : FOnMoved(std::move(AOnMoved)) {
  RegisterSplitterClass(WndProc);
  FHandle = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 3, 10, AParent, nullptr,
                            Application().Instance(), this);
}

TSplitter::~TSplitter() {
  if (FHandle) {
    SetWindowLongPtrW(FHandle, GWLP_USERDATA, 0);
    DestroyWindow(FHandle);
  }
}

LRESULT CALLBACK TSplitter::WndProc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  if (AMsg == WM_NCCREATE) {
    SetWindowLongPtrW(AWnd, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(ALParam)->lpCreateParams));
  }
  auto* self = reinterpret_cast<TSplitter*>(GetWindowLongPtrW(AWnd, GWLP_USERDATA));
  if (self) {
    switch (AMsg) {
      case WM_LBUTTONDOWN:
        self->FGrabOffset = GET_X_LPARAM(ALParam);
        SetCapture(AWnd);
        return 0;
      case WM_MOUSEMOVE:
        if (GetCapture() == AWnd) {
          POINT point = {GET_X_LPARAM(ALParam), GET_Y_LPARAM(ALParam)};
          MapWindowPoints(AWnd, GetParent(AWnd), &point, 1);
          if (self->FOnMoved) self->FOnMoved(point.x - self->FGrabOffset);
        }
        return 0;
      case WM_LBUTTONUP:
        if (GetCapture() == AWnd) ReleaseCapture();
        return 0;
      default:
        break;
    }
  }
  return DefWindowProcW(AWnd, AMsg, AWParam, ALParam);
}

}  // namespace vantrel
