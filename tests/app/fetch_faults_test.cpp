// Faults of the server and the connection, one row each, against both ways
// the program fetches: the page request (WebRequest) and the picture fetch
// (FetchUrlBytes). A row names the fault and what each of them gives.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/picture_fetch.h"
#include "script_server.h"
#include "server_goes_away.h"
#include "stopwatch.h"
#include "web/wait_limits.h"
#include "web/web_request.h"

namespace orvalin {
namespace {

using testing::HttpReply;
using testing::Misbehaviour;
using testing::Reply;
using testing::ScriptedListener;
using testing::Tls;

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// The first line of a header block.
std::string FirstLine(const Text& block) {
  const std::string_view view = block.View();
  return std::string(view.substr(0, view.find("\r\n")));
}

// What the page request gives.
struct Page {
  std::string body;
  std::string statusLine;  // the first line of the header block
  std::string newCookies;
};

struct PageSeen : Page {
  bool headerBlock = false;  // a header block came back
  bool locationKept = true;  // the caller's location was left alone
};

PageSeen RequestPage(const std::string& address) {
  Text newCookies, rawHeaders, location("kept");
  const Bytes body = WebRequest(Text(address), {.newCookies = &newCookies,
                                                .location = &location,
                                                .rawHeaders = &rawHeaders});
  PageSeen seen;
  seen.body = AsString(body);
  seen.statusLine = FirstLine(rawHeaders);
  seen.newCookies = newCookies.View();
  seen.headerBlock = TextLength(rawHeaders) > 0;
  seen.locationKept = location.View() == "kept";
  return seen;
}

struct Fault {
  const char* what;
  std::vector<Reply> replies;  // none: `address` is fetched instead
  std::string address;
  Tls tls = Tls::None;
  // The fault never ends by itself under Wine (a redirect loop): the server
  // goes away after a while (server_goes_away.h).
  bool serverGoes = false;
  Page page;
  // The page body is only the most that may come: what arrived before the
  // fault, of which the client may have had to drop a part.
  bool pageUpTo = false;
  // Also right for the page request: this status line and no body.
  std::string pageOrStatusLine;
  std::string picture;
  bool nothingSent = false;  // the server must not receive a request
};

TEST(FetchFaults, EachFaultGivesItsDefinedResult) {
  const std::string body(200 * 1024, 'b');
  const std::string whole = HttpReply(200, {}, body);
  const std::size_t headerLength = whole.size() - body.size();
  const std::string refusing = "http://localhost:" + std::to_string(testing::UnusedPort()) + "/p";

  // 5000+ bytes of header lines, and 200 cookies.
  std::vector<std::string> filler, setCookies;
  for (int i = 0; i < 150; ++i) {
    filler.push_back("X-Filler-" + std::to_string(i) + ": " + std::string(40, 'v'));
  }
  std::string cookies;
  for (int i = 0; i < 200; ++i) {
    const std::string cookie = "c" + std::to_string(i) + "=" + std::to_string(i);
    setCookies.push_back("Set-Cookie: " + cookie + "; path=/");
    cookies += (i ? "; " : "") + cookie;
  }
  // Another host name for this machine.
  ScriptedListener elsewhere({{HttpReply(200, {}, "from the other host")}});
  const std::string otherHost = "http://127.0.0.1:" + std::to_string(elsewhere.Port()) + "/o";
  const std::string chunked =
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
  const std::string ok = "HTTP/1.1 200 OK";

  const Fault faults[] = {
      {.what = "connection refused", .address = refusing},
      {.what = "host name that does not resolve", .address = "http://nonexistent.invalid/p"},
      {.what = "reset before the status line", .replies = {{whole, Misbehaviour::ResetAfter, 0}}},
      // Wine's client calls this answered, with a header block of one CRLF.
      {.what = "closed before the status line",
       .replies = {{whole, Misbehaviour::CloseAfter, 0}}},
      {.what = "reset mid-body",
       .replies = {{whole, Misbehaviour::ResetAfter, headerLength + 100 * 1024}},
       .page = {body.substr(0, 100 * 1024), ok},
       .pageUpTo = true},
      {.what = "404 with a body",
       .replies = {{HttpReply(404, {}, "<html>no such page</html>")}},
       .page = {"<html>no such page</html>", "HTTP/1.1 404 Not Found"},
       .picture = "<html>no such page</html>"},
      {.what = "500 with a body",
       .replies = {{HttpReply(500, {}, "<html>broken</html>")}},
       .page = {"<html>broken</html>", "HTTP/1.1 500 Internal Server Error"},
       .picture = "<html>broken</html>"},
      // Once the server is gone the next hop is refused; when it goes amid a
      // hop, the redirect that came last may be the answer.
      {.what = "redirect loop",
       .replies = {{HttpReply(302, {"Location: /p"}, "")}},
       .serverGoes = true,
       .pageOrStatusLine = "HTTP/1.1 302 Found"},
      {.what = "redirect to another host",
       .replies = {{HttpReply(302, {"Location: " + otherHost}, "moved")}},
       .page = {"from the other host", ok},
       .picture = "from the other host"},
      {.what = "header block over 5000 bytes",
       .replies = {{HttpReply(200, filler, "body")}},
       .page = {"body", ok},
       .picture = "body"},
      {.what = "200 Set-Cookie lines",
       .replies = {{HttpReply(200, setCookies, "body")}},
       .page = {"body", ok, cookies},
       .picture = "body"},
      // Wine's client takes a first line that is no status line for the
      // status line of an HTTP/1.0 200 response, and the rest for its body.
      {.what = "status line that is no status line",
       .replies = {{"garbage\r\n\r\nbody"}},
       .page = {"\r\nbody", "HTTP/1.0 200 OK"},
       .picture = "\r\nbody"},
      // Wine's client leaves a status line without a number out of the block.
      {.what = "status code that is no number",
       .replies = {{"HTTP/1.1 abc Fine\r\nContent-Length: 4\r\nConnection: close\r\n\r\nbody"}},
       .page = {"body", "Content-Length: 4"},
       .picture = "body"},
      {.what = "chunk size that is no hex number",
       .replies = {{chunked + "zz\r\nhello\r\n0\r\n\r\n"}},
       .page = {"", ok}},
      // Wine's client ends a chunked body cut off inside a chunk as if it
      // were whole, and neither caller can tell.
      {.what = "chunked body cut inside a chunk",
       .replies = {{chunked + "100\r\nhello"}},
       .page = {"hello", ok},
       .picture = "hello"},
      {.what = "Content-Length larger than the body",
       .replies = {{"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\nConnection: close\r\n\r\nshort"}},
       .page = {"short", ok}},
      {.what = "empty body", .replies = {{HttpReply(200, {}, "")}}, .page = {"", ok}},
      {.what = "certificate for another name",
       .replies = {{HttpReply(200, {}, "x")}},
       .tls = Tls::OtherName,
       .nothingSent = true},
      {.what = "expired certificate",
       .replies = {{HttpReply(200, {}, "x")}},
       .tls = Tls::Expired,
       .nothingSent = true},
      {.what = "certificate from an unknown CA",
       .replies = {{HttpReply(200, {}, "x")}},
       .tls = Tls::UnknownCa,
       .nothingSent = true},
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.what);
    for (const bool picture : {false, true}) {
      SCOPED_TRACE(picture ? "picture fetch" : "page request");
      std::unique_ptr<ScriptedListener> server;
      if (!f.replies.empty()) server = std::make_unique<ScriptedListener>(f.replies, f.tls);
      const std::string address = server ? server->Url("/p") : f.address;
      PageSeen page;
      std::string pictureBody;
      const auto fetch = [&] {
        if (picture) {
          pictureBody = AsString(FetchUrlBytes(Text(address)));
        } else {
          page = RequestPage(address);
        }
      };
      if (f.serverGoes) {
        testing::UntilTheServersGo({&server}, fetch);
      } else {
        fetch();
        if (f.nothingSent) {
          EXPECT_EQ(server->RequestCount(), 0);
        }
      }

      if (picture) {
        EXPECT_TRUE(pictureBody == f.picture) << "got " << pictureBody.size() << " bytes";
        continue;
      }
      if (!f.pageOrStatusLine.empty() && page.statusLine == f.pageOrStatusLine) {
        EXPECT_EQ(page.body, "");
        continue;
      }
      if (f.pageUpTo) {
        EXPECT_LE(page.body.size(), f.page.body.size());
        EXPECT_TRUE(f.page.body.compare(0, page.body.size(), page.body) == 0)
            << "not the bytes that were sent";
      } else {
        EXPECT_TRUE(page.body == f.page.body) << "got " << page.body.size() << " bytes";
      }
      EXPECT_EQ(page.statusLine, f.page.statusLine);
      EXPECT_EQ(page.newCookies, f.page.newCookies);
      // Without a status line nothing counts as an answer: no header block,
      // and the caller's location stays as it was.
      if (f.page.statusLine.empty()) {
        EXPECT_FALSE(page.headerBlock);
        EXPECT_TRUE(page.locationKept);
      }
    }
  }
}

// A server that stalls, before its status line or part way through the
// body, and stays: each fetch gives up by itself after the receive time-out,
// the page request with the bytes that came before the stall, the picture
// fetch with nothing. The four calls wait at the same time, so the test
// lasts one time-out.
TEST(FetchFaults, AStalledServerIsGivenUpOnAfterTheTimeOut) {
  const std::string body(200 * 1024, 'b');
  const std::string whole = HttpReply(200, {}, body);
  const std::size_t headerLength = whole.size() - body.size();
  struct Stall {
    const char* what;
    std::size_t after;       // bytes of the reply sent before the stall
    std::string pageUpTo;    // the most the page request may give
    bool picture;
    ScriptedListener* server = nullptr;
    std::string got;
    bool headerBlock = false;
    double seconds = 0;
  };
  std::vector<Stall> stalls;
  for (const bool picture : {false, true}) {
    stalls.push_back({"stall before the status line", 0, "", picture});
    stalls.push_back({"stall mid-body", headerLength + 1000, body.substr(0, 1000), picture});
  }
  std::vector<std::unique_ptr<ScriptedListener>> servers;
  for (Stall& stall : stalls) {
    servers.push_back(std::make_unique<ScriptedListener>(
        std::vector<Reply>{{whole, Misbehaviour::StallAfter, stall.after}}));
    stall.server = servers.back().get();
  }
  std::vector<std::thread> calls;
  for (Stall& stall : stalls) {
    calls.emplace_back([&stall] {
      const double start = testing::NowMs();
      if (stall.picture) {
        stall.got = AsString(FetchUrlBytes(Text(stall.server->Url("/p"))));
      } else {
        const PageSeen page = RequestPage(stall.server->Url("/p"));
        stall.got = page.body;
        stall.headerBlock = page.headerBlock;
      }
      stall.seconds = (testing::NowMs() - start) / 1000;
    });
  }
  for (std::thread& call : calls) call.join();

  const double limit = kReceiveTimeoutMs / 1000.0;
  for (const Stall& stall : stalls) {
    SCOPED_TRACE(stall.what);
    SCOPED_TRACE(stall.picture ? "picture fetch" : "page request");
    EXPECT_EQ(stall.server->RequestCount(), 1);
    EXPECT_GE(stall.seconds, limit - 1) << "ended before the time-out";
    EXPECT_LT(stall.seconds, limit + 15) << "waited well past the time-out";
    if (stall.picture) {
      EXPECT_EQ(stall.got.size(), 0u);
      continue;
    }
    EXPECT_LE(stall.got.size(), stall.pageUpTo.size());
    EXPECT_TRUE(stall.pageUpTo.compare(0, stall.got.size(), stall.got) == 0)
        << "not the bytes that were sent";
    EXPECT_EQ(stall.headerBlock, stall.after > 0) << "a header block only when one was sent";
  }
}

}  // namespace
}  // namespace orvalin
