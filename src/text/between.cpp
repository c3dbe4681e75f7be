#include "text/between.h"

namespace orvalin {
namespace {

// "#引号" in GBK: a number sign, then 引 (D2 FD) and 号 (BA C5). Written as
// bytes so that the portable core compiles the same under any compiler.
const char kQuoteToken[] = "#\xD2\xFD\xBA\xC5";

Text MakeItem(const Text& cut, const Text& leftMarker, const Text& rightMarker,
              const BetweenOptions& options) {
  return TextConcat({options.includeLeftMarker ? leftMarker : Text(), options.prefix, cut,
                     options.suffix, options.includeRightMarker ? rightMarker : Text()});
}

}  // namespace

int AllTextsBetween(const Text& source, const Text& leftMarker, const Text& rightMarker,
                    TextArray& results, const BetweenOptions& options) {
  ArrayClear(results);
  // An empty left marker would be "found" at 1 again and again.
  if (TextLength(leftMarker) == 0) return 0;
  const bool ignoreCase = !options.caseSensitive;
  int searchFrom = options.startPosition;
  for (;;) {
    const int left = FindText(source, leftMarker, searchFrom, ignoreCase);
    if (left < 1) break;
    const int cutStart = left + TextLength(leftMarker);
    const int right = FindText(source, rightMarker, cutStart, ignoreCase);
    if (right < 1) break;
    const Text cut = TrimBoth(TextMid(source, cutStart, right - cutStart));
    if (TextLength(cut) == 0) break;
    if (options.maxLength != 0 && TextLength(cut) > options.maxLength) break;
    ArrayAppend(results, MakeItem(cut, leftMarker, rightMarker, options));
    searchFrom = right;
  }
  return ArrayCount(results);
}

Text TextBetween(const Text& source, const Text& leftMarker, const Text& rightMarker,
                 int startPosition, bool caseSensitive) {
  const Text quote("\"");
  const Text left = ReplaceText(leftMarker, kQuoteToken, quote);
  const Text right = ReplaceText(rightMarker, kQuoteToken, quote);
  const bool ignoreCase = !caseSensitive;
  const int found = FindText(source, left, startPosition, ignoreCase);
  if (found == -1) return Text();
  const int cutStart = found + TextLength(left);
  const int end = FindText(source, right, cutStart, ignoreCase);
  if (end == -1) return Text();
  return TextMid(source, cutStart, end - cutStart);
}

}  // namespace orvalin
