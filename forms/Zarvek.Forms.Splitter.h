// A vertical splitter bar: dragging it reports the new position of its left edge to the owner.
#pragma once

#include <windows.h>

#include <functional>

namespace vantrel {

class TSplitter {
 public:
  // AOnMoved receives the wanted left edge of the bar in the parent's client coordinates.
  TSplitter(HWND AParent, std::function<void(int ALeft)> AOnMoved);
  ~TSplitter();
  TSplitter(const TSplitter&) = delete;
  TSplitter& operator=(const TSplitter&) = delete;

  HWND Handle() const { return FHandle; }

 private:
  static LRESULT CALLBACK WndProc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam);

  HWND FHandle = nullptr;
  std::function<void(int)> FOnMoved;
  int FGrabOffset = 0;
};

}  // namespace vantrel
