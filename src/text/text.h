// The value types of the whole program and every operation on them.
//
// Text is GBK bytes (code page 936), never converted: lengths and positions
// count bytes, positions are 1-based, and a search that finds nothing gives -1.
//
// Double-byte rule: the scanning routines (FindText, FindTextReverse,
// ReplaceText, SplitText, TrimBoth, RemoveSpaces, ToLowerCase, TextToInt) read
// one character at a time. A byte 0x00-0x7F is one character; a byte 0x80-0xFF
// takes the byte after it along, whatever that byte is, even when it lies in the
// ASCII range. So in the bytes B0 5C ("\" as a trail byte) there is no "\" to
// find. A lead byte directly before the end is an incomplete character. The
// cutting routines (TextLeft, TextRight, TextMid, BytesLeft) count plain bytes
// and may split a character.
//
// Blanks are the ASCII space 0x20 and the full-width space A1 A1 only.
//
// Absent and empty: a default Text holds no storage (absent). Every routine
// treats absent exactly like empty, and every routine returns the absent value
// when its result is empty, except TextConcat, which always returns storage.
// The two only differ at operating-system calls: Text::ForSystem() gives a null
// pointer for an absent value and a pointer to a zero byte for an empty one.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace orvalin {

class Text {
 public:
  // The absent value.
  Text() = default;
  // The bytes up to the terminating zero; a null pointer gives the absent value.
  Text(const char* zeroTerminated);  // NOLINT: implicit, so literals read naturally
  // The bytes up to, not including, the first zero byte among them.
  Text(const char* bytes, std::size_t length);
  explicit Text(std::string_view bytes) : Text(bytes.data(), bytes.size()) {}

  // An empty value that has storage (what TextConcat returns for nothing).
  static Text EmptyWithStorage();

  bool IsAbsent() const { return !present_; }
  // The bytes without the terminating zero; never null, "" when absent.
  const char* Data() const { return bytes_.c_str(); }
  // For ANSI operating-system calls: null when absent, else zero-terminated.
  const char* ForSystem() const { return present_ ? bytes_.c_str() : nullptr; }
  std::size_t Size() const { return bytes_.size(); }
  std::string_view View() const { return bytes_; }

 private:
  std::string bytes_;
  bool present_ = false;
};

// A counted buffer of arbitrary bytes, zero bytes included.
using Bytes = std::vector<unsigned char>;

// An ordered list of Text members numbered from 1; it owns copies of them.
class TextArray {
 public:
  friend int ArrayCount(const TextArray& a);
  friend const Text& ArrayMember(const TextArray& a, int i);
  friend void ArrayAppend(TextArray& a, const Text& t);
  friend void ArrayClear(TextArray& a);

 private:
  std::vector<Text> members_;
};

// ---- Text basics ----

// TextLength gives the number of bytes; absent gives 0.
int TextLength(const Text& t);

// TextConcat gives the bytes of all arguments in order; absent arguments add
// nothing. Unlike every other routine, the result always has storage, so
// TextConcat({}) is an empty text, not the absent value.
Text TextConcat(std::initializer_list<Text> parts);

// TextEquals is true when both hold the same bytes: no case folding of any
// kind, absent equals empty.
bool TextEquals(const Text& a, const Text& b);

// TextLeft gives the first min(n, length) bytes; n <= 0 gives empty.
Text TextLeft(const Text& t, int n);

// TextRight gives the last min(n, length) bytes; n <= 0 gives empty.
Text TextRight(const Text& t, int n);

// TextMid gives n bytes from the 1-based position start, fewer when the text
// ends first; empty when start < 1, start > length or n <= 0. A start below 1
// is not moved to 1: TextMid("abc", 0, 2) is empty, TextMid("abc", 2, 9) "bc".
Text TextMid(const Text& t, int start, int n);

// ---- Searching and reshaping ----

