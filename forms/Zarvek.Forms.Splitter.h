// A vertical splitter bar between a pane on the left and the rest of a window: it keeps the
// pane's width and lets the user drag it.
#pragma once

#include <windows.h>

#include <functional>

#include "forms/Zarvek.Forms.Window.h"

namespace vantrel {

class TSplitter : public TWindow {
 public:
  // APaneWidth96: the pane's width at 96 dots per inch. AOnMoved runs after a drag changed it;
  // the owner lays its window out again then.
  TSplitter(HWND AParent, int APaneWidth96, std::function<void()> AOnMoved);

  int PaneWidth96() const { return FPaneWidth96; }
  // A width the owner kept; the owner lays its window out again afterwards.
  void SetPaneWidth96(int AWidth96) { FPaneWidth96 = AWidth96; }

  // Places APane at the left edge and the bar after it, both AHeight high, for a client area
  // AClientWidth wide at ADpi; returns where the rest of the window starts.
  int Place(HWND APane, int AClientWidth, int AHeight, UINT ADpi);

 protected:
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override;

 private:
  void Drag(int ALeft);

  int FPaneWidth96;
  std::function<void()> FOnMoved;
  int FGrabOffset = 0;
};

}  // namespace vantrel
