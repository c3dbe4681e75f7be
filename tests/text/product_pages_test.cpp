// The job's cut over three saved product pages gives exactly the picture
// addresses listed beside them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "text/between.h"
#include "text_test_support.h"

namespace orvalin {
namespace {

std::string ReadFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> ReadLines(const std::string& name) {
  std::istringstream in(ReadFile(name));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

class ProductPage : public testing::TestWithParam<const char*> {};

TEST_P(ProductPage, YieldsItsPictureList) {
  const std::string page = ReadFile(std::string(GetParam()) + ".html");
  ASSERT_GT(page.size(), 1000000u) << "page not found in the test data folder";
  const std::vector<std::string> expected = ReadLines(std::string(GetParam()) + ".pictures.txt");
  ASSERT_FALSE(expected.empty());

  TextArray values;
  const int count = AllTextsBetween(Text(page), "{\"imageUrl\":\"", ".jpg", values);
  std::vector<std::string> addresses;
  for (int i = 1; i <= count; ++i) addresses.push_back(S(TextConcat({ArrayMember(values, i), ".jpg"})));
  EXPECT_EQ(addresses, expected);
}

INSTANTIATE_TEST_SUITE_P(Saved, ProductPage,
                         testing::Values("offer_603454384329", "offer_1018189511965",
                                         "offer_1045829007567"));

}  // namespace
}  // namespace orvalin
