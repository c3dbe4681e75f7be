// The picture fetch against loopback servers that answer from a script, over
// HTTP and HTTPS (the test CA is trusted in the test prefix).
#include "app/picture_fetch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/shared_internet.h"
#include "script_server.h"

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

// Bytes of every value, zeros included, in an order fixed by the seed; larger
// than one read block, so the body arrives in several reads.
std::string PictureBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
  return bytes;
}

TEST(FetchUrlBytes, ReturnsThePictureByteForByte) {
  const std::string picture = PictureBytes(700 * 1024, 1);
  for (const Tls tls : {Tls::None, Tls::Localhost}) {
    SCOPED_TRACE(tls == Tls::None ? "http" : "https");
    ScriptedListener server({{HttpReply(200, {"Content-Type: image/jpeg"}, picture)}}, tls);
    const Bytes body = FetchUrlBytes(Text(server.Url("/img/ibank/O1CN01.jpg?x=1")));
    EXPECT_TRUE(AsString(body) == picture) << "got " << body.size() << " bytes";
    EXPECT_EQ(FirstRequestLine(server), "GET /img/ibank/O1CN01.jpg?x=1 HTTP/1.0");
    EXPECT_TRUE(Sent(server, "\r\nAccept: */*\r\n"));
    EXPECT_TRUE(Sent(server, "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"));
    EXPECT_FALSE(Sent(server, "Referer"));
    EXPECT_EQ(server.RequestCount(), 1);
  }
}

TEST(FetchUrlBytes, ReturnsTheBodyOfAnErrorStatus) {
  const std::string page = "<html><body>404 Not Found</body></html>";
  ScriptedListener server({{HttpReply(404, {"Content-Type: text/html"}, page)}});
  EXPECT_EQ(AsString(FetchUrlBytes(Text(server.Url("/missing.jpg")))), page);
}

TEST(FetchUrlBytes, SendsNothingForAddressesItCannotUse) {
  ScriptedListener server({{HttpReply(200, {}, "picture")}});
  const std::string hostAndPort = "localhost:" + std::to_string(server.Port());
  const std::string addresses[] = {
      "",
      "127.0.0.1:" + std::to_string(server.Port()) + "/a.jpg",
      hostAndPort + "/a.jpg",
      "ftp://" + hostAndPort + "/a.jpg",
      // A port that does not fit 16 bits must not wrap around to the server's.
      "http://localhost:" + std::to_string(server.Port() + 65536) + "/a.jpg",
  };
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    EXPECT_TRUE(FetchUrlBytes(Text(address)).empty());
  }
  EXPECT_EQ(server.RequestCount(), 0);
}

TEST(FetchUrlBytes, SendsNothingFromTheFirstHashOn) {
  ScriptedListener server({{HttpReply(200, {}, "picture")}});
  const Bytes body = FetchUrlBytes(Text(server.Url("/a.jpg?size=2#frag/b.jpg?y#z")));
  EXPECT_EQ(AsString(body), "picture");
  EXPECT_EQ(FirstRequestLine(server), "GET /a.jpg?size=2 HTTP/1.0");
  EXPECT_FALSE(Sent(server, "frag"));
}

TEST(FetchUrlBytes, SendsTheCredentialsOfTheAddress) {
  ScriptedListener server({{HttpReply(401, {"WWW-Authenticate: Basic realm=\"pictures\""}, "no")},
                           {HttpReply(200, {}, "picture")}});
  const std::string url = server.Url("/a.jpg");
  const std::string withCredentials = url.substr(0, url.find("//") + 2) + "user:pw@" +
                                      url.substr(url.find("//") + 2);
  EXPECT_EQ(AsString(FetchUrlBytes(Text(withCredentials))), "picture");
  EXPECT_TRUE(Sent(server, "\r\nAuthorization: Basic dXNlcjpwdw==\r\n"));  // user:pw
}

