#include "about/Zarvek.Component.DownloadThread.h"

#include <wininet.h>

#include <algorithm>
#include <utility>

#include "base/Zarvek_PartialFile.h"
#include "base/Zarvek_SysUtils.h"
#include "forms/Zarvek.Forms.Application.h"
#include "forms/Zarvek.Forms.Window.h"

namespace vantrel {

namespace {

struct TInternetHandleTraits {
  static HINTERNET Invalid() { return nullptr; }
  static bool IsValid(HINTERNET h) { return h != nullptr; }
  static void Close(HINTERNET h) { InternetCloseHandle(h); }
};
using TInternetHandle = TUniqueHandle<HINTERNET, TInternetHandleTraits>;

bool ContainsText(const std::wstring& AText, const wchar_t* APart) { return AText.find(APart) != std::wstring::npos; }

std::wstring TrimTrailingBlanks(std::wstring AText) {
  while (!AText.empty() && static_cast<unsigned>(AText.back()) <= L' ') AText.pop_back();
  return AText;
}

// Lines split at carriage returns, line feeds or both; a final line break adds no empty line.
TStringList SplitLines(const std::wstring& AText) {
  TStringList lines;
  size_t start = 0;
  size_t i = 0;
  while (i < AText.size()) {
    wchar_t c = AText[i];
    if (c == L'\r' || c == L'\n') {
      lines.push_back(AText.substr(start, i - start));
      ++i;
      if (c == L'\r' && i < AText.size() && AText[i] == L'\n') ++i;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < AText.size()) lines.push_back(AText.substr(start));
  return lines;
}

constexpr UINT WM_SYNCPROGRESS = WM_APP + 1;
constexpr wchar_t SyncWindowClass[] = L"Zarvek.DownloadThread.Sync";

}  // namespace

void SplitDownloadURL(const std::wstring& AURL, std::wstring& AHost, std::wstring& APath) {
  std::wstring s = AURL;
  if (ContainsText(LowerCaseAscii(s), L"http://")) s.erase(0, std::min<size_t>(7, s.size()));
  if (ContainsText(LowerCaseAscii(s), L"https://")) s.erase(0, std::min<size_t>(8, s.size()));
  size_t slash = s.find(L'/');
  if (slash == std::wstring::npos) {
    AHost.clear();
    APath = s;
  } else {
    AHost = s.substr(0, slash + 1);
    APath = s.substr(slash);
  }
  if (!AHost.empty() && AHost.back() == L'/') AHost.pop_back();
}

void SplitHostPort(std::wstring& AHost, uint16_t& APort) {
  size_t colon = AHost.rfind(L':');
  size_t bracket = AHost.rfind(L']');
  // Several colons without brackets are an IPv6 address, not a port.
  bool hasPort = colon != std::wstring::npos && (bracket == std::wstring::npos ? AHost.find(L':') == colon
                                                                                : colon > bracket);
  if (hasPort) {
    std::wstring digits = AHost.substr(colon + 1);
    int32_t port = 0;
    bool valid = std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }) &&
                 (digits.empty() || (TryStrToInt(digits, port) && port > 0 && port <= 0xFFFF));
    // A port that is no port leaves the host as it is: the connection fails on its name.
    if (!valid) return;
    if (!digits.empty()) APort = static_cast<uint16_t>(port);
    AHost.erase(colon);
  }
  if (AHost.size() >= 2 && AHost.front() == L'[' && AHost.back() == L']') AHost = AHost.substr(1, AHost.size() - 2);
}

