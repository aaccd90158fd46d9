// Paths of the build, child processes and temporary folders for the tests.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/Zarvek_SysUtils.h"

namespace vantrel::test {

// Whether this machine runs 32-bit programs. tools/test says so in VANTREL_MODE: in its
// "64-bit only" mode the x86_64 build runs in a 64-bit-only prefix, where SysWOW64 is empty and no
// 32-bit process starts (the 32-bit registry view is still there).
bool ThirtyTwoBitProgramsRun();

// The reason a test skips with when it needs 32-bit programs (a 32-bit process, SysWOW64's
// programs or Wine's 32-bit libraries); tools/test counts these skips as the mode's.
inline constexpr char kNeeds32BitPrograms[] = "not in the 64-bit-only mode:";

#define VANTREL_SKIP_WITHOUT_32BIT_PROGRAMS(AWhy)                                              \
  if (!::vantrel::test::ThirtyTwoBitProgramsRun())                                             \
  GTEST_SKIP() << ::vantrel::test::kNeeds32BitPrograms << " " << AWhy

// The registry view that is not this process's own (on 64-bit Windows).
inline TRegView OtherRegView() {
  return ProcessRegView() == TRegView::rv64 ? TRegView::rv32 : TRegView::rv64;
}

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

// The processes this one started from the program file named AFileName ("x.exe") that are still
// there, by id.
std::vector<DWORD> ChildProcessIds(const std::wstring& AFileName);

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

// A copy of a file where the prefix has none (in the other view's system folder, say), removed
// again at the end. A file already there stays as it is.
class TFileCopy {
 public:
  TFileCopy(const std::wstring& AFrom, const std::wstring& ATo);
  ~TFileCopy();
  TFileCopy(const TFileCopy&) = delete;
  TFileCopy& operator=(const TFileCopy&) = delete;
  const std::wstring& Path() const { return FPath; }

 private:
  std::wstring FPath;
  bool FCopied = false;
};

}  // namespace vantrel::test
