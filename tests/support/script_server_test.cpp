// The scripted loopback servers seen from WinINet under Wine, the way the web
// request tests will use them: what arrives, what goes back, the certificate
// cases and the misbehaving replies.
#include "script_server.h"

#include <winsock2.h>
#include <windows.h>
#include <wininet.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace orvalin::testing {
namespace {

const DWORD kFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                     INTERNET_FLAG_NO_COOKIES | INTERNET_FLAG_NO_UI;

class Handle {
 public:
  explicit Handle(HINTERNET h) : h_(h) {}
  ~Handle() {
    if (h_) InternetCloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  operator HINTERNET() const { return h_; }

 private:
  HINTERNET h_;
};

struct Fetched {
  DWORD openError = 0;  // GetLastError() when the request failed, else 0
  DWORD status = 0;
  std::string headers;
  std::string body;
  DWORD readError = 0;  // GetLastError() of a failed InternetReadFile, else 0
};

HINTERNET Session(DWORD access = INTERNET_OPEN_TYPE_DIRECT, const char* proxy = nullptr) {
  return InternetOpenA("OrvalinScriptServerTest", access, proxy, nullptr, 0);
}

void ReadAll(HINTERNET request, Fetched& out) {
  DWORD status = 0, size = sizeof status;
  HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
  out.status = status;
  char headers[8192];
  DWORD headersSize = sizeof headers;
  if (HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, headers, &headersSize, nullptr)) {
    out.headers.assign(headers, headersSize);
  }
  std::vector<char> buffer(1 << 20);
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(request, buffer.data(), static_cast<DWORD>(buffer.size()), &got)) {
      out.readError = GetLastError();
      return;
    }
    if (got == 0) return;
    out.body.append(buffer.data(), got);
  }
}

Fetched Get(HINTERNET session, const std::string& url, const std::string& headers = "") {
  Fetched out;
  Handle request(InternetOpenUrlA(session, url.c_str(), headers.empty() ? nullptr : headers.c_str(),
                                  static_cast<DWORD>(-1), kFlags, 0));
  if (!request) {
    out.openError = GetLastError();
    return out;
  }
  ReadAll(request, out);
  return out;
}

Fetched Get(const std::string& url, const std::string& headers = "") {
  Handle session(Session());
  return Get(session, url, headers);
}

// Some text with zero bytes and line breaks in it, `size` bytes long.
std::string Pattern(std::size_t size, unsigned seed = 1) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>(i * 131 + seed + (i >> 12));
  return s;
}

std::size_t HeaderSize(const std::string& message) {
  const std::size_t end = message.find("\r\n\r\n");
  return end == std::string::npos ? std::string::npos : end + 4;
}

struct RawReply {
  std::string bytes;
  int error = 0;  // 0 when the server closed the connection, else the Winsock error
};

// Sends `request` over a plain socket and reads until the server closes,
// resets, or sends nothing for `quietMs`.
RawReply RawExchange(int port, const std::string& request, DWORD quietMs) {
  RawReply out;
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&quietMs), sizeof quietMs);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      send(s, request.data(), static_cast<int>(request.size()), 0) != static_cast<int>(request.size())) {
    out.error = WSAGetLastError();
  } else {
    char buffer[65536];
    int got;
    while ((got = recv(s, buffer, sizeof buffer, 0)) > 0) out.bytes.append(buffer, got);
    if (got < 0) out.error = WSAGetLastError();
  }
  closesocket(s);
  WSACleanup();
  return out;
}

