#include "about/Zarvek.Component.UpdateCheck.h"

#include <shellapi.h>

#include <cstdlib>

#include "base/Zarvek_SysUtils.h"

namespace vantrel {

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
// TUpdateCheck

TUpdateCheck::~TUpdateCheck() { Abort(); }

void TUpdateCheck::Abort() {
  // A worker may have just ended with the next transfer of the check still to come.
  if (FActive) FStopped = true;
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
  FStopped = false;
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
  if (FStopped) return {};  // ends as a stopped transfer: failed, without error text
  auto worker = std::make_unique<TDownloadThread>(AURL, FProductInfo.URL(), UserName, Password,
                                                  static_cast<uint16_t>(HTTPPort & 0xFFFF), ASaveToFile,
                                                  ASaveToFile, AFileName, OnDownload, Timeouts);
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
  FInfoURL.clear();
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
  // A page named by a redirection is resolved against the page that names it.
  FInfoURL = FProductInfo.URL();
  for (;;) {
    FProductVersion.clear();
    FUpdateURL.clear();
    FAuthor.clear();
    FEMail.clear();
    FProductName.clear();
    FRunParameters.clear();
    FMD5.clear();
    TTransferResult transfer = Transfer(FInfoURL, false, {});
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
    FInfoURL = ResolveURL(FInfoURL, FRedirectionURL);
  }
}

void TUpdateCheck::ParseInfo() {
  const TUpdatePage page = ParseUpdatePage(FInfo, FTagInfo);
  FProductName = page.ProductName;
  FClientFileName = page.ClientFileName;
  FProductVersion = page.Version;
  FAuthor = page.Author;
  FEMail = page.Email;
  FUpdateURL = page.Download;
  FRedirectionURL = page.Redirection;
  FRunParameters = page.RunParameters;
  FMD5 = page.MD5;
  FPage = page.Page;
}

bool TUpdateCheck::IsNewVersion() {
  bool result = IsNewerVersion(FProductInfo.Version, FProductVersion, FProductInfo.VersionFormat);
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
  FUpdateURL = ResolveDownloadURL(FInfoURL, FUpdateURL);
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
