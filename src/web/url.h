// Taking a web address apart into host, port and object path for a request.
// These never fail: every address, also an empty or malformed one, yields
// some host, port and path. The schemes understood are "https://" at the very
// start and "http://" anywhere, in any letter case.
#pragma once

#include "text/text.h"

namespace orvalin {

// UrlHost gives the lower-cased host: what follows "https://" at the start, or
// else the first "http://" anywhere (one is assumed in front when there is
// none), up to the next "/".
//   UrlHost("HTTPS://A.B.C/x") == "a.b.c"; UrlHost("ftp://a.b/http://c.d/e") == "c.d"
// lastTwoLabels keeps only the last two dot-separated labels ("x.a.b:81" gives
// "a.b:81"; a port stays on the last label). Without keepPort, everything from
// the first ":" is cut off. An empty address gives an empty host.
Text UrlHost(const Text& address, bool lastTwoLabels = false, bool keepPort = false);

// UrlPort gives the number after the last ":" of the host with its port part,
// read by TextToInt (no digits give 0); without one, 443 when the address
// begins with "https" in any case, else 80.
int UrlPort(const Text& address);

// UrlPath gives the address from the first "/" at or after where its host
// stands, to the end, in the address's own letter case and with its query;
// "/" when there is no such "/". It always begins with "/".
//   UrlPath("HTTPS://A.B.C/x/Y?z=1") == "/x/Y?z=1"; UrlPath("a.b.c") == "/"
Text UrlPath(const Text& address);

}  // namespace orvalin
