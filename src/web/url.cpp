#include "web/url.h"

#include "text/between.h"

namespace orvalin {
namespace {

bool EndsWithSlash(const Text& t) {
  const int last = FindTextReverse(t, "/");
  return last != -1 && last == TextLength(t);
}

// The host text with any port part: from the scheme to the next "/".
Text HostWithPort(const Text& address) {
  Text lower = ToLowerCase(address);
  if (!EndsWithSlash(lower)) lower = TextConcat({lower, "/"});
  if (TextEquals(TextLeft(lower, 8), "https://")) return TextBetween(lower, "https://", "/");
  if (FindText(lower, "http://") == -1) lower = TextConcat({"http://", lower});
  return TextBetween(lower, "http://", "/");
}

Text LastTwoLabels(const Text& host) {
  const TextArray labels = SplitText(host, ".");
  const int count = ArrayCount(labels);
  if (count <= 1) return host;
  return TextConcat({ArrayMember(labels, count - 1), ".", ArrayMember(labels, count)});
}

}  // namespace

Text UrlHost(const Text& address, bool lastTwoLabels, bool keepPort) {
  Text host = HostWithPort(address);
  if (lastTwoLabels) host = LastTwoLabels(host);
  const int colon = FindText(host, ":");
  if (!keepPort && colon != -1) host = TextLeft(host, colon - 1);
  return host;
}

int UrlPort(const Text& address) {
  const Text host = UrlHost(address, false, true);
  const int colon = FindTextReverse(host, ":");
  if (colon != -1) return TextToInt(TextRight(host, TextLength(host) - colon));
  return TextEquals(TextLeft(ToLowerCase(address), 5), "https") ? 443 : 80;
}

Text UrlPath(const Text& address) {
  // Where the host is not found (-1), the search for "/" starts at the first byte.
  const int hostAt = FindText(address, UrlHost(address), 1, true);
  const int slash = FindText(address, "/", hostAt);
  if (slash == -1) return "/";
  return TextRight(address, TextLength(address) - slash + 1);
}

}  // namespace orvalin
