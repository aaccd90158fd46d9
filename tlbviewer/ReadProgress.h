// The small window a type library read shows when it takes a while: which file is read, that the
// read is alive, and a Cancel button that ends it at once.
#pragma once

#include <windows.h>

#include <string>

#include "catalog/ObjectCatalog.h"
#include "forms/Zarvek.Forms.Form.h"
#include "typelib/TypeLibReader.h"

namespace vantrel {

class TdlgReadProgress : public TForm {
 public:
  // Creates the window (hidden) over AOwner for a read of AFileName that began at AStarted
  // (GetTickCount64) and is stopped after ATimeLimit milliseconds.
  TdlgReadProgress(HWND AOwner, const std::wstring& AFileName, DWORD ATimeLimit, ULONGLONG AStarted);
  ~TdlgReadProgress() override;

  // The user asked to end the read: Cancel, Esc, or the window closed.
  bool Cancelled() const { return FCancelled; }
  // Shows the window, active, with the focus on Cancel.
  void Appear();

  HWND TextLabel() const { return FText; }
  HWND ElapsedLabel() const { return FElapsed; }
  HWND CancelButton() const { return FCancel; }

  // Handlers.
  void bCancelClick();
  void tmElapsedTimer();

 protected:
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override;
  void Command(int AId, int ACode, HWND AControl) override;
  void DoClose(TCloseAction& AAction) override;
  void Resize() override;

 private:
  HWND FText = nullptr, FBar = nullptr, FElapsed = nullptr, FCancel = nullptr;
  DWORD FTimeLimit;
  ULONGLONG FStarted;
  bool FCancelled = false;
};

// Reads the library of AData as ReadTypeLibrary does while AOwner takes no input (it repaints);
// a read that takes longer than ReadProgressDelay() shows a TdlgReadProgress owned by AOwner, and
// the user can cancel it there (the read then says Cancelled). AOwner has its focus back after.
// AOptions' Wait and Cancelled are this function's own.
TTypeLibRead ReadTypeLibraryWithProgress(HWND AOwner, const TObjectData& AData, TRegView AView,
                                         TTypeLibReadOptions AOptions);

// How long a read runs before its window shows, in milliseconds: quick reads show none.
DWORD& ReadProgressDelay();

}  // namespace vantrel
