// TUpdateCheck against update pages served by a real HTTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <functional>
#include <utility>

#include "about/Zarvek.Component.UpdateCheck.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/about/AboutTestPaths.h"
#include "tests/about/LocalHttpServer.h"
#include "tests/about/VersionCases.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

using TTags = std::vector<std::pair<std::string, std::string>>;

std::string Page(const TTags& ATags) {
  std::string page = "<html>\r\n<head>\r\n";
  for (const auto& [name, value] : ATags) page += "<META NAME=\"" + name + "\" CONTENT=\"" + value + "\">\r\n";
  return page + "</head>\r\n<body>Update</body>\r\n</html>\r\n";
}

std::string Narrow(const std::wstring& AText) { return WideToCodePage(AText, CP_UTF8); }

// An update check against the local server, with every event recorded in order.
class UpdateCheck : public testing::Test {
 protected:
  TLocalHttpServer Server;
  TTempDir Folder;
  TUpdateCheck Check;
  std::vector<std::string> Events;
  std::vector<std::wstring> Errors;  // DownloadError at each OnDownloadError
  bool AllowUpdate = false;

  void SetUp() override {
    Check.ProductInfo().SetURL(Server.Url("/webupdate.html"));
    Check.ProductInfo().Version = L"1.4.0.0";
    Check.HTTPPort = Server.Port();
    Check.Options = TUpdateOptions{};
    Check.TargetFolder = Folder.Path();
    Check.OnBeforeGetInfo = [this](TUpdateCheck*) { Events.push_back("BeforeGetInfo"); };
    Check.OnAfterGetInfo = [this](TUpdateCheck*) { Events.push_back("AfterGetInfo"); };
    Check.OnNoUpdateFound = [this](TUpdateCheck*) { Events.push_back("NoUpdateFound"); };
    Check.OnDownloadError = [this](TUpdateCheck* Sender) {
      Events.push_back("DownloadError");
      Errors.push_back(Sender->DownloadError());
    };
    Check.OnDownload = [this](TDownloadThread*, int32_t, int32_t) {
      if (Events.empty() || Events.back() != "Download") Events.push_back("Download");
    };
    Check.OnUpdateAvailable = [this](TUpdateCheck*, const std::wstring& Current, const std::wstring& Offered,
                                     bool& CanUpdate) {
      Events.push_back("UpdateAvailable " + Narrow(Current) + " -> " + Narrow(Offered));
      CanUpdate = AllowUpdate;
    };
    Check.OnGetClientFileName = [this](TUpdateCheck*, std::wstring&) { Events.push_back("GetClientFileName"); };
    Check.OnBeforeDownload = [this](TUpdateCheck*, const std::wstring&) { Events.push_back("BeforeDownload"); };
    Check.OnAfterDownload = [this](TUpdateCheck*, const std::wstring&) { Events.push_back("AfterDownload"); };
  }

  void ServePage(const TTags& ATags, const std::string& APath = "/webupdate.html") {
    Server.ServeText(APath, Page(ATags));
  }

  int Count(const std::string& AEvent) const { return static_cast<int>(std::count(Events.begin(), Events.end(), AEvent)); }
};

}  // namespace

TEST(ProductInfo, AddressGetsAPlainSchemeUnlessItHasOne) {
  struct Case {
    const wchar_t* value;
    const wchar_t* stored;
  } cases[] = {
      {L"server/webupdate.html", L"http://server/webupdate.html"},
      {L"HTTPS://server", L"HTTPS://server"},
      {L"http://server", L"http://server"},
      {L"Http://server", L"Http://server"},
      {L"", L"http://"},
      {L"ftp://server", L"http://ftp://server"},
  };
  for (const Case& c : cases) {
    TProductInfo info;
    info.SetURL(c.value);
    EXPECT_EQ(info.URL(), c.stored) << testing::PrintToString(std::wstring(c.value));
  }
  TProductInfo fresh;
  EXPECT_EQ(fresh.URL(), L"http://");
  EXPECT_EQ(fresh.Version, L"1.0");
  EXPECT_EQ(fresh.VersionFormat, vfStandard);
}

