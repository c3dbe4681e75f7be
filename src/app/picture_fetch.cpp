#include "app/picture_fetch.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "app/shared_internet.h"
#include "web/internet_handle.h"
#include "web/request_logic.h"
#include "web/wait_limits.h"

namespace orvalin {
namespace {

// Read sizes. Wine's WinINet reads a 50 MB body a third faster in 1 MB
// blocks than in 64 KB ones, while a 200 KB picture comes fastest in 64 KB
// blocks (bench/windows). So a body that is, or is announced to be, 1 MB or
// more is read in large blocks, any other in small ones.
constexpr DWORD kSmallReadBlock = 64 * 1024;
constexpr DWORD kLargeReadBlock = 1024 * 1024;

// Where a picture address leads, as WinINet splits it.
struct PictureTarget {
  Text host;
  INTERNET_PORT port = 0;
  Text userName;
  Text password;
  Text object;  // path and query, without any "#" part
  bool secure = false;
};

// A null pointer for an empty text, as the internet client wants for "none".
const char* OrNull(const Text& t) { return TextLength(t) == 0 ? nullptr : t.Data(); }

// One part of a split address; absent when the address has no such part.
Text Piece(const char* start, DWORD length) {
  return start == nullptr ? Text() : Text(start, length);
}

// The text up to its first zero byte in UTF-16, read in the ANSI code page.
std::wstring Widen(const char* text) {
  const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (length <= 1) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length) - 1);
  return wide;
}

// UTF-16 text back in the ANSI code page.
std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return std::string();
  const int wideLength = static_cast<int>(wide.size());
  const int length =
      WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(std::max(length, 0)), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), wideLength, narrow.data(), length, nullptr, nullptr);
  return narrow;
}

// The address after WinINet's canonical rules, with no character escaped;
// nothing when WinINet refuses it. Made in UTF-16: Wine's ANSI variant
// counts its result in UTF-16 units and so cuts a double-byte address short
// ("/图片/a.jpg" became "/图片/a.j").
std::optional<std::string> CanonicalAddress(const Text& address) {
  const std::wstring wide = Widen(address.Data());
  std::wstring canonical(wide.size() + 64, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD length = static_cast<DWORD>(canonical.size());
    if (InternetCanonicalizeUrlW(wide.c_str(), canonical.data(), &length, ICU_NO_ENCODE)) {
      canonical.resize(length);
      return Narrow(canonical);
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    canonical.assign(length + 1, L'\0');
  }
  return std::nullopt;
}

// WinINet ends an address at a line break without saying so and would fetch
// what stands before it ("/a\r\nb.jpg" asked for "/a").
bool HoldsLineBreak(const Text& address) { return std::strpbrk(address.Data(), "\r\n") != nullptr; }

// The object path with its query, cut before the first "#".
Text ObjectWithoutFragment(const Text& object) {
  const int hash = FindText(object, "#");
  return hash < 0 ? object : TextLeft(object, hash - 1);
}

// Decimal digits only, at most 18 of them (so no overflow); else nothing.
std::optional<std::uint64_t> DecimalValue(const std::string& digits) {
  if (digits.empty() || digits.size() > 18) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  return value;
}

// Whether the port written after the host, if any, is one a connection can
// use. Wine's InternetCrackUrlA keeps only the low 16 bits of the number, so
// ":99999" would silently reach port 34463.
bool WrittenPortFits(const char* afterHost) {
  if (*afterHost != ':') return true;
  const std::string digits(afterHost + 1, std::strspn(afterHost + 1, "0123456789"));
  if (digits.empty()) return true;
  const std::optional<std::uint64_t> port = DecimalValue(digits);
  return port && *port >= 1 && *port <= 0xFFFF;
}

// Host, port, credentials and object of an http or https address; nothing
// for any other address, and for one holding a line break.
std::optional<PictureTarget> CrackPictureAddress(const Text& address) {
  if (HoldsLineBreak(address)) return std::nullopt;
  const std::optional<std::string> canonical = CanonicalAddress(address);
  if (!canonical) return std::nullopt;
  URL_COMPONENTSA parts{};
  parts.dwStructSize = sizeof parts;
  // Length 1 with a null pointer: give each part as a pointer into the input.
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUserNameLength = 1;
  parts.dwPasswordLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  if (!InternetCrackUrlA(canonical->c_str(), 0, 0, &parts)) return std::nullopt;
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
    return std::nullopt;
  }
  if (parts.lpszHostName == nullptr ||
      !WrittenPortFits(parts.lpszHostName + parts.dwHostNameLength)) {
    return std::nullopt;
  }
  PictureTarget target;
  target.host = Piece(parts.lpszHostName, parts.dwHostNameLength);
  target.port = parts.nPort;
  target.userName = Piece(parts.lpszUserName, parts.dwUserNameLength);
  target.password = Piece(parts.lpszPassword, parts.dwPasswordLength);
  target.object = ObjectWithoutFragment(
      TextConcat({Piece(parts.lpszUrlPath, parts.dwUrlPathLength),
                  Piece(parts.lpszExtraInfo, parts.dwExtraInfoLength)}));
  target.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
  return target;
}

// Requests made through the session follow the system's proxy settings.
void UseConfiguredProxy(HINTERNET session) {
  INTERNET_PROXY_INFO proxy{INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr};
  InternetSetOptionA(session, INTERNET_OPTION_PROXY, &proxy, sizeof proxy);
}

