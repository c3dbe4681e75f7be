// The web request's own logic on hostile input: the header scan of a random
// header block, the cookie handling that follows it, the completion of a
// random header text and the choice of agent.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz_check.h"
#include "text/text.h"
#include "web/request_logic.h"

namespace {

using namespace orvalin;
using fuzz::Check;
using fuzz::Contains;

// The request's own logic on a hostile header block and header text: the
// received cookies hold no empty item, the location is a line's value or the
// whole block, and the completed header text keeps the caller's text.
void CheckRequestLogic(const Text& rawHeaders, const Text& headers, const Text& cookiesIn) {
  Text location, newCookies, cookies = cookiesIn;
  ApplyResponseHeaders(rawHeaders, location, newCookies, nullptr);
  Check(TextLeft(newCookies, 2).View() != "; " && newCookies.View().find("; ; ") == std::string_view::npos,
        "no empty received cookie");
  Check(TextLength(location) == 0 || Contains(rawHeaders.View(), location.View()),
        "the location comes from the header block");
  ApplyResponseHeaders(rawHeaders, location, newCookies, &cookies);
  Check(TextEquals(newCookies, RemoveSpaces(newCookies)), "merged received cookies lose their blanks");
  const Text completed = CompleteHeaders(headers, "http://a/", cookies);
  Check(TextEquals(TextLeft(completed, TextLength(headers)), headers), "the caller's headers lead");
  Check(Contains(headers.View(), RequestAgent(headers).View()) ||
            TextEquals(RequestAgent(headers), kDefaultUserAgent),
        "the agent comes from the headers or is the default");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const Text headers(input.ConsumeRandomLengthString(256));
  const Text cookies(input.ConsumeRandomLengthString(256));
  const Text rawHeaders(input.ConsumeRemainingBytesAsString());
  CheckRequestLogic(rawHeaders, headers, cookies);
  return 0;
}