TEST(UpdateCheckDefaults, AsTheComponentIsCreated) {
  TUpdateCheck check;
  EXPECT_EQ(check.TagInfo().ProductName, L"Name");
  EXPECT_EQ(check.TagInfo().ClientFileName, L"File");
  EXPECT_EQ(check.TagInfo().Version, L"Version");
  EXPECT_EQ(check.TagInfo().Redirection, L"Redirection");
  EXPECT_EQ(check.Options, (TUpdateOptions{uoRunUpdate, uoTerminate}));
  EXPECT_EQ(check.Options.Bits(), 3);
  EXPECT_EQ(check.HTTPPort, 80u);
  // A server that stops answering ends the check in well under a minute.
  for (DWORD limit : {check.Timeouts.ConnectMs, check.Timeouts.SendMs, check.Timeouts.ReceiveMs}) {
    EXPECT_GE(limit, 15000u);
    EXPECT_LE(limit, 30000u);
  }
  EXPECT_TRUE(check.Verified);
  EXPECT_FALSE(check.Active());
  EXPECT_EQ(check.ThreadId(), 0u);
}

TEST_F(UpdateCheck, ReadsTheTagsWhateverTheirLetterCase) {
  std::string value254(254, 'v');
  std::string value255(255, 'w');
  std::string page =
      "<html><head>\n"
      "<META NAME=\"appname\" CONTENT=\"Vantrel\">\n"
      "<META NAME=\"APPVERSION\" content=\"1.5.0.0\">\n"
      "<meta name=\"AppAuthor\" content=\"ignored: meta name in lower case\">\n"
      "<META NAME=\"AppEmail\" CONTENT=\"first@example.com\">\n"
      "<META NAME=\"AppEmail\" CONTENT=\"second@example.com\">\n"
      "<META NAME=\"AppMD5\" CONTENT=\"" + value254 + "\">\n"
      "<META NAME=\"AppPage\" CONTENT=\"" + value255 + "\">\n"
      "<META NAME=\"AppRunParameters\" CONTENT=\"/S /D=C:\\Program Files\">\n"
      "<META NAME=\"AppFile\" CONTENT=\"Setup.EXE\"> <META NAME=\"AppDownload\" CONTENT=\"second tag on the line\">\n"
      "<META NAME=\"AppDownload\">\n"
      "</head></html>\n";
  Server.ServeText("/webupdate.html", page);
  TTagInfo& tags = Check.TagInfo();
  tags.ProductName = L"AppName";
  tags.Version = L"AppVersion";
  tags.Author = L"AppAuthor";
  tags.Email = L"AppEmail";
  tags.MD5 = L"AppMD5";
  tags.Page = L"AppPage";
  tags.RunParameters = L"AppRunParameters";
  tags.ClientFileName = L"AppFile";
  tags.Download = L"AppDownload";

  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_EQ(Check.ProductName(), L"Vantrel");
  EXPECT_EQ(Check.ProductVersion(), L"1.5.0.0");
  EXPECT_EQ(Check.Author(), L"");
  EXPECT_EQ(Check.EMail(), L"second@example.com");  // a later line overwrites
  EXPECT_EQ(Check.MD5(), std::wstring(254, L'v'));   // 254 characters still fit
  EXPECT_EQ(Check.Page(), L"");                      // 255 do not
  EXPECT_EQ(Check.RunParameters(), L"/S /D=C:\\Program Files");
  EXPECT_EQ(Check.ClientFileName(), L"Setup.EXE");   // one tag per line, the value keeps its case
  EXPECT_EQ(Check.UpdateURL(), L"");                 // a tag line without CONTENT= gives no value
  EXPECT_EQ(Events, (std::vector<std::string>{"BeforeGetInfo", "Download", "AfterGetInfo",
                                              "UpdateAvailable 1.4.0.0 -> 1.5.0.0"}));
}

TEST_F(UpdateCheck, VersionComparisons) {
  for (const TVersionCase& c : kVersionCases) {
    SCOPED_TRACE(std::string(c.current) + " vs " + c.offered + " format " + std::to_string(c.format));
    ServePage({{"Name", "Vantrel"}, {"Version", c.offered}});
    Events.clear();
    Check.ProductInfo().Version = CodePageToWide(c.current, CP_UTF8);
    Check.ProductInfo().VersionFormat = c.format;
    EXPECT_FALSE(Check.CheckForAnUpdate());
    EXPECT_EQ(Count("UpdateAvailable " + std::string(c.current) + " -> " + c.offered), c.update ? 1 : 0);
    EXPECT_EQ(Count("NoUpdateFound"), c.update ? 0 : 1);
    EXPECT_EQ(Count("DownloadError"), 0);
  }
}