TEST(ScriptServer, AnswersHttpAndRecordsTheRequestExactly) {
  const std::string body("first line\r\n\0second\r\n\r\nthird", 31);
  ScriptedListener server({{HttpReply(200, {"X-Reply: yes"}, body)}});
  const Fetched got = Get(server.Url("/path/a.html?q=1"), "X-Probe: 42\r\n");
  ASSERT_EQ(got.openError, 0u);
  EXPECT_EQ(got.status, 200u);
  EXPECT_EQ(got.body, body);
  EXPECT_EQ(got.readError, 0u);
  EXPECT_NE(got.headers.find("\r\nX-Reply: yes\r\n"), std::string::npos) << got.headers;

  const std::string request = server.Requests();
  EXPECT_EQ(request.rfind("GET /path/a.html?q=1 HTTP/1.1\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("\r\nX-Probe: 42\r\n"), std::string::npos) << request;
  EXPECT_NE(request.find("\r\nHost: localhost:" + std::to_string(server.Port()) + "\r\n"),
            std::string::npos) << request;
  EXPECT_EQ(HeaderSize(request), request.size()) << "a GET has no body: " << request;
  EXPECT_EQ(server.RequestCount(), 1);
}

TEST(ScriptServer, AnswersInScriptOrderAndRepeatsTheLastReply) {
  ScriptedListener server({{HttpReply(200, {}, "one")}, {HttpReply(404, {}, "two")}});
  const char* paths[] = {"/1", "/2", "/3"};
  const DWORD statuses[] = {200, 404, 404};
  const char* bodies[] = {"one", "two", "two"};
  for (int i = 0; i < 3; ++i) {
    const Fetched got = Get(server.Url(paths[i]));
    EXPECT_EQ(got.status, statuses[i]) << paths[i];
    EXPECT_EQ(got.body, bodies[i]) << paths[i];
  }
  const std::vector<std::string> requests = server.RequestList();
  ASSERT_EQ(requests.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(requests[i].rfind(std::string("GET ") + paths[i] + " HTTP/1.1\r\n", 0), 0u);
  }
  EXPECT_EQ(server.Requests(), requests[0] + requests[1] + requests[2]);
}

TEST(ScriptServer, RecordsAPostBodyWhole) {
  // Starts with an empty line of its own: only Content-Length tells where it ends.
  const std::string body = "\r\n\r\n" + Pattern(300000);
  ScriptedListener server({{HttpReply(200, {}, "ok")}});
  Handle session(Session());
  Handle connection(InternetConnectA(session, "localhost", static_cast<INTERNET_PORT>(server.Port()),
                                     nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  ASSERT_TRUE(connection);
  Handle request(HttpOpenRequestA(connection, "POST", "/form", nullptr, nullptr, nullptr, kFlags, 0));
  ASSERT_TRUE(request);
  const char headers[] = "Content-Type: application/octet-stream\r\n";
  ASSERT_TRUE(HttpSendRequestA(request, headers, static_cast<DWORD>(-1),
                               const_cast<char*>(body.data()), static_cast<DWORD>(body.size())))
      << GetLastError();
  Fetched got;
  ReadAll(request, got);
  EXPECT_EQ(got.body, "ok");

  const std::vector<std::string> requests = server.RequestList();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& sent = requests[0];
  const std::size_t headerSize = HeaderSize(sent);
  ASSERT_NE(headerSize, std::string::npos);
  EXPECT_EQ(sent.rfind("POST /form HTTP/1.1\r\n", 0), 0u) << sent.substr(0, headerSize);
  EXPECT_NE(sent.find("\r\nContent-Length: 300004\r\n"), std::string::npos) << sent.substr(0, headerSize);
  EXPECT_TRUE(sent.substr(headerSize) == body) << "body of " << sent.size() - headerSize << " bytes";
}

TEST(ScriptServer, ServesHttpsSignedByTheTrustedTestCa) {
  ScriptedListener server({{HttpReply(200, {}, "secret")}}, Tls::Localhost);
  ASSERT_EQ(server.Url("/secure").rfind("https://localhost:", 0), 0u);
  const Fetched got = Get(server.Url("/secure"));
  ASSERT_EQ(got.openError, 0u);
  EXPECT_EQ(got.status, 200u);
  EXPECT_EQ(got.body, "secret");
  EXPECT_EQ(got.readError, 0u);
  EXPECT_EQ(server.Requests().rfind("GET /secure HTTP/1.1\r\n", 0), 0u);
}

TEST(ScriptServer, HttpsWithABadCertificateFailsBeforeAnyRequest) {
  // Wine reports a certificate from an unknown CA as
  // ERROR_INTERNET_SEC_CERT_REV_FAILED (12057); Windows says ERROR_INTERNET_INVALID_CA.
  const struct {
    Tls tls;
    DWORD error, alsoAccepted;
  } cases[] = {
      {Tls::OtherName, ERROR_INTERNET_SEC_CERT_CN_INVALID, ERROR_INTERNET_SEC_CERT_CN_INVALID},
      {Tls::Expired, ERROR_INTERNET_SEC_CERT_DATE_INVALID, ERROR_INTERNET_SEC_CERT_DATE_INVALID},
      {Tls::UnknownCa, ERROR_INTERNET_SEC_CERT_REV_FAILED, ERROR_INTERNET_INVALID_CA},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.tls));
    ScriptedListener server({{HttpReply(200, {}, "must not be seen")}}, c.tls);
    const Fetched got = Get(server.Url("/"));
    EXPECT_TRUE(got.openError == c.error || got.openError == c.alsoAccepted) << got.openError;
    EXPECT_EQ(got.body, "");
    EXPECT_EQ(server.RequestCount(), 0);
  }
}

TEST(ScriptServer, CloseAfterEndsTheBodyEarly) {
  const std::string body = Pattern(200000);
  const std::string reply = HttpReply(200, {}, body);
  const std::size_t headers = HeaderSize(reply);
  ScriptedListener server({{reply, Misbehaviour::CloseAfter, headers + 100000}});
  const Fetched got = Get(server.Url("/cut"));
  ASSERT_EQ(got.openError, 0u);
  EXPECT_EQ(got.status, 200u);
  EXPECT_EQ(got.body.size(), 100000u);
  EXPECT_TRUE(got.body == body.substr(0, got.body.size()));
}

// The misbehaviours byte for byte, over a plain socket: WinINet hides where
// a reply ends (it delivers data in whole internal buffers and may report a
// reset as a normal end).
TEST(ScriptServer, MisbehavioursCutTheReplyAtTheirByte) {
  const std::string reply = HttpReply(200, {}, Pattern(300000));
  const std::size_t after = HeaderSize(reply) + 123457;
  // How the reads end. Wine 8 turns a reset into a plain end of data at
  // random (its wineserver may take the error first), so a reset allows both;
  // script_server_selftest.py checks the reset itself on Linux.
  const struct {
    Misbehaviour misbehaviour;
    std::size_t received;
    int error, orError;
  } cases[] = {
      {Misbehaviour::None, reply.size(), 0, 0},
      {Misbehaviour::CloseAfter, after, 0, 0},
      {Misbehaviour::ResetAfter, after, WSAECONNRESET, 0},
      {Misbehaviour::StallAfter, after, WSAETIMEDOUT, WSAETIMEDOUT},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.misbehaviour));
    ScriptedListener server({{reply, c.misbehaviour, after}});
    const RawReply got = RawExchange(server.Port(), "GET /raw HTTP/1.1\r\nHost: x\r\n\r\n", 300);
    EXPECT_TRUE(got.error == c.error || got.error == c.orError) << got.error;
    EXPECT_EQ(got.bytes.size(), c.received);
    EXPECT_TRUE(got.bytes == reply.substr(0, c.received));
    EXPECT_EQ(server.Requests(), "GET /raw HTTP/1.1\r\nHost: x\r\n\r\n");
  }
}

