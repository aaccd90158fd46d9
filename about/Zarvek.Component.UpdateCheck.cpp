#include "about/Zarvek.Component.UpdateCheck.h"

#include <shellapi.h>
#include <wininet.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>

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

// The downloaded bytes go into a temporary file beside the target, which replaces the target
// only when the whole transfer succeeded: a failed or stopped download leaves neither a partial
// file nor a damaged earlier one.
class TPartialFile {
 public:
  explicit TPartialFile(const std::wstring& ATarget) : FTarget(ATarget) {
    std::wstring folder = ExtractFilePath(ATarget);
    if (folder.empty()) folder = L".";
    wchar_t name[MAX_PATH + 1] = {};
    if (!GetTempFileNameW(folder.c_str(), L"upd", 0, name)) Fail(L"Cannot create file", GetLastError());
    FPath = name;
    FFile.reset(CreateFileW(FPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!FFile) {
      DWORD error = GetLastError();
      DeleteFileW(FPath.c_str());
      Fail(L"Cannot create file", error);
    }
  }
  ~TPartialFile() {
    FFile.reset();
    if (!FCommitted) DeleteFileW(FPath.c_str());
  }
  TPartialFile(const TPartialFile&) = delete;
  TPartialFile& operator=(const TPartialFile&) = delete;

  void Write(const char* ABytes, DWORD ACount) {
    DWORD written = 0;
    if (!WriteFile(FFile.get(), ABytes, ACount, &written, nullptr) || written != ACount) {
      Fail(L"Cannot write file", GetLastError());
    }
  }
  void Commit() {
    FFile.reset();
    if (!MoveFileExW(FPath.c_str(), FTarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED)) {
      Fail(L"Cannot create file", GetLastError());
    }
    FCommitted = true;
  }

 private:
  [[noreturn]] void Fail(const wchar_t* AWhat, DWORD AError) const {
    throw EFileError(std::wstring(AWhat) + L" \"" + FTarget + L"\". " + Trim(SysErrorMessage(AError)));
  }

  std::wstring FTarget;
  std::wstring FPath;
  THandle FFile;
  bool FCommitted = false;
};

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
                                 std::wstring AFileName, TDownloadEvent ACallback)
    : FURL(std::move(AURL)),
      FAltURL(std::move(AAltURL)),
      FUserName(std::move(AUserName)),
      FPassword(std::move(APassword)),
      FFileName(std::move(AFileName)),
      FPort(APort),
      FBinary(ABinary),
      FSaveToFile(ASaveToFile),
      FCallback(std::move(ACallback)) {
  try {
    FSyncWindow = std::make_unique<TSyncWindow>(*this);
  } catch (const Exception&) {
    // Without the window the transfer runs all the same, without progress calls.
  }
  FThread.reset(CreateThread(nullptr, 0, ThreadProc, this, 0, &FThreadId));
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

bool TDownloadThread::PerformDownload() {
  try {
    std::wstring host;
    std::wstring path;
    SplitURL(FURL, host, path);
    if (host.empty()) {
      std::wstring altPath;
      SplitURL(FAltURL, host, altPath);
    }
    bool secure = ContainsText(LowerCaseAscii(FURL), L"https://");

    TInternetHandle internet(InternetOpenW(L"TUpdateCheck", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet) {
      FError = InternetErrorText(GetLastError());
      return false;
    }
    TInternetHandle connection(InternetConnectW(internet.get(), host.c_str(), FPort, FUserName.c_str(),
                                                FPassword.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
      FError = InternetErrorText(GetLastError());
      return false;
    }
    // The server's certificate is checked in full: a certificate for another name or out of
    // its dates ends the transfer.
    DWORD flags = INTERNET_FLAG_RELOAD;
    if (secure) flags |= INTERNET_FLAG_SECURE | INTERNET_FLAG_PRAGMA_NOCACHE;
    const wchar_t* acceptTypes[] = {L"*/*", nullptr};
    TInternetHandle request(HttpOpenRequestW(connection.get(), L"GET", path.c_str(), L"HTTP/1.0", L"",
                                             acceptTypes, flags, 0));
    if (!request) {
      FError = InternetErrorText(GetLastError());
      return false;
    }
    BOOL sent = HttpSendRequestW(request.get(), nullptr, 0, nullptr, 0);
    DWORD sendError = GetLastError();
    if (Aborting()) return false;
    if (!sent) {
      FError = InternetErrorText(sendError);
      return false;
    }

    // Only a successful answer is content: an error page is never taken for the page or the file.
    DWORD status = 0;
    DWORD statusSize = sizeof(status);
    if (!HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &statusSize,
                        nullptr)) {
      FError = InternetErrorText(GetLastError());
      return false;
    }
    if (status < 200 || status > 299) {
      wchar_t reason[256] = {};
      DWORD reasonSize = sizeof(reason) - sizeof(wchar_t);
      std::wstring text = L"The server answered with HTTP status " + UIntToStr(status);
      if (HttpQueryInfoW(request.get(), HTTP_QUERY_STATUS_TEXT, reason, &reasonSize, nullptr) && reason[0]) {
        text += L" (" + Trim(reason) + L")";
      }
      FError = text + L".";
      return false;
    }

    wchar_t lengthText[512] = {};
    DWORD lengthSize = sizeof(lengthText) - sizeof(wchar_t);
    bool lengthKnown =
        HttpQueryInfoW(request.get(), HTTP_QUERY_CONTENT_LENGTH, lengthText, &lengthSize, nullptr) != FALSE;
    DWORD lengthError = GetLastError();
    if (Aborting()) return false;
    if (!lengthKnown && FBinary) {
      FError = InternetErrorText(lengthError);
      return false;
    }
    if (lengthKnown) {
      int32_t size = 0;
      FFileSize = TryStrToInt(lengthText, size) ? size : 0;
    }

    FDownloadedSize = 0;
    std::unique_ptr<TPartialFile> file;
    if (FSaveToFile) file = std::make_unique<TPartialFile>(FFileName);
    std::string text;
    char buffer[ChunkSize];
    for (;;) {
      if (Aborting()) return false;
      DWORD count = 0;
      if (!InternetReadFile(request.get(), buffer, ChunkSize, &count)) {
        FError = InternetErrorText(GetLastError());
        break;
      }
      FDownloadSize = count;
      if (count == 0) break;
      if (file) {
        file->Write(buffer, count);
      } else {
        if (text.size() + count > MaxTextSize) {
          FError = L"The page is larger than " + UIntToStr(MaxTextSize / (1024 * 1024)) + L" MB.";
          return false;
        }
        text.append(buffer, count);
      }
      FDownloadedSize += FDownloadSize;
      SyncProgress();
    }

    bool result = FSaveToFile ? static_cast<int64_t>(FFileSize) == static_cast<int64_t>(FDownloadedSize)
                              : FDownloadedSize != 0;
    if (file && result) file->Commit();
    if (!FSaveToFile && result) FInfo = SplitLines(CodePageToWide(text, CP_ACP));
    return result;
  } catch (const std::exception& e) {
    FError = ExceptionMessage(e);
    return false;
  } catch (...) {
    FError = L"Unknown error during the transfer";
    return false;
  }
}

// ---------------------------------------------------------------------------------------------
// TProductInfo

void TProductInfo::SetURL(const std::wstring& AValue) {
  if (SameTextAscii(std::wstring_view(AValue).substr(0, 7), L"http://") ||
      SameTextAscii(std::wstring_view(AValue).substr(0, 8), L"https://")) {
    FURL = AValue;
  } else {
    FURL = L"http://" + AValue;
  }
}

// ---------------------------------------------------------------------------------------------
// Helpers for the update page

std::wstring SafeClientFileName(const std::wstring& AValue) {
  std::wstring name = Trim(ExtractFileName(AValue));
  while (!name.empty() && (name.back() == L'.' || static_cast<unsigned>(name.back()) <= L' ')) name.pop_back();
  if (name.empty()) return {};
  for (wchar_t c : name) {
    if (c < 32 || wcschr(L"<>\"|?*", c)) return {};
  }
  // Device names stay devices whatever extension follows them.
  std::wstring base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  base = UpperCaseAscii(base);
  static const wchar_t* const devices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"};
  for (const wchar_t* device : devices) {
    if (base == device) return {};
  }
  if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
      ((base[3] >= L'0' && base[3] <= L'9') || base[3] == L'\u00B9' || base[3] == L'\u00B2' || base[3] == L'\u00B3')) {
    return {};
  }
  return name;
}

bool TryParseVersionNumber(const std::wstring& AText, double& AValue) {
  size_t i = 0;
  while (i < AText.size() && AText[i] == L' ') ++i;
  std::string number;
  if (i < AText.size() && (AText[i] == L'+' || AText[i] == L'-')) {
    if (AText[i] == L'-') number += '-';
    ++i;
  }
  auto digits = [&] {
    size_t count = 0;
    while (i < AText.size() && AText[i] >= L'0' && AText[i] <= L'9') {
      number += static_cast<char>(AText[i++]);
      ++count;
    }
    return count;
  };
  size_t mantissa = digits();
  if (i < AText.size() && AText[i] == L'.') {
    number += '.';
    ++i;
    mantissa += digits();
  }
  if (mantissa == 0) return false;
  if (i < AText.size() && (AText[i] == L'e' || AText[i] == L'E')) {
    number += 'e';
    ++i;
    if (i < AText.size() && (AText[i] == L'+' || AText[i] == L'-')) number += static_cast<char>(AText[i++]);
    if (digits() == 0) return false;
  }
  if (i != AText.size()) return false;
  double value = 0;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) return false;
  AValue = value;
  return true;
}

