// Errors, environment, directories, processes and locale: the system side of the shared helpers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"

namespace vantrel {

// Base of every error the program raises. Commands let it travel to one place that shows it.
class Exception : public std::exception {
 public:
  explicit Exception(std::wstring AMessage);
  const std::wstring& Message() const noexcept { return FMessage; }
  const char* what() const noexcept override { return FWhat.c_str(); }

 private:
  std::wstring FMessage;
  std::string FWhat;
};

class ERegistryException : public Exception {
  using Exception::Exception;
};
class EConvertError : public Exception {
  using Exception::Exception;
};
class EFileError : public Exception {
  using Exception::Exception;
};

// The message text of any exception, for display.
std::wstring ExceptionMessage(const std::exception& E);

// The system's message text for an error or result code; empty when it has none.
std::wstring SysErrorMessage(DWORD ACode);

// The system's message text for ACode as a phrase inside a sentence: without trailing blanks, line
// breaks and full stops; empty when it has none.
std::wstring SysErrorPhrase(DWORD ACode);

// "%s (Error code: 0x%x)": the system text without trailing blanks, line breaks and full stops,
// then the code in upper-case hexadecimal.
std::wstring OleErrorText(HRESULT ACode);

// Process environment as NAME=VALUE lines (drive entries "=C:=..." left out), replacing the list.
void ReadEnvironmentBlock(TStringList& AList);

// AText with every "%NAME%" replaced by the VALUE of the NAME=VALUE line of that name (names
// compared without regard to case, the first line of a name wins) and a leading "\SystemRoot\"
// by the SystemRoot variable. Unknown variables stay as written; replaced text is not expanded
// again, and nothing is cut.
std::wstring ExpandPathVariables(const TStringList& AEnvironment, std::wstring_view AText);

// The two registry views of 64-bit Windows, and the file system and environment that go with
// each: 64-bit programs see the 64-bit ones, 32-bit programs the 32-bit ones. 32-bit Windows has
// only the 32-bit view.
enum class TRegView : uint8_t { rv32, rv64 };

// True in a 32-bit process on 64-bit Windows; decided once, at start.
bool IsWow64();
bool Is64BitWindows();
// The view the process sees without asking for one.
TRegView ProcessRegView();
// "32-bit" or "64-bit".
const wchar_t* RegViewBits(TRegView AView);

// The system directory of the view's programs, as this process reaches it (Sysnative for the
// 64-bit view from a 32-bit process, SysWOW64 for the 32-bit view from a 64-bit one); ends in a
// backslash.
std::wstring ViewSystemDirectoryPath(TRegView AView);
// A path written for the view's programs, as this process must open it: the system directory is
// redirected between the views.
std::wstring ViewFilePath(std::wstring_view APath, TRegView AView);
// The environment as the view's programs see it: ProgramFiles and CommonProgramFiles name the
// folders of the view's bitness.
TStringList ViewEnvironment(const TStringList& AEnvironment, TRegView AView);
// Environment variables of AText expanded as the view's programs expand them.
std::wstring ExpandEnvironmentText(std::wstring_view AText, TRegView AView);

// Windows and system directory, each ending in a backslash.
std::wstring WindowsDirectoryPath();
std::wstring SystemDirectoryPath();

// Starts AProgram with AParameters; the process handle, or none with GetLastError set. An empty
// ADirectory means the program's folder.
THandle StartProcess(std::wstring_view AProgram, std::wstring_view AParameters, int AShow,
                     std::wstring_view ADirectory);
// Whether this process runs with administrator rights (its token is elevated).
bool IsProcessElevated();
// Starts AProgram with administrator rights, through the platform's consent prompt (the "runas"
// verb); the process handle, or none with GetLastError set: ERROR_CANCELLED when the user refused.
// AProgram may be quoted. An empty ADirectory means the program's folder.
THandle StartElevatedProcess(std::wstring_view AProgram, std::wstring_view AParameters, int AShow,
                             std::wstring_view ADirectory);
// Starts AProgram with AParameters and waits at most ATimeoutMs for it to end. AShow < 0 leaves
// the show-window command to the program. An empty ADirectory means the program's folder.
bool StartProcessAndWait(std::wstring_view AProgram, std::wstring_view AParameters, int AShow,
                         std::wstring_view ADirectory, DWORD ATimeoutMs);

// Number and date formats of the run-time library, taken from the thread locale.
struct TFormatSettings {
  wchar_t DecimalSeparator = L'.';
  wchar_t DateSeparator = L'/';
  std::wstring ShortDateFormat = L"M/d/yyyy";
};
TFormatSettings& FormatSettings();

// Thread locale := the user's default locale; format settings reloaded from it.
void ApplyUserLocale();

// File system.
bool FileExists(std::wstring_view APath);
bool DirectoryExists(std::wstring_view APath);
std::wstring ExtractFilePath(std::wstring_view APath);  // up to and including the last '\', '/' or ':'
std::wstring ExtractFileName(std::wstring_view APath);
std::wstring IncludeTrailingPathDelimiter(std::wstring_view APath);
std::wstring ExpandFileName(std::wstring_view APath);
std::wstring ModuleFileName(HMODULE AModule = nullptr);

// Writes bytes to a file, creating or replacing it; raises EFileError with the system's reason.
void WriteFileBytes(std::wstring_view AFileName, std::string_view ABytes);

// True when the standard error stream of the process leads somewhere (a console, pipe or file).
bool HasStdErr();
// Writes a line to the standard error stream, UTF-8 encoded.
void WriteStdErrLine(std::wstring_view AText);

}  // namespace vantrel
