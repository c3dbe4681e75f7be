#include "web/cookies.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_set>

namespace orvalin {
namespace {

const char kItemSeparator[] = "; ";

bool IsDeletionMarker(const Text& item) { return TextEquals(TextRight(item, 8), "=deleted"); }

// An empty item (from ";;" or a ";" at the start) names no cookie; kept, it
// would put "; ; " into the Cookie line or leave "; " at its end.
bool IsKeptInMergedString(const Text& item) {
  return TextLength(item) > 0 && !IsDeletionMarker(item);
}

// Appends each item followed by the separator, then drops the last
// separator (an empty list stays empty).
template <typename Keep>
Text JoinItems(const TextArray& items, const Text& separator, Keep keep) {
  std::string joined;
  for (int i = 1; i <= ArrayCount(items); ++i) {
    const Text& item = ArrayMember(items, i);
    if (!keep(item)) continue;
    joined.append(item.View());
    joined.append(separator.View());
  }
  joined.resize(joined.size() - std::min(joined.size(), separator.Size()));
  return joined.empty() ? Text() : Text(joined);
}

}  // namespace

Text MergeCookies(Text& cookies, Text& newCookies) {
  cookies = RemoveSpaces(cookies);
  newCookies = RemoveSpaces(newCookies);
  const TextArray oldItems = SplitText(cookies, ";");
  TextArray merged = SplitText(newCookies, ";");
  // The names in `merged`, kept beside it so that a long hostile cookie
  // string costs linear time; the same answer as HasCookieNamed(merged, name).
  std::unordered_set<std::string> mergedNames;
  for (int i = 1; i <= ArrayCount(merged); ++i) {
    mergedNames.emplace(CookieName(ArrayMember(merged, i)).View());
  }
  for (int i = 1; i <= ArrayCount(oldItems); ++i) {
    const Text& oldItem = ArrayMember(oldItems, i);
    if (mergedNames.emplace(CookieName(oldItem).View()).second) ArrayAppend(merged, oldItem);
  }
  cookies = RemoveDuplicateItems(JoinItems(merged, kItemSeparator, IsKeptInMergedString),
                                 kItemSeparator);
  return cookies;
}

Text CookieName(const Text& item) {
  const int equals = FindText(item, "=");
  return TrimBoth(equals == -1 ? item : TextLeft(item, equals - 1));
}

bool HasCookieNamed(const TextArray& items, const Text& name) {
  for (int i = 1; i <= ArrayCount(items); ++i) {
    if (TextEquals(CookieName(ArrayMember(items, i)), name)) return true;
  }
  return false;
}

Text RemoveDuplicateItems(const Text& text, const Text& separator) {
  // The pieces seen so far, as a set: the same answer as IndexOfText over a
  // list of them, in linear time.
  std::unordered_set<std::string_view> seen;
  auto firstTime = [&seen](const Text& piece) { return seen.insert(piece.View()).second; };
  return JoinItems(SplitText(text, separator), separator, firstTime);
}

int IndexOfText(const TextArray& items, const Text& text) {
  for (int i = 1; i <= ArrayCount(items); ++i) {
    if (TextEquals(ArrayMember(items, i), text)) return i;
  }
  return -1;
}

}  // namespace orvalin
