#include "text/text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>

#include "text/search.h"

namespace orvalin {
namespace {

using search::IsLeadByte;
using search::NextCharacter;

// Every routine but TextConcat gives the absent value for an empty result.
Text Result(std::string_view bytes) { return bytes.empty() ? Text() : Text(bytes); }

int ClampedLength(std::size_t size) {
  return size > static_cast<std::size_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(size);
}

bool IsIncomplete(std::string_view s, std::size_t at) {
  return IsLeadByte(s[at]) && at + 1 == s.size();
}

// The blank that starts at `at`, if any: its length in bytes (1 for the ASCII
// space, 2 for the full-width space A1 A1), else 0.
std::size_t BlankLengthAt(std::string_view s, std::size_t at) {
  if (s[at] == ' ') return 1;
  if (static_cast<unsigned char>(s[at]) == 0xA1 && at + 1 < s.size() &&
      static_cast<unsigned char>(s[at + 1]) == 0xA1) {
    return 2;
  }
  return 0;
}

}  // namespace

// ---- Text ----

Text::Text(const char* zeroTerminated) {
  if (zeroTerminated == nullptr) return;
  bytes_ = zeroTerminated;
  present_ = true;
}

Text::Text(const char* bytes, std::size_t length) : present_(true) {
  if (length == 0) return;
  const void* zero = std::memchr(bytes, 0, length);
  if (zero != nullptr) length = static_cast<std::size_t>(static_cast<const char*>(zero) - bytes);
  bytes_.assign(bytes, length);
}

Text Text::EmptyWithStorage() { return Text(""); }

// ---- Text basics ----

int TextLength(const Text& t) { return ClampedLength(t.Size()); }

Text TextConcat(std::initializer_list<Text> parts) {
  std::string joined;
  std::size_t total = 0;
  for (const Text& part : parts) total += part.Size();
  joined.reserve(total);
  for (const Text& part : parts) joined.append(part.View());
  return Text(std::string_view(joined));  // has storage even when empty
}

bool TextEquals(const Text& a, const Text& b) { return a.View() == b.View(); }

Text TextLeft(const Text& t, int n) {
  if (n <= 0) return Text();
  return Result(t.View().substr(0, static_cast<std::size_t>(n)));
}

Text TextRight(const Text& t, int n) {
  if (n <= 0) return Text();
  const std::size_t keep = std::min(t.Size(), static_cast<std::size_t>(n));
  return Result(t.View().substr(t.Size() - keep));
}

Text TextMid(const Text& t, int start, int n) {
  if (start < 1 || n <= 0 || static_cast<std::size_t>(start) > t.Size()) return Text();
  return Result(t.View().substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(n)));
}

// ---- Searching and reshaping ----

int FindText(const Text& t, const Text& sought, int start, bool ignoreCase) {
  if (start < 1) start = 1;
  if (static_cast<std::size_t>(start) > t.Size()) return -1;
  if (sought.Size() == 0) return 1;
  const std::size_t at =
      search::FindFrom(t.View(), static_cast<std::size_t>(start) - 1, sought.View(), ignoreCase);
  return at == search::kNotFound ? -1 : static_cast<int>(at) + 1;
}

int FindTextReverse(const Text& t, const Text& sought) {
  const std::string_view s = t.View();
  if (s.empty()) return -1;
  if (sought.Size() == 0) return 1;
  std::size_t last = search::kNotFound;
  std::size_t from = 0;
  while (from < s.size()) {
    const std::size_t at = search::FindFrom(s, from, sought.View(), false);
    if (at == search::kNotFound) break;
    last = at;
    from = NextCharacter(s, at);  // overlapping occurrences count
  }
  return last == search::kNotFound ? -1 : static_cast<int>(last) + 1;
}

Text ReplaceText(const Text& t, const Text& sought, const Text& replacement) {
  const std::string_view s = t.View();
  if (s.empty() || sought.Size() == 0) return t;
  std::string out;
  out.reserve(s.size());
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = search::FindFrom(s, from, sought.View(), false);
    if (at == search::kNotFound) break;
    out.append(s.substr(from, at - from));
    out.append(replacement.View());
    from = at + sought.Size();
  }
  out.append(s.substr(from));
  return Result(out);
}

TextArray SplitText(const Text& t, const Text& separator) {
  TextArray pieces;
  const std::string_view s = t.View();
  if (s.empty()) return pieces;
  if (separator.Size() == 0) {
    ArrayAppend(pieces, t);
    return pieces;
  }
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = search::FindFrom(s, from, separator.View(), false);
    if (at == search::kNotFound) break;
    ArrayAppend(pieces, Result(s.substr(from, at - from)));
    from = at + separator.Size();
  }
  if (from < s.size()) ArrayAppend(pieces, Result(s.substr(from)));
  return pieces;
}

