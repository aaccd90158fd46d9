// HTTPS servers on 127.0.0.1, run by Python's ssl module (https_server.py), with certificates
// made by openssl for this run: one issued for "localhost" by a test authority, one issued for
// another name by the same authority, one self-signed.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <cstdint>
#include <string>

#include "base/Zarvek_Handles.h"

namespace vantrel::test {

class THttpsServers {
 public:
  // Starts the servers and waits until they listen; throws when they do not start.
  THttpsServers();
  ~THttpsServers();
  THttpsServers(const THttpsServers&) = delete;
  THttpsServers& operator=(const THttpsServers&) = delete;

  uint16_t TrustedPort() const { return FTrustedPort; }      // certificate for "localhost"
  uint16_t OtherNamePort() const { return FOtherNamePort; }  // certificate for "other.example"
  uint16_t SelfSignedPort() const { return FSelfSignedPort; }
  // Folder whose files the servers serve (Windows path, ends in a backslash).
  std::wstring ContentFolder() const;
  // The test authority's certificate (DER).
  const std::string& AuthorityCertificate() const { return FAuthority; }

 private:
  std::string FUnixFolder;
  std::wstring FFolder;
  THandle FProcess;
  uint16_t FTrustedPort = 0;
  uint16_t FOtherNamePort = 0;
  uint16_t FSelfSignedPort = 0;
  std::string FAuthority;
};

// Adds a certificate to the machine's trusted root authorities for its lifetime.
class TTrustedRoot {
 public:
  explicit TTrustedRoot(const std::string& ACertificate);
  ~TTrustedRoot();
  TTrustedRoot(const TTrustedRoot&) = delete;
  TTrustedRoot& operator=(const TTrustedRoot&) = delete;

 private:
  std::string FCertificate;
};

}  // namespace vantrel::test
