// Secure transfers against HTTPS servers on 127.0.0.1 (Python's ssl module) whose certificates
// this run made. The test authority is trusted in the prefix's root store while a test runs, so
// a failure can only come from the part of the certificate that is wrong.
#include <gtest/gtest.h>

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <memory>

#include "about/Zarvek.Component.UpdateCheck.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/about/HttpsServers.h"
#include "tests/support/TestSupport.h"

using namespace vantrel;
using namespace vantrel::test;

namespace {

class Https : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    Servers = new THttpsServers();
    Trust = new TTrustedRoot(Servers->AuthorityCertificate());
  }
  static void TearDownTestSuite() {
    delete Trust;
    delete Servers;
    Trust = nullptr;
    Servers = nullptr;
  }

  // A file the servers serve; its folders are made as needed.
  static void Publish(const std::wstring& AName, const std::string& AContent) {
    for (size_t slash = AName.find(L'\\'); slash != std::wstring::npos; slash = AName.find(L'\\', slash + 1)) {
      CreateDirectoryW((Servers->ContentFolder() + AName.substr(0, slash)).c_str(), nullptr);
    }
    WriteFileText(Servers->ContentFolder() + AName, AContent);
  }

  static std::unique_ptr<TDownloadThread> Fetch(const std::wstring& AURL, uint16_t APort, const std::wstring& AFile) {
    auto thread = std::make_unique<TDownloadThread>(AURL, L"", L"", L"", APort, true, true, AFile, nullptr);
    thread->WaitFor();
    return thread;
  }

  static THttpsServers* Servers;
  static TTrustedRoot* Trust;
  TTempDir Folder;
};

THttpsServers* Https::Servers = nullptr;
TTrustedRoot* Https::Trust = nullptr;

}  // namespace

TEST_F(Https, CertificateForTheRightNameFromATrustedAuthorityIsAccepted) {
  Publish(L"data.bin", "secure content");
  auto thread = Fetch(L"https://localhost/data.bin", Servers->TrustedPort(), Folder.File(L"data.bin"));
  ASSERT_TRUE(thread->Success()) << WideToCodePage(thread->Error(), CP_UTF8);
  EXPECT_EQ(ReadFileBytes(Folder.File(L"data.bin")), "secure content");
}

TEST_F(Https, CertificateForAnotherNameIsRefused) {
  Publish(L"data.bin", "secure content");
  struct Case {
    const wchar_t* url;
    uint16_t port;
  } cases[] = {
      // Issued by the trusted authority for "other.example", reached as "localhost".
      {L"https://localhost/data.bin", Servers->OtherNamePort()},
      // Issued by the trusted authority for "localhost", reached by its address.
      {L"https://127.0.0.1/data.bin", Servers->TrustedPort()},
  };
  for (const Case& c : cases) {
    std::wstring file = Folder.File(L"refused.bin");
    auto thread = Fetch(c.url, c.port, file);
    EXPECT_FALSE(thread->Success());
    EXPECT_EQ(thread->Error(), InternetErrorText(ERROR_INTERNET_SEC_CERT_CN_INVALID)) << c.port;
    EXPECT_FALSE(FileExists(file));
  }
}

TEST_F(Https, SelfSignedCertificateIsRefused) {
  Publish(L"data.bin", "secure content");
  std::wstring file = Folder.File(L"refused.bin");
  auto thread = Fetch(L"https://localhost/data.bin", Servers->SelfSignedPort(), file);
  EXPECT_FALSE(thread->Success());
  EXPECT_FALSE(thread->Error().empty());
  EXPECT_FALSE(FileExists(file));
}

