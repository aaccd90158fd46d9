// Winsock's header must come before windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/about/LocalHttpServer.h"

#include <stdexcept>

namespace vantrel::test {

namespace {

class TWinsock {
 public:
  TWinsock() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
  }
  ~TWinsock() { WSACleanup(); }
};

void EnsureWinsock() { static TWinsock winsock; }

SOCKET ListenOnLoopback(uint16_t& APort) {
  EnsureWinsock();
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) throw std::runtime_error("socket failed");
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof(address);
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(listener);
    throw std::runtime_error("bind failed");
  }
  APort = ntohs(address.sin_port);
  return listener;
}

void SendAll(SOCKET ASocket, const std::string& AData) {
  size_t sent = 0;
  while (sent < AData.size()) {
    int chunk = static_cast<int>(std::min<size_t>(AData.size() - sent, 65536));
    int count = send(ASocket, AData.data() + sent, chunk, 0);
    if (count <= 0) return;
    sent += static_cast<size_t>(count);
  }
}

}  // namespace

TGate::TGate() : FArrived(CreateEventW(nullptr, TRUE, FALSE, nullptr)), FReleased(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

bool TGate::WaitArrived(DWORD ATimeoutMs) const { return WaitForSingleObject(FArrived.get(), ATimeoutMs) == WAIT_OBJECT_0; }

TLocalHttpServer::TLocalHttpServer() : FListener(ListenOnLoopback(FPort)) {
  if (listen(FListener, SOMAXCONN) != 0) {
    closesocket(FListener);
    throw std::runtime_error("listen failed");
  }
  FAcceptThread = std::thread([this] { AcceptLoop(); });
}

TLocalHttpServer::~TLocalHttpServer() {
  closesocket(FListener);
  FAcceptThread.join();
  std::vector<std::thread> connections;
  {
    std::lock_guard<std::mutex> lock(FLock);
    for (auto& gate : FGates) gate->Open();
    connections.swap(FConnections);
  }
  for (std::thread& connection : connections) connection.join();
}

std::wstring TLocalHttpServer::Url(const std::string& APath) const {
  return L"http://127.0.0.1" + std::wstring(APath.begin(), APath.end());
}

void TLocalHttpServer::Serve(const std::string& APath, THttpAnswer AAnswer) {
  std::lock_guard<std::mutex> lock(FLock);
  if (AAnswer.Gate) FGates.push_back(AAnswer.Gate);
  FAnswers[APath] = std::move(AAnswer);
}

void TLocalHttpServer::ServeText(const std::string& APath, const std::string& ABody) {
  THttpAnswer answer;
  answer.Body = ABody;
  Serve(APath, std::move(answer));
}

std::vector<THttpRequest> TLocalHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(FLock);
  return FRequests;
}

int TLocalHttpServer::CountRequests(const std::string& APath) const {
  std::lock_guard<std::mutex> lock(FLock);
  int count = 0;
  for (const THttpRequest& request : FRequests) count += request.Path == APath;
  return count;
}

void TLocalHttpServer::AcceptLoop() {
  for (;;) {
    SOCKET connection = accept(FListener, nullptr, nullptr);
    if (connection == INVALID_SOCKET) return;
    std::lock_guard<std::mutex> lock(FLock);
    FConnections.emplace_back([this, connection] { Answer(connection); });
  }
}

void TLocalHttpServer::Answer(uintptr_t ASocket) {
  SOCKET socket = ASocket;
  // A client that never finishes its request or never closes cannot stall the server.
  DWORD timeoutMs = 15000;
  setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof(timeoutMs));
  std::string received;
  char buffer[4096];
  while (received.find("\r\n\r\n") == std::string::npos && received.size() < 65536) {
    int count = recv(socket, buffer, sizeof(buffer), 0);
    if (count <= 0) break;
    received.append(buffer, static_cast<size_t>(count));
  }
  THttpRequest request;
  size_t lineEnd = received.find("\r\n");
  std::string line = received.substr(0, lineEnd);
  size_t first = line.find(' ');
  size_t second = line.find(' ', first == std::string::npos ? first : first + 1);
  if (first != std::string::npos) {
    request.Method = line.substr(0, first);
    request.Path = line.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    if (second != std::string::npos) request.Version = line.substr(second + 1);
  }
  if (lineEnd != std::string::npos) request.Headers = received.substr(lineEnd + 2);

  THttpAnswer answer;
  {
    std::lock_guard<std::mutex> lock(FLock);
    FRequests.push_back(request);
    auto found = FAnswers.find(request.Path);
    if (found != FAnswers.end()) {
      answer = found->second;
    } else {
      answer.Status = 404;
      answer.Reason = "Not Found";
      answer.Body = "<html><body><h1>404 Not Found</h1></body></html>";
    }
  }
  std::string headers = "HTTP/1.0 " + std::to_string(answer.Status) + " " + answer.Reason + "\r\n";
  headers += "Content-Type: text/html\r\nConnection: close\r\n";
  if (answer.SendLength) headers += "Content-Length: " + std::to_string(answer.Body.size()) + "\r\n";
  headers += answer.Headers + "\r\n";
  std::string body = answer.Body.substr(0, answer.BodyBytesSent);
  // What goes out before the gate (all of it without one) and after it.
  std::string beforeGate = headers + body;
  std::string afterGate;
  if (answer.Gate) {
    size_t held = answer.GateInBody ? headers.size() + body.size() / 2 : 0;
    afterGate = beforeGate.substr(held);
    beforeGate.erase(held);
  }
  SendAll(socket, beforeGate);
  if (answer.Gate) {
    SetEvent(answer.Gate->FArrived.get());
    WaitForSingleObject(answer.Gate->FReleased.get(), 60000);
  }
  SendAll(socket, afterGate);
  if (answer.Reset) {
    // A zero linger time makes closing send a reset: the client sees the connection fail.
    linger abortive = {1, 0};
    setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abortive), sizeof(abortive));
    closesocket(socket);
    return;
  }
  shutdown(socket, SD_SEND);
  // Let the client read to the end before the connection goes.
  while (recv(socket, buffer, sizeof(buffer), 0) > 0) {
  }
  closesocket(socket);
}

uint16_t UnusedPort() {
  uint16_t port = 0;
  SOCKET probe = ListenOnLoopback(port);
  closesocket(probe);
  return port;
}

}  // namespace vantrel::test
