// The parts of a web page request that need no network: which agent, verb,
// flags and header lines go out, how the body grows, and what the response's
// header block gives back. The WinINet layer (web_request.h) is a thin
// sequence of calls around these.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/text.h"

namespace orvalin {

// The agent given to the internet client when the caller's headers name none.
extern const char kDefaultUserAgent[];

// Request flags, with the values the Windows internet client gives them.
namespace request_flags {
constexpr std::uint32_t kReload = 0x80000000;
constexpr std::uint32_t kNeedFile = 0x10;
constexpr std::uint32_t kNoCookies = 0x80000;
constexpr std::uint32_t kNoAutoRedirect = 0x200000;
constexpr std::uint32_t kSecure = 0x800000;
constexpr std::uint32_t kIgnoreRedirectToHttps = 0x4000;
}  // namespace request_flags

// RequestVerb gives "POST" for method 1 and "GET" for every other value.
Text RequestVerb(int method);

// RequestAgent gives the agent for the caller's header text: the trimmed
// value of its "User-Agent:" line (found ignoring case); when that line has
// no CRLF after it, the trimmed text after the first ":" of the whole header
// text; the absent value (a null agent) when that is empty too. Without a
// "User-Agent:" line, kDefaultUserAgent.
Text RequestAgent(const Text& headers);

// RequestFlags: reload and need-file always; no-cookies when the caller
// keeps a cookie string; no-auto-redirect on request; secure when the address
// begins with "https" in any letter case, else ignore-redirect-to-https.
std::uint32_t RequestFlags(const Text& address, bool cookiesSupplied, bool noRedirect);

// CompleteHeaders adds the default lines that the caller's header text lacks
// (each looked for by its name and colon, letter case respected, anywhere in
// the text): "Referer: <address>", "Accept: */*", "Accept-Language: zh-cn",
// "Content-Type: application/x-www-form-urlencoded", then "Cookie: <cookies>"
// when cookies is not empty. Lines are joined by CRLF; none ends the text.
Text CompleteHeaders(const Text& headers, const Text& address, const Text& cookies);

// HeaderValue gives the trimmed text after the first ":" of a header line,
// empty when there is none: "Location: /x " gives "/x".
Text HeaderValue(const Text& line);

// ApplyResponseHeaders reads the response's header block into the caller's
// outputs. `location` receives the value of the last line holding
// "Location:" (so "Content-Location:" counts too) and, when it is still empty
// afterwards, the whole block. `newCookies` receives the cookies of the
// "Set-Cookie:" lines joined by "; ", each value running to its first ";" or
// to the end of the line; a line without a value adds nothing. When the
// caller keeps a cookie string (`cookies` not null), the received cookies are
// merged into it, which also takes the blanks out of `newCookies`.
void ApplyResponseHeaders(const Text& rawHeaders, Text& location, Text& newCookies, Text* cookies);

// The longest body a Bytes result holds: its length is a 32-bit int.
constexpr std::size_t kMaxBodyLength = 0x7FFFFFFF;

// AppendBodyBlock appends a block that was read to the body, in amortised
// linear time. Past `limit` bytes it keeps what fits and gives false, which
// ends the reading.
bool AppendBodyBlock(Bytes& body, const void* block, std::size_t length,
                     std::size_t limit = kMaxBodyLength);

}  // namespace orvalin