TEST_F(Https, UpdateCheckOverHttps) {
  Publish(L"webupdate.html",
          "<META NAME=\"Name\" CONTENT=\"Vantrel\">\r\n"
          "<META NAME=\"Version\" CONTENT=\"2.0\">\r\n"
          "<META NAME=\"File\" CONTENT=\"setup.exe\">\r\n"
          "<META NAME=\"Download\" CONTENT=\"files/setup.exe\">\r\n");
  CreateDirectoryW((Servers->ContentFolder() + L"files").c_str(), nullptr);
  Publish(L"files\\setup.exe", "secure setup");

  TUpdateCheck check;
  check.ProductInfo().SetURL(L"https://localhost/webupdate.html");
  check.HTTPPort = Servers->TrustedPort();
  check.Options = TUpdateOptions{};
  check.TargetFolder = Folder.Path();
  std::vector<std::wstring> errors;
  check.OnDownloadError = [&](TUpdateCheck* Sender) { errors.push_back(Sender->DownloadError()); };
  EXPECT_TRUE(check.CheckForAnUpdate());
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(check.UpdateURL(), L"https://localhost/files/setup.exe");
  EXPECT_EQ(ReadFileBytes(Folder.File(L"setup.exe")), "secure setup");

  // The same server reached under a name its certificate does not carry.
  check.ProductInfo().SetURL(L"https://127.0.0.1/webupdate.html");
  EXPECT_FALSE(check.CheckForAnUpdate());
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0], InternetErrorText(ERROR_INTERNET_SEC_CERT_CN_INVALID));
  EXPECT_EQ(errors[1], L"empty info");
}

TEST_F(Https, RelativeRedirectionsOfTheUpdatePageStayOnTheSecureServer) {
  // Each page names the next relative to itself: the scheme, host and port stay those of the page.
  Publish(L"old\\webupdate.html", "<META NAME=\"Redirection\" CONTENT=\"page2.txt\">\r\n");
  Publish(L"old\\page2.txt", "<META NAME=\"Redirection\" CONTENT=\"/new/page.txt\">\r\n");
  Publish(L"new\\page.txt",
          "<META NAME=\"Name\" CONTENT=\"Vantrel\">\r\n"
          "<META NAME=\"Version\" CONTENT=\"2.0\">\r\n"
          "<META NAME=\"File\" CONTENT=\"setup.exe\">\r\n"
          "<META NAME=\"Download\" CONTENT=\"files/setup.exe\">\r\n");
  Publish(L"new\\files\\setup.exe", "secure setup");

  TUpdateCheck check;
  check.ProductInfo().SetURL(L"https://localhost/old/webupdate.html");
  check.HTTPPort = Servers->TrustedPort();
  check.Options = TUpdateOptions{};
  check.TargetFolder = Folder.Path();
  std::vector<std::wstring> errors;
  check.OnDownloadError = [&](TUpdateCheck* Sender) { errors.push_back(Sender->DownloadError()); };
  EXPECT_TRUE(check.CheckForAnUpdate());
  EXPECT_EQ(errors, std::vector<std::wstring>{});
  EXPECT_EQ(check.InfoURL(), L"https://localhost/new/page.txt");
  EXPECT_EQ(check.ProductVersion(), L"2.0");
  // The download is relative to the page that names it.
  EXPECT_EQ(check.UpdateURL(), L"https://localhost/new/files/setup.exe");
  EXPECT_EQ(ReadFileBytes(Folder.File(L"setup.exe")), "secure setup");
}

TEST_F(Https, HttpRedirectionToARelativeLocationStaysOnTheSecureServer) {
  struct Case {
    const wchar_t* name;
    const char* location;
    const wchar_t* target;
  } cases[] = {
      {L"moved\\a.txt", "b.txt", L"moved\\b.txt"},
      {L"moved\\c.txt", "/new/d.txt", L"new\\d.txt"},
      {L"moved\\e.txt", "../new/f.txt", L"new\\f.txt"},
  };
  for (const Case& c : cases) {
    Publish(std::wstring(c.name) + L".redirect", c.location);
    Publish(c.target, WideToCodePage(c.target, CP_UTF8));
  }
  for (const Case& c : cases) {
    std::wstring name = c.name;
    std::replace(name.begin(), name.end(), L'\\', L'/');
    std::wstring file = Folder.File(L"moved.txt");
    auto thread = Fetch(L"https://localhost/" + name, Servers->TrustedPort(), file);
    EXPECT_TRUE(thread->Success()) << c.location << ": " << WideToCodePage(thread->Error(), CP_UTF8);
    EXPECT_EQ(ReadFileBytes(file), WideToCodePage(c.target, CP_UTF8)) << c.location;
  }
}
