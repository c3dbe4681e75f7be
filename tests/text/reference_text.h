// Plain, obviously-correct versions of the character-aware search, written
// straight from the reading rules: step one character at a time from the
// start and compare byte by byte. The fast routines are checked against them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orvalin::reference {

inline bool SameByte(unsigned char a, unsigned char b, bool ignoreCase) {
  auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  return ignoreCase ? fold(a) == fold(b) : a == b;
}

inline bool MatchesAt(std::string_view t, std::size_t at, std::string_view sought, bool ignoreCase) {
  if (at + sought.size() > t.size()) return false;
  for (std::size_t i = 0; i < sought.size(); ++i) {
    if (!SameByte(t[at + i], sought[i], ignoreCase)) return false;
  }
  return true;
}

inline std::size_t Step(std::string_view t, std::size_t at) {
  return at + (static_cast<unsigned char>(t[at]) >= 0x80 ? 2 : 1);
}

// 1-based position or -1, like FindText.
inline int FindText(std::string_view t, std::string_view sought, int start, bool ignoreCase) {
  if (start < 1) start = 1;
  if (static_cast<std::size_t>(start) > t.size()) return -1;
  if (sought.empty()) return 1;
  for (std::size_t at = start - 1; at < t.size(); at = Step(t, at)) {
    if (MatchesAt(t, at, sought, ignoreCase)) return static_cast<int>(at) + 1;
  }
  return -1;
}

inline int FindTextReverse(std::string_view t, std::string_view sought) {
  if (t.empty()) return -1;
  if (sought.empty()) return 1;
  int last = -1;
  for (std::size_t at = 0; at < t.size(); at = Step(t, at)) {
    if (MatchesAt(t, at, sought, false)) last = static_cast<int>(at) + 1;
  }
  return last;
}

inline std::vector<std::string> SplitText(std::string_view t, std::string_view separator) {
  std::vector<std::string> pieces;
  if (t.empty()) return pieces;
  if (separator.empty()) return {std::string(t)};
  std::size_t pieceStart = 0;
  std::size_t at = 0;
  while (at < t.size()) {
    if (MatchesAt(t, at, separator, false)) {
      pieces.emplace_back(t.substr(pieceStart, at - pieceStart));
      at += separator.size();
      pieceStart = at;
    } else {
      at = Step(t, at);
    }
  }
  if (pieceStart < t.size()) pieces.emplace_back(t.substr(pieceStart));
  return pieces;
}

inline std::string ReplaceText(std::string_view t, std::string_view sought, std::string_view replacement) {
  if (t.empty() || sought.empty()) return std::string(t);
  std::string out;
  std::size_t at = 0;
  while (at < t.size()) {
    if (MatchesAt(t, at, sought, false)) {
      out += replacement;
      at += sought.size();
    } else {
      const std::size_t next = std::min(Step(t, at), t.size());
      out += t.substr(at, next - at);
      at = next;
    }
  }
  return out;
}

}  // namespace orvalin::reference
