// A type library reader that fails on purpose, the way the environment variable
// VANTREL_TEST_READER_FAULT names, so that the tests can show what the program makes of a reader
// that crashes, hangs, ends early or sends what is no record. Where it can, it runs the program's
// own reader and puts the fault behind the loader.
//
// "describe" and "escape" write what the reader was given (DescribeReaderSandbox) to the file
// VANTREL_TEST_SANDBOX_REPORT and then read as the program does; "escape" first tries what a
// reader taken over by a hostile library would: open the parent (VANTREL_TEST_SANDBOX_PARENT, its
// process id) for writing, write a file into the folder VANTREL_TEST_SANDBOX_TARGET, start a
// process, read the clipboard and enable a privilege, and adds each outcome to the report.
#include <windows.h>
#include <oaidl.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "typelib/ReaderSandbox.h"
#include "typelib/TypeLibLoader.h"
#include "typelib/TypeLibReader.h"
#include "typelib/TypeLibSnapshot.h"

using namespace vantrel;

namespace {

// A library that crashes when it is first asked anything.
class TCrashingLib final : public ITypeLib {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** AObject) override {
    *AObject = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return Crash<UINT>(); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, ITypeInfo**) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT, TYPEKIND*) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID, ITypeInfo**) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR**) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp**) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE GetDocumentation(INT, BSTR*, BSTR*, DWORD*, BSTR*) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE IsName(LPOLESTR, ULONG, BOOL*) override { return Crash<HRESULT>(); }
  HRESULT STDMETHODCALLTYPE FindName(LPOLESTR, ULONG, ITypeInfo**, MEMBERID*, USHORT*) override {
    return Crash<HRESULT>();
  }
  void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR*) override {}

 private:
  template <class T>
  static T Crash() {
    volatile int* nowhere = nullptr;
    return static_cast<T>(*nowhere);
  }
};

std::string ReadStandardInput() {
  std::string data;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof(buffer), &read, nullptr) && read) {
    data.append(buffer, read);
  }
  return data;
}

void WriteStandardOutput(const std::string& AData) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), AData.data(), static_cast<DWORD>(AData.size()), &written, nullptr);
}

std::wstring Environment(const wchar_t* AName) {
  wchar_t value[MAX_PATH * 2] = {};
  const DWORD length = GetEnvironmentVariableW(AName, value, MAX_PATH * 2);
  return length < MAX_PATH * 2 ? std::wstring(value, length) : std::wstring();
}

// "allowed", or "denied" with the system's reason.
std::wstring Outcome(bool AAllowed, DWORD AError) {
  return AAllowed ? L"allowed" : L"denied (" + Trim(SysErrorMessage(AError)) + L")";
}

// What a reader taken over by a hostile library would try first; each outcome a report line.
TStringList TryToEscape() {
  TStringList lines;
  const DWORD parent = static_cast<DWORD>(std::stoul(L"0" + Environment(L"VANTREL_TEST_SANDBOX_PARENT")));
  for (const auto& [name, access] : {std::pair(L"openparent.all", DWORD(PROCESS_ALL_ACCESS)),
                                     std::pair(L"openparent.vmwrite", DWORD(PROCESS_VM_WRITE | PROCESS_VM_OPERATION))}) {
    THandle process(OpenProcess(access, FALSE, parent));
    lines.push_back(name + std::wstring(L"=") + Outcome(bool(process), GetLastError()));
  }

  const std::wstring target = Environment(L"VANTREL_TEST_SANDBOX_TARGET") + L"\\escaped.txt";
  THandle file(CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
  DWORD error = GetLastError(), written = 0;
  const bool wrote = file && WriteFile(file.get(), "escaped", 7, &written, nullptr);
  if (file && !wrote) error = GetLastError();
  lines.push_back(L"writefile=" + Outcome(wrote, error));
  file.reset();

  std::wstring command = L"\"" + SystemDirectoryPath() + L"cmd.exe\" /c exit 0";
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION started = {};
  const bool start = CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                                    nullptr, &startup, &started);
  lines.push_back(L"startprocess=" + Outcome(start, GetLastError()));
  if (start) {
    WaitForSingleObject(started.hProcess, 10000);
    CloseHandle(started.hProcess);
    CloseHandle(started.hThread);
  }

  const bool opened = OpenClipboard(nullptr);
  lines.push_back(L"clipboard.open=" + Outcome(opened, GetLastError()));
  if (opened) {
    std::wstring text;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
      if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
        text = chars;
        GlobalUnlock(data);
      }
    }
    lines.push_back(L"clipboard.text=" + text);
    CloseClipboard();
  }

  // The privilege that opens every process.
  THandle token;
  TOKEN_PRIVILEGES privilege = {1};
  privilege.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  const bool enabled = OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.put()) &&
                       LookupPrivilegeValueW(nullptr, SE_DEBUG_NAME, &privilege.Privileges[0].Luid) &&
                       AdjustTokenPrivileges(token.get(), FALSE, &privilege, 0, nullptr, nullptr) &&
                       GetLastError() == ERROR_SUCCESS;
  lines.push_back(L"privilege.debug=" + Outcome(enabled, GetLastError()));
  return lines;
}

