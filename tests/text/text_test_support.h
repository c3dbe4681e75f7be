// Tiny double-byte constants and printing for the text tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/text.h"

namespace orvalin {

// Double-byte characters whose trail byte lies in the ASCII range, the case
// that a byte-by-byte search gets wrong.
#define DB_BACKSLASH "\xB0\x5C"  // trail byte is '\'
#define DB_BAR "\xB0\x7C"        // trail byte is '|'
#define DB_A "\xB0\x41"          // trail byte is 'A'
#define DB_a "\xB0\x61"          // trail byte is 'a'
#define FULL_SPACE "\xA1\xA1"    // the full-width blank
#define LEAD "\xB0"              // a lone lead byte: incomplete at the end

inline std::string Hex(std::string_view s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}

inline void PrintTo(const Text& t, std::ostream* os) {
  *os << (t.IsAbsent() ? "<absent>" : "\"" + Hex(t.View()) + "\"");
}

inline std::vector<std::string> Members(const TextArray& a) {
  std::vector<std::string> out;
  for (int i = 1; i <= ArrayCount(a); ++i) out.emplace_back(ArrayMember(a, i).View());
  return out;
}

inline std::string S(const Text& t) { return std::string(t.View()); }

}  // namespace orvalin
