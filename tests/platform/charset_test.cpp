// The program's text literals must end up as GBK bytes, because the window
// shows them through the ANSI API with code page 936. g++ converts the UTF-8
// sources with -fexec-charset=GBK; a build that lost the flag stores UTF-8
// instead and fails here.
#include <gtest/gtest.h>

#include <string>

namespace {

std::string hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 0xF];
  }
  return out;
}

TEST(Charset, LiteralsAreGbk) {
  EXPECT_EQ(hex("完成！"), "CD EA B3 C9 A3 A1");
  EXPECT_EQ(hex("开始下载"), "BF AA CA BC CF C2 D4 D8");
}

}  // namespace
