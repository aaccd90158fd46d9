#include "forms/Zarvek.Forms.Splitter.h"

#include <windowsx.h>

#include <algorithm>

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

namespace {

constexpr int kBarWidth = 3;       // at 96 dots per inch
constexpr int kMinimumPane = 50;   // the pane and the rest never get narrower than these
constexpr int kMinimumRest = 150;

}  // namespace

TSplitter::TSplitter(HWND AParent, int APaneWidth96, std::function<void()> AOnMoved)
    : FPaneWidth96(APaneWidth96), FOnMoved(std::move(AOnMoved)) {
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

int TSplitter::Place(HWND APane, int AClientWidth, int AHeight, UINT ADpi) {
  const int dpi = static_cast<int>(ADpi);
  const int pane = std::min(MulDiv(FPaneWidth96, dpi, 96), std::max(0, AClientWidth - MulDiv(100, dpi, 96)));
  const int bar = MulDiv(kBarWidth, dpi, 96);
  MoveWindow(APane, 0, 0, pane, AHeight, TRUE);
  MoveWindow(FHandle, pane, 0, bar, AHeight, TRUE);
  return pane + bar;
}

void TSplitter::Drag(int ALeft) {
  HWND parent = GetParent(FHandle);
  const int dpi = static_cast<int>(GetDpiForWindow(parent) ? GetDpiForWindow(parent) : 96);
  RECT client = {};
  GetClientRect(parent, &client);
  const int minimum = MulDiv(kMinimumPane, dpi, 96);
  const int width = std::clamp(ALeft, minimum, std::max<int>(minimum, client.right - MulDiv(kMinimumRest, dpi, 96)));
  FPaneWidth96 = MulDiv(width, 96, dpi);
  if (FOnMoved) FOnMoved();
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
          self->Drag(point.x - self->FGrabOffset);
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
