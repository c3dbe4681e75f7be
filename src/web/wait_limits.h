// How long one request waits on a silent server before it fails. On today's
// Windows, WinINet gives up after its own limits (30 s to send a request, 30 s
// for each receive); Wine's WinINet has no such limits and waits forever, so
// a stalled server would hold a job until the program ends. Each request
// handle gets WinINet's Windows limits set explicitly, so that a request ends
// the same way on both.
#pragma once

#include <windows.h>
#include <wininet.h>

namespace orvalin {

constexpr DWORD kSendTimeoutMs = 30'000;
constexpr DWORD kReceiveTimeoutMs = 30'000;

inline void LimitWaiting(HINTERNET request) {
  DWORD send = kSendTimeoutMs, receive = kReceiveTimeoutMs;
  InternetSetOptionA(request, INTERNET_OPTION_SEND_TIMEOUT, &send, sizeof send);
  InternetSetOptionA(request, INTERNET_OPTION_RECEIVE_TIMEOUT, &receive, sizeof receive);
}

}  // namespace orvalin
