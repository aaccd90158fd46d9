// The update check: reads an update page over HTTP or HTTPS, compares the version it offers with
// the running one, and can download and start the offered file. Every transfer runs on a
// TDownloadThread while the calling GUI thread keeps handling its messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"
#include "forms/Zarvek.Forms.Component.h"

namespace vantrel {

class TDownloadThread;

// Progress of a transfer: the announced size (0 when unknown) and the bytes received so far.
using TDownloadEvent = std::function<void(TDownloadThread* Sender, int32_t Total, int32_t Downloaded)>;

// Host and path of an address: any "http://" or "https://" is cut off, the host is what comes
// before the first "/", the path is the rest. An address without "/" or starting with "/" has no
// host.
void SplitDownloadURL(const std::wstring& AURL, std::wstring& AHost, std::wstring& APath);

// The system's text for a WinINet or platform error code; "Internet error <code>" when the
// platform has none.
std::wstring InternetErrorText(DWORD ACode);

// One transfer on a worker thread, into text lines or into a file. It starts when it is created;
// its results are valid once Terminated() is true. Destroying a running thread stops it at its
// next check point and waits for it.
class TDownloadThread {
 public:
  static constexpr DWORD ChunkSize = 1025;
  // Pages larger than this are refused in text mode: a page is a few lines of HTML.
  static constexpr uint32_t MaxTextSize = 8 * 1024 * 1024;

  TDownloadThread(std::wstring AURL, std::wstring AAltURL, std::wstring AUserName, std::wstring APassword,
                  uint16_t APort, bool ABinary, bool ASaveToFile, std::wstring AFileName,
                  TDownloadEvent ACallback);
  virtual ~TDownloadThread();
  TDownloadThread(const TDownloadThread&) = delete;
  TDownloadThread& operator=(const TDownloadThread&) = delete;

  bool Terminated() const { return FTerminated.load(std::memory_order_acquire); }
  bool Success() const { return FSuccess; }
  const std::wstring& Error() const { return FError; }
  const TStringList& Info() const { return FInfo; }
  DWORD ThreadId() const { return FThreadId; }
  HANDLE Handle() const { return FThread.get(); }

  // Asks the transfer to stop; it does so before the next platform call that may wait.
  void Abort() { FAborting.store(true, std::memory_order_release); }

  // Handles the calling thread's window messages until the transfer has ended.
  void WaitFor();

  // Host and path of an address, as SplitDownloadURL gives them; the worker calls it when the
  // transfer begins.
  virtual void SplitURL(const std::wstring& AURL, std::wstring& AHost, std::wstring& APath);

 private:
  class TSyncWindow;
  static DWORD WINAPI ThreadProc(void* AParameter);
  void Execute();
  bool PerformDownload();
  bool Aborting() const { return FAborting.load(std::memory_order_acquire); }
  // Runs the progress callback on the creating thread and waits until it has run.
  void SyncProgress();
  // The progress callback, on the creating thread; what it raises goes back to the worker.
  void RunProgressCallback();

  std::wstring FURL;
  std::wstring FAltURL;
  std::wstring FUserName;
  std::wstring FPassword;
  std::wstring FFileName;
  std::wstring FError;
  uint16_t FPort;
  bool FBinary;
  bool FSaveToFile;
  std::atomic<bool> FAborting{false};
  bool FSuccess = false;
  TDownloadEvent FCallback;
  int32_t FFileSize = 0;
  uint32_t FDownloadSize = 0;
  uint32_t FDownloadedSize = 0;
  TStringList FInfo;

  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FDestroying{false};
  std::unique_ptr<TSyncWindow> FSyncWindow;  // message-only window of the creating thread
  std::exception_ptr FSyncError;
  THandle FThread;
  DWORD FThreadId = 0;
};

enum TUpdateOption : uint8_t { uoRunUpdate = 0, uoTerminate = 1, uoOverwrite = 2 };

// A set of update options, one bit per option.
class TUpdateOptions {
 public:
  constexpr TUpdateOptions() = default;
  constexpr TUpdateOptions(std::initializer_list<TUpdateOption> AOptions) {
    for (TUpdateOption option : AOptions) FBits |= static_cast<uint8_t>(1u << option);
  }
  constexpr bool Contains(TUpdateOption AOption) const { return (FBits >> AOption) & 1u; }
  constexpr uint8_t Bits() const { return FBits; }
  constexpr bool operator==(const TUpdateOptions&) const = default;

 private:
  uint8_t FBits = 0;
};

enum TVersionFormat : uint8_t { vfStandard = 0, vfString = 1, vfNumber = 2 };

class TUpdateCheck;
using TUpdateNotifyEvent = std::function<void(TUpdateCheck* Sender)>;
using TGetClientFileNameEvent = std::function<void(TUpdateCheck* Sender, std::wstring& FileName)>;
using TDownloadFileEvent = std::function<void(TUpdateCheck* Sender, const std::wstring& FileName)>;
using TClientFileExistsEvent =
    std::function<void(TUpdateCheck* Sender, std::wstring& FileName, bool& Overwrite)>;
using TUpdateAvailableEvent = std::function<void(TUpdateCheck* Sender, const std::wstring& CurrentVersion,
                                                 const std::wstring& NewVersion, bool& CanUpdate)>;

// What is known about the running product.
class TProductInfo {
 public:
  const std::wstring& URL() const { return FURL; }
  // An address without "http://" or "https://" in front gets "http://".
  void SetURL(const std::wstring& AValue);
  std::wstring Version = L"1.0";
  TVersionFormat VersionFormat = vfStandard;

