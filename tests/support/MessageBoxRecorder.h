// Records the message boxes the program shows while it lives, answering each with Answer (OK unless
// a test sets another).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "forms/Zarvek_Dialogs.h"
#include "forms/Zarvek.Forms.Application.h"

namespace vantrel::test {

class TMessageBoxRecorder {
 public:
  struct TBox {
    std::wstring Text;
    std::wstring Caption;
    UINT Flags;
    TCursor Cursor;     // the screen cursor while the box shows
    std::wstring State;  // what AState returned while the box shows
  };

  explicit TMessageBoxRecorder(std::function<std::wstring()> AState = nullptr) {
    FPrevious = SetMessageBoxFunction(
        [this, AState](HWND, const std::wstring& AText, const std::wstring& ACaption, UINT AFlags) {
          List.push_back({AText, ACaption, AFlags, Application().Cursor(), AState ? AState() : std::wstring()});
          return Answer;
        });
  }
  ~TMessageBoxRecorder() { SetMessageBoxFunction(FPrevious); }
  TMessageBoxRecorder(const TMessageBoxRecorder&) = delete;
  TMessageBoxRecorder& operator=(const TMessageBoxRecorder&) = delete;

  std::vector<TBox> List;
  int Answer = IDOK;

 private:
  TMessageBoxFunction FPrevious;
};

}  // namespace vantrel::test