// A body that ends before it is complete is a failed fetch, never a
// shortened picture. Without Content-Length the end of the connection is the
// end of the body. (A reset in mid-body without Content-Length is left out:
// Wine's WinINet reports it now as a failed read, now as the body's end.)
TEST(FetchUrlBytes, ReturnsOnlyCompleteBodies) {
  // Past 1 MB, so that a body without Content-Length also gets to the large reads.
  const std::string body = PictureBytes(1536 * 1024, 2);
  const std::string whole = HttpReply(200, {}, body);
  const std::size_t headerLength = whole.size() - body.size();
  const std::string unannounced = "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n\r\n" + body;
  struct Case {
    const char* what;
    std::string reply;
    Misbehaviour misbehaviour;
    std::size_t after;
    std::string expected;
    Tls tls = Tls::None;
  } cases[] = {
      {"reset in mid-body", whole, Misbehaviour::ResetAfter, headerLength + 300 * 1024, ""},
      {"closed before Content-Length", whole, Misbehaviour::CloseAfter, headerLength + 300 * 1024,
       ""},
      {"closed right after the headers", whole, Misbehaviour::CloseAfter, headerLength, ""},
      // Wine reports a TLS stream cut off without close_notify as its end, so
      // only the announced length shows that the body is incomplete.
      {"https closed before Content-Length", whole, Misbehaviour::CloseAfter,
       headerLength + 300 * 1024, "", Tls::Localhost},
      {"no Content-Length, ended by the close", unannounced, Misbehaviour::None, 0, body},
      {"0-byte body", HttpReply(200, {}, ""), Misbehaviour::None, 0, ""},
      {"closed without an answer", "", Misbehaviour::CloseAfter, 0, ""},
      {"chunked, Content-Length ignored",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Length: 999\r\n"
       "Connection: close\r\n\r\n5\r\nhello\r\n0\r\n\r\n",
       Misbehaviour::None, 0, "hello"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedListener server({{c.reply, c.misbehaviour, c.after}}, c.tls);
    const Bytes got = FetchUrlBytes(Text(server.Url("/a.jpg")));
    EXPECT_TRUE(AsString(got) == c.expected)
        << "got " << got.size() << " bytes, expected " << c.expected.size();
    EXPECT_EQ(server.RequestCount(), 1);
  }
}

TEST(FetchUrlBytes, GivesNothingWhenNoAnswerCanBeHad) {
  ScriptedListener untrusted({{HttpReply(200, {}, "picture")}}, Tls::UnknownCa);
  ScriptedListener wrongName({{HttpReply(200, {}, "picture")}}, Tls::OtherName);
  const std::string addresses[] = {
      "http://localhost:" + std::to_string(testing::UnusedPort()) + "/a.jpg",
      untrusted.Url("/a.jpg"),
      wrongName.Url("/a.jpg"),
  };
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    EXPECT_TRUE(FetchUrlBytes(Text(address)).empty());
  }
}

// Counts the openings of the shared handle; the pause widens the window in
// which concurrent first calls meet.
std::atomic<int> sessionOpenings{0};
HINTERNET CountedSlowOpen() {
  ++sessionOpenings;
  Sleep(100);
  return OpenPictureSession();
}

TEST(FetchUrlBytes, ThreadsShareOneHandleAndGetTheirOwnBodies) {
  constexpr int kThreads = 8;
  sessionOpenings = 0;
  SharedInternet internet(CountedSlowOpen);
  std::vector<std::string> pictures;
  std::vector<std::unique_ptr<ScriptedListener>> servers;
  for (int i = 0; i < kThreads; ++i) {
    pictures.push_back(PictureBytes(300 * 1024 + i, 10 + i));
    servers.push_back(std::make_unique<ScriptedListener>(
        std::vector<Reply>{{HttpReply(200, {}, pictures[i])}}, i % 2 ? Tls::Localhost : Tls::None));
  }
  std::vector<Bytes> bodies(kThreads);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      const Text address(servers[i]->Url("/a.jpg"));
      ++ready;
      while (ready < kThreads) std::this_thread::yield();
      bodies[i] = FetchUrlBytes(address, internet);
    });
  }
  for (std::thread& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(AsString(bodies[i]) == pictures[i]) << "got " << bodies[i].size() << " bytes";
    EXPECT_EQ(servers[i]->RequestCount(), 1);
  }
  EXPECT_EQ(sessionOpenings, 1);
}

TEST(FetchUrlBytes, SendsNothingOnceTheSharedHandleIsClosed) {
  ScriptedListener server({{HttpReply(200, {}, "picture")}});
  const Text address(server.Url("/a.jpg"));
  SharedInternet internet;
  EXPECT_EQ(AsString(FetchUrlBytes(address, internet)), "picture");
  internet.Close();
  EXPECT_TRUE(FetchUrlBytes(address, internet).empty());
  EXPECT_EQ(server.RequestCount(), 1);
}

}  // namespace
}  // namespace orvalin
