#include "web/request_logic.h"

#include <gtest/gtest.h>

#include <string>

namespace orvalin {
namespace {

const char kAddress[] = "https://detail.1688.com/offer/1.html";
const char kDefaults[] =
    "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded";

TEST(CompleteHeaders, Table) {
  const std::string referer = std::string("Referer: ") + kAddress;
  struct Case {
    const char* what;
    const char* headers;
    const char* cookies;
    std::string expected;
  } cases[] = {
      {"nothing given", "", "", referer + kDefaults},
      {"own Accept line", "User-Agent: X\r\nAccept: text/html", "",
       "User-Agent: X\r\nAccept: text/html\r\n" + referer +
           "\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded"},
      {"a lower-case referer does not count", "referer: r", "",
       "referer: r\r\n" + referer + kDefaults},
      {"a longer name ending the same counts", "X-Content-Type: y", "",
       "X-Content-Type: y\r\n" + referer + "\r\nAccept: */*\r\nAccept-Language: zh-cn"},
      {"Accept-Language is no Accept line", "Accept-Language: en", "",
       "Accept-Language: en\r\n" + referer +
           "\r\nAccept: */*\r\nContent-Type: application/x-www-form-urlencoded"},
      {"cookies go last", "", "a=1; b=2", referer + kDefaults + "\r\nCookie: a=1; b=2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CompleteHeaders(c.headers, kAddress, c.cookies).View(), c.expected);
  }
}

TEST(RequestAgent, Table) {
  struct Case {
    const char* headers;
    const char* expected;  // null: no agent at all
  } cases[] = {
      {"", kDefaultUserAgent},
      {"Accept: */*", kDefaultUserAgent},
      {"User-Agent: X", "X"},  // no CRLF after it: the text after the first ":"
      {"User-Agent: X\r\nAccept: text/html", "X"},
      {"Accept: a\r\nuser-agent:  Y \r\n", "Y"},  // the name's case is ignored
      {"User-Agent:", nullptr},
      {"User-Agent:   \r\nAccept: a", "\r\nAccept: a"},  // CR and LF are no blanks
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.headers);
    const Text agent = RequestAgent(c.headers);
    if (c.expected == nullptr) {
      EXPECT_EQ(TextLength(agent), 0);
    } else {
      EXPECT_EQ(agent.View(), c.expected);
    }
  }
}

TEST(RequestFlags, Table) {
  using namespace request_flags;
  const std::uint32_t base = kReload | kNeedFile;
  struct Case {
    const char* address;
    bool cookiesSupplied, noRedirect;
    std::uint32_t expected;
  } cases[] = {
      {"https://a/", false, false, base | kSecure},
      {"HTTPS://a/", false, false, base | kSecure},
      {"http://a/", false, false, base | kIgnoreRedirectToHttps},
      {"a.b/https", false, false, base | kIgnoreRedirectToHttps},
      {"http://a/", true, false, base | kIgnoreRedirectToHttps | kNoCookies},
      {"https://a/", true, true, base | kSecure | kNoCookies | kNoAutoRedirect},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(RequestFlags(c.address, c.cookiesSupplied, c.noRedirect), c.expected);
  }
  EXPECT_EQ(RequestVerb(1).View(), "POST");
  for (int method : {0, 2, -1}) EXPECT_EQ(RequestVerb(method).View(), "GET");
}

TEST(HeaderValue, Table) {
  EXPECT_EQ(HeaderValue("Location: http://a:81/x ").View(), "http://a:81/x");
  EXPECT_EQ(HeaderValue("Location:").View(), "");
  EXPECT_EQ(HeaderValue("no colon").View(), "");
  EXPECT_EQ(HeaderValue("A:\xA1\xA1v\xA1\xA1").View(), "v");
}

TEST(ApplyResponseHeaders, Table) {
  struct Case {
    const char* what;
    std::string raw;
    const char* locationBefore;
    const char* cookiesBefore;  // null: the caller keeps no cookie string
    std::string location, newCookies, cookies;
  } cases[] = {
      {"two cookies", "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2; HttpOnly\r\n\r\n",
       "", nullptr, "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2; HttpOnly\r\n\r\n",
       "a=1; b=2", ""},
      {"merged into a kept string", "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2; x",
       "x", "", "x", "a=1;b=2", "a=1; b=2"},
      {"merge replaces by name", "HTTP/1.1 200 OK\r\nSet-Cookie: a=9; path=/", "x", "a=1; c=3", "x",
       "a=9", "a=9; c=3"},
      {"a value without ';' is kept", "HTTP/1.1 200 OK\r\nSet-Cookie: a=1", "x", nullptr, "x", "a=1",
       ""},
      {"no value, no item", "HTTP/1.1 200 OK\r\nSet-Cookie: ; path=/\r\nSet-Cookie2 b=1\r\nSet-Cookie: c=3;",
       "x", nullptr, "x", "c=3", ""},
      {"a deleted cookie leaves the kept string", "HTTP/1.1 200 OK\r\nSet-Cookie: a=deleted; path=/",
       "x", "a=1; b=2", "x", "a=deleted", "b=2"},
      {"the last Location-like line wins",
       "HTTP/1.1 302 Found\r\nLocation: /first\r\nContent-Location:  /second \r\n", "old", nullptr,
       "/second", "", ""},
      {"no headers at all leave location alone", "", "", nullptr, "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Text location(c.locationBefore), newCookies("stale");
    Text cookies(c.cookiesBefore);
    ApplyResponseHeaders(Text(c.raw), location, newCookies, c.cookiesBefore ? &cookies : nullptr);
    EXPECT_EQ(location.View(), c.location);
    EXPECT_EQ(newCookies.View(), c.newCookies);
    if (c.cookiesBefore) {
      EXPECT_EQ(cookies.View(), c.cookies);
    }
  }
}

TEST(AppendBodyBlock, GrowsUntilTheLimitThenKeepsWhatFits) {
  Bytes body;
  const char block[] = "abcdef";
  EXPECT_TRUE(AppendBodyBlock(body, block, 4, 10));
  EXPECT_TRUE(AppendBodyBlock(body, block, 4, 10));
  EXPECT_FALSE(AppendBodyBlock(body, block, 4, 10));
  EXPECT_EQ(body, (Bytes{'a', 'b', 'c', 'd', 'a', 'b', 'c', 'd', 'a', 'b'}));
  EXPECT_FALSE(AppendBodyBlock(body, block, 1, 10));
  EXPECT_EQ(body.size(), 10u);
}

}  // namespace
}  // namespace orvalin
