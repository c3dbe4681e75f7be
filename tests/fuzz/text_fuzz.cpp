// Drives the text routines and both marker cuts with random inputs and checks
// what must hold whatever the input: positions in range pointing at what was
// sought, agreement with the plain reference search, split pieces that join
// back into the text, and cuts that are pieces of their source.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "fuzz_check.h"
#include "reference_text.h"
#include "text/between.h"
#include "text/text.h"

namespace {

using namespace orvalin;
using fuzz::Check;
using fuzz::Contains;

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const uint8_t flags = input.ConsumeIntegral<uint8_t>();
  const int start = input.ConsumeIntegralInRange<int>(-2, 64);
  const int maxLength = input.ConsumeIntegralInRange<int>(-1, 16);
  const Text sought(input.ConsumeRandomLengthString(16));
  const Text right(input.ConsumeRandomLengthString(8));
  const Text source(input.ConsumeRemainingBytesAsString());

  CheckSearch(source, sought, start, flags & 1);
  CheckReshaping(source, sought);
  CheckCuts(source, sought, right, start, flags & 2, flags & 4 ? maxLength : 0);
  return 0;
}
