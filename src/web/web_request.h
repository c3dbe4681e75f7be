// Requesting a web page through the Windows internet client (WinINet).
#pragma once

#include "text/text.h"

namespace orvalin {

// The optional parameters of WebRequest, in their order. Name only the ones
// you need:   WebRequest(address, {.cookies = &jar, .location = &where});
// Pointers are the caller's variables: in/out ones are read and rewritten,
// out ones only written, and a null pointer leaves the parameter out.
struct WebRequestOptions {
  int method = 0;              // 1: POST; anything else: GET; not 0: a body is sent
  Text postText;               // the body as text, used when *postBytes is empty
  Text* cookies = nullptr;     // in/out cookie string; given (even empty), WinINet's own
                               // cookie handling is off and the response's cookies are merged in
  Text* newCookies = nullptr;  // out: the cookies this response set
  Text* headers = nullptr;     // in/out: extra header lines; receives the text that was sent
  Text* location = nullptr;    // out, not cleared on entry: Location value, else the header block
  bool noRedirect = false;     // return a redirect response instead of following it
  Bytes* postBytes = nullptr;  // in/out: the body as bytes; receives postText's bytes when empty
  const Text* proxy = nullptr;  // given: HTTP requests go through this proxy ("http=" + *proxy)
  Text* rawHeaders = nullptr;  // out: the response's raw header block, lines joined by CRLF
};

// WebRequest sends one GET or POST for `address` and returns the whole
// response body (of any status), empty when no request could be made or
// nothing was read. The caller's variables change only when a request was
// made; a failure to open, connect or make the request leaves them alone.
// Every handle is closed before it returns.
Bytes WebRequest(const Text& address, const WebRequestOptions& options = {});

// FetchPageText gives the body of the page at `address` as text, up to its
// first zero byte; empty when the page could not be fetched.
Text FetchPageText(const Text& address);

}  // namespace orvalin
