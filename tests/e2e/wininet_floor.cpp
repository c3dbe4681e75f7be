// The floor for one whole download job: the same page and pictures fetched
// one after another by the shortest WinINet loop (one session, one
// InternetOpenUrlA per address, 64 KB reads, nothing parsed or written).
// scripts/bench-e2e.sh runs it against the local marketplace.
//
//   wininet_floor <rounds> <page address> <picture list file>
//       prints "round <ms> <bytes>" per round
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "web/internet_handle.h"

namespace {

using orvalin::InternetHandle;

double NowMs() {
  static const double ticksPerMs = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart / 1000.0;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return now.QuadPart / ticksPerMs;
}

// The body's length; -1 when the address could not be fetched whole.
long long Fetch(HINTERNET session, const std::string& address) {
  const InternetHandle request(InternetOpenUrlA(session, address.c_str(), nullptr, 0,
                                                INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                                0));
  if (!request) return -1;
  static char block[64 * 1024];
  long long total = 0;
  DWORD got = 0;
  while (InternetReadFile(request.Get(), block, sizeof block, &got)) {
    if (got == 0) return total;
    total += got;
  }
  return -1;
}

std::vector<std::string> Lines(const char* path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: wininet_floor <rounds> <page address> <picture list file>\n");
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  std::vector<std::string> addresses = Lines(argv[3]);
  addresses.insert(addresses.begin(), argv[2]);
  const InternetHandle session(
      InternetOpenA("wininet_floor", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  for (int round = 0; round < rounds; ++round) {
    const double start = NowMs();
    long long bytes = 0;
    for (const std::string& address : addresses) {
      const long long got = Fetch(session.Get(), address);
      if (got < 0) {
        std::printf("error %s could not be fetched\n", address.c_str());
        return 1;
      }
      bytes += got;
    }
    std::printf("round %.1f %lld\n", NowMs() - start, bytes);
  }
  return 0;
}