// FindText gives the position of the first occurrence of sought at or after
// start, or -1. A start <= 0 counts as 1; a start beyond the length gives -1.
// The scan begins at byte start whatever that byte is and steps one character
// at a time, so a match never begins on a trail byte: in B0 41 ("A" as a trail
// byte) "A" is not found, while with ignoreCase B0 61 is found at 1 (ignoreCase
// folds the ASCII letters of every byte compared, trail bytes included).
// An empty sought gives 1 when the searched range holds a byte, else -1.
// Positions count from the first byte of t, not from start.
int FindText(const Text& t, const Text& sought, int start = 1, bool ignoreCase = false);

// FindTextReverse gives the position of the last occurrence of sought in t, or
// -1; case-sensitive, candidates as in FindText, overlaps count: the last "aa"
// in "aaa" is at 2. An empty sought gives 1 for a non-empty t, else -1.
int FindTextReverse(const Text& t, const Text& sought);

// ReplaceText replaces every occurrence of sought, left to right without
// overlap ("aa" by "b" in "aaa" gives "ba"), case-sensitive, over the same
// candidates as FindText. An empty t or sought gives t unchanged; an empty
// replacement deletes the occurrences.
Text ReplaceText(const Text& t, const Text& sought, const Text& replacement);

// SplitText gives the pieces of t between occurrences of separator,
// case-sensitive, over the same candidates as FindText. Empty pieces between
// separators stay; a separator at the very end adds no piece. An empty t gives
// no members; an empty separator gives one member, t itself.
// "a;;b;" gives "a", "", "b"; ";a" gives "", "a"; ";" gives one empty member.
TextArray SplitText(const Text& t, const Text& separator);

// TrimBoth removes the blanks at the start and at the end; a text of blanks
// only gives empty. An incomplete character at the very end is removed too,
// and the blanks before it then stay: "a " B0 gives "a ".
Text TrimBoth(const Text& t);

// RemoveSpaces removes every blank anywhere; tab, CR and LF stay. An
// incomplete character at the end is removed.
Text RemoveSpaces(const Text& t);

// ToLowerCase turns 'A'-'Z' into 'a'-'z'. Double-byte characters are copied
// whole and never changed: B0 41 stays B0 41.
Text ToLowerCase(const Text& t);

// TextToInt reads the decimal number at the start of t. Full-width forms are
// folded first (A3 B0..A3 B9 are '0'..'9', A3 AB '+', A3 AD '-', A1 A1 a
// space); leading whitespace (0x20, 0x09-0x0D) is skipped; one sign is taken;
// digits are read in 32-bit arithmetic that wraps. No digits gives 0:
// " 12x" gives 12, "-7" gives -7, "abc" gives 0.
int TextToInt(const Text& t);

// IntToText gives the signed decimal form of n: "-7", "0", "-2147483648".
Text IntToText(int n);

// ---- Text and bytes ----

// TextToBytes gives the bytes of t without the terminating zero.
Bytes TextToBytes(const Text& t);

// BytesToText gives the bytes of b up to, not including, the first zero byte;
// nothing is converted.
Text BytesToText(const Bytes& b);

// SpaceText gives n spaces; n <= 0 gives empty.
Text SpaceText(int n);

// BytesLength gives the number of bytes.
int BytesLength(const Bytes& b);

// ZeroBytes gives n zero bytes; n <= 0 gives empty.
Bytes ZeroBytes(int n);

// BytesLeft gives the first n bytes, n limited to 0..length.
Bytes BytesLeft(const Bytes& b, int n);

// BytesConcat gives the bytes of all arguments in order.
Bytes BytesConcat(std::initializer_list<Bytes> parts);

// ---- Arrays ----

// ArrayCount gives the number of members; a new array has none.
int ArrayCount(const TextArray& a);

// ArrayMember gives member i for 1 <= i <= count; the array keeps ownership.
// Any other index is a programming fault: the program stops.
const Text& ArrayMember(const TextArray& a, int i);

// ArrayAppend appends a copy of t as member count + 1; absent becomes empty.
void ArrayAppend(TextArray& a, const Text& t);

// ArrayClear removes all members.
void ArrayClear(TextArray& a);

}  // namespace orvalin
