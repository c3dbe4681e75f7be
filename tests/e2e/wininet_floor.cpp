// The floor for one whole download job: the same page and pictures fetched
// one after another by the shortest WinINet code, nothing parsed or written.
// scripts/bench-e2e.sh runs it against the local marketplace, in one of two
// modes:
//   same     the requests the program itself must make: the page over a
//            session of its own, "HTTP/1.1" and 1024-byte reads; each picture
//            over one shared session with a connection of its own, "HTTP/1.0"
//            and 64 KB reads. The program's overhead is measured against this.
//   fastest  the quickest WinINet allows: one session, one InternetOpenUrlA
//            per address (connections reused), 64 KB reads. For reference.
//
//   wininet_floor <same|fastest> <rounds> <page address> <picture list file>
//       prints "round <ms> <bytes>" per round
#include <windows.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "stopwatch.h"
#include "web/internet_handle.h"

namespace {

using orvalin::InternetHandle;
using orvalin::testing::NowMs;

constexpr DWORD kPageBlock = 1024;
constexpr DWORD kPictureBlock = 64 * 1024;

// The body's length; -1 when it could not be read whole.
long long ReadBody(HINTERNET request, DWORD blockSize) {
  static char block[kPictureBlock];
  long long total = 0;
  DWORD got = 0;
  while (InternetReadFile(request, block, blockSize, &got)) {
    if (got == 0) return total;
    total += got;
  }
  return -1;
}

struct Target {
  std::string host;
  std::string path;
  INTERNET_PORT port = 0;
  bool secure = false;
};

Target Crack(const std::string& address) {
  char host[256] = {}, path[2048] = {};
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof host;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = sizeof path;
  if (!InternetCrackUrlA(address.c_str(), 0, 0, &parts)) return {};
  return {host, path, parts.nPort, parts.nScheme == INTERNET_SCHEME_HTTPS};
}

long long Request(HINTERNET session, const std::string& address, const char* version,
                  DWORD flags, DWORD blockSize) {
  const Target target = Crack(address);
  if (target.host.empty()) return -1;
  const InternetHandle connection(InternetConnectA(session, target.host.c_str(), target.port,
                                                   nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
  if (!connection) return -1;
  const char* acceptAll[] = {"*/*", nullptr};
  const InternetHandle request(
      HttpOpenRequestA(connection.Get(), "GET", target.path.c_str(), version, nullptr, acceptAll,
                       flags | (target.secure ? INTERNET_FLAG_SECURE : 0), 0));
  if (!request || !HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) return -1;
  return ReadBody(request.Get(), blockSize);
}

HINTERNET OpenSession() {
  return InternetOpenA("wininet_floor", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
}

// The program's own requests: a session per page, one shared for pictures.
class SameRequests {
 public:
  long long Page(const std::string& address) {
    const InternetHandle session(OpenSession());
    return Request(session.Get(), address, "HTTP/1.1",
                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NEED_FILE, kPageBlock);
  }
  long long Picture(const std::string& address) {
    return Request(pictureSession_.Get(), address, "HTTP/1.0",
                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, kPictureBlock);
  }

 private:
  InternetHandle pictureSession_{OpenSession()};
};

class Fastest {
 public:
  long long Page(const std::string& address) { return Fetch(address); }
  long long Picture(const std::string& address) { return Fetch(address); }

 private:
  long long Fetch(const std::string& address) {
    const InternetHandle request(InternetOpenUrlA(session_.Get(), address.c_str(), nullptr, 0,
                                                  INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE,
                                                  0));
    return request ? ReadBody(request.Get(), kPictureBlock) : -1;
  }
  InternetHandle session_{OpenSession()};
};

std::vector<std::string> Lines(const char* path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

template <typename Floor>
int Run(int rounds, const std::string& page, const std::vector<std::string>& pictures) {
  Floor floor;
  for (int round = 0; round < rounds; ++round) {
    const double start = NowMs();
    long long bytes = floor.Page(page);
    if (bytes < 0) {
      std::printf("error %s could not be fetched\n", page.c_str());
      return 1;
    }
    for (const std::string& address : pictures) {
      const long long got = floor.Picture(address);
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr,
                 "usage: wininet_floor <same|fastest> <rounds> <page address> <picture list file>\n");
    return 2;
  }
  const int rounds = std::atoi(argv[2]);
  const std::vector<std::string> pictures = Lines(argv[4]);
  if (std::strcmp(argv[1], "same") == 0) return Run<SameRequests>(rounds, argv[3], pictures);
  if (std::strcmp(argv[1], "fastest") == 0) return Run<Fastest>(rounds, argv[3], pictures);
  std::fprintf(stderr, "unknown mode %s\n", argv[1]);
  return 2;
}
