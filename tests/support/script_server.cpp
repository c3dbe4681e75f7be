// Client side of the scripted loopback servers: plain blocking Winsock calls
// to the control port of script_server.py (the protocol is described there).
// One control connection per call keeps the listeners usable from any thread.
#include "script_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace orvalin::testing {
namespace {

const char kPortFile[] = "script-server.port";
// Control calls never take long; this only keeps a broken server from
// hanging a test until ctest's timeout.
const DWORD kControlTimeoutMs = 120000;
const std::size_t kSendPiece = 1 << 20;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("script server: " + what);
}

void StartWinsock() {
  static const bool started = [] {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) Fail("WSAStartup failed");
    return true;
  }();
  (void)started;
}

// The control port: ORVALIN_SCRIPT_SERVER_PORT if set, else the number the
// fixture wrote into script-server.port in the working directory.
int ControlPort() {
  if (const char* env = std::getenv("ORVALIN_SCRIPT_SERVER_PORT"); env && *env) {
    return std::atoi(env);
  }
  std::FILE* f = std::fopen(kPortFile, "rb");
  if (!f) {
    Fail(std::string("cannot open ") + kPortFile +
         " in the working directory; is the ctest fixture 'script_server' required?");
  }
  int port = 0;
  const int got = std::fscanf(f, "%d", &port);
  std::fclose(f);
  if (got != 1 || port <= 0 || port > 65535) Fail(std::string("bad port in ") + kPortFile);
  return port;
}

const char* TlsWord(Tls tls) {
  switch (tls) {
    case Tls::None: return "none";
    case Tls::Localhost: return "localhost";
    case Tls::OtherName: return "other-name";
    case Tls::Expired: return "expired";
    case Tls::UnknownCa: return "unknown-ca";
  }
  return "?";
}

const char* MisbehaviourWord(Misbehaviour m) {
  switch (m) {
    case Misbehaviour::None: return "none";
    case Misbehaviour::CloseAfter: return "close";
    case Misbehaviour::ResetAfter: return "reset";
    case Misbehaviour::StallAfter: return "stall";
  }
  return "?";
}

// One connection to the control port.
class Control {
 public:
  Control() {
    StartWinsock();
    const int port = ControlPort();
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (socket_ == INVALID_SOCKET) Fail("socket() failed, error " + std::to_string(WSAGetLastError()));
    const DWORD timeout = kControlTimeoutMs;
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    const BOOL noDelay = TRUE;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      const int error = WSAGetLastError();
      closesocket(socket_);
      Fail("cannot reach the control port 127.0.0.1:" + std::to_string(port) + ", error " +
           std::to_string(error) + " (server not running?)");
    }
  }
  ~Control() { closesocket(socket_); }
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  void Send(const char* data, std::size_t size) {
    while (size > 0) {
      const int piece = static_cast<int>(size < kSendPiece ? size : kSendPiece);
      const int sent = send(socket_, data, piece, 0);
      if (sent <= 0) Fail("send to the control port failed, error " + std::to_string(WSAGetLastError()));
      data += sent;
      size -= static_cast<std::size_t>(sent);
    }
  }
  void Send(const std::string& text) { Send(text.data(), text.size()); }

  // One answer line without its "\n"; an "ERR ..." answer throws.
  std::string ReadLine() {
    std::size_t end;
    while ((end = pending_.find('\n')) == std::string::npos) {
      char buffer[4096];
      pending_.append(buffer, Receive(buffer, sizeof buffer));
    }
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (line.compare(0, 4, "ERR ") == 0) Fail(line.substr(4));
    return line;
  }

  std::size_t ReadNumberLine() {
    const std::string line = ReadLine();
    char* end = nullptr;
    const unsigned long long n = std::strtoull(line.c_str(), &end, 10);
    if (line.empty() || *end != '\0') Fail("unexpected answer '" + line + "'");
    return static_cast<std::size_t>(n);
  }

  std::string ReadExactly(std::size_t size) {
    std::string data = pending_.substr(0, size);
    pending_.erase(0, data.size());
    std::size_t got = data.size();
    data.resize(size);
    while (got < size) {
      const std::size_t want = size - got < kSendPiece ? size - got : kSendPiece;
      got += Receive(&data[got], want);
    }
    return data;
  }

  // "PORT <n>" answers.
  int ReadPort() {
    const std::string line = ReadLine();
    if (line.compare(0, 5, "PORT ") != 0) Fail("unexpected answer '" + line + "'");
    return std::atoi(line.c_str() + 5);
  }

 private:
  std::size_t Receive(char* buffer, std::size_t size) {
    const int got = recv(socket_, buffer, static_cast<int>(size), 0);
    if (got == 0) Fail("control connection closed by the server");
    if (got < 0) Fail("recv from the control port failed, error " + std::to_string(WSAGetLastError()));
    return static_cast<std::size_t>(got);
  }

  SOCKET socket_ = INVALID_SOCKET;
  std::string pending_;
};

