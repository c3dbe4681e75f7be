// The picture fetch against a bare WinINet loop, under Wine, on loopback.
// scripts/bench-windows.sh runs the three modes in order:
//
//   picture_fetch_bench serve
//       makes the listeners (one 200 KB, one 50 MB and one 100 MB picture,
//       each answering every request alike), prints "URL <name> <address>"
//       per listener, and keeps them until its standard input closes.
//   picture_fetch_bench compare <200 KB address> <50 MB address>
//       times 50 fetches of the first and one of the second, through
//       FetchUrlBytes and through a bare loop at several block sizes, best of
//       7 rounds each, and prints the ratio to the best bare loop.
//   picture_fetch_bench peak <address>
//       fetches once (the 100 MB picture) and prints the peak memory the
//       fetch added against the picture's size.
#include <windows.h>
#include <psapi.h>
#include <wininet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/picture_fetch.h"
#include "script_server.h"
#include "stopwatch.h"
#include "web/internet_handle.h"

namespace {

using orvalin::Bytes;
using orvalin::InternetHandle;
using orvalin::Text;

constexpr std::size_t kSmall = 200 * 1024;
constexpr std::size_t kLarge = 50 * 1024 * 1024;
constexpr std::size_t kHuge = 100 * 1024 * 1024;  // served for the peak mode
constexpr int kSmallCount = 50;
constexpr int kRounds = 7;
constexpr DWORD kBareBlocks[] = {64 * 1024, 256 * 1024, 1024 * 1024};

double Seconds() { return orvalin::testing::NowMs() / 1000.0; }

int Serve() {
  using orvalin::testing::HttpReply;
  using orvalin::testing::ScriptedListener;
  const struct {
    const char* name;
    std::size_t size;
  } pictures[] = {{"small", kSmall}, {"large", kLarge}, {"huge", kHuge}};
  std::vector<std::unique_ptr<ScriptedListener>> listeners;
  for (const auto& picture : pictures) {
    const std::string body(picture.size, 'p');
    listeners.push_back(std::make_unique<ScriptedListener>(
        std::vector<orvalin::testing::Reply>{{HttpReply(200, {"Content-Type: image/jpeg"}, body)}}));
    std::printf("URL %s %s\n", picture.name, listeners.back()->Url("/picture.jpg").c_str());
  }
  std::fflush(stdout);
  char ignored[256];
  DWORD got = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), ignored, sizeof ignored, &got, nullptr) && got > 0) {
  }
  return 0;
}

