// Splits random addresses into host, port and path with every option and
// checks what must hold for any address: the path begins with "/", the host
// is lower-cased, stops before the path and holds no ":" without its port,
// its last two labels are a piece of it, and without a port part the port is a default.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_check.h"
#include "text/text.h"
#include "web/url.h"

namespace {

using namespace orvalin;
using fuzz::Check;
using fuzz::Contains;

void CheckAddress(const Text& address) {
  Check(TextEquals(TextLeft(UrlPath(address), 1), "/"), "UrlPath begins with /");
  const Text host = UrlHost(address);
  Check(FindText(host, ":") == -1, "UrlHost without keepPort has no port part");
  Check(FindText(host, "/") == -1, "UrlHost stops before the path");
  Check(TextEquals(host, ToLowerCase(host)), "UrlHost is lower-cased");
  const Text withPort = UrlHost(address, false, true);
  Check(TextEquals(TextLeft(withPort, TextLength(host)), host),
        "the host with its port begins with the host");
  const Text lastTwo = UrlHost(address, true, true);
  Check(Contains(withPort.View(), lastTwo.View()), "the last two labels are a piece of the host");
  (void)UrlHost(address, true, false);
  const int port = UrlPort(address);
  if (FindText(withPort, ":") == -1) Check(port == 80 || port == 443, "no port part gives a default");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckAddress(Text(std::string(reinterpret_cast<const char*>(data), size)));
  return 0;
}
