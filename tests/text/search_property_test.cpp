// The fast search against the plain reference on random double-byte text.
#include <gtest/gtest.h>

#include <random>

#include "reference_text.h"
#include "text/text.h"
#include "text_test_support.h"

namespace orvalin {
namespace {

// Random text from a small alphabet, so that matches are frequent: ASCII
// letters in both cases, the trail bytes '\' and '|', lead bytes, and the
// full-width blank's byte.
std::string RandomText(std::mt19937& rng, std::size_t maxLength) {
  static const unsigned char kAlphabet[] = {'a', 'A', 'b', '\\', '|', ' ', 0xB0, 0xA1, 0xD2, 0x80};
  std::uniform_int_distribution<std::size_t> length(0, maxLength);
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kAlphabet - 1);
  std::string s(length(rng), '\0');
  for (char& c : s) c = static_cast<char>(kAlphabet[pick(rng)]);
  return s;
}

// Sought is a piece of the text half of the time, so that there is something
// to find, and random otherwise.
std::string RandomSought(std::mt19937& rng, const std::string& t) {
  if (t.empty() || rng() % 2 == 0) return RandomText(rng, 4);
  const std::size_t at = rng() % t.size();
  return t.substr(at, 1 + rng() % 4);
}

TEST(SearchProperty, AgreesWithThePlainReference) {
  std::mt19937 rng(20261211);
  for (int round = 0; round < 20000; ++round) {
    // Long texts now and then, so that the 16-byte filter is exercised.
    const std::string t = RandomText(rng, round % 10 == 0 ? 200 : 40);
    const std::string sought = RandomSought(rng, t);
    const int start = static_cast<int>(rng() % (t.size() + 3)) - 1;
    const bool ignoreCase = rng() % 2 == 0;
    SCOPED_TRACE(Hex(t) + " / " + Hex(sought) + " from " + std::to_string(start));
    ASSERT_EQ(FindText(Text(t), Text(sought), start, ignoreCase),
              reference::FindText(t, sought, start, ignoreCase));
    ASSERT_EQ(FindTextReverse(Text(t), Text(sought)), reference::FindTextReverse(t, sought));
    ASSERT_EQ(S(ReplaceText(Text(t), Text(sought), "#")), reference::ReplaceText(t, sought, "#"));
    ASSERT_EQ(Members(SplitText(Text(t), Text(sought))), reference::SplitText(t, sought));
  }
}

TEST(SearchProperty, SplitThenJoinGivesTheTextBack) {
  std::mt19937 rng(7);
  for (int round = 0; round < 5000; ++round) {
    const std::string t = RandomText(rng, 60);
    const std::string separator = RandomSought(rng, t);
    if (separator.empty()) continue;
    const TextArray pieces = SplitText(Text(t), Text(separator));
    std::string joined;
    for (int i = 1; i <= ArrayCount(pieces); ++i) {
      if (i > 1) joined += separator;
      joined += ArrayMember(pieces, i).View();
    }
    // A separator at the very end adds no piece, so then the join lacks it.
    SCOPED_TRACE(Hex(t) + " / " + Hex(separator));
    ASSERT_TRUE(joined == t || joined + separator == t) << Hex(joined);
  }
}

}  // namespace
}  // namespace orvalin
