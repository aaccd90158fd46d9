// One transfer over HTTP or HTTPS on a worker thread, into text lines or into a file, while the
// creating thread keeps handling its messages.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "base/Zarvek_Handles.h"
#include "base/Zarvek_StrUtils.h"

namespace vantrel {

class TDownloadThread;

// Progress of a transfer: the announced size (0 when unknown) and the bytes received so far.
using TDownloadEvent = std::function<void(TDownloadThread* Sender, int32_t Total, int32_t Downloaded)>;

// Host and path of an address: any "http://" or "https://" is cut off, the host is what comes
// before the first "/", the path is the rest. An address without "/" or starting with "/" has no
// host.
void SplitDownloadURL(const std::wstring& AURL, std::wstring& AHost, std::wstring& APath);

// A port after the host ("host:8443", "[::1]:8443") comes off the host into APort, and brackets
// around an address go; without a port APort keeps its value.
void SplitHostPort(std::wstring& AHost, uint16_t& APort);

// The system's text for a WinINet or platform error code; "Internet error <code>" when the
// platform has none.
std::wstring InternetErrorText(DWORD ACode);

// Limits in milliseconds for making the connection, for sending, and for each wait for data.
struct TDownloadTimeouts {
  DWORD ConnectMs = 20000;
  DWORD SendMs = 20000;
  DWORD ReceiveMs = 20000;
};

// One transfer on a worker thread, into text lines or into a file. It starts when it is created;
// its results are valid once Terminated() is true. Destroying a running thread stops it (a wait
// for the server ends at once) and waits for it to end.
class TDownloadThread {
 public:
  static constexpr DWORD ChunkSize = 1025;
  // Pages larger than this are refused in text mode: a page is a few lines of HTML.
  static constexpr uint32_t MaxTextSize = 8 * 1024 * 1024;

  TDownloadThread(std::wstring AURL, std::wstring AAltURL, std::wstring AUserName, std::wstring APassword,
                  uint16_t APort, bool ABinary, bool ASaveToFile, std::wstring AFileName,
                  TDownloadEvent ACallback, TDownloadTimeouts ATimeouts = {});
  virtual ~TDownloadThread();
  TDownloadThread(const TDownloadThread&) = delete;
  TDownloadThread& operator=(const TDownloadThread&) = delete;

  bool Terminated() const { return FTerminated.load(std::memory_order_acquire); }
  bool Success() const { return FSuccess; }
  const std::wstring& Error() const { return FError; }
  const TStringList& Info() const { return FInfo; }
  DWORD ThreadId() const { return FThreadId; }
  HANDLE Handle() const { return FThread.get(); }

  // Stops the transfer: a wait for the server ends at once, and nothing of the content is kept.
  // Any thread may call it.
  void Abort();

  // Handles the calling thread's window messages until the transfer has ended.
  void WaitFor();

  // Host and path of an address, as SplitDownloadURL gives them; the worker calls it when the
  // transfer begins.
  virtual void SplitURL(const std::wstring& AURL, std::wstring& AHost, std::wstring& APath);

 private:
  class TSyncWindow;
  struct TRequestEvents;
  static DWORD WINAPI ThreadProc(void* AParameter);
  // WinINet's status callback (an INTERNET_STATUS_CALLBACK).
  static void CALLBACK RequestCallback(void* AHandle, DWORD_PTR AContext, DWORD AStatus, void* AInfo,
                                       DWORD AInfoSize);
  void Execute();
  bool PerformDownload();
  void ApplyTimeouts(void* AHandle) const;
  // Error set from AError, unless the transfer was stopped; always false.
  bool Fail(DWORD AError);
  // Waits until the pending operation completes; false when the transfer was stopped first.
  bool AwaitCompletion(TRequestEvents& AEvents);
  // Sends the request and waits for the answer's headers.
  bool SendRequest(void* ARequest, TRequestEvents& AEvents);
  // After the request was sent (ARequest: its WinINet handle): a successful status, and the
  // announced length; false with Error set otherwise.
  bool AcceptResponse(void* ARequest);
  // The content, into the file or the text lines; true when all of it arrived: a read that fails
  // or content shorter than announced is a failure in both modes.
  bool ReceiveContent(void* ARequest, TRequestEvents& AEvents);
  // The next piece of content into AEvents.Buffer, ACount bytes of it (0 at the end); false when
  // the read failed or the transfer was stopped.
  bool ReadChunk(void* ARequest, TRequestEvents& AEvents, DWORD& ACount);
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
  TDownloadTimeouts FTimeouts;
  THandle FCancel;  // set when the transfer is to stop
  int32_t FFileSize = 0;       // the announced length; 0 when unknown
  bool FLengthKnown = false;  // the server announced a length
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

}  // namespace vantrel
