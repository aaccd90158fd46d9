#include "tests/about/HttpsServers.h"

#include <shellapi.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "base/Zarvek_StrUtils.h"
#include "base/Zarvek_SysUtils.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestSupport.h"

namespace vantrel::test {

namespace {

std::string ReadWhole(const std::wstring& APath) {
  std::ifstream file(APath.c_str(), std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

}  // namespace

THttpsServers::THttpsServers() {
  // The folder lies in the host's /tmp, which the Windows side sees through drive Z:, so that
  // the host's Python and this process share it.
  static int counter = 0;
  FUnixFolder = "/tmp/vantrel-https-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++counter);
  FFolder = WindowsPath(FUnixFolder) + L"\\";
  RemoveFolder(FFolder);
  if (!CreateDirectoryW(FFolder.c_str(), nullptr)) throw std::runtime_error("cannot create " + FUnixFolder);

  std::string script = std::string(kSourceDir) + "/tests/about/https_server.py";
  std::wstring commandLine = WindowsPath("/usr/bin/python3") + L" " + CodePageToWide(script, CP_UTF8) + L" " +
                             CodePageToWide(FUnixFolder, CP_UTF8);
  STARTUPINFOW startup = {sizeof(startup)};
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    throw std::runtime_error("cannot start /usr/bin/python3 with tests/about/https_server.py");
  }
  FProcess.reset(info.hProcess);
  CloseHandle(info.hThread);

  // Making the keys takes a moment; the limit only guards against a server that never comes.
  std::wstring portsFile = FFolder + L"ports.txt";
  for (int i = 0; i < 600 && !FileExists(portsFile); ++i) Sleep(100);
  if (!FileExists(portsFile)) throw std::runtime_error("the HTTPS test servers did not start");
  std::istringstream ports(ReadWhole(portsFile));
  std::string line;
  while (std::getline(ports, line)) {
    size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    auto port = static_cast<uint16_t>(std::stoi(line.substr(eq + 1)));
    std::string name = line.substr(0, eq);
    if (name == "trusted") FTrustedPort = port;
    if (name == "othername") FOtherNamePort = port;
    if (name == "selfsigned") FSelfSignedPort = port;
  }
  FAuthority = ReadWhole(FFolder + L"ca.der");
  if (!FTrustedPort || !FOtherNamePort || !FSelfSignedPort || FAuthority.empty()) {
    throw std::runtime_error("the HTTPS test servers reported no ports");
  }
}

THttpsServers::~THttpsServers() {
  // The host's process is not one Windows can wait for: it answers the stop file with its own.
  WriteFileText(FFolder + L"stop", "stop");
  for (int i = 0; i < 100 && !FileExists(FFolder + L"stopped"); ++i) Sleep(50);
  RemoveFolder(FFolder);
}

std::wstring THttpsServers::ContentFolder() const { return FFolder + L"www\\"; }

namespace {

// The machine's root store; what is added or removed counts once the store is closed.
HCERTSTORE OpenRootStore() {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store) throw std::runtime_error("cannot open the root certificate store");
  return store;
}

}  // namespace

TTrustedRoot::TTrustedRoot(const std::string& ACertificate) : FCertificate(ACertificate) {
  HCERTSTORE store = OpenRootStore();
  BOOL added = CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING,
                                                reinterpret_cast<const BYTE*>(FCertificate.data()),
                                                static_cast<DWORD>(FCertificate.size()),
                                                CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
  CertCloseStore(store, 0);
  if (!added) throw std::runtime_error("cannot add the test authority to the root store");
}

TTrustedRoot::~TTrustedRoot() {
  HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
  if (!store) return;
  PCCERT_CONTEXT wanted = CertCreateCertificateContext(
      X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(FCertificate.data()), static_cast<DWORD>(FCertificate.size()));
  if (wanted) {
    PCCERT_CONTEXT found = CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, wanted, nullptr);
    if (found) CertDeleteCertificateFromStore(found);  // frees the found context
    CertFreeCertificateContext(wanted);
  }
  CertCloseStore(store, 0);
}

}  // namespace vantrel::test