TEST(ScriptServer, ManyConnectionsAtOnceWhileOneStalls) {
  // The first request stalls until the listener closes; the others must still
  // be answered meanwhile, all in parallel.
  const std::string body = Pattern(65536, 7);
  const std::string reply = HttpReply(200, {}, body);
  Fetched stalled;
  std::thread first;
  {
    ScriptedListener server({{reply, Misbehaviour::StallAfter, HeaderSize(reply) + 100}, {reply}});
    const std::string firstUrl = server.Url("/first");
    first = std::thread([&] { stalled = Get(firstUrl); });
    EXPECT_TRUE(server.WaitForRequests(1, 10000));

    const int kClients = 20;
    std::vector<Fetched> got(kClients);
    std::vector<std::thread> clients;
    for (int i = 0; i < kClients; ++i) {
      clients.emplace_back([&, i] { got[i] = Get(server.Url("/n/" + std::to_string(i))); });
    }
    for (std::thread& t : clients) t.join();
    const std::string requests = server.Requests();
    for (int i = 0; i < kClients; ++i) {
      EXPECT_EQ(got[i].status, 200u) << i;
      EXPECT_TRUE(got[i].body == body) << i << ": " << got[i].body.size() << " bytes";
      EXPECT_NE(requests.find("GET /n/" + std::to_string(i) + " HTTP/1.1\r\n"), std::string::npos);
    }
    EXPECT_EQ(server.RequestCount(), 1 + kClients);
  }
  first.join();  // released by closing the listener
  EXPECT_EQ(stalled.status, 200u);
  EXPECT_TRUE(stalled.body == body.substr(0, stalled.body.size()));
  EXPECT_LT(stalled.body.size(), body.size());
}

