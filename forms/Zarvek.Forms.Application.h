// The application object: title, main form, message loop, wait cursor and the standard error box.
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace vantrel {

class TForm;

enum class TCursor { crDefault, crHourGlass };

class TApplication {
 public:
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Common controls, OLE and the window classes of the program's controls.
  void Initialize();

  HINSTANCE Instance() const { return FInstance; }
  const std::wstring& Title() const { return FTitle; }
  void SetTitle(std::wstring ATitle) { FTitle = std::move(ATitle); }

  TForm* MainForm() const { return FMainForm; }
  void SetMainForm(TForm* AForm) { FMainForm = AForm; }

  // Runs the message loop until the main form is destroyed or Terminate is called.
  int Run();
  void Terminate(int AExitCode = 0);
  bool Terminated() const { return FTerminated; }
  // Handles every message already queued, then returns.
  void ProcessMessages();
  // Waits until AHandle (a process, say) is signalled while handling the messages that arrive,
  // so that the windows repaint and take input meanwhile. Once the application is told to end,
  // it waits without handling messages.
  void WaitFor(HANDLE AHandle);
  // The same for at most ATimeout milliseconds; true when the handle was signalled.
  bool WaitFor(HANDLE AHandle, DWORD ATimeout);
  // The same, returning false as soon as AStop holds after the messages that arrived were handled
  // (a Cancel button clicked meanwhile, say).
  bool WaitFor(HANDLE AHandle, DWORD ATimeout, const std::function<bool()>& AStop);
  // Keyboard preprocessing of one message: modeless dialogs, then the accelerators of the form
  // the message is for. True when the message was consumed.
  bool PreTranslate(MSG& AMsg);

  // The standard error box: the error text in a message box captioned with the application title.
  void ShowException(const std::exception& E);
  void ShowErrorText(const std::wstring& AText);
  // Catches whatever AWork throws and shows it in the standard error box.
  void Guard(const std::function<void()>& AWork);

  // The screen cursor: crHourGlass overrides every window's cursor until set back.
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor ACursor);
  bool HandleSetCursor();  // true when the override cursor was set

  // The window of the active form, else the main form's, else none.
  HWND ActiveFormWindow() const;

  // Modeless dialogs whose messages the loop routes through IsDialogMessage.
  void AddModelessDialog(HWND ADialog);
  void RemoveModelessDialog(HWND ADialog);

  // Forms register themselves so that keyboard messages reach their accelerators.
  void RegisterForm(TForm* AForm);
  void UnregisterForm(TForm* AForm);
  TForm* FindForm(HWND AWindow) const;

  // Minimised main window brought back before a message box shows.
  void Restore();

 private:
  friend TApplication& Application();
  TApplication();

  HINSTANCE FInstance;
  std::wstring FTitle;
  TForm* FMainForm = nullptr;
  bool FTerminated = false;
  int FExitCode = 0;
  TCursor FCursor = TCursor::crDefault;
  std::vector<HWND> FModelessDialogs;
  std::vector<TForm*> FForms;
};

TApplication& Application();

// Shows the wait cursor for its lifetime.
class TWaitCursor {
 public:
  TWaitCursor() : FOld(Application().Cursor()) { Application().SetCursor(TCursor::crHourGlass); }
  ~TWaitCursor() { Application().SetCursor(FOld); }
  TWaitCursor(const TWaitCursor&) = delete;
  TWaitCursor& operator=(const TWaitCursor&) = delete;

 private:
  TCursor FOld;
};

}  // namespace vantrel
