// Drives the text routines, both marker cuts, the address decomposition and
// the cookie merge with random inputs and checks what must hold whatever the
// input: positions in range pointing at what was sought, agreement with the
// plain reference search, split pieces that join back into the text, cuts
// that are pieces of their source, paths that begin with "/", merged cookie
// strings without blanks, deleted or repeated items.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <set>
#include <string>

#include "reference_text.h"
#include "text/between.h"
#include "text/text.h"
#include "web/cookies.h"
#include "web/request_logic.h"
#include "web/url.h"

namespace {

using namespace orvalin;

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

bool Contains(std::string_view haystack, std::string_view piece) {
  return haystack.find(piece) != std::string_view::npos;
}

void CheckSearch(const Text& t, const Text& sought, int start, bool ignoreCase) {
  const int found = FindText(t, sought, start, ignoreCase);
  Check(found == reference::FindText(t.View(), sought.View(), start, ignoreCase),
        "FindText agrees with the reference");
  if (found != -1 && sought.Size() > 0) {
    Check(found >= 1 && found + TextLength(sought) - 1 <= TextLength(t), "FindText in range");
    Check(reference::MatchesAt(t.View(), found - 1, sought.View(), ignoreCase),
          "FindText points at sought");
  }
  Check(FindTextReverse(t, sought) == reference::FindTextReverse(t.View(), sought.View()),
        "FindTextReverse agrees with the reference");
}

void CheckReshaping(const Text& t, const Text& sought) {
  Check(ReplaceText(t, sought, "#").View() == reference::ReplaceText(t.View(), sought.View(), "#"),
        "ReplaceText agrees with the reference");
  const TextArray pieces = SplitText(t, sought);
  std::string joined;
  for (int i = 1; i <= ArrayCount(pieces); ++i) {
    if (i > 1) joined += sought.View();
    joined += ArrayMember(pieces, i).View();
  }
  Check(joined == t.View() || joined + std::string(sought.View()) == t.View(),
        "split pieces join back into the text");
  Check(Contains(t.View(), TrimBoth(t).View()), "TrimBoth gives a piece of the text");
  Check(TextLength(RemoveSpaces(t)) <= TextLength(t), "RemoveSpaces never grows");
  Check(TextLength(ToLowerCase(t)) == TextLength(t), "ToLowerCase keeps the length");
  (void)TextToInt(t);
}

void CheckCuts(const Text& source, const Text& left, const Text& right, int start,
               bool caseSensitive, int maxLength) {
  Check(Contains(source.View(), TextBetween(source, left, right, start, caseSensitive).View()),
        "TextBetween gives a piece of the source");
  TextArray items;
  const int count = AllTextsBetween(source, left, right, items,
                                    {.caseSensitive = caseSensitive, .maxLength = maxLength,
                                     .startPosition = start});
  Check(count == ArrayCount(items), "AllTextsBetween counts its items");
  for (int i = 1; i <= count; ++i) {
    const Text& item = ArrayMember(items, i);
    Check(TextLength(item) > 0, "no empty item");
    Check(maxLength == 0 || TextLength(item) <= maxLength, "items keep the limit");
    Check(Contains(source.View(), item.View()), "an undecorated item is a piece of the source");
  }
}

void CheckAddress(const Text& address) {
  Check(TextEquals(TextLeft(UrlPath(address), 1), "/"), "UrlPath begins with /");
  Check(FindText(UrlHost(address), ":") == -1, "UrlHost without keepPort has no port part");
  (void)UrlPort(address);
  (void)UrlHost(address, true, true);
}

void CheckCookieMerge(const Text& cookiesIn, const Text& newCookiesIn) {
  Text cookies = cookiesIn, newCookies = newCookiesIn;
  const Text merged = MergeCookies(cookies, newCookies);
  Check(TextEquals(merged, cookies), "the merged string is stored back");
  Check(TextEquals(newCookies, RemoveSpaces(newCookiesIn)), "newCookies loses its blanks");
  Check(TextRight(merged, 2).View() != "; ", "no separator at the end");
  const TextArray items = SplitText(merged, "; ");
  std::set<std::string_view> distinct;
  for (int i = 1; i <= ArrayCount(items); ++i) {
    const Text& item = ArrayMember(items, i);
    Check(TextEquals(RemoveSpaces(item), item), "no blank inside a merged item");
    Check(!TextEquals(TextRight(item, 8), "=deleted"), "no deleted item");
    Check(distinct.insert(item.View()).second, "no repeated identical item");
  }
}

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
  const uint8_t flags = input.ConsumeIntegral<uint8_t>();
  const int start = input.ConsumeIntegralInRange<int>(-2, 64);
  const int maxLength = input.ConsumeIntegralInRange<int>(-1, 16);
  const Text sought(input.ConsumeRandomLengthString(16));
  const Text right(input.ConsumeRandomLengthString(8));
  const Text source(input.ConsumeRemainingBytesAsString());
  const bool ignoreCase = flags & 1;

  CheckSearch(source, sought, start, ignoreCase);
  CheckReshaping(source, sought);
  CheckCuts(source, sought, right, start, flags & 2, flags & 4 ? maxLength : 0);
  CheckAddress(source);
  CheckCookieMerge(source, sought);
  CheckRequestLogic(source, sought, right);
  return 0;
}
