#include "base/Zarvek_PartialFile.h"

#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"

namespace vantrel {

TPartialFile::TPartialFile(const std::wstring& ATarget) : FTarget(ATarget) {
  std::wstring folder = ExtractFilePath(ATarget);
  if (folder.empty()) folder = L".";
  wchar_t name[MAX_PATH + 1] = {};
  if (!GetTempFileNameW(folder.c_str(), L"upd", 0, name)) Fail(L"Cannot create file", GetLastError());
  FPath = name;
  FFile.reset(CreateFileW(FPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!FFile) {
    DWORD error = GetLastError();
    DeleteFileW(FPath.c_str());
    Fail(L"Cannot create file", error);
  }
}

TPartialFile::~TPartialFile() {
  FFile.reset();
  if (!FCommitted) DeleteFileW(FPath.c_str());
}

void TPartialFile::Write(const char* ABytes, DWORD ACount) {
  DWORD written = 0;
  if (!WriteFile(FFile.get(), ABytes, ACount, &written, nullptr) || written != ACount) {
    Fail(L"Cannot write file", GetLastError());
  }
}

void TPartialFile::Commit() {
  FFile.reset();
  if (!MoveFileExW(FPath.c_str(), FTarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
    Fail(L"Cannot create file", GetLastError());
  }
  FCommitted = true;
}

void TPartialFile::Fail(const wchar_t* AWhat, DWORD AError) const {
  throw EFileError(std::wstring(AWhat) + L" \"" + FTarget + L"\". " + Trim(SysErrorMessage(AError)));
}

}  // namespace vantrel
