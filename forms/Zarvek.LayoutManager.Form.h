// TLMForm: the base of the program's main windows. It centres itself at construction, owns a
// layout manager, and raises window-state, monitor, display-change and dropped-file events.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <vector>

#include "forms/Zarvek.Forms.Form.h"
#include "forms/Zarvek.LayoutManager.Control.h"

namespace vantrel {

using TDisplayChangeEvent = std::function<void(TComponent* ASender, int AWidth, int AHeight, int ABitsPerPixel)>;
// AFiles is only valid during the call.
using TOnDropFilesEvent = std::function<void(TComponent* ASender, const TStringList& AFiles)>;
using TMonitorChangedEvent = std::function<void(TComponent* ASender, int AOldMonitor, int ANewMonitor)>;
// The user's close handler; it may change the proposed action.
using TCloseEvent = std::function<void(TComponent* ASender, TCloseAction& AAction)>;

// Offset that centres a length within an area; halves truncate toward zero, and nothing clamps
// a length larger than the area (the offset then lies before the area's start).
int CenteredOffset(int AAreaStart, int AAreaLength, int ALength);

// The monitors in the platform's enumeration order; a monitor's number is its index.
struct TMonitorEntry {
  HMONITOR Handle;
  RECT Bounds;
};
std::vector<TMonitorEntry> Monitors();
// Number of a monitor; -1 when it is not found.
int MonitorNumber(HMONITOR AMonitor);
int MonitorCount();

// The layout settings a form's design may give before the form takes the main window's storage.
struct TLayoutDesign {
  bool LayoutControl = false;
  TLayoutManagerControlOptions LayoutOptions = TLayoutManagerControlOptions::All();
  bool LayoutReadOnly = false;
  bool AcceptFiles = false;
};

class TLMForm : public TForm {
 public:
  explicit TLMForm(const TFormDesign& ADesign, const TLayoutDesign& ALayout = {});
  ~TLMForm() override;

  TLayoutManager& LayoutManager() { return *FLM; }

  // On: the form is registered with its layout manager, restored when first shown and saved at
  // the end of each move or size and at destruction.
  bool LayoutControl() const { return FLC; }
  void SetLayoutControl(bool AValue);
  TLayoutManagerControlOptions LayoutOptions() const { return FLMCO; }
  void SetLayoutOptions(TLayoutManagerControlOptions AValue);
  bool LayoutReadOnly() const { return FRO; }
  void SetLayoutReadOnly(bool AValue);
  // Registers or unregisters the window as a target for files dropped from the shell, at once.
  bool AcceptFiles() const { return FAF; }
  void SetAcceptFiles(bool AValue);
  // The form is on its way to being freed.
  bool Closing() const { return FClosing; }
  // Number of the monitor the window was last found on; -1 until it is first shown.
  int MonitorNum() const { return FMonNum; }

  void SetOnBeforeRestore(TNotifyEvent AEvent);
  void SetOnAfterRestore(TNotifyEvent AEvent);
  void SetOnBeforeSave(TNotifyEvent AEvent);
  void SetOnAfterSave(TNotifyEvent AEvent);
  const TNotifyEvent& OnBeforeRestore() const { return FOnBeforeRestore; }
  const TNotifyEvent& OnAfterRestore() const { return FOnAfterRestore; }
  const TNotifyEvent& OnBeforeSave() const { return FOnBeforeSave; }
  const TNotifyEvent& OnAfterSave() const { return FOnAfterSave; }
  TDisplayChangeEvent OnDisplayChange;
  TOnDropFilesEvent OnDropFiles;
  // Raised for the system commands (system menu, caption buttons, keyboard) before the window
  // changes state; never for changes made through SetWindowState.
  TNotifyEvent OnRestore, OnMaximize, OnMinimize;
  TMonitorChangedEvent OnMonitorChanged;
  TCloseEvent OnClose;

  // Centre over another form, or on the primary monitor's work area when AForm is null.
  void CenterTo(TForm* AForm);
  // Centre on the virtual desktop (all monitors).
  void CenterToDesktop();
  // Centre on the full bounds of monitor AMonitor; on the primary work area when there is no such
  // monitor.
  void CenterToMonitor(int AMonitor);

  // Writing the current state does nothing; otherwise the hooks run around the change.
  void SetWindowState(TWindowState AState) override;

 protected:
  virtual void WindowStateChanging(TWindowState ANewState);
  virtual void WindowStateChanged(TWindowState ANewState);
  // Raises OnMinimize, OnMaximize or OnRestore for a system command (low four bits cleared).
  virtual void DoSysCommand(UINT ACommand);

  // Restores the layout before the window first shows, so that it appears in its remembered
  // place and state.
  void BeforeFirstShow() override;
  void DoShow() override;
  // Sets the closing flag from the proposed action, saves the layout while the window still has
  // its last place and state, then runs OnClose.
  void DoClose(TCloseAction& AAction) override;
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override;

 private:
  void RestoreLayoutOnce();
  void CenterIn(const RECT& AArea);
  void TrackMonitor();
  void DisplayChanged(WPARAM AWParam, LPARAM ALParam);
  void DropFiles(HDROP ADrop);

  std::unique_ptr<TLayoutManager> FLM;
  bool FLC = false;
  TNotifyEvent FOnAfterRestore, FOnAfterSave, FOnBeforeRestore, FOnBeforeSave;
  TLayoutManagerControlOptions FLMCO = TLayoutManagerControlOptions::All();
  bool FAF = false;
  bool FRO = false;
  bool FClosing = false;
  int FMonNum = -1;
  bool FLayoutRestored = false;
};

}  // namespace vantrel
