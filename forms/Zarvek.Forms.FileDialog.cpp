#include "forms/Zarvek.Forms.FileDialog.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

namespace vantrel {

namespace {

bool Execute(HWND AOwner, const TFileDialogOptions& AOptions, std::wstring& AFileName, bool ASave) {
  // Room for long paths; the suggestion is cut if it does not fit.
  std::vector<wchar_t> file(32768, L'\0');
  AFileName.copy(file.data(), std::min(AFileName.size(), file.size() - 1));
  OPENFILENAMEW dialog = {sizeof(dialog)};
  dialog.hwndOwner = AOwner;
  dialog.lpstrFilter = AOptions.Filter;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrDefExt = AOptions.DefaultExtension;
  dialog.Flags = AOptions.Flags | OFN_EXPLORER | OFN_HIDEREADONLY;
  if (!(ASave ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return false;
  AFileName = file.data();
  return true;
}

}  // namespace

bool ExecuteOpenDialog(HWND AOwner, const TFileDialogOptions& AOptions, std::wstring& AFileName) {
  return Execute(AOwner, AOptions, AFileName, false);
}

bool ExecuteSaveDialog(HWND AOwner, const TFileDialogOptions& AOptions, std::wstring& AFileName) {
  return Execute(AOwner, AOptions, AFileName, true);
}

}  // namespace vantrel