void ClearProxyCredentials(const InternetHandle& connection) {
  static char empty[] = "";
  InternetSetOptionA(connection.Get(), INTERNET_OPTION_PROXY_USERNAME, empty, 0);
  InternetSetOptionA(connection.Get(), INTERNET_OPTION_PROXY_PASSWORD, empty, 0);
}

InternetHandle Connect(HINTERNET session, const PictureTarget& target) {
  return InternetHandle(InternetConnectA(session, target.host.Data(), target.port,
                                         OrNull(target.userName), OrNull(target.password),
                                         INTERNET_SERVICE_HTTP, 0, 0));
}

InternetHandle OpenGet(const InternetHandle& connection, const PictureTarget& target) {
  const char* acceptTypes[] = {"*/*", nullptr};
  DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
  if (target.secure) flags |= INTERNET_FLAG_SECURE;
  return InternetHandle(HttpOpenRequestA(connection.Get(), "GET", target.object.Data(), "HTTP/1.0",
                                         nullptr, acceptTypes, flags, 0));
}

// The text of one response header, nothing when the response has none.
std::optional<std::string> ResponseHeader(const InternetHandle& request, DWORD header) {
  std::string value(64, '\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD length = static_cast<DWORD>(value.size());
    if (HttpQueryInfoA(request.Get(), header, value.data(), &length, nullptr)) {
      value.resize(length);
      return value;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return std::nullopt;
    value.assign(length + 1, '\0');
  }
  return std::nullopt;
}

// The body length the response announces in Content-Length. Nothing when it
// announces none or one that cannot be read, and when a Transfer-Encoding
// decides the length instead.
std::optional<std::uint64_t> AnnouncedLength(const InternetHandle& request) {
  if (ResponseHeader(request, HTTP_QUERY_TRANSFER_ENCODING)) return std::nullopt;
  const std::optional<std::string> value = ResponseHeader(request, HTTP_QUERY_CONTENT_LENGTH);
  if (!value) return std::nullopt;
  return DecimalValue(*value);
}

// Room for the announced body in one allocation, so that a large picture
// never needs twice its size while its buffer grows. When that much memory
// cannot be had, the body grows as it arrives instead.
void ReserveAnnounced(Bytes& body, std::optional<std::uint64_t> announced) {
  if (!announced) return;
  try {
    body.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(*announced, kMaxBodyLength)));
  } catch (const std::bad_alloc&) {
  }
}

// A buffer for reads, left unfilled: a read touches only what it writes.
class ReadBlock {
 public:
  explicit ReadBlock(std::optional<std::uint64_t> announced)
      : size_(announced && *announced >= kLargeReadBlock ? kLargeReadBlock : kSmallReadBlock),
        bytes_(std::make_unique_for_overwrite<unsigned char[]>(size_)) {}

  // Switches to large reads once the body has grown to the large block's size.
  void FitTo(std::size_t bodySize) {
    if (size_ == kLargeReadBlock || bodySize < kLargeReadBlock) return;
    size_ = kLargeReadBlock;
    bytes_ = std::make_unique_for_overwrite<unsigned char[]>(size_);
  }
  unsigned char* Data() const { return bytes_.get(); }
  DWORD Size() const { return size_; }

 private:
  DWORD size_;
  std::unique_ptr<unsigned char[]> bytes_;
};

// Reads until the server ends the body. Nothing when a read fails or the
// body ends before its announced length; a body that outgrows a Bytes value
// keeps what fits.
std::optional<Bytes> ReadWholeBody(const InternetHandle& request) {
  const std::optional<std::uint64_t> announced = AnnouncedLength(request);
  Bytes body;
  ReserveAnnounced(body, announced);
  ReadBlock block(announced);
  for (;;) {
    DWORD got = 0;
    if (!InternetReadFile(request.Get(), block.Data(), block.Size(), &got)) return std::nullopt;
    if (got == 0) break;
    if (!AppendBodyBlock(body, block.Data(), got)) return body;
    block.FitTo(body.size());
  }
  if (announced && body.size() < *announced) return std::nullopt;
  return body;
}

// Connects, sends the GET and reads the body; the request handle closes
// before the connection.
std::optional<Bytes> Exchange(HINTERNET session, const PictureTarget& target) {
  UseConfiguredProxy(session);
  const InternetHandle connection = Connect(session, target);
  if (!connection) return std::nullopt;
  ClearProxyCredentials(connection);
  const InternetHandle request = OpenGet(connection, target);
  if (!request) return std::nullopt;
  LimitWaiting(request.Get());
  if (!HttpSendRequestA(request.Get(), nullptr, 0, nullptr, 0)) return std::nullopt;
  return ReadWholeBody(request);
}

SharedInternet& ProcessInternet() {
  // Never destroyed: jobs may still be fetching while the process ends.
  static SharedInternet* const internet = new SharedInternet();
  return *internet;
}

}  // namespace

Bytes FetchUrlBytes(const Text& address, SharedInternet& internet) {
  if (TextLength(address) == 0) return Bytes();
  const std::optional<PictureTarget> target = CrackPictureAddress(address);
  if (!target) return Bytes();
  const HINTERNET session = internet.Get();
  if (session == nullptr) return Bytes();
  try {
    std::optional<Bytes> body = Exchange(session, *target);
    return body ? std::move(*body) : Bytes();
  } catch (const std::bad_alloc&) {
    // A body the memory cannot hold is a failed fetch like any other.
    return Bytes();
  }
}

Bytes FetchUrlBytes(const Text& address) { return FetchUrlBytes(address, ProcessInternet()); }

void CloseSharedInternetHandle() { ProcessInternet().Close(); }

}  // namespace orvalin
