// Keeping a cookie string across requests: the cookies a response set are
// merged into the string a caller keeps.
//
// A cookie string is items ("name=value") separated by ";"; blanks in it mean
// nothing and are removed when it is read. A merged string joins its items
// with "; " and holds no other blanks. An item whose last 8 bytes are
// "=deleted" stands for a cookie the server deleted and never stays.
#pragma once

#include "text/text.h"

namespace orvalin {

// MergeCookies merges the received `newCookies` into the kept `cookies` and
// rewrites both: `newCookies` loses its blanks, `cookies` becomes the merged
// string, which is also returned. Received cookies come first, in the order
// received, then the old ones whose name was not received, in their old order
// (of several old items with one name the first stays); deleted ones, empty
// ones and repeated identical items are left out.
//   cookies "a=1; b=2", newCookies "b=3; c=4" give "b=3; c=4; a=1",
//   and newCookies then holds "b=3;c=4".
Text MergeCookies(Text& cookies, Text& newCookies);

// CookieName gives the text before the first "=" (all of an item without one),
// without the blanks at both ends: "a" for "a=b=c", " a =1" and "a"; empty for "=x".
Text CookieName(const Text& item);

// HasCookieNamed is true when some member's CookieName equals `name` exactly
// (letter case matters).
bool HasCookieNamed(const TextArray& items, const Text& name);

// RemoveDuplicateItems gives the `separator`-joined list `text` with every
// item that already appeared left out; a separator at the end goes:
// "a; b; a" and "a; b; " give "a; b" with the separator "; ".
Text RemoveDuplicateItems(const Text& text, const Text& separator);

// IndexOfText gives the 1-based index of the first member equal to `text`
// (byte for byte; an empty member equals the empty text), or -1.
int IndexOfText(const TextArray& items, const Text& text);

}  // namespace orvalin
