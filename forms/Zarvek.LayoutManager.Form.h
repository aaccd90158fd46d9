// TLMForm: the base of the program's main windows. It centres itself at construction, owns a
// layout manager, and raises window-state, monitor, display-change and dropped-file events.
#pragma once

#include <memory>

#include "forms/Zarvek.Forms.Form.h"
#include "forms/Zarvek.LayoutManager.Control.h"

namespace vantrel {

using TDisplayChangeEvent = std::function<void(TComponent* ASender, int AWidth, int AHeight, int ABitsPerPixel)>;
using TOnDropFilesEvent = std::function<void(TComponent* ASender, const TStringList& AFiles)>;
using TMonitorChangedEvent = std::function<void(TComponent* ASender, int AOldMonitor, int ANewMonitor)>;

// Offset that centres a length within an area; halves truncate toward zero.
int CenteredOffset(int AAreaStart, int AAreaLength, int ALength);

// Number of a monitor in the platform's enumeration order; -1 when it is not found.
int MonitorNumber(HMONITOR AMonitor);
int MonitorCount();

class TLMForm : public TForm {
 public:
  explicit TLMForm(const TFormDesign& ADesign);
  ~TLMForm() override;

  TLayoutManager& LayoutManager() { return *FLM; }

  bool LayoutControl() const { return FLC; }
  void SetLayoutControl(bool AValue);
  TLayoutManagerControlOptions LayoutOptions() const { return FLMCO; }
  void SetLayoutOptions(TLayoutManagerControlOptions AValue);
  bool LayoutReadOnly() const { return FRO; }
  void SetLayoutReadOnly(bool AValue);
  bool AcceptFiles() const { return FAF; }
  void SetAcceptFiles(bool AValue);
  bool Closing() const { return FClosing; }
  int MonitorNum() const { return FMonNum; }

  void SetOnBeforeRestore(TNotifyEvent AEvent);
  void SetOnAfterRestore(TNotifyEvent AEvent);
  void SetOnBeforeSave(TNotifyEvent AEvent);
  void SetOnAfterSave(TNotifyEvent AEvent);
  TDisplayChangeEvent OnDisplayChange;
  TOnDropFilesEvent OnDropFiles;
  TNotifyEvent OnRestore, OnMaximize, OnMinimize;
  TMonitorChangedEvent OnMonitorChanged;

  // Centre over another form, or on the primary monitor's work area when AForm is null.
  void CenterTo(TForm* AForm);
  void CenterToDesktop();
  void CenterToMonitor(int AMonitor);

  void SetWindowState(TWindowState AState) override;

 protected:
  virtual void WindowStateChanging(TWindowState ANewState);
  virtual void WindowStateChanged(TWindowState ANewState);
  // Raises OnMinimize, OnMaximize or OnRestore for a system command (already masked).
  virtual void DoSysCommand(UINT ACommand);

  void DoShow() override;
  void DoClose(TCloseAction& AAction) override;
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override;

 private:
  void CenterIn(const RECT& AArea);
  void TrackMonitor();

  std::unique_ptr<TLayoutManager> FLM;
  bool FLC = false;
  TNotifyEvent FOnAfterRestore, FOnAfterSave, FOnBeforeRestore, FOnBeforeSave;
  TLayoutManagerControlOptions FLMCO = TLayoutManagerControlOptions::All();
  bool FAF = false;
  bool FRO = false;
  bool FClosing = false;
  int FMonNum = -1;
};

}  // namespace vantrel
