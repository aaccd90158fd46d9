#include "about/AboutControls.h"

#include "forms/Zarvek.Forms.Application.h"

namespace vantrel {

namespace {

constexpr wchar_t PanelClass[] = L"Zarvek.UI.Panel";
constexpr wchar_t PictureClass[] = L"Zarvek.UI.Picture";
constexpr UINT_PTR AnimationTimer = 1;

void RegisterChildClass(const wchar_t* AName) {
  WNDCLASSEXW wc = {sizeof(wc)};
  wc.hInstance = Application().Instance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = AName;
  TWindow::RegisterWindowClass(wc);
}

bool IsMouseDown(UINT AMsg) {
  return AMsg == WM_LBUTTONDOWN || AMsg == WM_RBUTTONDOWN || AMsg == WM_MBUTTONDOWN;
}

}  // namespace

TPanelWindow::TPanelWindow(HWND AParent, int AId, COLORREF AColor) : FColor(AColor), FBrush(CreateSolidBrush(AColor)) {
  RegisterChildClass(PanelClass);
  CreateHandle(WS_EX_CONTROLPARENT, PanelClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0, 0, AParent,
               reinterpret_cast<HMENU>(static_cast<INT_PTR>(AId)));
}

LRESULT TPanelWindow::WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  switch (AMsg) {
    case WM_ERASEBKGND: {
      RECT rect;
      GetClientRect(Handle(), &rect);
      FillRect(reinterpret_cast<HDC>(AWParam), &rect, Brush());
      return 1;
    }
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      return SendMessageW(GetAncestor(Handle(), GA_ROOT), AMsg, AWParam, ALParam);
    case WM_SETCURSOR:
      if (reinterpret_cast<HWND>(AWParam) != Handle()) {
        return SendMessageW(GetAncestor(Handle(), GA_ROOT), AMsg, AWParam, ALParam);
      }
      break;
    default:
      if (IsMouseDown(AMsg) && OnMouseDown) {
        OnMouseDown();
        return 0;
      }
      break;
  }
  return TWindow::WndProc(AMsg, AWParam, ALParam);
}

TIcon LoadIconFile(HINSTANCE AInstance, int AId, int ASize) {
  HRSRC resource = FindResourceW(AInstance, MAKEINTRESOURCEW(AId), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!resource) return {};
  HGLOBAL loaded = LoadResource(AInstance, resource);
  const auto* data = static_cast<const BYTE*>(loaded ? LockResource(loaded) : nullptr);
  DWORD size = SizeofResource(AInstance, resource);
  // ICONDIR: reserved, type 1, count; then 16-byte entries: width, height (0 means 256), colours,
  // reserved, planes, bit count, byte count, offset.
  if (!data || size < 6 || data[2] != 1 || data[3] != 0) return {};
  int count = data[4] | (data[5] << 8);
  int best = -1;
  int bestSize = 0;
  for (int i = 0; i < count && 6u + 16u * (i + 1) <= size; ++i) {
    const BYTE* entry = data + 6 + 16 * i;
    int width = entry[0] ? entry[0] : 256;
    bool better = best < 0 || (width >= ASize && (bestSize < ASize || width < bestSize)) ||
                  (width < ASize && bestSize < ASize && width > bestSize);
    if (better) {
      best = i;
      bestSize = width;
    }
  }
  if (best < 0) return {};
  const BYTE* entry = data + 6 + 16 * best;
  DWORD bytes = entry[8] | (entry[9] << 8) | (entry[10] << 16) | (static_cast<DWORD>(entry[11]) << 24);
  DWORD offset = entry[12] | (entry[13] << 8) | (entry[14] << 16) | (static_cast<DWORD>(entry[15]) << 24);
  if (offset > size || bytes > size - offset) return {};
  return TIcon(CreateIconFromResourceEx(const_cast<BYTE*>(data + offset), bytes, TRUE, 0x00030000, ASize, ASize,
                                        LR_DEFAULTCOLOR));
}

TPictureWindow::TPictureWindow(HWND AParent, int AId, COLORREF ABackground) : FBackground(ABackground) {
  RegisterChildClass(PictureClass);
  CreateHandle(0, PictureClass, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0, AParent,
               reinterpret_cast<HMENU>(static_cast<INT_PTR>(AId)));
}

void TPictureWindow::SetBitmap(TBitmap ABitmap, int AFrameCount) {
  FBitmap = std::move(ABitmap);
  FIcon.reset();
  FFrameCount = AFrameCount > 0 ? AFrameCount : 1;
  FFrame %= FFrameCount;
  InvalidateRect(Handle(), nullptr, TRUE);
}

void TPictureWindow::SetIcon(TIcon AIcon) {
  FIcon = std::move(AIcon);
  FBitmap.reset();
  FFrameCount = 1;
  FFrame = 0;
  InvalidateRect(Handle(), nullptr, TRUE);
}

void TPictureWindow::StartAnimation(UINT AIntervalMs) {
  SetTimer(Handle(), AnimationTimer, AIntervalMs, nullptr);
}

void TPictureWindow::StopAnimation() {
  KillTimer(Handle(), AnimationTimer);
}

void TPictureWindow::Paint(HDC ADC) const {
  RECT rect;
  GetClientRect(Handle(), &rect);
  TBrush background(CreateSolidBrush(FBackground));
  FillRect(ADC, &rect, background.get());
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  if (FIcon) {
    DrawIconEx(ADC, 0, 0, FIcon.get(), width, height, 0, nullptr, DI_NORMAL);
  } else if (FBitmap) {
    BITMAP info = {};
    GetObjectW(FBitmap.get(), sizeof(info), &info);
    int frameWidth = info.bmWidth / FFrameCount;
    TMemoryDC memory(CreateCompatibleDC(ADC));
    TSelectObject select(memory.get(), FBitmap.get());
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    SetStretchBltMode(ADC, HALFTONE);
    AlphaBlend(ADC, 0, 0, width, height, memory.get(), FFrame * frameWidth, 0, frameWidth, info.bmHeight, blend);
  }
}

LRESULT TPictureWindow::WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
  switch (AMsg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(Handle(), &paint);
      Paint(dc);
      EndPaint(Handle(), &paint);
      return 0;
    }
    case WM_TIMER:
      if (AWParam == AnimationTimer) {
        FFrame = (FFrame + 1) % FFrameCount;
        InvalidateRect(Handle(), nullptr, FALSE);
        return 0;
      }
      break;
    default:
      if (IsMouseDown(AMsg) && OnMouseDown) {
        OnMouseDown();
        return 0;
      }
      break;
  }
  return TWindow::WndProc(AMsg, AWParam, ALParam);
}

}  // namespace vantrel