void WriteReport(const TStringList& ALines) {
  std::wstring text;
  for (const std::wstring& line : ALines) text += line + L"\n";
  const std::string bytes = WideToCodePage(text, CP_UTF8);
  THandle file(CreateFileW(Environment(L"VANTREL_TEST_SANDBOX_REPORT").c_str(), GENERIC_WRITE, 0, nullptr,
                           CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  if (file) WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int wmain() {
  wchar_t fault[64] = {};
  GetEnvironmentVariableW(L"VANTREL_TEST_READER_FAULT", fault, 64);
  const std::wstring kind = fault;
  if (kind == L"crash") {
    return RunTypeLibReader([](const TObjectData&, TComPtr<ITypeLib>&, TRegView) {
      volatile int* nowhere = nullptr;
      return static_cast<HRESULT>(*nowhere);
    });
  }
  if (kind == L"walkcrash") {
    static TCrashingLib library;
    return RunTypeLibReader([](const TObjectData&, TComPtr<ITypeLib>& ALib, TRegView) {
      ALib.reset(&library);
      return S_OK;
    });
  }
  if (kind == L"hang") {
    return RunTypeLibReader([](const TObjectData&, TComPtr<ITypeLib>&, TRegView) -> HRESULT {
      Sleep(INFINITE);
      return E_FAIL;
    });
  }
  if (kind == L"throw") {
    return RunTypeLibReader([](const TObjectData&, TComPtr<ITypeLib>&, TRegView) -> HRESULT {
      throw std::runtime_error("the loader gave up");
    });
  }
  if (kind == L"describe" || kind == L"escape") {
    TStringList report = DescribeReaderSandbox();
    if (kind == L"escape") {
      for (const std::wstring& line : TryToEscape()) report.push_back(line);
    }
    WriteReport(report);
    return RunTypeLibReader();
  }
  if (kind == L"quit") return 5;
  ReadStandardInput();
  if (kind == L"exit") return 7;
  if (kind == L"garbage") {
    // The head of a real record, so that the damage is found past it.
    WriteStandardOutput(RecordLoadFailure(E_FAIL).substr(0, 8) + '\0' + std::string(1000, '\xA5') + "END.");
    return 0;
  }
  if (kind == L"flood") {
    // Endless data, as a compromised reader might send to exhaust the program's memory.
    const std::string block(1 << 20, '\x5A');
    for (;;) {
      DWORD written = 0;
      if (!WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), block.data(), static_cast<DWORD>(block.size()), &written, nullptr)) {
        return 0;
      }
    }
  }
  if (kind == L"partial") {
    const std::string record = RecordLoadFailure(E_FAIL);
    WriteStandardOutput(record.substr(0, record.size() / 2));
    return 0;
  }
  return 9;
}
