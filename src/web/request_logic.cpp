#include "web/request_logic.h"

#include <algorithm>

#include "text/between.h"
#include "web/cookies.h"

namespace orvalin {

const char kDefaultUserAgent[] =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; ZEMKO; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";

Text RequestVerb(int method) { return method == 1 ? "POST" : "GET"; }

Text RequestAgent(const Text& headers) {
  if (FindText(headers, "User-Agent:", 1, true) == -1) return kDefaultUserAgent;
  Text agent = TrimBoth(TextBetween(headers, "User-Agent:", "\r\n"));
  if (TextLength(agent) == 0) agent = HeaderValue(headers);
  return agent;
}

std::uint32_t RequestFlags(const Text& address, bool cookiesSupplied, bool noRedirect) {
  using namespace request_flags;
  std::uint32_t flags = kReload | kNeedFile;
  if (cookiesSupplied) flags |= kNoCookies;
  if (noRedirect) flags |= kNoAutoRedirect;
  const bool secure = TextEquals(TextLeft(ToLowerCase(address), 5), "https");
  return flags | (secure ? kSecure : kIgnoreRedirectToHttps);
}

Text CompleteHeaders(const Text& headers, const Text& address, const Text& cookies) {
  Text completed = headers;
  auto lacks = [&completed](const char* name) { return FindText(completed, name) == -1; };
  if (lacks("Referer:")) {
    completed = TextLength(completed) == 0
                    ? TextConcat({"Referer: ", address})
                    : TextConcat({completed, "\r\nReferer: ", address});
  }
  if (lacks("Accept:")) completed = TextConcat({completed, "\r\nAccept: */*"});
  if (lacks("Accept-Language:")) completed = TextConcat({completed, "\r\nAccept-Language: zh-cn"});
  if (lacks("Content-Type:")) {
    completed = TextConcat({completed, "\r\nContent-Type: application/x-www-form-urlencoded"});
  }
  if (TextLength(cookies) > 0) completed = TextConcat({completed, "\r\nCookie: ", cookies});
  return completed;
}

Text HeaderValue(const Text& line) {
  const int colon = FindText(line, ":");
  if (colon == -1) return Text();
  return TrimBoth(TextRight(line, TextLength(line) - colon));
}

namespace {

// The cookie of one "Set-Cookie:" line: its value up to the first ";" or the
// end of the line, trimmed; empty when the line has no "Set-Cookie:".
Text SetCookieValue(const Text& line) {
  const Text marker("Set-Cookie:");
  const int at = FindText(line, marker, 1, true);
  if (at == -1) return Text();
  const Text rest = TextRight(line, TextLength(line) - (at - 1) - TextLength(marker));
  const int semicolon = FindText(rest, ";");
  return TrimBoth(semicolon == -1 ? rest : TextLeft(rest, semicolon - 1));
}

}  // namespace

void ApplyResponseHeaders(const Text& rawHeaders, Text& location, Text& newCookies, Text* cookies) {
  const TextArray lines = SplitText(rawHeaders, "\r\n");
  std::string received;
  for (int i = 1; i <= ArrayCount(lines); ++i) {
    const Text& line = ArrayMember(lines, i);
    if (FindText(line, "Location:") != -1) location = HeaderValue(line);
    if (FindText(line, "Set-Cookie") == -1) continue;
    const Text cookie = SetCookieValue(line);
    if (TextLength(cookie) == 0) continue;  // never an empty item
    if (!received.empty()) received += "; ";
    received += cookie.View();
  }
  newCookies = received.empty() ? Text() : Text(received);
  if (cookies != nullptr) MergeCookies(*cookies, newCookies);
  if (TextLength(location) == 0) location = rawHeaders;
}

bool AppendBodyBlock(Bytes& body, const void* block, std::size_t length, std::size_t limit) {
  const std::size_t room = body.size() < limit ? limit - body.size() : 0;
  const std::size_t taken = std::min(length, room);
  const auto* bytes = static_cast<const unsigned char*>(block);
  body.insert(body.end(), bytes, bytes + taken);
  return taken == length;
}

}  // namespace orvalin
