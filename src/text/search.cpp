#include "text/search.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace orvalin::search {
namespace {

constexpr std::array<unsigned char, 256> MakeFoldTable() {
  std::array<unsigned char, 256> table{};
  for (int i = 0; i < 256; ++i) {
    table[i] = static_cast<unsigned char>(i >= 'A' && i <= 'Z' ? i + 32 : i);
  }
  return table;
}
constexpr std::array<unsigned char, 256> kFold = MakeFoldTable();

inline bool IsAsciiLetter(unsigned char c) { return kFold[c] >= 'a' && kFold[c] <= 'z'; }

bool BytesMatch(const char* a, const char* b, std::size_t n, bool ignoreCase) {
  if (!ignoreCase) return std::memcmp(a, b, n) == 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (kFold[static_cast<unsigned char>(a[i])] != kFold[static_cast<unsigned char>(b[i])]) {
      return false;
    }
  }
  return true;
}

// Decides whether raw match positions lie on character boundaries of a scan
// that began at `origin`. Positions must be asked in increasing order; the
// checker remembers the last boundary it proved, so the work over a whole
// search stays linear.
class BoundaryChecker {
 public:
  BoundaryChecker(std::string_view s, std::size_t origin) : s_(s), known_(origin) {}

  bool IsBoundary(std::size_t at) {
    if (at < known_) return false;  // positions come in increasing order
    // The byte after any byte below 0x80 ends a character: it is either a
    // single-byte character or a trail byte. From the last such point (or the
    // last proven boundary) on, every byte is >= 0x80 and they pair up.
    std::size_t back = at;
    while (back > known_ && IsLeadByte(s_[back - 1])) --back;
    const bool aligned = (at - back) % 2 == 0;
    known_ = aligned ? at : at + 1;
    return aligned;
  }

 private:
  std::string_view s_;
  std::size_t known_;
};

// A byte pattern for the wide filter: equal to `c`, or for an ASCII letter
// under ignoreCase, equal to its small form after setting bit 0x20. The wider
// test lets some non-letters through; the full comparison rejects them.
struct BytePattern {
  unsigned char value;
  unsigned char orMask;
};

BytePattern PatternFor(unsigned char c, bool ignoreCase) {
  if (ignoreCase && IsAsciiLetter(c)) return {kFold[c], 0x20};
  return {c, 0};
}

}  // namespace

std::size_t FindFrom(std::string_view s, std::size_t from, std::string_view sought,
                     bool ignoreCase) {
  const std::size_t m = sought.size();
  if (m == 0 || from > s.size() || s.size() - from < m) return kNotFound;
  const std::size_t lastStart = s.size() - m;  // the last index a match may start at
  const char* data = s.data();
  BoundaryChecker boundary(s, from);

  auto confirm = [&](std::size_t at) {
    return BytesMatch(data + at, sought.data(), m, ignoreCase) && boundary.IsBoundary(at);
  };

  std::size_t at = from;
#if defined(__SSE2__)
  const BytePattern first = PatternFor(static_cast<unsigned char>(sought.front()), ignoreCase);
  const BytePattern last = PatternFor(static_cast<unsigned char>(sought.back()), ignoreCase);
  const __m128i firstValue = _mm_set1_epi8(static_cast<char>(first.value));
  const __m128i firstOr = _mm_set1_epi8(static_cast<char>(first.orMask));
  const __m128i lastValue = _mm_set1_epi8(static_cast<char>(last.value));
  const __m128i lastOr = _mm_set1_epi8(static_cast<char>(last.orMask));
  // Block [at, at + 16) of start positions needs bytes up to at + 15 + m - 1.
  while (lastStart >= 15 && at <= lastStart - 15) {
    const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + m - 1));
    const __m128i hit = _mm_and_si128(
        _mm_cmpeq_epi8(_mm_or_si128(heads, firstOr), firstValue),
        _mm_cmpeq_epi8(_mm_or_si128(tails, lastOr), lastValue));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
    while (mask != 0) {
      const std::size_t candidate = at + static_cast<std::size_t>(__builtin_ctz(mask));
      if (confirm(candidate)) return candidate;
      mask &= mask - 1;
    }
    at += 16;
  }
#endif
  for (; at <= lastStart; ++at) {
    if (confirm(at)) return at;
  }
  return kNotFound;
}

}  // namespace orvalin::search
