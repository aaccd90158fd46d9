// A program (EXE) server for the tests. With /RegServer it registers a class whose LocalServer32
// starts it with an argument, in the registry view of its own bitness; with /UnregServer it
// removes that class. Every run appends its command line to "<program>.log" beside it, and writes
// the folder it runs in to "<program>.cwd".
// VANTREL_TEST_SERVER_DELAY_MS makes a run last that long; VANTREL_TEST_SERVER_EXIT_CODE ends it
// with that code before it does anything.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

const wchar_t kClassKey[] = L"Software\\Classes\\CLSID\\{6D8E5A10-2B7C-4C1E-9A61-0F3D2E7B5A10}";

std::wstring ModulePath() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  return std::wstring(path, length);
}

DWORD NumberVariable(const wchar_t* AName, DWORD ADefault) {
  wchar_t text[32];
  DWORD length = GetEnvironmentVariableW(AName, text, 32);
  return length > 0 && length < 32 ? static_cast<DWORD>(wcstoul(text, nullptr, 10)) : ADefault;
}

void AppendLog(const std::wstring& ALine) {
  HANDLE file = CreateFileW((ModulePath() + L".log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string bytes;
  for (wchar_t c : ALine) bytes += static_cast<char>(c < 128 ? c : '?');
  bytes += "\r\n";
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

bool Register() {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kClassKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  const wchar_t name[] = L"Vantrel Test Program Server";
  RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof(name));
  HKEY server = nullptr;
  bool ok = RegCreateKeyExW(key, L"LocalServer32", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &server, nullptr) ==
            ERROR_SUCCESS;
  if (ok) {
    const std::wstring command = L"\"" + ModulePath() + L"\" /automation";
    ok = RegSetValueExW(server, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                        static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(server);
  }
  RegCloseKey(key);
  return ok;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR ACommandLine, int) {
  const std::wstring arguments = ACommandLine;
  AppendLog(arguments);
  wchar_t folder[MAX_PATH] = {};
  const DWORD length = GetCurrentDirectoryW(MAX_PATH, folder);
  HANDLE file = CreateFileW((ModulePath() + L".cwd").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, folder, length * sizeof(wchar_t), &written, nullptr);
    CloseHandle(file);
  }
  const DWORD exitCode = NumberVariable(L"VANTREL_TEST_SERVER_EXIT_CODE", 0);
  if (exitCode != 0) return static_cast<int>(exitCode);
  Sleep(NumberVariable(L"VANTREL_TEST_SERVER_DELAY_MS", 0));
  if (arguments.find(L"/RegServer") != std::wstring::npos) return Register() ? 0 : 2;
  if (arguments.find(L"/UnregServer") != std::wstring::npos) {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kClassKey);
    RegDeleteKeyW(HKEY_LOCAL_MACHINE, kClassKey);
    return 0;
  }
  return 0;
}
