// What every fuzz target shares: a check that aborts with a message, so
// libFuzzer records the input that broke an invariant, and a substring test.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace orvalin::fuzz {

inline void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

inline bool Contains(std::string_view haystack, std::string_view piece) {
  return haystack.find(piece) != std::string_view::npos;
}

}  // namespace orvalin::fuzz