// The shortest loop WinINet allows for the same request: one session for all
// fetches, as the picture fetch keeps one, and per fetch connect, open, send
// and read into a buffer sized by Content-Length.
class BareFetch {
 public:
  explicit BareFetch(DWORD block)
      : block_(block),
        session_(InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0)) {}

  Bytes Fetch(const char* address) {
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = 1;
    if (!InternetCrackUrlA(address, 0, 0, &parts)) return Bytes();
    const std::string host(parts.lpszHostName, parts.dwHostNameLength);
    const std::string path(parts.lpszUrlPath, parts.dwUrlPathLength);
    const InternetHandle connection(InternetConnectA(session_.Get(), host.c_str(), parts.nPort,
                                                     nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    const char* accept[] = {"*/*", nullptr};
    const InternetHandle request(HttpOpenRequestA(connection.Get(), "GET", path.c_str(), "HTTP/1.0",
                                                  nullptr, accept,
                                                  INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0));
    if (!HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) return Bytes();
    Bytes body;
    DWORD announced = 0;
    DWORD size = sizeof announced;
    if (HttpQueryInfoA(request.Get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &announced,
                       &size, nullptr)) {
      body.reserve(announced);
    }
    const std::unique_ptr<unsigned char[]> block = std::make_unique_for_overwrite<unsigned char[]>(block_);
    DWORD got = 0;
    while (InternetReadFile(request.Get(), block.get(), block_, &got) && got > 0) {
      body.insert(body.end(), block.get(), block.get() + got);
    }
    return body;
  }

 private:
  DWORD block_;
  InternetHandle session_;
};

// Seconds for `count` fetches; negative when a fetch gave the wrong size.
template <typename FetchOne>
double TimeOf(int count, std::size_t size, FetchOne fetch) {
  const double start = Seconds();
  for (int i = 0; i < count; ++i) {
    if (fetch().size() != size) return -1;
  }
  return Seconds() - start;
}

double Best(double best, double seconds) { return seconds >= 0 && seconds < best ? seconds : best; }

// Best of kRounds for FetchUrlBytes and for the bare loop at each block size.
// The methods take turns within each round, and the one that goes first
// changes from round to round, so that drift in the machine's speed and the
// cost of going first hit all alike.
void CompareOne(const char* what, const char* address, int count, std::size_t size) {
  const Text picture(address);
  orvalin::FetchUrlBytes(picture);  // opens the shared handle outside the timing
  std::vector<BareFetch> bares(std::begin(kBareBlocks), std::end(kBareBlocks));
  double fetchBest = 1e9;
  std::vector<double> bareBest(bares.size(), 1e9);
  const std::size_t methods = bares.size() + 1;
  for (int round = 0; round < kRounds; ++round) {
    for (std::size_t turn = 0; turn < methods; ++turn) {
      const std::size_t m = (turn + round) % methods;  // each method leads some rounds
      if (m == bares.size()) {
        fetchBest = Best(fetchBest, TimeOf(count, size, [&] { return orvalin::FetchUrlBytes(picture); }));
      } else {
        bareBest[m] = Best(bareBest[m], TimeOf(count, size, [&] { return bares[m].Fetch(address); }));
      }
    }
  }
  std::size_t bestBare = 0;
  for (std::size_t b = 0; b < bares.size(); ++b) {
    std::printf("  bare loop, %4lu KB reads: %.3f s\n", kBareBlocks[b] / 1024, bareBest[b]);
    if (bareBest[b] < bareBest[bestBare]) bestBare = b;
  }
  std::printf("  FetchUrlBytes:            %.3f s\n", fetchBest);
  std::printf("RESULT %s FetchUrlBytes %.3f s, best bare loop (%lu KB reads) %.3f s, ratio %.2fx\n",
              what, fetchBest, kBareBlocks[bestBare] / 1024, bareBest[bestBare],
              fetchBest / bareBest[bestBare]);
}

int Compare(const char* small, const char* large) {
  std::printf("%d x 200 KB:\n", kSmallCount);
  CompareOne("50x200KB", small, kSmallCount, kSmall);
  std::printf("1 x 50 MB:\n");
  CompareOne("1x50MB", large, 1, kLarge);
  return 0;
}

PROCESS_MEMORY_COUNTERS MemoryCounters() {
  PROCESS_MEMORY_COUNTERS counters{};
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return counters;
}

// The peak working set during the fetch less the working set before it: at
// least what the fetch itself held at its fullest.
int Peak(const char* address) {
  const Text picture(address);
  const std::size_t before = MemoryCounters().WorkingSetSize;
  const Bytes body = orvalin::FetchUrlBytes(picture);
  const std::size_t added = MemoryCounters().PeakWorkingSetSize - before;
  const double mb = 1024.0 * 1024.0;
  std::printf("RESULT peak memory of a %.1f MB fetch: %.1f MB added, %.3fx its size (goal %.1f MB)\n",
              body.size() / mb, added / mb, static_cast<double>(added) / body.size(),
              (1.25 * body.size() + 8 * mb) / mb);
  return body.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "serve") == 0) return Serve();
  if (argc == 4 && std::strcmp(argv[1], "compare") == 0) return Compare(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "peak") == 0) return Peak(argv[2]);
  std::fprintf(stderr, "usage: picture_fetch_bench serve | compare <small> <large> | peak <huge>\n");
  return 2;
}