TEST_F(UpdateCheck, PageWithoutNameIsEmptyInfo) {
  ServePage({{"Version", "9.0.0.0"}});
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_EQ(Count("DownloadError"), 1);
  EXPECT_EQ(Count("NoUpdateFound"), 0);
  EXPECT_EQ(Errors, std::vector<std::wstring>{L"empty info"});
  EXPECT_EQ(Check.DownloadError(), L"empty info");
}

TEST_F(UpdateCheck, CutOffPageIsNotRead) {
  // The whole page offers nothing new, as its last version line wins; cut off before that line,
  // it would seem to offer 9.0.
  const std::string page = Page({{"Name", "Vantrel"}, {"Version", "9.0"}, {"Version", "1.4.0.0"}});
  Server.ServeText("/webupdate.html", page);
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_EQ(Count("NoUpdateFound"), 1);

  THttpAnswer cut;
  cut.Body = page;
  cut.BodyBytesSent = page.find("1.4.0.0");
  Server.Serve("/webupdate.html", cut);
  Events.clear();
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_EQ(Count("UpdateAvailable 1.4.0.0 -> 9.0"), 0);
  EXPECT_EQ(Count("NoUpdateFound"), 0);
  EXPECT_EQ(Check.ProductVersion(), L"");
  EXPECT_EQ(Errors, (std::vector<std::wstring>{L"The connection ended after " + std::to_wstring(cut.BodyBytesSent) +
                                                   L" of " + std::to_wstring(page.size()) + L" bytes.",
                                               L"empty info"}));
}

TEST_F(UpdateCheck, UnreachableServerReportsTwiceAndEndsAsEmptyInfo) {
  Check.HTTPPort = UnusedPort();
  EXPECT_FALSE(Check.CheckForAnUpdate());
  ASSERT_EQ(Errors.size(), 2u);
  EXPECT_EQ(Errors[0], InternetErrorText(ERROR_INTERNET_CANNOT_CONNECT));
  EXPECT_EQ(Errors[1], L"empty info");
  EXPECT_EQ(Check.DownloadError(), L"empty info");
  EXPECT_FALSE(Check.Active());
}

TEST_F(UpdateCheck, OnlyTheLow16BitsOfThePortCount) {
  ServePage({{"Name", "Vantrel"}, {"Version", "1.0"}});
  Check.HTTPPort = 0x10000u + Server.Port();
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_EQ(Count("NoUpdateFound"), 1);
  EXPECT_EQ(Server.CountRequests("/webupdate.html"), 1);
}

TEST_F(UpdateCheck, RedirectionGivesTheResultsOfTheSecondPageAlone) {
  ServePage({{"Name", "Old name"}, {"Version", "9.9"}, {"Author", "First author"},
             {"Redirection", Narrow(Server.Url("/second.html"))}});
  ServePage({{"Name", "Vantrel"}, {"Version", "1.5.0.0"}}, "/second.html");
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_EQ(Check.ProductName(), L"Vantrel");
  EXPECT_EQ(Check.ProductVersion(), L"1.5.0.0");
  EXPECT_EQ(Check.Author(), L"");
  EXPECT_EQ(Check.RedirectionURL(), L"");
  EXPECT_EQ(Count("UpdateAvailable 1.4.0.0 -> 1.5.0.0"), 1);
  EXPECT_EQ(Server.CountRequests("/webupdate.html"), 1);
  EXPECT_EQ(Server.CountRequests("/second.html"), 1);
}

TEST_F(UpdateCheck, RedirectionLoopStopsAtTheLimit) {
  // A page that names itself, and a cycle of two pages.
  ServePage({{"Name", "Vantrel"}, {"Version", "9.0"}, {"Redirection", Narrow(Server.Url("/webupdate.html"))}});
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_EQ(Server.CountRequests("/webupdate.html"), 1 + TUpdateCheck::MaxRedirections);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find(L"Too many redirections"), std::wstring::npos) << Narrow(Errors[0]);
  EXPECT_EQ(Check.DownloadError(), Errors[0]);
  EXPECT_EQ(Count("UpdateAvailable 1.4.0.0 -> 9.0"), 0);
  EXPECT_FALSE(Check.Active());

  ServePage({{"Redirection", "/b.html"}}, "/a.html");
  ServePage({{"Redirection", "/a.html"}}, "/b.html");
  Check.ProductInfo().SetURL(Server.Url("/a.html"));
  Errors.clear();
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_EQ(Server.CountRequests("/a.html") + Server.CountRequests("/b.html"), 1 + TUpdateCheck::MaxRedirections);
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find(L"Too many redirections"), std::wstring::npos);
}

