// A small HTTP/1.0 server on 127.0.0.1 inside the test process: it answers each path with what
// the test put there, records every request, and can hold an answer until the test lets it go.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Zarvek_Handles.h"

namespace vantrel::test {

// Holds an answer back: the server signals Arrived when the request is in and answers once the
// test calls Open.
class TGate {
 public:
  TGate();
  void Open() { SetEvent(FReleased.get()); }
  // True when the request arrived within the (generous) limit.
  bool WaitArrived(DWORD ATimeoutMs = 30000) const;

 private:
  friend class TLocalHttpServer;
  THandle FArrived;
  THandle FReleased;
};

struct THttpAnswer {
  int Status = 200;
  std::string Reason = "OK";
  std::string Body;
  bool SendLength = true;         // without it the end of the body is the end of the connection
  std::string Headers;            // further header lines, each ending in "\r\n"
  std::shared_ptr<TGate> Gate;    // answer only after the gate opened
  bool GateInBody = false;        // with Gate: the headers and half the body go out before it
  // A cut-off answer: only this many bytes of the body go out, though the announced length is
  // that of the whole body; then the connection ends.
  size_t BodyBytesSent = std::string::npos;
  bool Reset = false;             // the connection ends with a reset instead of an orderly close
};

struct THttpRequest {
  std::string Method;
  std::string Path;
  std::string Version;
  std::string Headers;
};

class TLocalHttpServer {
 public:
  TLocalHttpServer();
  ~TLocalHttpServer();
  TLocalHttpServer(const TLocalHttpServer&) = delete;
  TLocalHttpServer& operator=(const TLocalHttpServer&) = delete;

  uint16_t Port() const { return FPort; }
  // "http://127.0.0.1" followed by APath; the port goes separately to the client.
  std::wstring Url(const std::string& APath) const;

  void Serve(const std::string& APath, THttpAnswer AAnswer);
  void ServeText(const std::string& APath, const std::string& ABody);

  std::vector<THttpRequest> Requests() const;
  int CountRequests(const std::string& APath) const;

 private:
  void AcceptLoop();
  void Answer(uintptr_t ASocket);

  uint16_t FPort = 0;  // set while FListener is made, so declared before it
  uintptr_t FListener;
  std::thread FAcceptThread;
  mutable std::mutex FLock;
  std::map<std::string, THttpAnswer> FAnswers;
  std::vector<THttpRequest> FRequests;
  std::vector<std::thread> FConnections;
  std::vector<std::shared_ptr<TGate>> FGates;
};

// Milliseconds since it was made. A held answer waits up to a minute, so a generous bound well
// below that shows that a transfer did not wait for the server.
class TStopwatch {
 public:
  ULONGLONG Ms() const { return GetTickCount64() - FStart; }

 private:
  ULONGLONG FStart = GetTickCount64();
};

// A port on 127.0.0.1 where nothing listens.
uint16_t UnusedPort();

}  // namespace vantrel::test
