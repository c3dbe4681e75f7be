// Cutting texts out of a larger text between a left and a right marker.
#pragma once

#include "text/text.h"

namespace orvalin {

// What AllTextsBetween may do besides the plain cut. Name only what you need:
//   AllTextsBetween(page, left, right, items, {.maxLength = 200});
struct BetweenOptions {
  bool caseSensitive = false;  // false: both markers are found ignoring ASCII case
  int maxLength = 0;           // 0: no limit; else a longer trimmed cut ends the extraction
  Text prefix;                 // put before every cut
  Text suffix;                 // put after every cut
  bool includeLeftMarker = false;   // put the caller's left marker in front of every item
  bool includeRightMarker = false;  // put the caller's right marker behind every item
  int startPosition = 0;       // where the first left marker is sought; <= 1: the start
};

// AllTextsBetween empties `results`, then appends, in source order, every text
// between an occurrence of leftMarker and the next occurrence of rightMarker,
// trimmed of blanks and decorated as the options say; it gives the number of
// members of `results`. The next left marker is sought from the right marker
// just found, so one marker text can close one item and open the next:
// "|" and "|" on "a|b|c|d" give "b" and "c".
// The cut runs to the first right marker, even across a second left marker:
// "[" and "]" on "[x[y]" give "x[y".
// A cut that is empty after trimming, or longer than a non-zero maxLength,
// ends the whole extraction; the items before it remain. A missing marker or
// an empty rightMarker gives no (further) items; an empty leftMarker gives no
// items at all.
int AllTextsBetween(const Text& source, const Text& leftMarker, const Text& rightMarker,
                    TextArray& results, const BetweenOptions& options = {});

// TextBetween gives the text between the first leftMarker at or after
// startPosition (<= 1: the start) and the next rightMarker after it, untrimmed,
// or empty when either marker is missing. In both markers the token "#引号"
// stands for a double quote: TextBetween("a\"b\"c", "#引号", "#引号") is "b".
Text TextBetween(const Text& source, const Text& leftMarker, const Text& rightMarker,
                 int startPosition = 0, bool caseSensitive = false);

}  // namespace orvalin
