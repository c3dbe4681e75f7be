#include "text/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "text_test_support.h"

namespace orvalin {
namespace {

TEST(TextValue, AbsentAndEmptyDifferOnlyForTheSystem) {
  EXPECT_EQ(Text().ForSystem(), nullptr);
  EXPECT_EQ(Text(nullptr).ForSystem(), nullptr);
  EXPECT_STREQ(Text("").ForSystem(), "");
  EXPECT_TRUE(TextEquals(Text(), Text("")));
  EXPECT_EQ(TextLength(Text()), 0);
  // Empty results are absent, except TextConcat's.
  EXPECT_TRUE(TextMid("abc", 5, 1).IsAbsent());
  EXPECT_TRUE(TrimBoth("   ").IsAbsent());
  EXPECT_FALSE(TextConcat({}).IsAbsent());
  EXPECT_FALSE(TextConcat({Text(), Text()}).IsAbsent());
  EXPECT_EQ(S(TextConcat({"ab", Text(), DB_BACKSLASH, "c"})), "ab" DB_BACKSLASH "c");
}

TEST(TextValue, NeverHoldsAZeroByte) {
  const char raw[] = {'a', 'b', 0, 'c'};
  EXPECT_EQ(S(Text(raw, sizeof raw)), "ab");
  EXPECT_EQ(S(BytesToText(Bytes{'a', 'b', 0, 'c', 'd'})), "ab");
  EXPECT_TRUE(BytesToText(Bytes{}).IsAbsent());
}

TEST(TextEquals, ComparesBytesExactly) {
  EXPECT_TRUE(TextEquals("ab", "ab"));
  EXPECT_FALSE(TextEquals("ab", "AB"));
  EXPECT_FALSE(TextEquals("ab", "ab "));
  EXPECT_FALSE(TextEquals(DB_A, DB_a));
}

TEST(TextCutting, CountsPlainBytes) {
  struct Case {
    const char* what;
    Text result;
    const char* expected;
  } cases[] = {
      {"Left within", TextLeft("abc", 2), "ab"},
      {"Left beyond", TextLeft("ab", 5), "ab"},
      {"Left zero", TextLeft("ab", 0), ""},
      {"Left negative", TextLeft("ab", -1), ""},
      {"Left splits a character", TextLeft(DB_A "x", 1), LEAD},
      {"Right within", TextRight("abc", 2), "bc"},
      {"Right zero", TextRight("ab", 0), ""},
      {"Right beyond", TextRight("ab", 9), "ab"},
      {"Mid from 2 for 9", TextMid("abc", 2, 9), "bc"},
      {"Mid from 0 is not moved to 1", TextMid("abc", 0, 2), ""},
      {"Mid from -1", TextMid("abc", -1, 5), ""},
      {"Mid from length", TextMid("abc", 3, 1), "c"},
      {"Mid past the end", TextMid("abc", 4, 1), ""},
      {"Mid zero bytes", TextMid("abc", 1, 0), ""},
      {"Mid of absent", TextMid(Text(), 1, 1), ""},
      {"Mid splits a character", TextMid(DB_BACKSLASH "x", 2, 2), "\\x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(S(c.result), c.expected);
  }
}

struct FindCase {
  const char* t;
  const char* sought;
  int start;
  bool ignoreCase;
  int expected;
};

TEST(FindText, Table) {
  const FindCase cases[] = {
      {"abc", "", 1, false, 1},
      {"abc", "", 3, false, 1},  // an empty sought gives 1 whatever start is
      {"abc", "", 4, false, -1},
      {"", "", 1, false, -1},
      {"", "a", 1, false, -1},
      {"abcabc", "c", 0, false, 3},
      {"abcabc", "c", -5, false, 3},
      {"abcabc", "c", 4, false, 6},  // positions count from the first byte
      {"abcabc", "c", 7, false, -1},
      {"abc", "abcd", 1, false, -1},
      {"aBc", "b", 1, false, -1},
      {"aBc", "b", 1, true, 2},
      {DB_A, "A", 1, false, -1},  // 'A' as a trail byte is not a character
      {DB_A, DB_a, 1, true, 1},   // ignoreCase folds trail bytes as well
      {DB_A, DB_a, 1, false, -1},
      {DB_BACKSLASH "\\", "\\", 1, false, 3},
      {DB_BAR DB_BAR "|", "|", 1, false, 5},
      {"x" DB_BAR, "|", 1, false, -1},
      // The scan begins at start whatever that byte is: from the trail byte
      // of B0 5C, the 5C is a character of its own.
      {DB_BACKSLASH, "\\", 2, false, 2},
      // Three lead bytes then 'A': from 1 the pairs are B0B0 B0A, so no 'A';
      // from 2 the pairs are B0B0 then 'A'.
      {LEAD LEAD LEAD "A", "A", 1, false, -1},
      {LEAD LEAD LEAD "A", "A", 2, false, 4},
      {"ab" LEAD, LEAD, 1, false, 3},  // an incomplete character is the last candidate
      {"\xD6\xD0\xCE\xC4", "\xD0\xCE", 1, false, -1},  // no match across two characters
      {"\xD6\xD0\xCE\xC4", "\xCE\xC4", 1, false, 3},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(Hex(c.t) + " / " + Hex(c.sought) + " from " + std::to_string(c.start));
    EXPECT_EQ(FindText(c.t, c.sought, c.start, c.ignoreCase), c.expected);
  }
}

TEST(FindText, LongTextsTakeTheWideFilterPath) {
  // Long enough that the 16-byte filter runs, with a false hit inside a
  // double-byte run before the real one.
  std::string t(100, 'x');
  t += DB_BAR "x|";
  for (int i = 0; i < 50; ++i) t += DB_A;
  EXPECT_EQ(FindText(Text(t), "|"), 104);
  EXPECT_EQ(FindText(Text(t), "x|", 1, true), 103);
  EXPECT_EQ(FindText(Text(t), "A"), -1);
  EXPECT_EQ(FindText(Text(t), "a", 1, true), -1);
  EXPECT_EQ(FindText(Text(t), DB_a DB_a, 1, true), 105);
}

TEST(FindTextReverse, Table) {
  const FindCase cases[] = {
      {"a:b:c", ":", 0, false, 4},
      {"aaa", "aa", 0, false, 2},  // overlapping occurrences count
      {"abc", "x", 0, false, -1},
      {"abc", "", 0, false, 1},
      {"", "", 0, false, -1},
      {"aBc", "b", 0, false, -1},  // always case-sensitive
      {"\\" DB_BACKSLASH, "\\", 0, false, 1},
      {LEAD "aa", "a", 0, false, 3},
  };
  for (const FindCase& c : cases) {
    SCOPED_TRACE(Hex(c.t) + " / " + Hex(c.sought));
    EXPECT_EQ(FindTextReverse(c.t, c.sought), c.expected);
  }
}

TEST(ReplaceText, Table) {
  struct Case {
    const char *t, *sought, *replacement, *expected;
  } cases[] = {
      {"aaa", "aa", "b", "ba"},
      {"a.b.c", ".", "", "abc"},
      {"abc", "", "x", "abc"},
      {"", "a", "x", ""},
      {"aBA", "a", "x", "xBA"},  // case-sensitive
      {DB_BACKSLASH "\\", "\\", "/", DB_BACKSLASH "/"},
      {"#\xD2\xFD\xBA\xC5" "a#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", "\"", "\"a\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.t));
    EXPECT_EQ(S(ReplaceText(c.t, c.sought, c.replacement)), c.expected);
  }
}

TEST(SplitText, Table) {
  struct Case {
    const char *t, *separator;
    std::vector<std::string> expected;
  } cases[] = {
      {"a;;b;", ";", {"a", "", "b"}},
      {";a", ";", {"", "a"}},
      {";", ";", {""}},
      {"abc", ";", {"abc"}},
      {"", ";", {}},
      {"abc", "", {"abc"}},
      {"a\r\nb\r\n\r\nc", "\r\n", {"a", "b", "", "c"}},
      {"x" DB_BAR "|y", "|", {"x" DB_BAR, "y"}},
      {"a; b", "; ", {"a", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.t));
    EXPECT_EQ(Members(SplitText(c.t, c.separator)), c.expected);
  }
}

TEST(BlanksAndCase, Table) {
  using Op = std::function<Text(const Text&)>;
  struct Case {
    const char* what;
    Op op;
    const char *t, *expected;
  } cases[] = {
      {"trim keeps tabs", TrimBoth, "\tab\t", "\tab\t"},
      {"trim both blanks", TrimBoth, FULL_SPACE "ab ", "ab"},
      {"trim keeps inner blanks", TrimBoth, "  a b  ", "a b"},
      {"trim blanks only", TrimBoth, " " FULL_SPACE " ", ""},
      {"trim drops an incomplete end, keeps the blanks before it", TrimBoth, " a " LEAD, "a "},
      {"trim half a full-width space is no blank", TrimBoth, "a \xA1", "a "},
      {"trim A1 with another trail is no blank", TrimBoth, "\xA1\xA2 ", "\xA1\xA2"},
      {"remove all blanks", RemoveSpaces, " a" FULL_SPACE "b\tc ", "ab\tc"},
      {"remove drops an incomplete end", RemoveSpaces, "a b" LEAD, "ab"},
      {"remove keeps a space-like trail byte", RemoveSpaces, "\xB0\x20x", "\xB0\x20x"},
      {"lower ASCII", ToLowerCase, "AbC-Z", "abc-z"},
      {"lower leaves double-byte characters", ToLowerCase, DB_A "A", DB_A "a"},
      {"lower of absent", ToLowerCase, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(S(c.op(c.t)), c.expected);
  }
}

TEST(TextToInt, Table) {
  struct Case {
    const char* t;
    int expected;
  } cases[] = {
      {" 12x", 12},
      {"-7", -7},
      {"+7", 7},
      {"abc", 0},
      {"", 0},
      {"- 7", 0},
      {"\t\n\v\f\r 42", 42},
      {"\xA3\xB8\xA3\xB0", 80},                   // full-width 8 0
      {FULL_SPACE "\xA3\xAD\xA3\xB5", -5},       // full-width blank, minus, 5
      {"\xA3\xAB" "3", 3},                        // full-width plus
      {"12\xA3\xB3", 123},
      {"1" DB_A "2", 1},                          // another double-byte character stops
      {"2147483647", INT_MAX},
      {"2147483648", INT_MIN},                    // wraps modulo 2^32
      {"-2147483648", INT_MIN},
      {"4294967297", 1},
      {"7" LEAD, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Hex(c.t));
    EXPECT_EQ(TextToInt(c.t), c.expected);
  }
}

TEST(IntToText, Table) {
  EXPECT_EQ(S(IntToText(0)), "0");
  EXPECT_EQ(S(IntToText(42)), "42");
  EXPECT_EQ(S(IntToText(-7)), "-7");
  EXPECT_EQ(S(IntToText(INT_MIN)), "-2147483648");
  EXPECT_EQ(S(IntToText(INT_MAX)), "2147483647");
}

TEST(BytesOps, Table) {
  const Bytes abc{'a', 'b', 'c'};
  EXPECT_EQ(TextToBytes("ab" DB_A), (Bytes{'a', 'b', 0xB0, 0x41}));
  EXPECT_TRUE(TextToBytes(Text()).empty());
  EXPECT_EQ(BytesLength(abc), 3);
  EXPECT_EQ(BytesLeft(abc, 2), (Bytes{'a', 'b'}));
  EXPECT_EQ(BytesLeft(abc, 9), abc);
  EXPECT_TRUE(BytesLeft(abc, 0).empty());
  EXPECT_TRUE(BytesLeft(abc, -3).empty());
  EXPECT_EQ(ZeroBytes(3), (Bytes{0, 0, 0}));
  EXPECT_TRUE(ZeroBytes(-1).empty());
  EXPECT_EQ(BytesConcat({abc, Bytes{}, Bytes{0, 'z'}}), (Bytes{'a', 'b', 'c', 0, 'z'}));
  EXPECT_EQ(S(SpaceText(3)), "   ");
  EXPECT_TRUE(SpaceText(0).IsAbsent());
}

TEST(TextArrayOps, OwnsCopiesNumberedFromOne) {
  TextArray a;
  EXPECT_EQ(ArrayCount(a), 0);
  std::string source = "first";
  ArrayAppend(a, Text(source));
  source[0] = 'X';
  ArrayAppend(a, Text());
  EXPECT_EQ(ArrayCount(a), 2);
  EXPECT_EQ(S(ArrayMember(a, 1)), "first");
  EXPECT_STREQ(ArrayMember(a, 2).ForSystem(), "");  // absent appended becomes empty
  ArrayClear(a);
  EXPECT_EQ(ArrayCount(a), 0);
}

#if GTEST_HAS_DEATH_TEST
TEST(TextArrayDeathTest, MemberOutsideTheRangeStopsTheProgram) {
  TextArray a;
  ArrayAppend(a, "x");
  EXPECT_DEATH(ArrayMember(a, 0), "outside 1..1");
  EXPECT_DEATH(ArrayMember(a, 2), "outside 1..1");
}
#endif

}  // namespace
}  // namespace orvalin