const char* Reason(int status) {
  switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 206: return "Partial Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 407: return "Proxy Authentication Required";
    case 408: return "Request Timeout";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
  }
  return "Status";
}

bool NamesHeader(const std::vector<std::string>& headers, const std::string& name) {
  for (const std::string& line : headers) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    std::size_t end = colon;
    while (end > 0 && (line[end - 1] == ' ' || line[end - 1] == '\t')) --end;
    if (end != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < end && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(line[i])) ==
             std::tolower(static_cast<unsigned char>(name[i]));
    }
    if (same) return true;
  }
  return false;
}

}  // namespace

std::string HttpReply(int status, const std::vector<std::string>& headers,
                      const std::string& body) {
  std::string reply = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
  for (const std::string& line : headers) reply += line + "\r\n";
  if (!NamesHeader(headers, "Content-Length")) {
    reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  if (!NamesHeader(headers, "Connection")) reply += "Connection: close\r\n";
  reply += "\r\n";
  reply += body;
  return reply;
}

ScriptedListener::ScriptedListener(std::vector<Reply> replies, Tls tls) : tls_(tls) {
  if (replies.empty()) Fail("a listener needs at least one reply");
  Control control;
  control.Send(std::string("LISTEN ") + TlsWord(tls) + " " + std::to_string(replies.size()) + "\n");
  for (const Reply& reply : replies) {
    control.Send(std::string(MisbehaviourWord(reply.misbehaviour)) + " " +
                 std::to_string(reply.after) + " " + std::to_string(reply.bytes.size()) + "\n");
    control.Send(reply.bytes.data(), reply.bytes.size());
  }
  port_ = control.ReadPort();
}

ScriptedListener::~ScriptedListener() {
  try {
    Control control;
    control.Send("CLOSE " + std::to_string(port_) + "\n");
    control.ReadLine();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "closing listener %d: %s\n", port_, e.what());
  }
}

int ScriptedListener::Port() const { return port_; }

std::string ScriptedListener::Url(const std::string& path) const {
  return std::string(tls_ == Tls::None ? "http" : "https") + "://localhost:" +
         std::to_string(port_) + path;
}

std::vector<std::string> ScriptedListener::RequestList() const {
  Control control;
  control.Send("REQUESTS " + std::to_string(port_) + "\n");
  const std::size_t count = control.ReadNumberLine();
  std::vector<std::string> requests;
  requests.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    requests.push_back(control.ReadExactly(control.ReadNumberLine()));
  }
  return requests;
}

std::string ScriptedListener::Requests() const {
  std::string all;
  for (const std::string& request : RequestList()) all += request;
  return all;
}

int ScriptedListener::RequestCount() const {
  Control control;
  control.Send("COUNT " + std::to_string(port_) + "\n");
  return static_cast<int>(control.ReadNumberLine());
}

bool ScriptedListener::WaitForRequests(int count, int timeout_ms) const {
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
  for (;;) {
    if (RequestCount() >= count) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(10);
  }
}

std::string RequestLine(const std::string& request) {
  return request.substr(0, request.find("\r\n"));
}

std::string FirstRequestLine(const ScriptedListener& server) { return RequestLine(server.Requests()); }

bool Sent(const ScriptedListener& server, const std::string& piece) {
  return server.Requests().find(piece) != std::string::npos;
}

int UnusedPort() {
  Control control;
  control.Send("UNUSED\n");
  return control.ReadPort();
}

}  // namespace orvalin::testing
