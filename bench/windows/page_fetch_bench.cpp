// The page request against a bare WinINet loop, under Wine, on loopback:
// a 4 MB page fetched through FetchPageText and through the shortest call
// sequence that does the same work (open, connect, open the request, send,
// read in the same 1024-byte blocks, close), best of several rounds each.
// scripts/bench-windows.sh runs it with the loopback script server.
#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "script_server.h"
#include "stopwatch.h"
#include "web/internet_handle.h"
#include "web/web_request.h"

namespace {

using orvalin::InternetHandle;

constexpr std::size_t kPageSize = 4 * 1024 * 1024;
constexpr int kRounds = 9;

double Seconds() { return orvalin::testing::NowMs() / 1000.0; }

std::size_t BareFetch(int port) {
  const InternetHandle internet(InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  const InternetHandle connection(InternetConnectA(internet.Get(), "localhost",
                                                   static_cast<INTERNET_PORT>(port), nullptr,
                                                   nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  const InternetHandle request(HttpOpenRequestA(connection.Get(), "GET", "/page.html", "HTTP/1.1",
                                                nullptr, nullptr,
                                                INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE, 0));
  HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0);
  std::string body;
  char block[1024];
  DWORD got = 0;
  while (InternetReadFile(request.Get(), block, sizeof block, &got) && got > 0) body.append(block, got);
  return body.size();
}

template <typename Fetch>
double Best(Fetch fetch) {
  double best = 1e9;
  for (int round = 0; round < kRounds; ++round) {
    const double start = Seconds();
    const std::size_t size = fetch();
    const double took = Seconds() - start;
    if (size != kPageSize) {
      std::printf("fetched %zu bytes instead of %zu\n", size, kPageSize);
      std::exit(1);
    }
    best = std::min(best, took);
  }
  return best;
}

}  // namespace

int main() {
  using orvalin::testing::HttpReply;
  const std::string page(kPageSize, 'x');
  orvalin::testing::ScriptedListener server({{HttpReply(200, {"Content-Type: text/html"}, page)}});
  const orvalin::Text address(server.Url("/page.html"));
  const double bare = Best([&] { return BareFetch(server.Port()); });
  const double fetched = Best([&] { return orvalin::FetchPageText(address).Size(); });
  std::printf("RESULT page 4MB: FetchPageText %.3f s, bare WinINet loop %.3f s, ratio %.2f\n",
              fetched, bare, fetched / bare);
  return 0;
}
