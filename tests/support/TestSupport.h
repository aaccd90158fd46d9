// Paths of the build, child processes and temporary folders for the tests.
#pragma once

#include <windows.h>

#include <string>

namespace vantrel::test {

// A path of the build tree or the source tree as Windows sees it (Unix paths map to drive Z:).
std::wstring WindowsPath(const std::string& APath);
std::wstring ProgramPath();                            // the built Vantrel.exe
std::wstring SourcePath(const std::wstring& ARelative);  // a file of the source tree
std::wstring BinaryPath(const std::wstring& ARelative);  // a file of the build tree

struct TProcessResult {
  bool Started = false;
  bool TimedOut = false;
  DWORD ExitCode = 0;
  std::string StdOut;
  std::string StdErr;
};

// Runs a command line with its output streams captured; kills it after ATimeoutMs.
TProcessResult RunProcess(const std::wstring& ACommandLine, DWORD ATimeoutMs = 60000,
                          const std::wstring& ADirectory = {});

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TTempDir {
 public:
  TTempDir();
  ~TTempDir();
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  const std::wstring& Path() const { return FPath; }  // ends in a backslash
  std::wstring File(const std::wstring& AName) const { return FPath + AName; }

 private:
  std::wstring FPath;
};

// Removes a folder with everything in it; a folder that does not exist is no error.
void RemoveFolder(const std::wstring& AFolder);

std::string ReadFileBytes(const std::wstring& APath);
void WriteFileText(const std::wstring& APath, const std::string& ABytes);
void CopyFileTo(const std::wstring& AFrom, const std::wstring& ATo);

}  // namespace vantrel::test
