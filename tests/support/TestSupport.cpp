#include "tests/support/TestSupport.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/TestPaths.h"

namespace vantrel::test {

bool ThirtyTwoBitProgramsRun() {
  if (IsWow64()) return true;
  wchar_t mode[64] = {};
  const DWORD length = GetEnvironmentVariableW(L"VANTREL_MODE", mode, 64);
  return !(length > 0 && length < 64 && std::wstring_view(mode) == L"64-bit only");
}

std::vector<DWORD> ChildProcessIds(const std::wstring& AFileName) {
  std::vector<DWORD> ids;
  THandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return ids;
  PROCESSENTRY32W entry = {sizeof(entry)};
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry)) {
    if (entry.th32ParentProcessID == GetCurrentProcessId() && SameTextAscii(entry.szExeFile, AFileName)) {
      ids.push_back(entry.th32ProcessID);
    }
  }
  return ids;
}

std::wstring WindowsPath(const std::string& APath) {
  std::wstring path = CodePageToWide(APath, CP_UTF8);
  for (wchar_t& c : path) {
    if (c == L'/') c = L'\\';
  }
  if (!path.empty() && path[0] == L'\\') path = L"Z:" + path;
  return path;
}

std::wstring ProgramPath() { return WindowsPath(kProgramFile); }

std::wstring SourcePath(const std::wstring& ARelative) {
  return IncludeTrailingPathDelimiter(WindowsPath(kSourceDir)) + ARelative;
}

std::wstring BinaryPath(const std::wstring& ARelative) {
  return IncludeTrailingPathDelimiter(WindowsPath(kBinaryDir)) + ARelative;
}

namespace {

void DrainPipe(HANDLE APipe, std::string* AOut) {
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(APipe, buffer, sizeof(buffer), &read, nullptr) && read > 0) AOut->append(buffer, read);
}

}  // namespace

TProcessResult RunProcess(const std::wstring& ACommandLine, DWORD ATimeoutMs, const std::wstring& ADirectory) {
  TProcessResult result;
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE outRead, outWrite, errRead, errWrite;
  CreatePipe(&outRead, &outWrite, &inherit, 0);
  CreatePipe(&errRead, &errWrite, &inherit, 0);
  SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {sizeof(startup)};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = outWrite;
  startup.hStdError = errWrite;
  PROCESS_INFORMATION info = {};
  std::wstring commandLine = ACommandLine;
  result.Started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  ADirectory.empty() ? nullptr : ADirectory.c_str(), &startup, &info) != FALSE;
  CloseHandle(outWrite);
  CloseHandle(errWrite);
  if (result.Started) {
    std::thread outReader(DrainPipe, outRead, &result.StdOut);
    std::thread errReader(DrainPipe, errRead, &result.StdErr);
    if (WaitForSingleObject(info.hProcess, ATimeoutMs) == WAIT_TIMEOUT) {
      result.TimedOut = true;
      TerminateProcess(info.hProcess, 99);
      WaitForSingleObject(info.hProcess, 5000);
    }
    GetExitCodeProcess(info.hProcess, &result.ExitCode);
    outReader.join();
    errReader.join();
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
  }
  CloseHandle(outRead);
  CloseHandle(errRead);
  return result;
}

TTempDir::TTempDir() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  static int counter = 0;
  for (;;) {
    FPath = std::wstring(base) + L"vantrel-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter) + L"\\";
    if (CreateDirectoryW(FPath.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("cannot create a temporary folder");
  }
}

TTempDir::~TTempDir() { RemoveFolder(FPath); }

void RemoveFolder(const std::wstring& AFolder) {
  std::wstring from = AFolder;
  if (!from.empty() && from.back() == L'\\') from.pop_back();
  // A list of paths: each ends in a NUL, the list in another.
  from.push_back(L'\0');
  from.push_back(L'\0');
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NO_UI;
  SHFileOperationW(&operation);
}

std::string ReadFileBytes(const std::wstring& APath) {
  std::ifstream file(std::filesystem::path(APath), std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + WideToCodePage(APath, CP_UTF8));
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void WriteFileText(const std::wstring& APath, const std::string& ABytes) {
  std::ofstream file(std::filesystem::path(APath), std::ios::binary | std::ios::trunc);
  file << ABytes;
}

void CopyFileTo(const std::wstring& AFrom, const std::wstring& ATo) {
  if (!CopyFileW(AFrom.c_str(), ATo.c_str(), FALSE)) throw std::runtime_error("CopyFile failed");
}

TFileCopy::TFileCopy(const std::wstring& AFrom, const std::wstring& ATo) : FPath(ATo) {
  if (GetFileAttributesW(ATo.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  if (!CopyFileW(AFrom.c_str(), ATo.c_str(), TRUE)) throw std::runtime_error("CopyFile failed");
  FCopied = true;
}

TFileCopy::~TFileCopy() {
  if (FCopied) DeleteFileW(FPath.c_str());
}

}  // namespace vantrel::test
