// Merges random cookie strings and checks what the merged string must be
// whatever came in: stored back, without blanks, without an empty, deleted or
// repeated item, and without a separator at the end.
#include <fuzzer/FuzzedDataProvider.h>

#include <set>
#include <string>

#include "fuzz_check.h"
#include "text/text.h"
#include "web/cookies.h"

namespace {

using namespace orvalin;
using fuzz::Check;
using fuzz::Contains;

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const Text newCookies(input.ConsumeRandomLengthString(256));
  const Text cookies(input.ConsumeRemainingBytesAsString());
  CheckCookieMerge(cookies, newCookies);
  return 0;
}
