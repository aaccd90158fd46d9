// A file written in full or not at all.
#pragma once

#include <windows.h>

#include <string>

#include "base/Zarvek_Handles.h"

namespace vantrel {

// The bytes go into a temporary file beside the target, which replaces the target only on
// Commit: a failed or abandoned write leaves neither a partial file nor a damaged earlier one.
// Failures raise EFileError.
class TPartialFile {
 public:
  explicit TPartialFile(const std::wstring& ATarget);
  ~TPartialFile();
  TPartialFile(const TPartialFile&) = delete;
  TPartialFile& operator=(const TPartialFile&) = delete;

  void Write(const char* ABytes, DWORD ACount);
  void Commit();

 private:
  [[noreturn]] void Fail(const wchar_t* AWhat, DWORD AError) const;

  std::wstring FTarget;
  std::wstring FPath;
  THandle FFile;
  bool FCommitted = false;
};

}  // namespace vantrel
