// The two child window kinds the about dialog is built from besides the common controls: a
// coloured panel and a picture (an icon, or a bitmap with premultiplied alpha, optionally a strip
// of animation frames).
#pragma once

#include <windows.h>

#include <functional>
#include <string>  // before Zarvek_Handles.h, which uses std::wstring without including it

#include "forms/Zarvek.Forms.Window.h"
#include "forms/Zarvek_UIHandles.h"

namespace vantrel {

// A coloured child window that groups controls. The notifications of its controls (commands,
// colour requests, cursor requests) go on to the top-level window, so that the form handles them
// in one place.
class TPanelWindow : public TWindow {
 public:
  TPanelWindow(HWND AParent, int AId, COLORREF AColor);

  COLORREF Color() const { return FColor; }
  HBRUSH Brush() const { return FBrush.get(); }

  // Any mouse button pressed on the panel itself (or on a control that lets the mouse through).
  std::function<void()> OnMouseDown;

 protected:
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override;

 private:
  COLORREF FColor;
  TBrush FBrush;
};

// An icon of ASize pixels from a whole .ico file stored as an RCDATA resource: the image of that
// size, else the next larger one, else the largest, scaled. None when the resource is missing
// or not an icon file.
TIcon LoadIconFile(HINSTANCE AInstance, int AId, int ASize);

// A picture control, created hidden.
class TPictureWindow : public TWindow {
 public:
  TPictureWindow(HWND AParent, int AId, COLORREF ABackground);

  // A 32-bit bitmap with premultiplied alpha, made of AFrameCount frames side by side; it is
  // stretched to the window's size.
  void SetBitmap(TBitmap ABitmap, int AFrameCount = 1);
  // An icon drawn at the window's size.
  void SetIcon(TIcon AIcon);

  void StartAnimation(UINT AIntervalMs);
  void StopAnimation();
  int Frame() const { return FFrame; }

  std::function<void()> OnMouseDown;

 protected:
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override;

 private:
  void Paint(HDC ADC) const;

  COLORREF FBackground;
  TBitmap FBitmap;
  TIcon FIcon;
  int FFrameCount = 1;
  int FFrame = 0;
};

}  // namespace vantrel
