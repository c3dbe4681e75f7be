#include "web/web_request.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

#include "web/internet_handle.h"
#include "web/request_logic.h"
#include "web/url.h"
#include "web/wait_limits.h"

namespace orvalin {
namespace {

static_assert(request_flags::kReload == INTERNET_FLAG_RELOAD);
static_assert(request_flags::kNeedFile == INTERNET_FLAG_NEED_FILE);
static_assert(request_flags::kNoCookies == INTERNET_FLAG_NO_COOKIES);
static_assert(request_flags::kNoAutoRedirect == INTERNET_FLAG_NO_AUTO_REDIRECT);
static_assert(request_flags::kSecure == INTERNET_FLAG_SECURE);
static_assert(request_flags::kIgnoreRedirectToHttps == INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS);

constexpr DWORD kReadBlock = 1024;
constexpr DWORD kHeaderBuffer = 5000;

// A null pointer for an empty text, as the internet client wants for "none".
const char* OrNull(const Text& t) { return TextLength(t) == 0 ? nullptr : t.Data(); }

InternetHandle OpenInternet(const Text& agent, const Text* proxy) {
  if (proxy == nullptr) {
    return InternetHandle(
        InternetOpenA(OrNull(agent), INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0));
  }
  const Text proxyList = TextConcat({"http=", *proxy});
  return InternetHandle(
      InternetOpenA(OrNull(agent), INTERNET_OPEN_TYPE_PROXY, proxyList.Data(), "", 0));
}

InternetHandle Connect(const InternetHandle& internet, const Text& address) {
  const int port = UrlPort(address);
  // A port that does not fit would silently reach another port.
  if (port < 0 || port > 0xFFFF) return InternetHandle();
  return InternetHandle(InternetConnectA(internet.Get(), UrlHost(address).Data(),
                                         static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                         INTERNET_SERVICE_HTTP, 0, 0));
}

// Sends the request. Whether it succeeded is not examined: the header block
// query tells whether anything came back.
void Send(const InternetHandle& request, const Text& headers, const WebRequestOptions& options,
          Bytes& postBytes) {
  const auto headerLength = static_cast<DWORD>(TextLength(headers));
  if (options.method == 0) {
    static char noData[] = "";
    HttpSendRequestA(request.Get(), headers.Data(), headerLength, noData, 0);
    return;
  }
  if (postBytes.empty()) postBytes = TextToBytes(options.postText);
  HttpSendRequestA(request.Get(), headers.Data(), headerLength,
                   postBytes.empty() ? nullptr : postBytes.data(),
                   static_cast<DWORD>(postBytes.size()));
}

Bytes ReadBody(const InternetHandle& request) {
  Bytes body;
  char block[kReadBlock];
  DWORD got = 0;
  while (InternetReadFile(request.Get(), block, kReadBlock, &got) && got > 0) {
    if (!AppendBodyBlock(body, block, got)) break;
  }
  return body;
}

// Whether a header block holds nothing but line ends, as the client gives
// when sending failed or the connection closed before any status line.
bool IsBareBlock(std::string_view block) {
  return block.find_first_not_of("\r\n") == std::string_view::npos;
}

// The whole raw header block however long it is; empty when there is none
// (for example when sending failed, or nothing came back).
Text QueryRawHeaders(const InternetHandle& request) {
  std::string buffer(kHeaderBuffer, ' ');
  DWORD length = kHeaderBuffer;
  if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &length, nullptr)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return Text();
    buffer.assign(length + 1, ' ');
    length = static_cast<DWORD>(buffer.size());
    if (!HttpQueryInfoA(request.Get(), HTTP_QUERY_RAW_HEADERS_CRLF, buffer.data(), &length,
                        nullptr)) {
      return Text();
    }
  }
  const std::string_view block(buffer.data(), std::min<std::size_t>(length, buffer.size()));
  return IsBareBlock(block) ? Text() : Text(block);
}

struct Response {
  Bytes body;
  Text rawHeaders;
};

// Opens the three handles, sends, reads the body and the header block, and
// closes the handles (innermost first) on every path. Nothing when no request
// handle was obtained; then no caller variable has changed.
std::optional<Response> Exchange(const Text& address, const WebRequestOptions& options,
                                 Text& headers, Bytes& postBytes) {
  const InternetHandle internet = OpenInternet(RequestAgent(headers), options.proxy);
  if (!internet) return std::nullopt;
  const InternetHandle connection = Connect(internet, address);
  if (!connection) return std::nullopt;
  const DWORD flags = RequestFlags(address, options.cookies != nullptr, options.noRedirect);
  const InternetHandle request(HttpOpenRequestA(connection.Get(), RequestVerb(options.method).Data(),
                                                UrlPath(address).Data(), "HTTP/1.1", nullptr,
                                                nullptr, flags, 0));
  if (!request) return std::nullopt;
  LimitWaiting(request.Get());

  const Text cookies = options.cookies ? *options.cookies : Text();
  headers = CompleteHeaders(headers, address, cookies);
  Send(request, headers, options, postBytes);
  Response response;
  response.body = ReadBody(request);
  response.rawHeaders = QueryRawHeaders(request);
  return response;
}

}  // namespace

Bytes WebRequest(const Text& address, const WebRequestOptions& options) {
  // Work on copies; they reach the caller's variables only when a request
  // was made.
  Text headers = options.headers ? *options.headers : Text();
  Bytes postBytes = options.postBytes ? *options.postBytes : Bytes();
  std::optional<Response> response = Exchange(address, options, headers, postBytes);
  if (!response) return Bytes();

  if (options.headers) *options.headers = headers;
  if (options.postBytes) *options.postBytes = postBytes;
  if (options.rawHeaders) *options.rawHeaders = response->rawHeaders;
  Text newCookies;
  Text location = options.location ? *options.location : Text();
  ApplyResponseHeaders(response->rawHeaders, location, newCookies, options.cookies);
  if (options.newCookies) *options.newCookies = newCookies;
  if (options.location) *options.location = location;
  return std::move(response->body);
}

Text FetchPageText(const Text& address) { return BytesToText(WebRequest(address)); }

}  // namespace orvalin
