// The picture fetch: one GET over the Windows internet client (WinINet)
// through an internet handle the whole process shares, giving the whole body
// or nothing.
#pragma once

#include "text/text.h"

namespace orvalin {

class SharedInternet;

// FetchUrlBytes gets `address` ("http://..." or "https://...") and gives the
// whole body of the response, whatever its status: a 404 page comes back
// like a picture. Everything from the first "#" on is not sent. Requests
// follow the system's proxy settings, ask for HTTP/1.0, accept */* and never
// use the cache.
//
// Empty, with nothing sent, for an empty address, one WinINet cannot split,
// one holding a line break (CR or LF), or another scheme ("ftp://...").
// Empty as well when no response came, when a read failed, or when fewer
// bytes arrived than the response's Content-Length announced: a body cut off
// is never returned as if whole.
// A body without Content-Length ends with its connection. Only a body longer
// than a Bytes value may hold (kMaxBodyLength) is cut, to what fits.
//
// Any number of threads may call it at once. The first call opens the
// process's shared internet handle.
Bytes FetchUrlBytes(const Text& address);

// The same through a given shared handle instead of the process's own.
Bytes FetchUrlBytes(const Text& address, SharedInternet& internet);

// CloseSharedInternetHandle closes the process's shared internet handle at
// shut-down. Fetches still running fail, later ones send nothing.
void CloseSharedInternetHandle();

}  // namespace orvalin
