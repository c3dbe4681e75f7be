// The character-aware substring search under FindText, ReplaceText, SplitText
// and the marker cuts. Internal to the text core.
#pragma once

#include <cstddef>
#include <string_view>

namespace orvalin::search {

constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

inline bool IsLeadByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// The byte index just after the character that starts at `at`: a lead byte
// takes the next byte with it; an incomplete character ends at the end.
inline std::size_t NextCharacter(std::string_view s, std::size_t at) {
  std::size_t next = at + (IsLeadByte(s[at]) ? 2 : 1);
  return next < s.size() ? next : s.size();
}

// FindFrom gives the 0-based index of the first occurrence of a non-empty
// `sought` in `s` that starts on a character boundary at or after `from`, or
// kNotFound. Characters are counted from `from`, whatever byte stands there.
// With ignoreCase, ASCII letters compare equal in either case in every byte,
// trail bytes included.
//
// Runs in time linear in the bytes scanned: raw matches come from a 16-byte
// wide filter on the first and last byte of `sought`, and each one is checked
// for alignment by looking back only to the last byte below 0x80 (the end of
// a character for sure) or to the last boundary already known.
std::size_t FindFrom(std::string_view s, std::size_t from, std::string_view sought,
                     bool ignoreCase);

}  // namespace orvalin::search
