// Loopback HTTP and HTTPS servers that answer from a script, for tests of the
// web request code. The servers live in one Python process that the ctest
// fixture "script_server" starts (tests/support/script_server.py); this client
// reaches it over a control port named in the file "script-server.port" in the
// tests' working directory. HTTPS listeners other than Tls::None also need the
// fixture "test_ca", which makes the build's Wine prefix trust the test CA.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvalin::testing {

enum class Misbehaviour { None, CloseAfter, ResetAfter, StallAfter };

struct Reply {
  std::string bytes;  // exactly what the server sends: status line, headers, body
  Misbehaviour misbehaviour = Misbehaviour::None;
  // How many bytes of `bytes` go out before misbehaving: then the server
  // closes (FIN, and over TLS without close_notify), resets (RST, once the
  // client has acknowledged those bytes) or stalls until the listener closes.
  std::size_t after = 0;
};

// The certificate an HTTPS listener shows:
//   Localhost  DNS:localhost, signed by the trusted test CA
//   OtherName  DNS:other.invalid, signed by the test CA
//   Expired    DNS:localhost, signed by the test CA, expired in 2002
//   UnknownCa  DNS:localhost, signed by a second CA that nothing trusts
enum class Tls { None, Localhost, OtherName, Expired, UnknownCa };

// "HTTP/1.1 <status> <reason>\r\n" + each header line + "\r\n", then
// "Content-Length: <n>\r\n" and "Connection: close\r\n" unless `headers`
// already names them, then "\r\n" + body.
std::string HttpReply(int status, const std::vector<std::string>& headers,
                      const std::string& body);

// One listener on 127.0.0.1 for one test. It answers the n-th request it
// receives with replies[n] (the last reply repeats), one request per
// connection, many connections at once, and records the raw bytes of every
// request. As a proxy it just records the request line it gets
// ("GET http://host/x HTTP/1.1") and answers from the script. The destructor
// closes it: the port refuses connections afterwards and stalled replies end.
// Failures to reach the server throw std::runtime_error.
class ScriptedListener {
 public:
  explicit ScriptedListener(std::vector<Reply> replies, Tls tls = Tls::None);
  ~ScriptedListener();
  ScriptedListener(const ScriptedListener&) = delete;
  ScriptedListener& operator=(const ScriptedListener&) = delete;

  int Port() const;
  // "http://localhost:<port><path>", or https for TLS listeners; path starts with "/".
  std::string Url(const std::string& path) const;
  // Raw bytes of all requests received so far, concatenated in the order
  // they were answered.
  std::string Requests() const;
  // The same, one string per request.
  std::vector<std::string> RequestList() const;
  int RequestCount() const;
  // Waits until at least `count` requests arrived; false after `timeout_ms`.
  bool WaitForRequests(int count, int timeout_ms) const;

 private:
  int port_ = 0;
  Tls tls_;
};

// A loopback port on which nothing listens: connecting is refused. The same
// port for the whole test run; the server holds it so nothing else takes it.
int UnusedPort();

// The request line ("GET /x HTTP/1.1") of one recorded request.
std::string RequestLine(const std::string& request);

// The request line of the first request a listener received.
std::string FirstRequestLine(const ScriptedListener& server);

// True when `piece` occurs in the bytes of the requests a listener received.
bool Sent(const ScriptedListener& server, const std::string& piece);

}  // namespace orvalin::testing