TEST_F(UpdateCheck, RelativeDownloadIsFetchedBesideThePageAndSaved) {
  Check.ProductInfo().SetURL(Server.Url("/dir/webupdate.html"));
  ServePage({{"Name", "Vantrel"}, {"Version", "1.5.0.0"}, {"File", "new.exe"}, {"Download", "setup/new.exe"}},
            "/dir/webupdate.html");
  THttpAnswer file;
  file.Body = std::string(3000, 'N');
  Server.Serve("/dir/setup/new.exe", file);
  AllowUpdate = true;

  EXPECT_TRUE(Check.CheckForAnUpdate());
  EXPECT_EQ(Check.UpdateURL(), Server.Url("/dir/setup/new.exe"));
  EXPECT_EQ(ReadFileBytes(Folder.File(L"new.exe")), file.Body);
  EXPECT_EQ(Check.DownloadError(), L"Download started");
  EXPECT_EQ(Events, (std::vector<std::string>{"BeforeGetInfo", "Download", "AfterGetInfo",
                                              "UpdateAvailable 1.4.0.0 -> 1.5.0.0", "GetClientFileName",
                                              "BeforeDownload", "Download", "AfterDownload"}));
}

TEST_F(UpdateCheck, DownloadAddressesAreResolvedAgainstThePage) {
  struct Case {
    const char* page;
    const char* download;
    const char* requested;
  } cases[] = {
      {"/dir/webupdate.html", "setup/new.exe", "/dir/setup/new.exe"},
      {"/dir/webupdate.html", "/files/new.exe", "/files/new.exe"},  // from the server's root
      {"/webupdate.html", "new.exe", "/new.exe"},
      {"/dir/webupdate.html", "http://127.0.0.1/abs/new.exe", "/abs/new.exe"},
  };
  AllowUpdate = true;
  Check.Options = TUpdateOptions{uoOverwrite};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.download);
    Check.ProductInfo().SetURL(Server.Url(c.page));
    ServePage({{"Name", "Vantrel"}, {"Version", "1.5.0.0"}, {"File", "new.exe"}, {"Download", c.download}}, c.page);
    Server.ServeText(c.requested, c.requested);
    EXPECT_TRUE(Check.CheckForAnUpdate());
    EXPECT_EQ(Check.UpdateURL(), Server.Url(c.requested));
    EXPECT_EQ(ReadFileBytes(Folder.File(L"new.exe")), c.requested);
  }
}

TEST_F(UpdateCheck, ExistingFileIsKeptUnlessOverwriteIsAllowed) {
  ServePage({{"Name", "Vantrel"}, {"Version", "1.5.0.0"}, {"File", "setup.exe"}, {"Download", "/setup.exe"}});
  Server.ServeText("/setup.exe", "new setup");
  std::wstring local = Folder.File(L"setup.exe");
  WriteFileText(local, "old setup");
  AllowUpdate = true;

  std::vector<bool> offered;
  Check.OnClientFileExists = [&](TUpdateCheck*, std::wstring& FileName, bool& Overwrite) {
    EXPECT_EQ(FileName, local);
    offered.push_back(Overwrite);
  };
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_EQ(Check.DownloadError(), L"Overwrite error");
  EXPECT_EQ(Errors, std::vector<std::wstring>{L"Overwrite error"});
  EXPECT_EQ(ReadFileBytes(local), "old setup");
  EXPECT_EQ(Server.CountRequests("/setup.exe"), 0);

  // The handler may allow it; so may the option.
  Check.OnClientFileExists = [&](TUpdateCheck*, std::wstring&, bool& Overwrite) {
    offered.push_back(Overwrite);
    Overwrite = true;
  };
  EXPECT_TRUE(Check.CheckForAnUpdate());
  EXPECT_EQ(ReadFileBytes(local), "new setup");
  WriteFileText(local, "old setup");
  Check.Options = TUpdateOptions{uoOverwrite};
  EXPECT_TRUE(Check.CheckForAnUpdate());
  EXPECT_EQ(ReadFileBytes(local), "new setup");
  EXPECT_EQ(offered, (std::vector<bool>{false, false, true}));
}

