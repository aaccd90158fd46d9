#include "tests/support/ProgramWindows.h"

#include "tests/support/TestSupport.h"

namespace vantrel::test {

namespace {

// A buffer in another process, freed at the end.
class TRemoteBuffer {
 public:
  TRemoteBuffer(HANDLE AProcess, SIZE_T ASize)
      : FProcess(AProcess), FData(VirtualAllocEx(AProcess, nullptr, ASize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
  ~TRemoteBuffer() {
    if (FData) VirtualFreeEx(FProcess, FData, 0, MEM_RELEASE);
  }
  TRemoteBuffer(const TRemoteBuffer&) = delete;
  TRemoteBuffer& operator=(const TRemoteBuffer&) = delete;
  void* Data() const { return FData; }
  bool Read(void* ATarget, SIZE_T ASize, SIZE_T AOffset = 0) const {
    SIZE_T read = 0;
    return FData && ReadProcessMemory(FProcess, static_cast<BYTE*>(FData) + AOffset, ATarget, ASize, &read);
  }
  bool Write(const void* ASource, SIZE_T ASize) const {
    SIZE_T written = 0;
    return FData && WriteProcessMemory(FProcess, FData, ASource, ASize, &written);
  }

 private:
  HANDLE FProcess;
  void* FData;
};

}  // namespace

HWND WaitForProcessWindow(const wchar_t* AClassName, DWORD AProcessId, DWORD ATimeoutMs) {
  for (DWORD waited = 0; waited <= ATimeoutMs; waited += 100) {
    HWND candidate = nullptr;
    while ((candidate = FindWindowExW(nullptr, candidate, AClassName, nullptr)) != nullptr) {
      DWORD pid = 0;
      GetWindowThreadProcessId(candidate, &pid);
      if (pid == AProcessId && IsWindowVisible(candidate)) return candidate;
    }
    Sleep(100);
  }
  return nullptr;
}

HWND StartProgramWindow(const std::wstring& AArgs, PROCESS_INFORMATION& AInfo) {
  std::wstring commandLine = L"\"" + ProgramPath() + L"\" " + AArgs;
  STARTUPINFOW startup = {sizeof(startup)};
  AInfo = {};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &AInfo)) {
    return nullptr;
  }
  return WaitForProcessWindow(L"TfrmMain", AInfo.dwProcessId, 60000);
}

std::wstring RemoteStatusText(HANDLE AProcess, HWND AStatusBar, int APart) {
  wchar_t text[256] = {};
  TRemoteBuffer buffer(AProcess, sizeof(text));
  if (!buffer.Data()) return L"";
  SendMessageW(AStatusBar, SB_GETTEXTW, static_cast<WPARAM>(APart), reinterpret_cast<LPARAM>(buffer.Data()));
  buffer.Read(text, sizeof(text) - sizeof(wchar_t));
  return text;
}

std::wstring RemoteTreeItemText(HANDLE AProcess, HWND ATree, HTREEITEM AItem) {
  // The item description and its text buffer in one block of the other process.
  wchar_t text[256] = {};
  TRemoteBuffer buffer(AProcess, sizeof(TVITEMW) + sizeof(text));
  if (!buffer.Data()) return L"";
  TVITEMW item = {};
  item.mask = TVIF_TEXT | TVIF_HANDLE;
  item.hItem = AItem;
  item.pszText = reinterpret_cast<wchar_t*>(static_cast<BYTE*>(buffer.Data()) + sizeof(TVITEMW));
  item.cchTextMax = 255;
  if (!buffer.Write(&item, sizeof(item))) return L"";
  SendMessageW(ATree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(buffer.Data()));
  buffer.Read(text, sizeof(text) - sizeof(wchar_t), sizeof(TVITEMW));
  return text;
}

}  // namespace vantrel::test
