#include "catalog/Zarvek_SysUtils.h"

#include <vector>

#include "catalog/Zarvek_Handles.h"

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

std::wstring OleErrorText(HRESULT ACode) {
  std::wstring text = SysErrorMessage(static_cast<DWORD>(ACode));
  while (!text.empty() &&
         (text.back() == L' ' || text.back() == L'\r' || text.back() == L'\n' || text.back() == L'.' ||
          text.back() == L'\t')) {
    text.pop_back();
  }
  return text + L" (Error code: 0x" + IntToHex(static_cast<uint32_t>(ACode)) + L")";
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

std::wstring ExpandPathVariables(const TStringList& AEnvironment, std::wstring_view AText) {
  std::wstring text(AText);
  for (const std::wstring& line : AEnvironment) {
    size_t eq = line.find(L'=');
    std::wstring_view name = std::wstring_view(line).substr(0, eq);
    if (IsBlankText(name)) continue;
    std::wstring_view value =
        eq == std::wstring::npos ? std::wstring_view() : std::wstring_view(line).substr(eq + 1);
    std::wstring pattern = L"%" + std::wstring(name) + L"%";
    size_t pos = text.find(pattern);
    if (pos == std::wstring::npos) {
      pattern = L"\\" + std::wstring(name);
      pos = text.find(pattern);
    }
    if (pos == std::wstring::npos) continue;
    text = text.substr(0, pos) + std::wstring(value) + text.substr(pos + pattern.size(), 1024);
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
  return WithTrailingBackslash(buffer, GetWindowsDirectoryW(buffer, MAX_PATH));
}

std::wstring SystemDirectoryPath() {
  wchar_t buffer[MAX_PATH];
  return WithTrailingBackslash(buffer, GetSystemDirectoryW(buffer, MAX_PATH));
}

bool StartProcessAndWait(std::wstring_view AProgram, std::wstring_view AParameters, int AShow,
                         std::wstring_view ADirectory, DWORD ATimeoutMs) {
  std::wstring directory(ADirectory);
  if (directory.empty()) {
    directory = ExtractFilePath(AProgram);
    if (_wcsicmp(directory.c_str(), std::wstring(AProgram).c_str()) == 0) directory.clear();
  }
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
    return false;
  }
  THandle process(info.hProcess);
  THandle thread(info.hThread);
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
