// Reply bodies in their declared character sets.
#include "platform/posix/http_text.h"

#include <gtest/gtest.h>

#include "platform/posix/iconv_code_page.h"

namespace tav {
namespace {

TEST(ContentType, TheCharsetParameterAsHttpWritesIt) {
  EXPECT_EQ(charset_of("text/html; charset=utf-8"), "utf-8");
  EXPECT_EQ(charset_of("text/html;charset=\"UTF-8\""), "utf-8");
  EXPECT_EQ(charset_of("text/plain; format=flowed; CharSet = GB2312 "), "gb2312");
  EXPECT_EQ(charset_of("text/plain; name=\"a;charset=x\"; charset=utf8"), "utf8");
  EXPECT_EQ(charset_of("text/plain; flag; charset=big5"), "big5");
  EXPECT_EQ(charset_of("text/plain; charset=\"esc\\\"aped\""), "esc\"aped");
  EXPECT_EQ(charset_of("text/plain"), "");
  EXPECT_EQ(charset_of(""), "");
  EXPECT_EQ(charset_of("text/plain; charset="), "");
  EXPECT_EQ(charset_of("text/plain; charset=\"unterminated"), "unterminated");
}

TEST(ReplyBody, DecodesEveryWayAServerMayDeclareIt) {
  IconvCodePage gbk;
  const std::string utf8 = "第1集$qvod://1|A|名.rmvb|$qvod";
  const std::string in_gbk = gbk.from_utf8(utf8);
  for (const char* type : {"text/plain; charset=utf-8", "text/plain; charset=\"UTF-8\"",
                           "text/plain; charset=utf8", "text/plain;CHARSET=Utf-8", "text/plain"})
    EXPECT_EQ(decode_body(utf8, type, gbk), utf8) << type;
  for (const char* type : {"text/plain; charset=gbk", "text/plain; charset=GB2312",
                           "text/plain; charset=\"x-gbk\"", "text/plain; charset=gb18030",
                           "text/plain"})
    EXPECT_EQ(decode_body(in_gbk, type, gbk), utf8) << type;
  EXPECT_EQ(decode_body("caf\xE9", "text/plain; charset=iso-8859-1", gbk), "café");
  EXPECT_EQ(decode_body("\xEF\xBB\xBFok", "text/plain; charset=gbk", gbk), "ok");
  EXPECT_EQ(decode_body(std::string("\xFF\xFEo\0k\0", 6), "text/plain", gbk), "ok");
  // A charset nobody knows: the bytes decide.
  EXPECT_EQ(decode_body(utf8, "text/plain; charset=no-such-set", gbk), utf8);
  EXPECT_EQ(decode_body(in_gbk, "text/plain; charset=\"$(rm -rf)\"", gbk), utf8);
}

TEST(ReplyBody, WhatDoesNotDecodeBecomesTheReplacementCharacter) {
  IconvCodePage gbk;
  // Declared UTF-8 but broken, or carrying an encoded surrogate that the
  // program would take for a byte kept from a file.
  EXPECT_EQ(decode_body("a\xFF|b", "text/plain; charset=utf-8", gbk), "a\uFFFD|b");
  EXPECT_EQ(decode_body("a\xED\xB2\xAF|b", "text/plain; charset=utf-8", gbk),
            "a\uFFFD|b");
  // Undeclared and not UTF-8: the code page, with its bad bytes replaced.
  EXPECT_EQ(decode_body("\xD6\xD0\xFF|", "text/plain", gbk), "中\uFFFD|");
  EXPECT_EQ(decode_body("\xD6\xD0\xFF|", "text/plain; charset=gbk", gbk), "中\uFFFD|");
  // Nothing in the text stands for a kept byte: written back it is "?".
  EXPECT_EQ(gbk.from_utf8(decode_body("x\xFF|y", "text/plain", gbk)), "x?|y");
}

}  // namespace
}  // namespace tav