TEST_F(UpdateCheck, WithoutTargetFolderTheDownloadGoesToTheTemporaryFolder) {
  std::wstring name = L"vantrel-update-" + std::to_wstring(GetCurrentProcessId()) + L".bin";
  ServePage({{"Name", "Vantrel"}, {"Version", "1.5.0.0"}, {"File", Narrow(name)}, {"Download", "/file.bin"}});
  Server.ServeText("/file.bin", "temporary");
  wchar_t temp[MAX_PATH + 1];
  std::wstring expected = std::wstring(temp, GetTempPathW(MAX_PATH + 1, temp)) + name;
  DeleteFileW(expected.c_str());
  Check.TargetFolder.clear();
  AllowUpdate = true;
  std::wstring before;
  Check.OnBeforeDownload = [&](TUpdateCheck*, const std::wstring& FileName) { before = FileName; };
  EXPECT_TRUE(Check.CheckForAnUpdate());
  EXPECT_EQ(before, expected);
  EXPECT_EQ(ReadFileBytes(expected), "temporary");
  DeleteFileW(expected.c_str());

  // A folder that does not exist counts as none.
  Check.TargetFolder = Folder.File(L"missing");
  EXPECT_TRUE(Check.CheckForAnUpdate());
  EXPECT_EQ(before, expected);
  DeleteFileW(expected.c_str());
}

TEST_F(UpdateCheck, FileTagCannotLeaveTheTargetFolder) {
  std::wstring target = Folder.File(L"target\\inner\\");
  CreateDirectoryW(Folder.File(L"target").c_str(), nullptr);
  CreateDirectoryW(target.c_str(), nullptr);
  Check.TargetFolder = target;
  ServePage({{"Name", "Vantrel"}, {"Version", "1.5.0.0"}, {"File", "..\\..\\x.exe"}, {"Download", "/x.exe"}});
  Server.ServeText("/x.exe", "payload");
  AllowUpdate = true;
  EXPECT_TRUE(Check.CheckForAnUpdate());
  EXPECT_EQ(ReadFileBytes(target + L"x.exe"), "payload");
  EXPECT_FALSE(FileExists(Folder.File(L"x.exe")));
  EXPECT_FALSE(FileExists(Folder.File(L"target\\x.exe")));
}

TEST_F(UpdateCheck, FileTagThatLeavesNoNameFailsTheDownload) {
  Server.ServeText("/x.exe", "payload");
  AllowUpdate = true;
  for (const char* value : {"..", "C:\\", "NUL", ""}) {
    SCOPED_TRACE(value);
    ServePage({{"Name", "Vantrel"}, {"Version", "1.5.0.0"}, {"File", value}, {"Download", "/x.exe"}});
    Errors.clear();
    EXPECT_FALSE(Check.CheckForAnUpdate());
    ASSERT_EQ(Errors.size(), 1u);
    EXPECT_NE(Errors[0].find(L"No usable file name"), std::wstring::npos);
  }
  EXPECT_EQ(Server.CountRequests("/x.exe"), 0);
}

TEST_F(UpdateCheck, PageWithoutDownloadAddressFailsTheDownload) {
  ServePage({{"Name", "Vantrel"}, {"Version", "1.5.0.0"}, {"File", "setup.exe"}});
  AllowUpdate = true;
  EXPECT_FALSE(Check.CheckForAnUpdate());
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_FALSE(FileExists(Folder.File(L"setup.exe")));
  // Only the page was asked for, not the page's folder in place of the file.
  EXPECT_EQ(Server.Requests().size(), 1u);
}

TEST_F(UpdateCheck, ErrorPageInPlaceOfTheFileIsNotSaved) {
  ServePage({{"Name", "Vantrel"}, {"Version", "1.5.0.0"}, {"File", "setup.exe"}, {"Download", "/gone/setup.exe"}});
  AllowUpdate = true;
  EXPECT_FALSE(Check.CheckForAnUpdate());
  ASSERT_EQ(Errors.size(), 1u);
  EXPECT_NE(Errors[0].find(L"404"), std::wstring::npos) << Narrow(Errors[0]);
  EXPECT_FALSE(FileExists(Folder.File(L"setup.exe")));
  EXPECT_EQ(Count("AfterDownload"), 0);
}