namespace {

// The text between the opening quote at AStart and the next double quote within 255 characters;
// empty without such a quote.
std::wstring QuotedValueAt(const std::wstring& ALine, size_t AStart) {
  if (AStart >= ALine.size()) return {};
  std::wstring window = ALine.substr(AStart, 255);
  size_t quote = window.find(L'"');
  return quote == std::wstring::npos ? std::wstring() : window.substr(0, quote);
}

// The CONTENT value of a tag line; a line without CONTENT= gives no value.
std::wstring ExtractContent(const std::wstring& ALine) {
  size_t content = UpperCaseAscii(ALine).find(L"CONTENT=");
  if (content == std::wstring::npos) return {};
  return QuotedValueAt(ALine, content + 9);
}

int32_t VersionPart(const std::wstring& AVersion, size_t ADot) {
  int32_t value = 0;
  return TryStrToInt(AVersion.substr(0, ADot), value) ? value : 0;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TUpdateCheck

TUpdateCheck::~TUpdateCheck() { Abort(); }

void TUpdateCheck::Abort() {
  if (FWorker) FWorker->Abort();
}

void TUpdateCheck::DoBeforeDownload(const std::wstring& AFileName) {
  if (OnBeforeDownload) OnBeforeDownload(this, AFileName);
}
void TUpdateCheck::DoDownloadError() {
  if (OnDownloadError) OnDownloadError(this);
}
void TUpdateCheck::DoAfterDownload(const std::wstring& AFileName) {
  if (OnAfterDownload) OnAfterDownload(this, AFileName);
}
void TUpdateCheck::DoNoUpdateFound() {
  if (OnNoUpdateFound) OnNoUpdateFound(this);
}
void TUpdateCheck::DoAfterGetInfo() {
  if (OnAfterGetInfo) OnAfterGetInfo(this);
}
void TUpdateCheck::DoBeforeGetInfo() {
  if (OnBeforeGetInfo) OnBeforeGetInfo(this);
}
void TUpdateCheck::DoCannotExecute() {
  if (OnCannotExecute) OnCannotExecute(this);
}

bool TUpdateCheck::CheckForAnUpdate() {
  if (FActive) return false;
  FActive = true;
  TScopeExit activeReset([this] { FActive = false; });

  FRedirectionURL.clear();
  DoBeforeGetInfo();
  GetInfo();
  DoAfterGetInfo();
  if (!FRedirectionLimitReached && (FProductName.empty() || FProductVersion.empty())) {
    FDownloadError = L"empty info";
    DoDownloadError();
    FTransferResult = false;
  }
  if (!FTransferResult || !IsNewVersion()) return false;

  bool canUpdate = true;
  if (OnUpdateAvailable) OnUpdateAvailable(this, FProductInfo.Version, FProductVersion, canUpdate);
  if (!canUpdate) return false;

  GetUpdateFile();
  if (!FTransferResult) return false;
  if (Options.Contains(uoRunUpdate) && Verified) {
    HINSTANCE started = ShellExecuteW(nullptr, L"open", FLocalFileName.c_str(), FRunParameters.c_str(), L"",
                                      SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(started) <= 32) DoCannotExecute();
    if (Options.Contains(uoTerminate)) std::exit(0);
  }
  return true;
}

TUpdateCheck::TTransferResult TUpdateCheck::Transfer(const std::wstring& AURL, bool ASaveToFile,
                                                     const std::wstring& AFileName) {
  auto worker = std::make_unique<TDownloadThread>(AURL, FProductInfo.URL(), UserName, Password,
                                                  static_cast<uint16_t>(HTTPPort & 0xFFFF), ASaveToFile,
                                                  ASaveToFile, AFileName, OnDownload);
  FWorker = worker.get();
  TScopeExit workerReset([this] { FWorker = nullptr; });
  worker->WaitFor();
  TTransferResult result;
  result.Success = worker->Success();
  result.Error = worker->Error();
  result.Info = worker->Info();
  return result;
}

void TUpdateCheck::ClearResults() {
  FRedirectionURL.clear();
  FProductVersion.clear();
  FUpdateURL.clear();
  FClientFileName.clear();
  FAuthor.clear();
  FEMail.clear();
  FProductName.clear();
  FRunParameters.clear();
  FMD5.clear();
  FPage.clear();
}

void TUpdateCheck::GetInfo() {
  FRedirectionLimitReached = false;
  int redirections = 0;
  for (;;) {
    FProductVersion.clear();
    FUpdateURL.clear();
    FAuthor.clear();
    FEMail.clear();
    FProductName.clear();
    FRunParameters.clear();
    FMD5.clear();
    std::wstring address = FRedirectionURL.empty() ? FProductInfo.URL() : FRedirectionURL;
    TTransferResult transfer = Transfer(address, false, {});
    FTransferResult = transfer.Success;
    if (!FTransferResult) {
      FDownloadError = transfer.Error;
      DoDownloadError();
      return;
    }
    FInfo = std::move(transfer.Info);
    ParseInfo();
    if (FRedirectionURL.empty()) return;
    // Pages that keep naming further pages (a page naming itself, a cycle) end here.
    if (++redirections > MaxRedirections) {
      std::wstring last = FRedirectionURL;
      ClearResults();
      FRedirectionURL = last;
      FRedirectionLimitReached = true;
      FTransferResult = false;
      FDownloadError = L"Too many redirections: the update page names further pages more than " +
                       IntToStr(MaxRedirections) + L" times.";
      DoDownloadError();
      return;
    }
  }
}

void TUpdateCheck::ParseInfo() {
  ClearResults();
  struct TTarget {
    const std::wstring& Name;
    std::wstring& Value;
  };
  const TTarget targets[] = {
      {FTagInfo.ProductName, FProductName}, {FTagInfo.ClientFileName, FClientFileName},
      {FTagInfo.Version, FProductVersion},  {FTagInfo.Author, FAuthor},
      {FTagInfo.Email, FEMail},             {FTagInfo.Download, FUpdateURL},
      {FTagInfo.Redirection, FRedirectionURL}, {FTagInfo.RunParameters, FRunParameters},
      {FTagInfo.MD5, FMD5},                 {FTagInfo.Page, FPage},
  };
  for (const std::wstring& line : FInfo) {
    size_t meta = line.find(L"META NAME");
    if (meta == std::wstring::npos) continue;
    std::wstring name = QuotedValueAt(line, meta + 11);
    for (const TTarget& target : targets) {
      if (SameTextAscii(name, target.Name)) {
        target.Value = ExtractContent(line);
        break;
      }
    }
  }
}

bool TUpdateCheck::IsNewVersion() {
  bool result = false;
  switch (FProductInfo.VersionFormat) {
    case vfStandard: {
      std::wstring current = FProductInfo.Version;
      std::wstring offered = FProductVersion;
      for (;;) {
        size_t c = current.find(L'.');
        size_t o = offered.find(L'.');
        int32_t currentPart = VersionPart(current, c);
        int32_t offeredPart = VersionPart(offered, o);
        if (offeredPart != currentPart) {
          result = offeredPart > currentPart;
          break;
        }
        if (c == std::wstring::npos) break;
        current.erase(0, c + 1);
        if (o != std::wstring::npos) offered.erase(0, o + 1);
      }
      break;
    }
    case vfString:
      result = FProductVersion > FProductInfo.Version;
      break;
    case vfNumber: {
      double current = 0;
      double offered = 0;
      result = TryParseVersionNumber(FProductInfo.Version, current) &&
               TryParseVersionNumber(FProductVersion, offered) && current < offered;
      break;
    }
    default:
      break;
  }
  if (!result) DoNoUpdateFound();
  return result;
}

void TUpdateCheck::GetLocalFileName(std::wstring& AFileName) {
  AFileName.clear();
  std::wstring name = SafeClientFileName(FClientFileName);
  if (name.empty()) return;
  if (DirectoryExists(TargetFolder)) {
    AFileName = IncludeTrailingPathDelimiter(TargetFolder) + name;
    return;
  }
  wchar_t folder[MAX_PATH + 1] = {};
  DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) return;
  AFileName = std::wstring(folder, length) + name;
}

void TUpdateCheck::GetUpdateFile() {
  FDownloadError = L"GetUpdateFile";
  std::wstring local;
  GetLocalFileName(local);
  if (OnGetClientFileName) OnGetClientFileName(this, local);
  FLocalFileName = local;
  FTransferResult = false;
  if (IsBlankText(local)) {
    FDownloadError = L"No usable file name for the download: \"" + FClientFileName + L"\".";
    DoDownloadError();
    return;
  }
  if (IsBlankText(FUpdateURL)) {
    FDownloadError = L"The update page names no download address.";
    DoDownloadError();
    return;
  }
  if (FileExists(local)) {
    bool overwrite = Options.Contains(uoOverwrite);
    if (OnClientFileExists) OnClientFileExists(this, local, overwrite);
    FLocalFileName = local;
    if (!overwrite) {
      FDownloadError = L"Overwrite error";
      DoDownloadError();
      return;
    }
  }
  FDownloadError = L"Download started";
  DoBeforeDownload(local);
  if (FUpdateURL.find(L"http") == std::wstring::npos) {
    // Relative to the page's folder; an address that starts with "/" is relative to the server.
    const std::wstring& page = FProductInfo.URL();
    size_t scheme = page.find(L"://");
    size_t hostStart = scheme == std::wstring::npos ? 0 : scheme + 3;
    size_t pathStart = std::min(page.find(L'/', hostStart), page.size());
    if (FUpdateURL[0] == L'/') {
      FUpdateURL = page.substr(0, pathStart) + FUpdateURL;
    } else if (pathStart == page.size()) {
      FUpdateURL = page + L"/" + FUpdateURL;
    } else {
      FUpdateURL = page.substr(0, page.rfind(L'/') + 1) + FUpdateURL;
    }
  }
  TTransferResult transfer = Transfer(FUpdateURL, true, local);
  FTransferResult = transfer.Success;
  if (FTransferResult) {
    DoAfterDownload(local);
  } else {
    FDownloadError = transfer.Error;
    DoDownloadError();
  }
}

}  // namespace vantrel