TEST(ScriptServer, StreamsALargeBody) {
  const std::string body = Pattern(64 << 20, 3);
  ScriptedListener server({{HttpReply(200, {}, body)}});
  const Fetched got = Get(server.Url("/big"));
  ASSERT_EQ(got.openError, 0u);
  EXPECT_EQ(got.readError, 0u);
  EXPECT_EQ(got.body.size(), body.size());
  EXPECT_TRUE(got.body == body);
}

TEST(ScriptServer, RecordsTheRequestLineOfAProxyRequest) {
  ScriptedListener proxy({{HttpReply(200, {}, "via proxy")}});
  const std::string address = "localhost:" + std::to_string(proxy.Port());
  Handle session(Session(INTERNET_OPEN_TYPE_PROXY, address.c_str()));
  const Fetched got = Get(session, "http://orvalin.invalid/x?y=1");
  EXPECT_EQ(got.body, "via proxy");
  // Wine writes the default port into the address: "http://orvalin.invalid:80/x?y=1".
  const std::string requests = proxy.Requests();
  const std::string line = requests.substr(0, requests.find("\r\n"));
  EXPECT_EQ(line.rfind("GET http://orvalin.invalid", 0), 0u) << line;
  EXPECT_TRUE(line.ends_with("/x?y=1 HTTP/1.1")) << line;
  EXPECT_EQ(proxy.RequestCount(), 1);
}

TEST(ScriptServer, UnusedPortAndClosedListenerRefuse) {
  EXPECT_EQ(Get("http://localhost:" + std::to_string(UnusedPort()) + "/").openError,
            static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
  int port;
  {
    ScriptedListener server({{HttpReply(200, {}, "")}});
    port = server.Port();
  }
  EXPECT_EQ(Get("http://localhost:" + std::to_string(port) + "/").openError,
            static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
}

TEST(HttpReply, AddsLengthAndCloseUnlessNamed) {
  EXPECT_EQ(HttpReply(404, {"X-A: 1"}, "nope"),
            "HTTP/1.1 404 Not Found\r\nX-A: 1\r\nContent-Length: 4\r\nConnection: close\r\n\r\nnope");
  EXPECT_EQ(HttpReply(200, {"content-length: 99", "CONNECTION : keep-alive"}, "x"),
            "HTTP/1.1 200 OK\r\ncontent-length: 99\r\nCONNECTION : keep-alive\r\n\r\nx");
}

}  // namespace
}  // namespace orvalin::testing
