// A top-level window as an object (see TWindow), with the events of a form.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "forms/Zarvek.Forms.Component.h"
#include "forms/Zarvek.Forms.Window.h"
#include "forms/Zarvek_UIHandles.h"

namespace vantrel {

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };

constexpr int mrNone = 0;
constexpr int mrOk = IDOK;
constexpr int mrCancel = IDCANCEL;

// What a form is made of before its window exists.
struct TFormDesign {
  std::wstring ClassName;   // window class name
  std::wstring Caption;
  int ClientWidth = 400;    // at 96 dots per inch
  int ClientHeight = 300;   // at 96 dots per inch
  DWORD Style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  DWORD ExStyle = WS_EX_CONTROLPARENT;
  HWND Owner = nullptr;
  int MenuId = 0;           // menu resource, 0 for none
  int AcceleratorsId = 0;   // accelerator resource, 0 for none
  int IconId = 0;           // icon resource, 0 for none
};

// The design of a small dialog window owned by AOwner: a caption with a close box, no sizing frame,
// tabbing between its controls.
TFormDesign DialogDesign(HWND AOwner, std::wstring AClassName, std::wstring ACaption, int AClientWidth,
                         int AClientHeight);

class TForm : public TComponent, public TWindow {
 public:
  // Creates the native window at once, hidden, with the design's client size at the monitor's
  // pixel density.
  explicit TForm(const TFormDesign& ADesign);
  ~TForm() override;

  using TWindow::Handle;
  std::wstring ClassName() const override { return FClassName; }
  HWND WindowHandle() const override { return Handle(); }

  std::wstring Caption() const;
  void SetCaption(const std::wstring& ACaption);

  // Outer bounds in screen pixels.
  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void SetLeft(int ALeft);
  void SetTop(int ATop);
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  void SetClientSize(int AWidth, int AHeight);  // pixels
  SIZE ClientSize() const;

  // Pixel density of the window's monitor, and a 96-DPI length scaled to it.
  UINT Dpi() const { return FDpi; }
  int Scale(int AValue96) const { return MulDiv(AValue96, static_cast<int>(FDpi), 96); }
  // The form's font (Tahoma 8 pt at the window's density).
  HFONT Font() const { return FFont.get(); }
  // Gives a child window the form's font.
  void ApplyFont(HWND AChild) const;
  // Lets a status bar take its place at the bottom; returns the client height left above it.
  int PlaceStatusBar(HWND AStatusBar) const;

  TWindowState WindowState() const;
  virtual void SetWindowState(TWindowState AState);

  bool Visible() const { return Handle() && IsWindowVisible(Handle()); }
  void Show();
  void Hide();
  // Runs the form modally over its owner; returns the modal result.
  int ShowModal();
  void SetModalResult(int AResult) { FModalResult = AResult; }
  // Asks the form to close, as the close button does.
  void Close();

  HACCEL Accelerators() const { return FAccelerators.get(); }
  // Keyboard preprocessing after the accelerators (dialog-style navigation by default); true when
  // the message was consumed.
  virtual bool PreTranslateMessage(MSG& AMsg);

 protected:
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override;
  LRESULT DefaultHandler(UINT AMsg, WPARAM AWParam, LPARAM ALParam);

  // Once, before the window first becomes visible through Show: the last moment to change its
  // place and state unseen.
  virtual void BeforeFirstShow() {}
  // Notifications, as the toolkit gives them.
  virtual void DoShow() {}
  virtual void DoClose(TCloseAction& AAction);
  virtual void Resize() {}
  // The pixel density changed; fonts are already recreated.
  virtual void DpiChanged() {}
  virtual void Command(int AId, int ACode, HWND AControl);
  virtual LRESULT Notify(NMHDR* AHeader);

  // Runs a command handler; an error it raises goes to the standard error box.
  void RunCommand(const std::function<void()>& AHandler);

 private:
  static void RegisterClass(const std::wstring& AName, int AIconId);
  void CreateFonts();

  std::wstring FClassName;
  UINT FDpi = 96;
  TFont FFont;
  TAccelerators FAccelerators;
  int FModalResult = mrNone;
  bool FModal = false;
  bool FShownOnce = false;
  bool FShowPrepared = false;
  TWindowState FPendingState = TWindowState::wsNormal;
  bool FStatePending = false;
};

}  // namespace vantrel
