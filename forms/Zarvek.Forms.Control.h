// Windowed controls: a child window as a named component, and the bounds, visibility and style
// operations the layout manager applies to any window.
#pragma once

#include <windows.h>

#include <string>

#include "forms/Zarvek.Forms.Component.h"

namespace vantrel {

// A window's bounds in the client coordinates of its parent (screen coordinates for a top-level
// window).
RECT ControlBounds(HWND AWindow);
void SetControlBounds(HWND AWindow, const RECT& ABounds);
// The window's own visibility flag, whether or not its parent is visible.
bool ControlVisible(HWND AWindow);
void SetControlVisible(HWND AWindow, bool AVisible);
bool ControlEnabled(HWND AWindow);
void SetControlEnabled(HWND AWindow, bool AEnabled);

// How a form stands among the other windows; the ordinal is what stored layouts keep.
enum class TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };

TFormStyle FormStyleOf(HWND AWindow);
// Switches between fsNormal and fsStayOnTop. The multi-document kinds are fixed when a window is
// created, so a switch to or from them is ignored; false then.
bool SetFormStyleOf(HWND AWindow, TFormStyle AStyle);

// A child window as a component: it has a name, an owner and bounds, and its window lives as long
// as the object.
class TControl : public TComponent {
 public:
  // Creates a child window of the window class AWindowClass ("STATIC", "BUTTON"...) on AParent.
  TControl(TComponent* AOwner, HWND AParent, const std::wstring& AWindowClass, std::wstring AName,
           DWORD AStyle = WS_CHILD | WS_VISIBLE);
  ~TControl() override;

  std::wstring ClassName() const override { return L"TControl"; }
  HWND WindowHandle() const override { return FHandle; }
  HWND Handle() const { return FHandle; }

  int Left() const { return ControlBounds(FHandle).left; }
  int Top() const { return ControlBounds(FHandle).top; }
  int Width() const;
  int Height() const;
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  bool Visible() const { return ControlVisible(FHandle); }
  void SetVisible(bool AValue) { SetControlVisible(FHandle, AValue); }
  bool Enabled() const { return ControlEnabled(FHandle); }
  void SetEnabled(bool AValue) { SetControlEnabled(FHandle, AValue); }

 private:
  HWND FHandle = nullptr;
};

}  // namespace vantrel