std::wstring InternetErrorText(DWORD ACode) {
  wchar_t* buffer = nullptr;
  DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
  HMODULE wininet = GetModuleHandleW(L"wininet.dll");
  if (wininet && ACode >= INTERNET_ERROR_BASE && ACode <= INTERNET_ERROR_LAST) flags |= FORMAT_MESSAGE_FROM_HMODULE;
  DWORD length = FormatMessageW(flags, wininet, ACode, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text;
  if (buffer) {
    text.assign(buffer, length);
    LocalFree(buffer);
  }
  text = TrimTrailingBlanks(text);
  if (text.empty()) text = L"Internet error " + UIntToStr(ACode);
  return text;
}

// ---------------------------------------------------------------------------------------------
// TDownloadThread

// The window through which the worker has the creating thread run the progress callback.
class TDownloadThread::TSyncWindow : public TWindow {
 public:
  explicit TSyncWindow(TDownloadThread& AThread) : FThread(AThread) {
    WNDCLASSEXW wc = {sizeof(wc)};
    wc.hInstance = Application().Instance();
    wc.lpszClassName = SyncWindowClass;
    RegisterWindowClass(wc);
    CreateHandle(0, SyncWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr);
  }

 protected:
  LRESULT WndProc(UINT AMsg, WPARAM AWParam, LPARAM ALParam) override {
    if (AMsg != WM_SYNCPROGRESS) return TWindow::WndProc(AMsg, AWParam, ALParam);
    FThread.RunProgressCallback();
    return 0;
  }

 private:
  TDownloadThread& FThread;
};

TDownloadThread::TDownloadThread(std::wstring AURL, std::wstring AAltURL, std::wstring AUserName,
                                 std::wstring APassword, uint16_t APort, bool ABinary, bool ASaveToFile,
                                 std::wstring AFileName, TDownloadEvent ACallback, TDownloadTimeouts ATimeouts)
    : FURL(std::move(AURL)),
      FAltURL(std::move(AAltURL)),
      FUserName(std::move(AUserName)),
      FPassword(std::move(APassword)),
      FFileName(std::move(AFileName)),
      FPort(APort),
      FBinary(ABinary),
      FSaveToFile(ASaveToFile),
      FCallback(std::move(ACallback)),
      FTimeouts(ATimeouts),
      FCancel(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  try {
    FSyncWindow = std::make_unique<TSyncWindow>(*this);
  } catch (const Exception&) {
    // Without the window the transfer runs all the same, without progress calls.
  }
  if (FCancel) FThread.reset(CreateThread(nullptr, 0, ThreadProc, this, 0, &FThreadId));
  if (!FThread) {
    FError = InternetErrorText(GetLastError());
    FTerminated.store(true, std::memory_order_release);
  }
}

TDownloadThread::~TDownloadThread() {
  FDestroying.store(true, std::memory_order_release);
  Abort();
  if (FThread) {
    // The worker may be waiting for a progress call: let it through (the callback is skipped
    // now) until the thread has ended.
    HANDLE thread = FThread.get();
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
      MSG msg;
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
  }
  FSyncWindow.reset();
}

void TDownloadThread::Abort() {
  FAborting.store(true, std::memory_order_release);
  if (FCancel) SetEvent(FCancel.get());
}

void TDownloadThread::SplitURL(const std::wstring& AURL, std::wstring& AHost, std::wstring& APath) {
  SplitDownloadURL(AURL, AHost, APath);
}

void TDownloadThread::WaitFor() {
  HANDLE thread = FThread.get();
  while (!Terminated()) {
    if (!Application().Terminated()) {
      Application().ProcessMessages();
      if (Terminated()) break;
      MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    } else {
      // The program is ending: only the worker's progress calls are let through.
      if (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
      }
    }
  }
}

DWORD WINAPI TDownloadThread::ThreadProc(void* AParameter) {
  static_cast<TDownloadThread*>(AParameter)->Execute();
  return 0;
}

void TDownloadThread::Execute() {
  FSuccess = PerformDownload();
  FTerminated.store(true, std::memory_order_release);
}

void TDownloadThread::RunProgressCallback() {
  if (FDestroying.load(std::memory_order_acquire) || !FCallback) return;
  try {
    FCallback(this, FFileSize, static_cast<int32_t>(FDownloadedSize));
  } catch (...) {
    // Travels back to the worker, which ends the transfer with it.
    FSyncError = std::current_exception();
  }
}

void TDownloadThread::SyncProgress() {
  if (!FCallback || !FSyncWindow || FDestroying.load(std::memory_order_acquire)) return;
  FSyncError = nullptr;
  SendMessageW(FSyncWindow->Handle(), WM_SYNCPROGRESS, 0, 0);
  if (FSyncError) std::rethrow_exception(std::exchange(FSyncError, nullptr));
}

// What WinINet's callbacks report of the request's operations, and the memory those operations
// write to. The request handle holds a share until its last callback: an operation still running
// when the transfer was stopped finds it alive.
struct TDownloadThread::TRequestEvents {
  THandle Completed{CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  DWORD_PTR Result = 0;
  DWORD Error = 0;
  DWORD Available = 0;
  DWORD Read = 0;
  char Buffer[ChunkSize] = {};

  // The outcome of the operation that completed: ERROR_SUCCESS or its error.
  DWORD CompletionError() const {
    if (Result) return ERROR_SUCCESS;
    return Error ? Error : static_cast<DWORD>(ERROR_INTERNET_INTERNAL_ERROR);
  }
};

void CALLBACK TDownloadThread::RequestCallback(void*, DWORD_PTR AContext, DWORD AStatus, void* AInfo, DWORD) {
  // Only the request handle carries a context: a share of its events.
  auto* share = reinterpret_cast<std::shared_ptr<TRequestEvents>*>(AContext);
  if (!share) return;
  if (AStatus == INTERNET_STATUS_REQUEST_COMPLETE) {
    const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(AInfo);
    (*share)->Result = result->dwResult;
    (*share)->Error = result->dwError;
    SetEvent((*share)->Completed.get());
  } else if (AStatus == INTERNET_STATUS_HANDLE_CLOSING) {
    delete share;  // the handle's last callback
  }
}

bool TDownloadThread::AwaitCompletion(TRequestEvents& AEvents) {
  HANDLE events[] = {AEvents.Completed.get(), FCancel.get()};
  return WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 && !Aborting();
}

bool TDownloadThread::Fail(DWORD AError) {
  if (!Aborting()) FError = InternetErrorText(AError);
  return false;
}

bool TDownloadThread::PerformDownload() {
  try {
    std::wstring host;
    std::wstring path;
    SplitURL(FURL, host, path);
    if (host.empty()) {
      std::wstring altPath;
      SplitURL(FAltURL, host, altPath);
    }
    uint16_t port = FPort;
    SplitHostPort(host, port);
    // Asynchronous mode: every wait for the server is one this thread can leave when the transfer
    // is stopped. A blocking call would hold it until the server or a time-out ends the call, as
    // closing the handles from another thread does not end it everywhere (Wine).
    TInternetHandle internet(
        InternetOpenW(L"TUpdateCheck", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_ASYNC));
    if (!internet) return Fail(GetLastError());
    ApplyTimeouts(internet.get());
    if (InternetSetStatusCallbackW(internet.get(), RequestCallback) == INTERNET_INVALID_STATUS_CALLBACK) {
      return Fail(GetLastError());
    }
    TInternetHandle connection(InternetConnectW(internet.get(), host.c_str(), port, FUserName.c_str(),
                                                FPassword.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) return Fail(GetLastError());
    auto events = std::make_shared<TRequestEvents>();
    if (!events->Completed) return Fail(GetLastError());
    // The server's certificate is checked in full: a certificate for another name or out of
    // its dates ends the transfer.
    DWORD flags = INTERNET_FLAG_RELOAD;
    if (SameTextAscii(std::wstring_view(FURL).substr(0, 8), L"https://")) {
      flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_PRAGMA_NOCACHE;
    }
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    auto handleShare = std::make_unique<std::shared_ptr<TRequestEvents>>(events);
    TInternetHandle request(HttpOpenRequestW(connection.get(), L"GET", path.c_str(), L"HTTP/1.0", L"", acceptTypes,
                                             flags, reinterpret_cast<DWORD_PTR>(handleShare.get())));
    if (!request) return Fail(GetLastError());
    static_cast<void>(handleShare.release());  // freed by the handle's last callback
    // Set on the request too: Wine takes the send and receive limits only from there.
    ApplyTimeouts(request.get());
    return SendRequest(request.get(), *events) && AcceptResponse(request.get()) &&
           ReceiveContent(request.get(), *events);
  } catch (const std::exception& e) {
    FError = ExceptionMessage(e);
    return false;
  } catch (...) {
    FError = L"Unknown error during the transfer";
    return false;
  }
}

void TDownloadThread::ApplyTimeouts(void* AHandle) const {
  const std::pair<DWORD, DWORD> limits[] = {{INTERNET_OPTION_CONNECT_TIMEOUT, FTimeouts.ConnectMs},
                                            {INTERNET_OPTION_SEND_TIMEOUT, FTimeouts.SendMs},
                                            {INTERNET_OPTION_RECEIVE_TIMEOUT, FTimeouts.ReceiveMs}};
  for (auto [option, milliseconds] : limits) {
    InternetSetOptionW(AHandle, option, &milliseconds, sizeof(milliseconds));
  }
}

bool TDownloadThread::SendRequest(void* ARequest, TRequestEvents& AEvents) {
  ResetEvent(AEvents.Completed.get());
  if (HttpSendRequestW(ARequest, nullptr, 0, nullptr, 0)) return !Aborting();
  DWORD error = GetLastError();
  if (error != ERROR_IO_PENDING) return Fail(error);
  if (!AwaitCompletion(AEvents)) return false;
  error = AEvents.CompletionError();
  return error == ERROR_SUCCESS || Fail(error);
}

bool TDownloadThread::ReadChunk(void* ARequest, TRequestEvents& AEvents, DWORD& ACount) {
  ACount = 0;
  // The wait is in asking what has arrived; the read then takes what is there at once.
  for (;;) {
    ResetEvent(AEvents.Completed.get());
    AEvents.Available = 0;
    if (InternetQueryDataAvailable(ARequest, &AEvents.Available, 0, 0)) break;
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return Fail(error);
    if (!AwaitCompletion(AEvents)) return false;
    error = AEvents.CompletionError();
    if (error != ERROR_SUCCESS) return Fail(error);
  }
  if (AEvents.Available == 0) return true;  // the end of the content
  ResetEvent(AEvents.Completed.get());
  AEvents.Read = 0;
  if (!InternetReadFile(ARequest, AEvents.Buffer, std::min<DWORD>(AEvents.Available, ChunkSize), &AEvents.Read)) {
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) return Fail(error);
    if (!AwaitCompletion(AEvents)) return false;
    error = AEvents.CompletionError();
    if (error != ERROR_SUCCESS) return Fail(error);
  }
  ACount = AEvents.Read;
  return true;
}

bool TDownloadThread::AcceptResponse(void* ARequest) {
  // Only a successful answer is content: an error page is never taken for the page or the file.
  DWORD status = 0;
  DWORD statusSize = sizeof(status);
  if (!HttpQueryInfoW(ARequest, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize, nullptr)) {
    FError = InternetErrorText(GetLastError());
    return false;
  }
  if (status < 200 || status > 299) {
    wchar_t reason[256] = {};
    DWORD reasonSize = sizeof(reason) - sizeof(wchar_t);
    std::wstring text = L"The server answered with HTTP status " + UIntToStr(status);
    if (HttpQueryInfoW(ARequest, HTTP_QUERY_STATUS_TEXT, reason, &reasonSize, nullptr) && reason[0]) {
      text += L" (" + Trim(reason) + L")";
    }
    FError = text + L".";
    return false;
  }

  wchar_t lengthText[512] = {};
  DWORD lengthSize = sizeof(lengthText) - sizeof(wchar_t);
  bool lengthKnown = HttpQueryInfoW(ARequest, HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, nullptr) != FALSE;
  DWORD lengthError = GetLastError();
  if (Aborting()) return false;
  if (!lengthKnown && FBinary) {
    FError = InternetErrorText(lengthError);
    return false;
  }
  if (lengthKnown) {
    int32_t size = 0;
    FLengthKnown = TryStrToInt(lengthText, size) && size >= 0;
    FFileSize = FLengthKnown ? size : 0;
  }
  return true;
}

bool TDownloadThread::ReceiveContent(void* ARequest, TRequestEvents& AEvents) {
  FDownloadedSize = 0;
  std::unique_ptr<TPartialFile> file;
  if (FSaveToFile) file = std::make_unique<TPartialFile>(FFileName);
  std::string text;
  for (;;) {
    if (Aborting()) return false;
    DWORD count = 0;
    // What arrived before a failed read is never taken for the whole, in either mode.
    if (!ReadChunk(ARequest, AEvents, count)) return false;
    FDownloadSize = count;
    if (count == 0) break;
    if (file) {
      file->Write(AEvents.Buffer, count);
    } else {
      if (text.size() + count > MaxTextSize) {
        FError = L"The page is larger than " + UIntToStr(MaxTextSize / (1024 * 1024)) + L" MB.";
        return false;
      }
      text.append(AEvents.Buffer, count);
    }
    FDownloadedSize += FDownloadSize;
    SyncProgress();
  }

  // A connection that ends early looks like the end of the content: only the announced length
  // tells a cut-off transfer from a whole one.
  if (FLengthKnown && static_cast<int64_t>(FFileSize) != static_cast<int64_t>(FDownloadedSize)) {
    FError = L"The connection ended after " + UIntToStr(FDownloadedSize) + L" of " + IntToStr(FFileSize) +
             L" bytes.";
    return false;
  }
  bool result = FSaveToFile ? static_cast<int64_t>(FFileSize) == static_cast<int64_t>(FDownloadedSize)
                            : FDownloadedSize != 0;
  if (file && result) file->Commit();
  if (!FSaveToFile && result) FInfo = SplitLines(CodePageToWide(text, CP_ACP));
  return result;
}

}  // namespace vantrel
