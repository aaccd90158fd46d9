// TDownloadThread against a real HTTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include "about/Zarvek.Component.UpdateCheck.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/about/LocalHttpServer.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

struct TProgress {
  DWORD ThreadId;
  int32_t Total;
  int32_t Downloaded;
  bool WorkerEnded;
};

// A transfer from the local server, run to its end while this thread handles its messages.
struct TTransfer {
  std::vector<TProgress> Progress;
  std::unique_ptr<TDownloadThread> Thread;

  void Run(const TLocalHttpServer& AServer, const std::wstring& AURL, bool ASaveToFile,
           const std::wstring& AFileName = {}, const std::wstring& AAltURL = {}) {
    Thread = std::make_unique<TDownloadThread>(
        AURL, AAltURL, L"", L"", AServer.Port(), ASaveToFile, ASaveToFile, AFileName,
        [this](TDownloadThread* Sender, int32_t Total, int32_t Downloaded) {
          Progress.push_back({GetCurrentThreadId(), Total, Downloaded, Sender->Terminated()});
        });
    Thread->WaitFor();
  }
};

std::string Bytes(size_t ACount) {
  std::string bytes(ACount, '\0');
  for (size_t i = 0; i < ACount; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

// An answer the server holds until the end of the test (at most a minute): before its headers,
// or after half of its body.
THttpAnswer HeldAnswer(bool AInBody) {
  THttpAnswer answer;
  answer.Body = Bytes(4000);
  answer.Gate = std::make_shared<TGate>();
  answer.GateInBody = AInBody;
  return answer;
}

// Far below the server's minute and the default time-outs, and generous on a loaded machine.
constexpr ULONGLONG PromptMs = 5000;

}  // namespace

TEST(SplitDownloadURL, HostAndPathOfAnAddress) {
  struct Case {
    const wchar_t* url;
    const wchar_t* host;
    const wchar_t* path;
  } cases[] = {
      {L"https://server/dir/page.html", L"server", L"/dir/page.html"},
      {L"http://server/webupdate.html", L"server", L"/webupdate.html"},
      {L"HTTP://Server/Page.html", L"Server", L"/Page.html"},  // the scheme in any letter case
      {L"http://server", L"", L"server"},                     // without "/" there is no host
      {L"/webupdate.html", L"", L"/webupdate.html"},
      {L"server/", L"server", L"/"},
      {L"", L"", L""},
  };
  for (const Case& c : cases) {
    std::wstring host = L"stale";
    std::wstring path = L"stale";
    SplitDownloadURL(c.url, host, path);
    EXPECT_EQ(host, c.host) << testing::PrintToString(std::wstring(c.url));
    EXPECT_EQ(path, c.path) << testing::PrintToString(std::wstring(c.url));
  }
}

TEST(SplitHostPort, PortAfterTheHostComesOff) {
  struct Case {
    const wchar_t* host;
    const wchar_t* name;
    uint16_t port;  // 80 unless the host names one
  } cases[] = {
      {L"localhost", L"localhost", 80},
      {L"localhost:8443", L"localhost", 8443},
      {L"localhost:", L"localhost", 80},
      {L"127.0.0.1:65535", L"127.0.0.1", 65535},
      {L"[::1]:8443", L"::1", 8443},
      {L"[::1]", L"::1", 80},
      {L"::1", L"::1", 80},                        // an IPv6 address without brackets has no port
      {L"localhost:65536", L"localhost:65536", 80},  // not a port: the name fails on its own
      {L"localhost:0", L"localhost:0", 80},
      {L"localhost:x1", L"localhost:x1", 80},
  };
  for (const Case& c : cases) {
    std::wstring host = c.host;
    uint16_t port = 80;
    SplitHostPort(host, port);
    EXPECT_EQ(host, c.name) << testing::PrintToString(std::wstring(c.host));
    EXPECT_EQ(port, c.port) << testing::PrintToString(std::wstring(c.host));
  }
}

TEST(DownloadThread, PortInTheAddressWinsOverTheGivenPort) {
  TLocalHttpServer server;
  server.ServeText("/page.txt", "by its port");
  std::wstring url = L"http://127.0.0.1:" + std::to_wstring(server.Port()) + L"/page.txt";
  TDownloadThread thread(url, L"", L"", L"", UnusedPort(), false, false, L"", nullptr);
  thread.WaitFor();
  ASSERT_TRUE(thread.Success()) << WideToCodePage(thread.Error(), CP_UTF8);
  EXPECT_EQ(thread.Info(), TStringList{L"by its port"});
}

TEST(DownloadThread, TextModeSplitsLinesAtCarriageReturnsLineFeedsOrBoth) {
  TLocalHttpServer server;
  struct Case {
    const char* path;
    const char* body;
    TStringList lines;
  } cases[] = {
      {"/cr.html", "one\rtwo\r\rfour", {L"one", L"two", L"", L"four"}},
      {"/lf.html", "one\ntwo\n\nfour\n", {L"one", L"two", L"", L"four"}},
      {"/crlf.html", "one\r\ntwo\r\n\r\nfour\r\n", {L"one", L"two", L"", L"four"}},
      {"/mixed.html", "one\r\ntwo\n\rthree", {L"one", L"two", L"", L"three"}},
  };
  for (const Case& c : cases) server.ServeText(c.path, c.body);
  for (const Case& c : cases) {
    TTransfer transfer;
    transfer.Run(server, server.Url(c.path), false);
    EXPECT_TRUE(transfer.Thread->Success()) << c.path;
    EXPECT_EQ(transfer.Thread->Error(), L"") << c.path;
    EXPECT_EQ(transfer.Thread->Info(), c.lines) << c.path;
  }
}

TEST(DownloadThread, TextModeWithoutContentLengthReadsToTheEnd) {
  TLocalHttpServer server;
  THttpAnswer answer;
  answer.Body = std::string(3000, 'a') + "\r\nlast";
  answer.SendLength = false;
  server.Serve("/page.html", answer);
  TTransfer transfer;
  transfer.Run(server, server.Url("/page.html"), false);
  ASSERT_TRUE(transfer.Thread->Success());
  EXPECT_EQ(transfer.Thread->Info(), (TStringList{std::wstring(3000, L'a'), L"last"}));
  ASSERT_FALSE(transfer.Progress.empty());
  EXPECT_EQ(transfer.Progress.back().Total, 0);  // no announced size
  EXPECT_EQ(transfer.Progress.back().Downloaded, 3006);
}

TEST(DownloadThread, EmptyPageFailsWithoutErrorText) {
  TLocalHttpServer server;
  server.ServeText("/empty.html", "");
  TTransfer transfer;
  transfer.Run(server, server.Url("/empty.html"), false);
  EXPECT_FALSE(transfer.Thread->Success());
  EXPECT_EQ(transfer.Thread->Error(), L"");
  EXPECT_TRUE(transfer.Thread->Info().empty());
  EXPECT_TRUE(transfer.Progress.empty());
}

TEST(DownloadThread, ContentCutShortFailsInBothModes) {
  TLocalHttpServer server;
  struct Case {
    const char* path;
    size_t sent;  // of the 3000 bytes announced
    bool reset;
  } cases[] = {
      {"/half.html", 1500, false},  // the server closes the connection after half
      {"/reset.html", 1500, true},  // the connection breaks off after half
      {"/headers.html", 0, false},  // nothing of the body comes
      {"/short.html", 2999, false},
  };
  std::string body;
  while (body.size() < 3000) body += "<META NAME=\"Name\" CONTENT=\"Vantrel\">\r\n";
  body.resize(3000);
  for (const Case& c : cases) {
    THttpAnswer answer;
    answer.Body = body;
    answer.BodyBytesSent = c.sent;
    answer.Reset = c.reset;
    server.Serve(c.path, answer);
  }
  TTempDir folder;
  for (const Case& c : cases) {
    for (bool toFile : {false, true}) {
      SCOPED_TRACE(std::string(c.path) + (toFile ? " into a file" : " as text"));
      std::wstring file = folder.File(L"cut.bin");
      TTransfer transfer;
      transfer.Run(server, server.Url(c.path), toFile, file);
      EXPECT_FALSE(transfer.Thread->Success());
      EXPECT_TRUE(transfer.Thread->Info().empty());
      EXPECT_FALSE(FileExists(file));
      // A reset may also end as the platform's read error.
      if (!c.reset) {
        EXPECT_EQ(transfer.Thread->Error(),
                  L"The connection ended after " + std::to_wstring(c.sent) + L" of 3000 bytes.");
      }
      EXPECT_FALSE(transfer.Thread->Error().empty());
    }
  }
}

TEST(DownloadThread, FileModeSavesTheBytesAndReportsEveryChunkOnTheCallingThread) {
  TLocalHttpServer server;
  std::string body = Bytes(5000);
  THttpAnswer answer;
  answer.Body = body;
  server.Serve("/files/setup.exe", answer);
  TTempDir folder;
  std::wstring file = folder.File(L"setup.exe");
  TTransfer transfer;
  transfer.Run(server, server.Url("/files/setup.exe"), true, file);

  ASSERT_TRUE(transfer.Thread->Success()) << testing::PrintToString(transfer.Thread->Error());
  EXPECT_EQ(ReadFileBytes(file), body);
  ASSERT_GE(transfer.Progress.size(), 5u);  // 5000 bytes in reads of at most 1025
  int32_t previous = 0;
  for (const TProgress& progress : transfer.Progress) {
    EXPECT_EQ(progress.ThreadId, GetCurrentThreadId());
    EXPECT_EQ(progress.Total, 5000);
    EXPECT_GT(progress.Downloaded, previous);
    EXPECT_LE(progress.Downloaded - previous, static_cast<int32_t>(TDownloadThread::ChunkSize));
    // The worker waits for each call: it cannot have ended while its last call runs.
    EXPECT_FALSE(progress.WorkerEnded);
    previous = progress.Downloaded;
  }
  EXPECT_EQ(previous, 5000);
  // Nothing but the file is left in the folder.
  EXPECT_EQ(GetFileAttributesW(folder.File(L"*.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(DownloadThread, FileModeReplacesAnExistingFile) {
  TLocalHttpServer server;
  server.ServeText("/new.bin", "new content");
  TTempDir folder;
  std::wstring file = folder.File(L"new.bin");
  WriteFileText(file, "old content that is longer");
  TTransfer transfer;
  transfer.Run(server, server.Url("/new.bin"), true, file);
  ASSERT_TRUE(transfer.Thread->Success());
  EXPECT_EQ(ReadFileBytes(file), "new content");
}

TEST(DownloadThread, FileModeWithoutContentLengthFailsBeforeAnyFileExists) {
  TLocalHttpServer server;
  THttpAnswer answer;
  answer.Body = "content";
  answer.SendLength = false;
  server.Serve("/nolength.bin", answer);
  TTempDir folder;
  std::wstring file = folder.File(L"nolength.bin");
  TTransfer transfer;
  transfer.Run(server, server.Url("/nolength.bin"), true, file);
  EXPECT_FALSE(transfer.Thread->Success());
  EXPECT_EQ(transfer.Thread->Error(), InternetErrorText(ERROR_HTTP_HEADER_NOT_FOUND));
  EXPECT_FALSE(transfer.Thread->Error().empty());
  EXPECT_FALSE(FileExists(file));
  EXPECT_TRUE(transfer.Progress.empty());
}

TEST(DownloadThread, ErrorPagesAreNeitherSavedNorTakenForThePage) {
  TLocalHttpServer server;
  THttpAnswer forbidden;
  forbidden.Status = 403;
  forbidden.Reason = "Forbidden";
  forbidden.Body = "<html>no</html>";
  server.Serve("/forbidden.html", forbidden);
  TTempDir folder;

  TTransfer file;
  file.Run(server, server.Url("/missing.exe"), true, folder.File(L"missing.exe"));
  EXPECT_FALSE(file.Thread->Success());
  EXPECT_NE(file.Thread->Error().find(L"404"), std::wstring::npos) << testing::PrintToString(file.Thread->Error());
  EXPECT_FALSE(FileExists(folder.File(L"missing.exe")));

  TTransfer page;
  page.Run(server, server.Url("/forbidden.html"), false);
  EXPECT_FALSE(page.Thread->Success());
  EXPECT_NE(page.Thread->Error().find(L"403"), std::wstring::npos);
  EXPECT_TRUE(page.Thread->Info().empty());
}

TEST(DownloadThread, AbortBeforeTheLengthQueryEndsWithoutErrorAndWithoutFile) {
  TLocalHttpServer server;
  THttpAnswer answer;
  answer.Body = "content";
  answer.Gate = std::make_shared<TGate>();
  server.Serve("/held.bin", answer);
  TTempDir folder;
  std::wstring file = folder.File(L"held.bin");
  TDownloadThread thread(server.Url("/held.bin"), L"", L"", L"", server.Port(), true, true, file, nullptr);
  // The request is in and its answer held back: the worker waits for the server.
  ASSERT_TRUE(answer.Gate->WaitArrived());
  thread.Abort();
  answer.Gate->Open();
  thread.WaitFor();
  EXPECT_FALSE(thread.Success());
  EXPECT_EQ(thread.Error(), L"");
  EXPECT_FALSE(FileExists(file));
}

TEST(DownloadThread, AbortDuringTheTransferLeavesNoFile) {
  TLocalHttpServer server;
  THttpAnswer answer;
  answer.Body = Bytes(20000);
  server.Serve("/big.bin", answer);
  TTempDir folder;
  std::wstring file = folder.File(L"big.bin");
  int calls = 0;
  TDownloadThread thread(server.Url("/big.bin"), L"", L"", L"", server.Port(), true, true, file,
                         [&](TDownloadThread* Sender, int32_t, int32_t) {
                           ++calls;
                           Sender->Abort();
                         });
  thread.WaitFor();
  EXPECT_FALSE(thread.Success());
  EXPECT_EQ(thread.Error(), L"");
  EXPECT_EQ(calls, 1);  // the next check point comes before the next read
  EXPECT_FALSE(FileExists(file));
  EXPECT_EQ(GetFileAttributesW(folder.File(L"*.tmp").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(DownloadThread, AnErrorInTheProgressCallbackEndsTheTransferWithItsMessage) {
  TLocalHttpServer server;
  THttpAnswer answer;
  answer.Body = Bytes(4000);
  server.Serve("/data.bin", answer);
  TTempDir folder;
  std::wstring file = folder.File(L"data.bin");
  TDownloadThread thread(server.Url("/data.bin"), L"", L"", L"", server.Port(), true, true, file,
                         [](TDownloadThread*, int32_t, int32_t) { throw Exception(L"Progress refused"); });
  thread.WaitFor();
  EXPECT_FALSE(thread.Success());
  EXPECT_EQ(thread.Error(), L"Progress refused");
  EXPECT_FALSE(FileExists(file));
}

TEST(DownloadThread, DestroyingARunningTransferStopsItWithoutCallingBack) {
  TLocalHttpServer server;
  THttpAnswer answer;
  answer.Body = Bytes(50000);
  server.Serve("/big.bin", answer);
  TTempDir folder;
  std::wstring file = folder.File(L"big.bin");
  int calls = 0;
  {
    // No messages are handled here, so the worker stops at its first progress call until the
    // destructor lets it through.
    TDownloadThread thread(server.Url("/big.bin"), L"", L"", L"", server.Port(), true, true, file,
                           [&](TDownloadThread*, int32_t, int32_t) { ++calls; });
  }
  EXPECT_EQ(calls, 0);
  EXPECT_FALSE(FileExists(file));
}

TEST(DownloadThread, UnreachableServerFailsWithThePlatformText) {
  TLocalHttpServer server;
  TDownloadThread thread(L"http://127.0.0.1/page.html", L"", L"", L"", UnusedPort(), false, false, L"", nullptr);
  thread.WaitFor();
  EXPECT_FALSE(thread.Success());
  EXPECT_EQ(thread.Error(), InternetErrorText(ERROR_INTERNET_CANNOT_CONNECT));
}

TEST(DownloadThread, RelativeAddressTakesTheServerFromTheAlternativeAddress) {
  TLocalHttpServer server;
  server.ServeText("/files/a.txt", "alpha");
  TTransfer transfer;
  // The alternative address is secure, but the first address decides: plain HTTP, which is all
  // the local server speaks.
  transfer.Run(server, L"/files/a.txt", false, {}, L"https://127.0.0.1/x.html");
  ASSERT_TRUE(transfer.Thread->Success()) << testing::PrintToString(transfer.Thread->Error());
  EXPECT_EQ(transfer.Thread->Info(), TStringList{L"alpha"});
  std::vector<THttpRequest> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Method, "GET");
  EXPECT_EQ(requests[0].Path, "/files/a.txt");
  EXPECT_EQ(requests[0].Version, "HTTP/1.0");
  EXPECT_NE(requests[0].Headers.find("User-Agent: TUpdateCheck"), std::string::npos);
}

TEST(DownloadThread, OversizedPageIsRefused) {
  TLocalHttpServer server;
  THttpAnswer answer;
  answer.Body = std::string(TDownloadThread::MaxTextSize + 1, 'x');
  server.Serve("/huge.html", answer);
  TDownloadThread thread(server.Url("/huge.html"), L"", L"", L"", server.Port(), false, false, L"", nullptr);
  thread.WaitFor();
  EXPECT_FALSE(thread.Success());
  EXPECT_FALSE(thread.Error().empty());
  EXPECT_TRUE(thread.Info().empty());
}

TEST(DownloadThread, StoppingEndsAWaitForTheServerAtOnce) {
  for (bool inBody : {false, true}) {
    for (bool destroy : {false, true}) {
      SCOPED_TRACE(std::string(inBody ? "held in the body" : "held before the headers") +
                   (destroy ? ", destroyed" : ", aborted"));
      TLocalHttpServer server;
      THttpAnswer answer = HeldAnswer(inBody);
      server.Serve("/held.bin", answer);
      TTempDir folder;
      std::wstring file = folder.File(L"held.bin");
      auto thread = std::make_unique<TDownloadThread>(server.Url("/held.bin"), L"", L"", L"", server.Port(), true,
                                                      true, file, nullptr);
      ASSERT_TRUE(answer.Gate->WaitArrived());
      Sleep(100);  // the worker is waiting by now
      TStopwatch stopwatch;
      if (destroy) {
        thread.reset();
      } else {
        thread->Abort();
        thread->WaitFor();
        EXPECT_FALSE(thread->Success());
        EXPECT_EQ(thread->Error(), L"");  // stopped, not failed
      }
      EXPECT_LT(stopwatch.Ms(), PromptMs);
      EXPECT_FALSE(FileExists(file));
    }
  }
}

TEST(DownloadThread, TimeOutsEndAWaitForAServerThatDoesNotAnswer) {
  for (bool inBody : {false, true}) {
    SCOPED_TRACE(inBody ? "held in the body" : "held before the headers");
    TLocalHttpServer server;
    THttpAnswer answer = HeldAnswer(inBody);
    server.Serve("/held.html", answer);
    TStopwatch stopwatch;
    TDownloadThread thread(server.Url("/held.html"), L"", L"", L"", server.Port(), false, false, L"", nullptr,
                           TDownloadTimeouts{1000, 1000, 1000});
    thread.WaitFor();
    EXPECT_FALSE(thread.Success());
    EXPECT_FALSE(thread.Error().empty());
    EXPECT_TRUE(thread.Info().empty());
    EXPECT_LT(stopwatch.Ms(), 15000u) << WideToCodePage(thread.Error(), CP_UTF8);
  }
}