 private:
  std::wstring FURL = L"http://";
};

// The names of the page tags that carry each result.
struct TTagInfo {
  std::wstring Author = L"Author";
  std::wstring Email = L"Email";
  std::wstring ClientFileName = L"File";
  std::wstring Download = L"Download";
  std::wstring Page = L"Page";
  std::wstring ProductName = L"Name";
  std::wstring Redirection = L"Redirection";
  std::wstring RunParameters = L"RunParameters";
  std::wstring Version = L"Version";
  std::wstring MD5 = L"MD5";
};

class TUpdateCheck : public TComponent {
 public:
  // A page may name a further page; a chain longer than this fails.
  static constexpr int MaxRedirections = 10;

  TUpdateCheck() = default;
  ~TUpdateCheck() override;
  std::wstring ClassName() const override { return L"TUpdateCheck"; }

  // Runs a whole check and returns when it is over: true only when a file was downloaded (and
  // started, as the options say). A check started while one runs returns false at once.
  bool CheckForAnUpdate();
  // Asks the running transfer, if any, to stop.
  void Abort();

  TTagInfo& TagInfo() { return FTagInfo; }
  TProductInfo& ProductInfo() { return FProductInfo; }
  std::wstring UserName;
  std::wstring Password;
  TUpdateOptions Options{uoRunUpdate, uoTerminate};
  std::wstring TargetFolder;
  uint32_t HTTPPort = 80;  // the connection uses its low 16 bits

  TDownloadFileEvent OnBeforeDownload;
  TDownloadFileEvent OnAfterDownload;
  TDownloadEvent OnDownload;
  TUpdateNotifyEvent OnDownloadError;
  TUpdateAvailableEvent OnUpdateAvailable;
  TGetClientFileNameEvent OnGetClientFileName;
  TClientFileExistsEvent OnClientFileExists;
  TUpdateNotifyEvent OnBeforeGetInfo;
  TUpdateNotifyEvent OnCannotExecute;
  TUpdateNotifyEvent OnAfterGetInfo;
  TUpdateNotifyEvent OnNoUpdateFound;

  // Results of the last check.
  const std::wstring& ProductVersion() const { return FProductVersion; }
  const std::wstring& UpdateURL() const { return FUpdateURL; }
  const std::wstring& ClientFileName() const { return FClientFileName; }
  const std::wstring& RedirectionURL() const { return FRedirectionURL; }
  const std::wstring& Author() const { return FAuthor; }
  const std::wstring& EMail() const { return FEMail; }
  const std::wstring& ProductName() const { return FProductName; }
  const std::wstring& RunParameters() const { return FRunParameters; }
  const std::wstring& MD5() const { return FMD5; }
  const std::wstring& Page() const { return FPage; }
  const std::wstring& DownloadError() const { return FDownloadError; }
  bool Active() const { return FActive; }
  DWORD ThreadId() const { return FWorker ? FWorker->ThreadId() : 0; }
  // Starting a downloaded file requires it; the component never changes it.
  bool Verified = true;

 protected:
  virtual void DoBeforeDownload(const std::wstring& AFileName);
  virtual void DoDownloadError();
  virtual void DoAfterDownload(const std::wstring& AFileName);
  virtual void DoNoUpdateFound();
  virtual void DoAfterGetInfo();
  virtual void DoBeforeGetInfo();
  virtual void DoCannotExecute();
  // The target folder (or the temporary folder) joined with the bare name of the file tag's
  // value; empty when no usable name is left.
  virtual void GetLocalFileName(std::wstring& AFileName);

  void GetInfo();
  void ParseInfo();
  bool IsNewVersion();
  void GetUpdateFile();

 private:
  struct TTransferResult {
    bool Success = false;
    std::wstring Error;
    TStringList Info;
  };
  // Runs one transfer on a worker to its end, handling messages meanwhile, and frees the worker.
  TTransferResult Transfer(const std::wstring& AURL, bool ASaveToFile, const std::wstring& AFileName);
  void ClearResults();

  TTagInfo FTagInfo;
  TProductInfo FProductInfo;
  std::wstring FProductVersion;
  std::wstring FUpdateURL;
  std::wstring FClientFileName;
  std::wstring FRedirectionURL;
  std::wstring FAuthor;
  std::wstring FEMail;
  std::wstring FProductName;
  std::wstring FRunParameters;
  std::wstring FMD5;
  std::wstring FPage;
  std::wstring FDownloadError;
  bool FActive = false;

  std::wstring FLocalFileName;
  TStringList FInfo;
  bool FTransferResult = false;
  bool FRedirectionLimitReached = false;
  TDownloadThread* FWorker = nullptr;  // the running worker, only during a transfer
};

// The bare file name in an update page's file tag: folders, drive and stream parts, trailing
// dots and blanks removed; empty when nothing usable is left (also for reserved device names and
// characters that no file name may hold).
std::wstring SafeClientFileName(const std::wstring& AValue);

// A decimal number with "." as the decimal point whatever the locale; leading blanks are
// skipped, anything else outside the number fails.
bool TryParseVersionNumber(const std::wstring& AText, double& AValue);

}  // namespace vantrel
