// Suspending a window's repainting for a bulk change.
#pragma once

#include <windows.h>

namespace vantrel {

// Suspends a window's repainting while it lives.
class TRedrawLock {
 public:
  explicit TRedrawLock(HWND AWindow) : FWindow(AWindow) { SendMessageW(FWindow, WM_SETREDRAW, FALSE, 0); }
  ~TRedrawLock() {
    SendMessageW(FWindow, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(FWindow, nullptr, TRUE);
  }
  TRedrawLock(const TRedrawLock&) = delete;
  TRedrawLock& operator=(const TRedrawLock&) = delete;

 private:
  HWND FWindow;
};

}  // namespace vantrel