TEST_F(UpdateCheck, AbortDuringTheDownloadFailsWithoutFile) {
  ServePage({{"Name", "Vantrel"}, {"Version", "1.5.0.0"}, {"File", "setup.exe"}, {"Download", "/setup.exe"}});
  Server.ServeText("/setup.exe", std::string(30000, 'S'));
  AllowUpdate = true;
  bool downloading = false;
  Check.OnBeforeDownload = [&](TUpdateCheck*, const std::wstring&) { downloading = true; };
  Check.OnDownload = [&](TDownloadThread*, int32_t, int32_t) {
    if (downloading) Check.Abort();
  };
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_EQ(Check.DownloadError(), L"");  // a stopped transfer has no error text
  EXPECT_EQ(Errors, std::vector<std::wstring>{L""});
  EXPECT_FALSE(FileExists(Folder.File(L"setup.exe")));
}

namespace {

// Calls AAction from this thread's message loop once the gate's request has arrived.
class TWhenArrived {
 public:
  TWhenArrived(std::shared_ptr<TGate> AGate, std::function<void()> AAction)
      : FGate(std::move(AGate)), FAction(std::move(AAction)) {
    Current = this;
    FTimer = SetTimer(nullptr, 0, 20, Tick);
  }
  ~TWhenArrived() {
    KillTimer(nullptr, FTimer);
    Current = nullptr;
  }
  TWhenArrived(const TWhenArrived&) = delete;
  TWhenArrived& operator=(const TWhenArrived&) = delete;

 private:
  static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (!Current || !Current->FAction || !Current->FGate->WaitArrived(0)) return;
    std::exchange(Current->FAction, nullptr)();
  }

  static inline TWhenArrived* Current = nullptr;
  std::shared_ptr<TGate> FGate;
  std::function<void()> FAction;
  UINT_PTR FTimer = 0;
};

}  // namespace

TEST_F(UpdateCheck, AbortEndsACheckWaitingForTheServerAtOnce) {
  THttpAnswer held;
  held.Body = Page({{"Name", "Vantrel"}, {"Version", "9.0"}});
  held.Gate = std::make_shared<TGate>();
  Server.Serve("/webupdate.html", held);
  TStopwatch sinceAbort;
  TWhenArrived abort(held.Gate, [&] {
    sinceAbort = TStopwatch();
    Check.Abort();
  });
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_LT(sinceAbort.Ms(), 5000u);  // the server holds the page for a minute
  EXPECT_TRUE(held.Gate->WaitArrived(0));
  EXPECT_EQ(Count("UpdateAvailable 1.4.0.0 -> 9.0"), 0);
  EXPECT_EQ(Errors, (std::vector<std::wstring>{L"", L"empty info"}));  // stopped, then nothing read
  EXPECT_FALSE(Check.Active());
}

TEST_F(UpdateCheck, AbortBetweenTransfersStartsNoFurther) {
  ServePage({{"Name", "Vantrel"}, {"Version", "1.5.0.0"}, {"File", "setup.exe"}, {"Download", "/setup.exe"}});
  Server.ServeText("/setup.exe", "setup");
  // The page's transfer has ended; the download is yet to start.
  Check.OnUpdateAvailable = [this](TUpdateCheck*, const std::wstring&, const std::wstring&, bool& CanUpdate) {
    CanUpdate = true;
    Check.Abort();
  };
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_EQ(Server.CountRequests("/setup.exe"), 0);
  EXPECT_FALSE(FileExists(Folder.File(L"setup.exe")));
  EXPECT_EQ(Errors, std::vector<std::wstring>{L""});

  // The next check runs in full.
  AllowUpdate = true;
  Check.OnUpdateAvailable = [this](TUpdateCheck*, const std::wstring&, const std::wstring&, bool& CanUpdate) {
    CanUpdate = AllowUpdate;
  };
  EXPECT_TRUE(Check.CheckForAnUpdate());
  EXPECT_EQ(ReadFileBytes(Folder.File(L"setup.exe")), "setup");
}

