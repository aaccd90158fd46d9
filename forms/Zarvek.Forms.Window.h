// A window as an object: one object per native window, keeping all of the window's state. Every
// window class of the program has the same window procedure, which finds the object of a window
// and hands it each message. An error a handler raises ends in the application's standard error
// box: nothing crosses into the platform.
#pragma once

#include <windows.h>

namespace vantrel {

class TWindow {
 public:
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  HWND Handle() const { return FHandle; }

  // Registers a class of such windows once per process; its window procedure is set here.
  static void RegisterWindowClass(WNDCLASSEXW AClass);

 protected:
  TWindow() = default;
  // Destroys the window if it still exists; its last messages no longer reach the object.
  virtual ~TWindow();

  // Creates the window with this object behind it; raises Exception when that fails.
  void CreateHandle(DWORD AExStyle, const wchar_t* AClassName, const wchar_t* ACaption, DWORD AStyle, int AX, int AY,
                    int AWidth, int AHeight, HWND AParent, HMENU AMenuOrId);
  // Every message of the window; DefWindowProc by default.
  virtual LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam);
  // After the window's last message (WM_NCDESTROY); Handle() is empty by then.
  virtual void WindowDestroyed() {}

 private:
  static LRESULT CALLBACK WindowProc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam);

  HWND FHandle = nullptr;
};

}  // namespace vantrel
