#include "web/url.h"

#include <gtest/gtest.h>

#include <string>

namespace orvalin {
namespace {

// Host, port and path of one address as one string: "host | port | path".
std::string Decompose(const char* address) {
  return std::string(UrlHost(address).View()) + " | " + std::to_string(UrlPort(address)) + " | " +
         std::string(UrlPath(address).View());
}

TEST(UrlDecomposition, Table) {
  struct Case {
    const char* address;
    const char* expected;
  } cases[] = {
      {"HTTPS://A.B.C/x/Y?z=1", "a.b.c | 443 | /x/Y?z=1"},
      {"a.b.c", "a.b.c | 80 | /"},
      {"http://a.b.c:8080/p", "a.b.c | 8080 | /p"},
      {"https://a.b.c:8443", "a.b.c | 8443 | /"},
      {"https://detail.1688.com/offer/603454384329.html",
       "detail.1688.com | 443 | /offer/603454384329.html"},
      {"ftp://a.b/http://c.d/e", "c.d | 80 | /e"},  // the first "http://" anywhere decides
      {"http://a.b:x/", "a.b | 0 | /"},             // a port without digits is 0
      {"", " | 80 | /"},
      {"/", " | 80 | /"},
      {"Https:/a.b/c", "https | 0 | /a.b/c"},  // no scheme seen: "http://" goes in front
      {"https://a.b/c#frag?q", "a.b | 443 | /c#frag?q"},
      {"http://a.b?q=/x", "a.b?q= | 80 | /x"},
      {"http://User:Pw@a.b:81/", "user | 81 | /"},  // the port follows the last ":"
      {"http://a.b:99999/", "a.b | 99999 | /"},
      {"localhost:8080/p", "localhost | 8080 | /p"},
      {"\xB0/http://a.b/c", "a.b | 80 | /c"},  // B0 2F is one character, not a "/"
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(Decompose(c.address), c.expected);
  }
}

TEST(UrlHost, Options) {
  struct Case {
    const char* address;
    bool lastTwoLabels, keepPort;
    const char* expected;
  } cases[] = {
      {"http://a.b.c:8080/p", false, true, "a.b.c:8080"},
      {"http://x.a.b:81/", true, false, "a.b"},
      {"http://x.a.b:81/", true, true, "a.b:81"},
      {"http://localhost:81/", true, true, "localhost:81"},  // no "." is no change
      {"http://a.b./", true, false, "a.b"},  // a "." at the end adds no label
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(UrlHost(c.address, c.lastTwoLabels, c.keepPort).View(), c.expected);
  }
}

}  // namespace
}  // namespace orvalin
