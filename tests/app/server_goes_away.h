// For faults that do not end soon by themselves: a redirect that leads back
// to itself, which Wine's WinINet follows without limit (about 300 requests a
// second), and a server that stalls, which a request gives up on only after
// its 30 s receive time-out (fetch_faults_test.cpp waits that out once). The
// test lets the call wait until the server has its request, then closes the
// server and takes the result.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "script_server.h"

namespace orvalin::testing {

// How long a call may wait on the server after the server has its request,
// before the server goes away.
constexpr DWORD kPatienceMs = 200;

// Runs `call` on a thread of its own. Takes the servers in the order the
// call reaches them: once a server has received a request and the patience
// has passed, closes it (a stalled reply ends, its port refuses connections).
// Returns when the call has returned.
inline void UntilTheServersGo(const std::vector<std::unique_ptr<ScriptedListener>*>& servers,
                              const std::function<void()>& call) {
  std::thread caller(call);
  for (std::unique_ptr<ScriptedListener>* server : servers) {
    // Generous: a server that never sees its request fails the test instead
    // of hanging it.
    EXPECT_TRUE((*server)->WaitForRequests(1, 20000));
    Sleep(kPatienceMs);
    server->reset();
  }
  caller.join();
}

}  // namespace orvalin::testing