TEST_F(UpdateCheck, TimeOutsOfTheCheckEndAWaitForAServerThatDoesNotAnswer) {
  THttpAnswer held;
  held.Body = Page({{"Name", "Vantrel"}, {"Version", "9.0"}});
  held.Gate = std::make_shared<TGate>();
  Server.Serve("/webupdate.html", held);
  Check.Timeouts = TDownloadTimeouts{1000, 1000, 1000};
  TStopwatch stopwatch;
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_LT(stopwatch.Ms(), 15000u);  // the server holds the page for a minute
  ASSERT_EQ(Errors.size(), 2u);
  EXPECT_FALSE(Errors[0].empty());
  EXPECT_EQ(Errors[1], L"empty info");
}

TEST_F(UpdateCheck, SecondCheckDuringACheckReturnsAtOnce) {
  ServePage({{"Name", "Vantrel"}, {"Version", "1.0"}});
  int nested = 0;
  DWORD threadId = 0;
  Check.OnDownload = [&](TDownloadThread* Sender, int32_t, int32_t) {
    EXPECT_TRUE(Check.Active());
    threadId = Check.ThreadId();
    EXPECT_EQ(threadId, Sender->ThreadId());
    if (!Check.CheckForAnUpdate()) ++nested;
  };
  EXPECT_FALSE(Check.CheckForAnUpdate());
  EXPECT_EQ(nested, 1);
  EXPECT_NE(threadId, 0u);
  EXPECT_NE(threadId, GetCurrentThreadId());
  EXPECT_EQ(Check.ThreadId(), 0u);
  EXPECT_FALSE(Check.Active());
  EXPECT_EQ(Server.CountRequests("/webupdate.html"), 1);
}

TEST_F(UpdateCheck, StartingAFileTheShellCannotOpenIsReported) {
  ServePage({{"Name", "Vantrel"}, {"Version", "1.5.0.0"}, {"File", "notes.vantrel-unknown"}, {"Download", "/n"}});
  Server.ServeText("/n", "text");
  AllowUpdate = true;
  Check.Options = TUpdateOptions{uoRunUpdate};
  int cannotExecute = 0;
  Check.OnCannotExecute = [&](TUpdateCheck*) { ++cannotExecute; };
  EXPECT_TRUE(Check.CheckForAnUpdate());
  EXPECT_EQ(cannotExecute, 1);

  // Without verification nothing is started.
  Check.Verified = false;
  Check.Options = TUpdateOptions{uoRunUpdate, uoOverwrite};
  EXPECT_TRUE(Check.CheckForAnUpdate());
  EXPECT_EQ(cannotExecute, 1);
}

TEST(UpdateCheckRun, StartsTheDownloadWithItsParametersAndEndsTheProgram) {
  TLocalHttpServer server;
  TTempDir folder;
  std::wstring client = WindowsPath(kUpdateClient);
  std::wstring marker = folder.File(L"started.txt");
  server.ServeText("/webupdate.html",
                   Page({{"Name", "Client"},
                         {"Version", "2.0"},
                         {"File", "client-update.exe"},
                         {"Download", "/client-update.exe"},
                         {"RunParameters", "--touch " + Narrow(marker)}}));  // a tag value holds no quotes
  server.ServeText("/client-update.exe", ReadFileBytes(client));

  std::wstring target = folder.Path().substr(0, folder.Path().size() - 1);  // no "\" before the quote
  TProcessResult run = RunProcess(L"\"" + client + L"\" " + server.Url("/webupdate.html") + L" " +
                                  std::to_wstring(server.Port()) + L" \"" + target + L"\"");
  ASSERT_TRUE(run.Started);
  EXPECT_FALSE(run.TimedOut);
  std::string output = run.StdOut;
  output.erase(std::remove(output.begin(), output.end(), '\r'), output.end());
  EXPECT_EQ(output, "downloaded\n");  // nothing of the check ran after the start
  EXPECT_EQ(run.ExitCode, 0u);
  EXPECT_EQ(ReadFileBytes(folder.File(L"client-update.exe")), ReadFileBytes(client));
  // The started update runs on its own; give it a generous moment to leave its mark.
  for (int i = 0; i < 300 && !FileExists(marker); ++i) Sleep(50);
  EXPECT_TRUE(FileExists(marker));
}
