// The web page request against real loopback servers, over HTTP and HTTPS.
#include "web/web_request.h"

#include <gtest/gtest.h>

#include <string>

#include "script_server.h"
#include "web/request_logic.h"

namespace orvalin {
namespace {

using testing::FirstRequestLine;
using testing::HttpReply;
using testing::Misbehaviour;
using testing::Reply;
using testing::ScriptedListener;
using testing::Sent;
using testing::Tls;

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

const char kDefaultLines[] =
    "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded";

TEST(WebRequest, SendsTheDefaultHeadersAndReturnsTheBody) {
  ScriptedListener server({{HttpReply(200, {}, "hello")}});
  const std::string address = server.Url("/offer/1.html?x=Y");
  Text headers;
  const Bytes body = WebRequest(Text(address), {.headers = &headers});
  EXPECT_EQ(AsString(body), "hello");
  EXPECT_EQ(headers.View(), "Referer: " + address + kDefaultLines);
  EXPECT_EQ(FirstRequestLine(server), "GET /offer/1.html?x=Y HTTP/1.1");
  EXPECT_TRUE(Sent(server, std::string("\r\n") + headers.Data() + "\r\n"));
  EXPECT_TRUE(Sent(server, std::string("\r\nUser-Agent: ") + kDefaultUserAgent + "\r\n"));
  EXPECT_EQ(server.RequestCount(), 1);
}

TEST(WebRequest, TakesTheAgentFromTheCallersHeaders) {
  ScriptedListener server({{HttpReply(200, {}, "")}});
  Text headers("User-Agent: X\r\nAccept: text/html");
  WebRequest(Text(server.Url("/")), {.headers = &headers});
  EXPECT_TRUE(Sent(server, "\r\nUser-Agent: X\r\n"));
  EXPECT_TRUE(Sent(server, "\r\nAccept: text/html\r\nReferer: "));
  EXPECT_FALSE(Sent(server, "Accept: */*"));
  EXPECT_FALSE(Sent(server, "MSIE"));
}

TEST(WebRequest, VerbsAndBodies) {
  struct Case {
    const char* what;
    int method;
    const char* postText;
    Bytes postBytes;
    std::string requestLine, body;
    Bytes postBytesAfter;
  } cases[] = {
      {"POST from text", 1, "a=1&b=2", {}, "POST / HTTP/1.1", "a=1&b=2",
       {'a', '=', '1', '&', 'b', '=', '2'}},
      {"POST from bytes, text ignored", 1, "ignored", {'x', 0, 'y'}, "POST / HTTP/1.1",
       std::string("x\0y", 3), {'x', 0, 'y'}},
      {"method 2 is a GET with a body", 2, "q=1", {}, "GET / HTTP/1.1", "q=1", {'q', '=', '1'}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedListener server({{HttpReply(200, {}, "ok")}});
    Bytes postBytes = c.postBytes;
    const Bytes body = WebRequest(Text(server.Url("/")), {.method = c.method,
                                                          .postText = c.postText,
                                                          .postBytes = &postBytes});
    EXPECT_EQ(AsString(body), "ok");
    EXPECT_EQ(FirstRequestLine(server), c.requestLine);
    const std::string requests = server.Requests();
    EXPECT_EQ(requests.substr(requests.find("\r\n\r\n") + 4), c.body);
    EXPECT_EQ(postBytes, c.postBytesAfter);
  }
}

TEST(WebRequest, GetSendsNoBody) {
  ScriptedListener server({{HttpReply(200, {}, "")}});
  WebRequest(Text(server.Url("/")), {.postText = "not sent"});
  EXPECT_FALSE(Sent(server, "not sent"));
}

TEST(WebRequest, CookiesAreSentAndMerged) {
  ScriptedListener server(
      {{HttpReply(200, {"Set-Cookie: b=3; path=/", "Set-Cookie: c=4; HttpOnly"}, "")}});
  Text cookies("a=1; b=2"), newCookies, rawHeaders;
  WebRequest(Text(server.Url("/")),
             {.cookies = &cookies, .newCookies = &newCookies, .rawHeaders = &rawHeaders});
  EXPECT_TRUE(Sent(server, "\r\nCookie: a=1; b=2\r\n"));
  EXPECT_EQ(cookies.View(), "b=3; c=4; a=1");
  EXPECT_EQ(newCookies.View(), "b=3;c=4");
  EXPECT_NE(rawHeaders.View().find("HTTP/1.1 200"), std::string_view::npos);
  EXPECT_NE(rawHeaders.View().find("\r\nSet-Cookie: c=4; HttpOnly\r\n"), std::string_view::npos);
}

// Given a cookie string (even an empty one), the request leaves WinINet's own
// cookie store alone; left out, WinINet sends what it stored.
TEST(WebRequest, ASuppliedCookieStringSwitchesOffTheClientsOwnCookies) {
  ScriptedListener server({{HttpReply(200, {"Set-Cookie: jar=1; path=/"}, "")}});
  const Text address(server.Url("/"));
  Text newCookies;
  WebRequest(address, {.newCookies = &newCookies});
  EXPECT_EQ(newCookies.View(), "jar=1");
  Text cookies("");
  WebRequest(address, {.cookies = &cookies});
  EXPECT_EQ(cookies.View(), "jar=1");
  WebRequest(address);
  ASSERT_EQ(server.RequestCount(), 3);
  const std::string requests = server.Requests();
  const std::size_t second = requests.find("GET", 1), third = requests.find("GET", second + 1);
  EXPECT_EQ(requests.substr(0, third).find("Cookie:"), std::string::npos);
  EXPECT_NE(requests.find("Cookie: jar=1", third), std::string::npos);
}

TEST(WebRequest, RedirectsFollowedOrReturned) {
  const std::string redirect = HttpReply(302, {"Location: /next"}, "moved");
  {
    ScriptedListener server({{redirect}, {HttpReply(200, {}, "arrived")}});
    Text location("old");
    const Bytes body = WebRequest(Text(server.Url("/")), {.location = &location, .noRedirect = true});
    EXPECT_EQ(AsString(body), "moved");
    EXPECT_EQ(location.View(), "/next");
    EXPECT_EQ(server.RequestCount(), 1);
  }
  {
    ScriptedListener server({{redirect}, {HttpReply(200, {}, "arrived")}});
    Text location;
    const Bytes body = WebRequest(Text(server.Url("/")), {.location = &location});
    EXPECT_EQ(AsString(body), "arrived");
    EXPECT_EQ(server.RequestCount(), 2);
    EXPECT_NE(location.View().find("HTTP/1.1 200"), std::string_view::npos);  // no Location line
  }
}

TEST(WebRequest, ReadsAHeaderBlockOfAnyLength) {
  std::vector<std::string> lines;
  for (int i = 0; i < 200; ++i) lines.push_back("X-Filler-" + std::to_string(i) + ": " + std::string(40, 'v'));
  lines.push_back("Set-Cookie: last=1; path=/");
  ScriptedListener server({{HttpReply(200, lines, "body")}});
  Text rawHeaders, newCookies;
  const Bytes body =
      WebRequest(Text(server.Url("/")), {.newCookies = &newCookies, .rawHeaders = &rawHeaders});
  EXPECT_EQ(AsString(body), "body");
  EXPECT_GT(TextLength(rawHeaders), 5000);
  EXPECT_EQ(newCookies.View(), "last=1");
}

TEST(WebRequest, GoesThroughAGivenProxy) {
  ScriptedListener proxy({{HttpReply(200, {}, "via proxy")}});
  const Text proxyAddress(("localhost:" + std::to_string(proxy.Port())).c_str());
  const Bytes body = WebRequest("http://target.invalid/x?y=1", {.proxy = &proxyAddress});
  EXPECT_EQ(AsString(body), "via proxy");
  // The absolute address reaches the proxy; Wine's client writes the default
  // port into it, Windows' does not.
  const std::string line = FirstRequestLine(proxy);
  EXPECT_TRUE(line == "GET http://target.invalid/x?y=1 HTTP/1.1" ||
              line == "GET http://target.invalid:80/x?y=1 HTTP/1.1")
      << line;
}

TEST(WebRequest, HttpsWithTheTestAuthority) {
  ScriptedListener server({{HttpReply(200, {}, "secure")}}, Tls::Localhost);
  EXPECT_EQ(AsString(WebRequest(Text(server.Url("/s")))), "secure");
  EXPECT_EQ(FirstRequestLine(server), "GET /s HTTP/1.1");
}

// A connection that fails happens inside sending, after the request handle
// was made: the outputs then say "nothing came back" (no header block, no
// cookies) and keep the location and cookie string. A port that does not fit
// ends the call before any handle, so nothing is touched at all.
TEST(WebRequest, FailuresGiveAnEmptyBody) {
  ScriptedListener wrongName({{HttpReply(200, {}, "should not arrive")}}, Tls::OtherName);
  ScriptedListener unknownAuthority({{HttpReply(200, {}, "should not arrive")}}, Tls::UnknownCa);
  struct Case {
    std::string address;
    bool requestMade;
  } cases[] = {
      {"http://localhost:" + std::to_string(testing::UnusedPort()) + "/", true},
      {"http://nonexistent.invalid/", true},
      {wrongName.Url("/"), true},
      {unknownAuthority.Url("/"), true},
      {"http://localhost:70000/", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    Text location("kept"), cookies("a=1"), newCookies("stale"), rawHeaders("stale");
    const Bytes body = WebRequest(Text(c.address), {.cookies = &cookies,
                                                    .newCookies = &newCookies,
                                                    .location = &location,
                                                    .rawHeaders = &rawHeaders});
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(location.View(), "kept");
    EXPECT_EQ(cookies.View(), "a=1");
    EXPECT_EQ(newCookies.View(), c.requestMade ? "" : "stale");
    EXPECT_EQ(rawHeaders.View(), c.requestMade ? "" : "stale");
    EXPECT_TRUE(FetchPageText(Text(c.address)).IsAbsent());
  }
  EXPECT_EQ(wrongName.RequestCount(), 0);
  EXPECT_EQ(unknownAuthority.RequestCount(), 0);
}

TEST(FetchPageText, EndsAtTheFirstZeroByte) {
  ScriptedListener server({{HttpReply(200, {}, std::string("page\0rest", 9))}});
  EXPECT_EQ(FetchPageText(Text(server.Url("/"))).View(), "page");
}

TEST(FetchPageText, ReturnsTheBodyOfAnyStatus) {
  ScriptedListener server({{HttpReply(404, {}, "<html>not here</html>")}});
  EXPECT_EQ(FetchPageText(Text(server.Url("/"))).View(), "<html>not here</html>");
}

}  // namespace
}  // namespace orvalin
