#include "forms/Zarvek.Forms.Splitter.h"

#include <windowsx.h>

#include <algorithm>

#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

namespace {

const wchar_t kClassName[] = L"TSplitter";

}  // namespace

namespace {

constexpr int kBarWidth = 3;       // at 96 dots per inch
constexpr int kMinimumPane = 50;   // the pane and the rest never get narrower than these
constexpr int kMinimumRest = 150;

}  // namespace

TSplitter::TSplitter(HWND AParent, int APaneWidth96, std::function<void()> AOnMoved)
    : FPaneWidth96(APaneWidth96), FOnMoved(std::move(AOnMoved)) {
  WNDCLASSEXW wc = {sizeof(wc)};
  wc.hInstance = Application().Instance();
  wc.hCursor = LoadCursorW(nullptr, IDC_SIZEWE);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterWindowClass(wc);
  CreateHandle(0, kClassName, L"", WS_CHILD | WS_VISIBLE, 0, 0, 3, 10, AParent, nullptr);
}

int TSplitter::Place(HWND APane, int AClientWidth, int AHeight, UINT ADpi) {
  const int dpi = static_cast<int>(ADpi);
  const int pane = std::min(MulDiv(FPaneWidth96, dpi, 96), std::max(0, AClientWidth - MulDiv(100, dpi, 96)));
  const int bar = MulDiv(kBarWidth, dpi, 96);
  MoveWindow(APane, 0, 0, pane, AHeight, TRUE);
  MoveWindow(Handle(), pane, 0, bar, AHeight, TRUE);
  return pane + bar;
}

void TSplitter::Drag(int ALeft) {
  HWND parent = GetParent(Handle());
  const int dpi = static_cast<int>(GetDpiForWindow(parent) ? GetDpiForWindow(parent) : 96);
  RECT client = {};
  GetClientRect(parent, &client);
  const int minimum = MulDiv(kMinimumPane, dpi, 96);
  const int width = std::clamp(ALeft, minimum, std::max<int>(minimum, client.right - MulDiv(kMinimumRest, dpi, 96)));
  FPaneWidth96 = MulDiv(width, 96, dpi);
  if (FOnMoved) FOnMoved();
}

LRESULT TSplitter::WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  switch (AMsg) {
    case WM_LBUTTONDOWN:
      FGrabOffset = GET_X_LPARAM(ALParam);
      SetCapture(Handle());
      return 0;
    case WM_MOUSEMOVE:
      if (GetCapture() == Handle()) {
        POINT point = {GET_X_LPARAM(ALParam), GET_Y_LPARAM(ALParam)};
        MapWindowPoints(Handle(), GetParent(Handle()), &point, 1);
        Drag(point.x - FGrabOffset);
      }
      return 0;
    case WM_LBUTTONUP:
      if (GetCapture() == Handle()) ReleaseCapture();
      return 0;
    default:
      return TWindow::WndProc(AMsg, AWParam, ALParam);
  }
}

}  // namespace vantrel
