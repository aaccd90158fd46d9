#include "base/Zarvek_SysUtils.h"

#include <shellapi.h>

#include <vector>

#include "base/Zarvek_Handles.h"

namespace vantrel {

Exception::Exception(std::wstring AMessage)
    : FMessage(std::move(AMessage)), FWhat(WideToCodePage(FMessage, CP_UTF8)) {}

std::wstring ExceptionMessage(const std::exception& E) {
  if (auto* own = dynamic_cast<const Exception*>(&E)) return own->Message();
  return CodePageToWide(E.what(), CP_UTF8);
}

std::wstring SysErrorMessage(DWORD ACode) {
  wchar_t* buffer = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
          FORMAT_MESSAGE_ARGUMENT_ARRAY,
      nullptr, ACode, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring result;
  if (buffer) {
    result.assign(buffer, length);
    LocalFree(buffer);
  }
  return result;
}

std::wstring SysErrorPhrase(DWORD ACode) {
  std::wstring text = SysErrorMessage(ACode);
  while (!text.empty() &&
         (text.back() == L' ' || text.back() == L'\r' || text.back() == L'\n' || text.back() == L'.' ||
          text.back() == L'\t')) {
    text.pop_back();
  }
  return text;
}

std::wstring OleErrorText(HRESULT ACode) {
  return SysErrorPhrase(static_cast<DWORD>(ACode)) + L" (Error code: 0x" + IntToHex(static_cast<uint32_t>(ACode)) +
         L")";
}

void ReadEnvironmentBlock(TStringList& AList) {
  AList.clear();
  wchar_t* block = GetEnvironmentStringsW();
  if (!block) return;
  for (const wchar_t* entry = block; *entry; entry += wcslen(entry) + 1) {
    if (*entry == L'=') continue;
    AList.push_back(Trim(entry));
  }
  FreeEnvironmentStringsW(block);
}

namespace {

// The value of the first NAME=VALUE line named AName, compared without regard to ASCII case; a
// line without "=" is a name with an empty value.
bool FindVariable(const TStringList& AEnvironment, std::wstring_view AName, std::wstring_view& AValue) {
  for (const std::wstring& line : AEnvironment) {
    const size_t eq = line.find(L'=');
    const std::wstring_view name = std::wstring_view(line).substr(0, eq);
    if (!SameTextAscii(name, AName)) continue;
    AValue = eq == std::wstring::npos ? std::wstring_view() : std::wstring_view(line).substr(eq + 1);
    return true;
  }
  return false;
}

// Every "%NAME%" of AText whose name the list holds, replaced in one pass from left to right.
std::wstring ReplaceVariables(const TStringList& AEnvironment, std::wstring_view AText) {
  std::wstring result;
  result.reserve(AText.size());
  size_t pos = 0;
  while (pos < AText.size()) {
    const size_t open = AText.find(L'%', pos);
    const size_t close = open == std::wstring_view::npos ? open : AText.find(L'%', open + 1);
    if (close == std::wstring_view::npos) {
      result.append(AText.substr(pos));
      break;
    }
    result.append(AText.substr(pos, open - pos));
    const std::wstring_view name = AText.substr(open + 1, close - open - 1);
    std::wstring_view value;
    if (!IsBlankText(name) && FindVariable(AEnvironment, name, value)) {
      result.append(value);
      pos = close + 1;
    } else {
      // Not a variable: its closing "%" may open the next one.
      result.append(AText.substr(open, close - open));
      pos = close;
    }
  }
  return result;
}

}  // namespace

std::wstring ExpandPathVariables(const TStringList& AEnvironment, std::wstring_view AText) {
  // "\SystemRoot\" is how drivers and some services name the Windows folder.
  constexpr std::wstring_view kSystemRoot = L"\\SystemRoot\\";
  if (AText.size() >= kSystemRoot.size() && SameTextAscii(AText.substr(0, kSystemRoot.size()), kSystemRoot)) {
    std::wstring_view value;
    std::wstring root = FindVariable(AEnvironment, L"SystemRoot", value) ? std::wstring(value) : WindowsDirectoryPath();
    while (!root.empty() && root.back() == L'\\') root.pop_back();
    return root + ReplaceVariables(AEnvironment, AText.substr(kSystemRoot.size() - 1));
  }
  return ReplaceVariables(AEnvironment, AText);
}

namespace {

bool DetectWow64() {
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto isWow64Process =
      kernel ? reinterpret_cast<IsWow64ProcessFn>(GetProcAddress(kernel, "IsWow64Process")) : nullptr;
  BOOL wow64 = FALSE;
  return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// Decided while the program loads, before any registry access.
const bool gIsWow64 = DetectWow64();

std::wstring EnvironmentVariable(const wchar_t* AName) {
  wchar_t buffer[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(AName, buffer, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

// The program folder variables as the other view's programs see them; empty in the own view.
TStringList ProgramFolderOverrides(TRegView AView) {
  TStringList overrides;
  if (AView == ProcessRegView()) return overrides;
  const bool to64 = AView == TRegView::rv64;
  const std::wstring programs = EnvironmentVariable(to64 ? L"ProgramW6432" : L"ProgramFiles(x86)");
  const std::wstring common = EnvironmentVariable(to64 ? L"CommonProgramW6432" : L"CommonProgramFiles(x86)");
  if (!programs.empty()) overrides.push_back(L"ProgramFiles=" + programs);
  if (!common.empty()) overrides.push_back(L"CommonProgramFiles=" + common);
  return overrides;
}

}  // namespace

bool IsWow64() { return gIsWow64; }

bool Is64BitWindows() {
#ifdef _WIN64
  return true;
#else
  return gIsWow64;
#endif
}

TRegView ProcessRegView() {
#ifdef _WIN64
  return TRegView::rv64;
#else
  return TRegView::rv32;
#endif
}

const wchar_t* RegViewBits(TRegView AView) { return AView == TRegView::rv64 ? L"64-bit" : L"32-bit"; }

std::wstring ViewSystemDirectoryPath(TRegView AView) {
  if (!Is64BitWindows() || AView == ProcessRegView()) return SystemDirectoryPath();
  if (AView == TRegView::rv64) return WindowsDirectoryPath() + L"Sysnative\\";
  wchar_t buffer[MAX_PATH];
  UINT length = GetSystemWow64DirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return WindowsDirectoryPath() + L"SysWOW64\\";
  return IncludeTrailingPathDelimiter(std::wstring_view(buffer, length));
}

std::wstring ViewFilePath(std::wstring_view APath, TRegView AView) {
  if (!Is64BitWindows() || AView == ProcessRegView()) return std::wstring(APath);
  const std::wstring system = SystemDirectoryPath();
  if (APath.size() > system.size() && SameTextAscii(APath.substr(0, system.size()), system)) {
    return ViewSystemDirectoryPath(AView) + std::wstring(APath.substr(system.size()));
  }
  return std::wstring(APath);
}

TStringList ViewEnvironment(const TStringList& AEnvironment, TRegView AView) {
  TStringList overrides = ProgramFolderOverrides(AView);
  if (overrides.empty()) return AEnvironment;
  // The first line of a name wins.
  overrides.insert(overrides.end(), AEnvironment.begin(), AEnvironment.end());
  return overrides;
}

std::wstring ExpandEnvironmentText(std::wstring_view AText, TRegView AView) {
  const TStringList overrides = ProgramFolderOverrides(AView);
  const std::wstring text = overrides.empty() ? std::wstring(AText) : ReplaceVariables(overrides, AText);
  // As long as the expansion needs: a long one is not the stored text in its place.
  std::wstring expanded(text.size() + 256, L'\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    const DWORD length = ExpandEnvironmentStringsW(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (length == 0) return text;
    if (length <= expanded.size()) {
      expanded.resize(length - 1);
      return expanded;
    }
    expanded.assign(length, L'\0');
  }
  return text;
}

namespace {

std::wstring WithTrailingBackslash(const wchar_t* APath, UINT ALength) {
  std::wstring path(APath, ALength < MAX_PATH ? ALength : 0);
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return path;
}

}  // namespace

std::wstring WindowsDirectoryPath() {
  wchar_t buffer[MAX_PATH];
  // The machine's Windows folder: on a terminal server GetWindowsDirectory may name a per-user one.
  return WithTrailingBackslash(buffer, GetSystemWindowsDirectoryW(buffer, MAX_PATH));
}

std::wstring SystemDirectoryPath() {
  wchar_t buffer[MAX_PATH];
  return WithTrailingBackslash(buffer, GetSystemDirectoryW(buffer, MAX_PATH));
}

THandle StartProcess(std::wstring_view AProgram, std::wstring_view AParameters, int AShow,
                     std::wstring_view ADirectory) {
  std::wstring directory(ADirectory);
  if (directory.empty()) {
    directory = ExtractFilePath(AProgram);
    if (_wcsicmp(directory.c_str(), std::wstring(AProgram).c_str()) == 0) directory.clear();
  }
  // A quoted program path gives its folder without the opening quote.
  if (!directory.empty() && directory.front() == L'"') directory.erase(directory.begin());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (AShow >= 0) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(AShow);
  }
  std::wstring commandLine = Trim(std::wstring(AProgram) + L" " + std::wstring(AParameters));
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_NEW_PROCESS_GROUP | NORMAL_PRIORITY_CLASS, nullptr,
                      directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
    return THandle();
  }
  CloseHandle(info.hThread);
  return THandle(info.hProcess);
}

bool IsProcessElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  THandle owner(token);
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  return GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) &&
         elevation.TokenIsElevated != 0;
}

THandle StartElevatedProcess(std::wstring_view AProgram, std::wstring_view AParameters, int AShow,
                             std::wstring_view ADirectory) {
  std::wstring program = Trim(AProgram);
  if (program.size() >= 2 && program.front() == L'"' && program.back() == L'"') program = program.substr(1, program.size() - 2);
  std::wstring directory(ADirectory);
  if (directory.empty()) directory = ExtractFilePath(program);
  const std::wstring parameters(AParameters);
  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  info.lpVerb = L"runas";
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.lpDirectory = directory.empty() ? nullptr : directory.c_str();
  info.nShow = AShow >= 0 ? AShow : SW_SHOWDEFAULT;
  if (!ShellExecuteExW(&info)) return THandle();
  if (!info.hProcess) {
    SetLastError(ERROR_INVALID_HANDLE);
    return THandle();
  }
  return THandle(info.hProcess);
}

bool StartProcessAndWait(std::wstring_view AProgram, std::wstring_view AParameters, int AShow,
                         std::wstring_view ADirectory, DWORD ATimeoutMs) {
  THandle process = StartProcess(AProgram, AParameters, AShow, ADirectory);
  if (!process) return false;
  WaitForSingleObject(process.get(), ATimeoutMs);
  return true;
}

TFormatSettings& FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

namespace {

std::wstring LocaleText(LCID ALocale, LCTYPE AType) {
  wchar_t buffer[256];
  int length = GetLocaleInfoW(ALocale, AType, buffer, 256);
  return length > 1 ? std::wstring(buffer, static_cast<size_t>(length - 1)) : std::wstring();
}

}  // namespace

void ApplyUserLocale() {
  SetThreadLocale(GetUserDefaultLCID());
  LCID locale = GetThreadLocale();
  TFormatSettings& settings = FormatSettings();
  std::wstring decimal = LocaleText(locale, LOCALE_SDECIMAL);
  if (!decimal.empty()) settings.DecimalSeparator = decimal[0];
  std::wstring separator = LocaleText(locale, LOCALE_SDATE);
  if (!separator.empty()) settings.DateSeparator = separator[0];
  std::wstring shortDate = LocaleText(locale, LOCALE_SSHORTDATE);
  if (!shortDate.empty()) settings.ShortDateFormat = shortDate;
  if (locale == 0x041B) {  // Slovak
    if (separator.empty()) {
      settings.DateSeparator = L'.';
      settings.ShortDateFormat = L"d.M.yyyy";
    } else {
      settings.DateSeparator = separator[0];
    }
  }
  if (settings.ShortDateFormat.find(L'.') != std::wstring::npos) settings.DateSeparator = L'.';
}

bool FileExists(std::wstring_view APath) {
  if (APath.empty()) return false;
  DWORD attributes = GetFileAttributesW(std::wstring(APath).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(std::wstring_view APath) {
  if (APath.empty()) return false;
  DWORD attributes = GetFileAttributesW(std::wstring(APath).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring ExtractFilePath(std::wstring_view APath) {
  size_t pos = APath.find_last_of(L"\\/:");
  return pos == std::wstring_view::npos ? std::wstring() : std::wstring(APath.substr(0, pos + 1));
}

std::wstring ExtractFileName(std::wstring_view APath) {
  size_t pos = APath.find_last_of(L"\\/:");
  return std::wstring(pos == std::wstring_view::npos ? APath : APath.substr(pos + 1));
}

std::wstring IncludeTrailingPathDelimiter(std::wstring_view APath) {
  std::wstring path(APath);
  if (path.empty() || path.back() != L'\\') path += L'\\';
  return path;
}

std::wstring ExpandFileName(std::wstring_view APath) {
  std::wstring path(APath);
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring result(size, L'\0');
  DWORD length = GetFullPathNameW(path.c_str(), size, result.data(), nullptr);
  result.resize(length);
  return result;
}

std::wstring ModuleFileName(HMODULE AModule) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(AModule, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

void WriteFileBytes(std::wstring_view AFileName, std::string_view ABytes) {
  std::wstring name(AFileName);
  THandle file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    file.release();
    throw EFileError(L"Cannot create file \"" + name + L"\". " + Trim(SysErrorMessage(error)));
  }
  size_t offset = 0;
  while (offset < ABytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(ABytes.size() - offset, 1 << 20));
    DWORD written = 0;
    if (!WriteFile(file.get(), ABytes.data() + offset, chunk, &written, nullptr) || written == 0) {
      throw EFileError(L"Cannot write file \"" + name + L"\". " + Trim(SysErrorMessage(GetLastError())));
    }
    offset += written;
  }
}

bool HasStdErr() {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void WriteStdErrLine(std::wstring_view AText) {
  HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (GetFileType(handle) == FILE_TYPE_CHAR) {
    std::wstring line = std::wstring(AText) + L"\r\n";
    if (WriteConsoleW(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) return;
  }
  std::string bytes = WideToCodePage(AText, CP_UTF8) + "\n";
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace vantrel