Text TrimBoth(const Text& t) {
  const std::string_view s = t.View();
  std::size_t at = 0;
  while (at < s.size() && BlankLengthAt(s, at) != 0) at += BlankLengthAt(s, at);
  const std::size_t begin = at;
  std::size_t end = begin;  // just after the last character that is no blank
  while (at < s.size()) {
    if (IsIncomplete(s, at)) {
      end = at;  // the incomplete character goes, the blanks before it stay
      break;
    }
    const std::size_t blank = BlankLengthAt(s, at);
    at = blank != 0 ? at + blank : NextCharacter(s, at);
    if (blank == 0) end = at;
  }
  return Result(s.substr(begin, end - begin));
}

Text RemoveSpaces(const Text& t) {
  const std::string_view s = t.View();
  std::string out;
  out.reserve(s.size());
  std::size_t at = 0;
  while (at < s.size()) {
    const std::size_t blank = BlankLengthAt(s, at);
    if (blank != 0) {
      at += blank;
      continue;
    }
    if (IsIncomplete(s, at)) break;
    const std::size_t next = NextCharacter(s, at);
    out.append(s.substr(at, next - at));
    at = next;
  }
  return Result(out);
}

Text ToLowerCase(const Text& t) {
  std::string out(t.View());
  std::size_t at = 0;
  while (at < out.size()) {
    if (out[at] >= 'A' && out[at] <= 'Z') out[at] = static_cast<char>(out[at] + 32);
    at = NextCharacter(out, at);
  }
  return Result(out);
}

namespace {

// The next character of a text read by TextToInt, with full-width forms
// folded to ASCII: a byte for a single-byte or folded character, or 0x100 for
// a double-byte character that stays (it is neither blank, sign nor digit).
class FoldedReader {
 public:
  explicit FoldedReader(std::string_view s) : s_(s) {}

  static constexpr int kOther = 0x100;
  static constexpr int kEnd = -1;

  int Peek() const {
    if (at_ >= s_.size()) return kEnd;
    const auto lead = static_cast<unsigned char>(s_[at_]);
    if (lead < 0x80) return lead;
    if (at_ + 1 >= s_.size()) return kEnd;  // an incomplete character is dropped
    const auto trail = static_cast<unsigned char>(s_[at_ + 1]);
    if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) return trail - 0x80;
    if (lead == 0xA1 && trail == 0xA1) return ' ';
    if (lead == 0xA1 && trail == 0xAB) return '~';
    if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) return '*';
    return kOther;
  }
  void Skip() { at_ = NextCharacter(s_, at_); }

 private:
  std::string_view s_;
  std::size_t at_ = 0;
};

bool IsIntWhitespace(int c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }

}  // namespace

int TextToInt(const Text& t) {
  FoldedReader reader(t.View());
  while (IsIntWhitespace(reader.Peek())) reader.Skip();
  bool negative = false;
  if (reader.Peek() == '+' || reader.Peek() == '-') {
    negative = reader.Peek() == '-';
    reader.Skip();
  }
  std::uint32_t value = 0;  // wraps modulo 2^32, as the reading rule wants
  while (reader.Peek() >= '0' && reader.Peek() <= '9') {
    value = value * 10u + static_cast<std::uint32_t>(reader.Peek() - '0');
    reader.Skip();
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

Text IntToText(int n) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", n);
  return Text(digits);
}

// ---- Text and bytes ----

Bytes TextToBytes(const Text& t) { return Bytes(t.View().begin(), t.View().end()); }

Text BytesToText(const Bytes& b) {
  // Built once: a page can be megabytes, and a second copy costs as much.
  Text t(reinterpret_cast<const char*>(b.data()), b.size());
  if (t.Size() == 0) return Text();
  return t;
}

Text SpaceText(int n) {
  if (n <= 0) return Text();
  return Text(std::string(static_cast<std::size_t>(n), ' '));
}

int BytesLength(const Bytes& b) { return ClampedLength(b.size()); }

Bytes ZeroBytes(int n) {
  if (n <= 0) return Bytes();
  return Bytes(static_cast<std::size_t>(n), 0);
}

Bytes BytesLeft(const Bytes& b, int n) {
  if (n <= 0) return Bytes();
  const std::size_t keep = std::min(b.size(), static_cast<std::size_t>(n));
  return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(keep));
}

Bytes BytesConcat(std::initializer_list<Bytes> parts) {
  Bytes joined;
  std::size_t total = 0;
  for (const Bytes& part : parts) total += part.size();
  joined.reserve(total);
  for (const Bytes& part : parts) joined.insert(joined.end(), part.begin(), part.end());
  return joined;
}

// ---- Arrays ----

int ArrayCount(const TextArray& a) { return ClampedLength(a.members_.size()); }

const Text& ArrayMember(const TextArray& a, int i) {
  if (i < 1 || static_cast<std::size_t>(i) > a.members_.size()) {
    std::fprintf(stderr, "ArrayMember: index %d outside 1..%zu\n", i, a.members_.size());
    std::abort();
  }
  return a.members_[static_cast<std::size_t>(i) - 1];
}

void ArrayAppend(TextArray& a, const Text& t) {
  a.members_.push_back(t.IsAbsent() ? Text::EmptyWithStorage() : t);
}

void ArrayClear(TextArray& a) { a.members_.clear(); }

}  // namespace orvalin
