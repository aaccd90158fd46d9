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

#include "about/Zarvek.Component.DownloadThread.h"
#include "about/Zarvek.Component.UpdatePage.h"
#include "base/Zarvek_StrUtils.h"
#include "forms/Zarvek.Forms.Component.h"

namespace vantrel {

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
  // Stops the running check: its transfer ends at once, no further transfer starts, and the
  // check ends as failed.
  void Abort();

  TTagInfo& TagInfo() { return FTagInfo; }
  TProductInfo& ProductInfo() { return FProductInfo; }
  std::wstring UserName;
  std::wstring Password;
  TUpdateOptions Options{uoRunUpdate, uoTerminate};
  std::wstring TargetFolder;
  uint32_t HTTPPort = 80;  // the connection uses its low 16 bits
  TDownloadTimeouts Timeouts;  // for every transfer of the check

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
  // The address of the page the results come from: the product's page, or the last page a
  // redirection named, resolved against the page that named it.
  const std::wstring& InfoURL() const { return FInfoURL; }
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
  std::wstring FInfoURL;
  std::wstring FAuthor;
  std::wstring FEMail;
  std::wstring FProductName;
  std::wstring FRunParameters;
  std::wstring FMD5;
  std::wstring FPage;
  std::wstring FDownloadError;
  bool FActive = false;
  bool FStopped = false;  // the running check was stopped

  std::wstring FLocalFileName;
  TStringList FInfo;
  bool FTransferResult = false;
  bool FRedirectionLimitReached = false;
  TDownloadThread* FWorker = nullptr;  // the running worker, only during a transfer
};

}  // namespace vantrel
