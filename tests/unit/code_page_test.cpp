#include <gtest/gtest.h>

// The code page the tests keep their data in: iconv's, or the table of the
// builds without iconv, which the other tests rely on as much.
#include "base/text.h"
#include "disk_services.h"

namespace tav {
namespace {

TEST(GbkCodePage, ConvertsChineseBothWays) {
  test::GbkCodePage gbk;
  EXPECT_EQ(gbk.from_utf8("中文 abc"), "\xD6\xD0\xCE\xC4 abc");
  EXPECT_EQ(gbk.to_utf8("\xD6\xD0\xCE\xC4 abc"), "中文 abc");
  EXPECT_EQ(gbk.from_utf8(""), "");
}

TEST(GbkCodePage, WritesUnrepresentableCharactersAsQuestionMarks) {
  test::GbkCodePage gbk;
  EXPECT_EQ(gbk.from_utf8("a\xF0\x9F\x98\x80z"), "a?z");  // emoji
  EXPECT_EQ(gbk.from_utf8("한"), "?");                   // Hangul is not in GBK
  EXPECT_EQ(gbk.from_utf8("a\xFF" "b"), "a?b");          // broken UTF-8
}

TEST(GbkCodePage, KeepsInvalidBytesThroughARoundTrip) {
  test::GbkCodePage gbk;
  const std::string bytes("ok\xFF\x80\xD6|\x81", 7);  // 0xFF invalid, 0xD6 | is a broken pair
  const std::string text = gbk.to_utf8(bytes);
  EXPECT_EQ(gbk.from_utf8(text), bytes);
}

TEST(GbkCodePage, AKeptByteNeverSwallowsTheByteAfterIt) {
  test::GbkCodePage gbk;
  // 0xAF before "|" would read back as one double-byte character.
  const std::string kept_af = utf8_from_code_point(0xDCAF);
  const std::string written = gbk.from_utf8("n" + kept_af + "|2|3");
  EXPECT_EQ(gbk.to_utf8(written), "n?|2|3");
  // Two kept bytes that would pair with each other (B0 A1 is a character).
  const std::string pair = utf8_from_code_point(0xDCB0) + utf8_from_code_point(0xDCA1);
  EXPECT_EQ(gbk.from_utf8(pair), "?\xA1");
  // Where nothing follows that it pairs with, the byte goes back as itself.
  EXPECT_EQ(gbk.from_utf8("n" + kept_af + "\r\n"), "n\xAF\r\n");
  EXPECT_EQ(gbk.from_utf8(kept_af), "\xAF");
  // Whatever is written reads back as the same text.
  for (int b = 0x80; b <= 0xFF; ++b) {
    for (const char* after : {"|", "a", "\x01", "@", "\x7F"}) {
      const std::string text = "x" + utf8_from_code_point(0xDC00 + b) + after;
      const std::string back = gbk.to_utf8(gbk.from_utf8(text));
      EXPECT_TRUE(back == text || back == "x?" + std::string(after)) << b << after;
    }
  }
}

TEST(GbkCodePage, TellsDoubleByteCharacters) {
  test::GbkCodePage gbk;
  EXPECT_TRUE(gbk.is_double_byte(U'中'));
  EXPECT_TRUE(gbk.is_double_byte(U'，'));
  EXPECT_FALSE(gbk.is_double_byte(U'a'));
  EXPECT_FALSE(gbk.is_double_byte(U'\x80'));    // not in GBK at all
  EXPECT_FALSE(gbk.is_double_byte(0x1F600));    // outside the code page
  EXPECT_TRUE(gbk.is_lead_byte(0xD6));
  EXPECT_FALSE(gbk.is_lead_byte('|'));
}

}  // namespace
}  // namespace tav
