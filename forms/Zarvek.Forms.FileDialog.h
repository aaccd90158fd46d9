// The platform's file-open and file-save dialogs.
#pragma once

#include <windows.h>

#include <string>

namespace vantrel {

struct TFileDialogOptions {
  const wchar_t* Filter = L"All files (*.*)\0*.*\0";  // pairs of text and pattern, each NUL-ended
  const wchar_t* DefaultExtension = nullptr;
  DWORD Flags = 0;  // OFN_* flags besides OFN_EXPLORER and OFN_HIDEREADONLY
};

// Shows the dialog with AFileName suggested; on OK AFileName is the chosen path. False when
// cancelled.
bool ExecuteOpenDialog(HWND AOwner, const TFileDialogOptions& AOptions, std::wstring& AFileName);
bool ExecuteSaveDialog(HWND AOwner, const TFileDialogOptions& AOptions, std::wstring& AFileName);

}  // namespace vantrel
