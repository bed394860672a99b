#include "web/text_routines.h"

#include <gtest/gtest.h>

#include <random>

#include "base/text.h"
#include "disk_services.h"
#include "platform/paths.h"

namespace tav {
namespace {

TEST(UrlEscape, KeepsLettersDigitsAndTheSevenMarks) {
  EXPECT_EQ(urlEscape(""), "");
  EXPECT_EQ(urlEscape("AZaz09@*_+-./"), "AZaz09@*_+-./");
}

TEST(UrlEscape, EscapesByCodeUnitRange) {
  EXPECT_EQ(urlEscape(" "), "%20");
  EXPECT_EQ(urlEscape("|"), "%7C");
  EXPECT_EQ(urlEscape("\t"), "%09");
  EXPECT_EQ(urlEscape(std::string(1, '\0')), "%u0000");
  EXPECT_EQ(urlEscape("\x01"), "%01");
  EXPECT_EQ(urlEscape("\xC3\xBF"), "%FF");             // U+00FF
  EXPECT_EQ(urlEscape("\xC4\x80"), "%u0100");          // U+0100
  EXPECT_EQ(urlEscape("中"), "%u4E2D");
  EXPECT_EQ(urlEscape("\xF0\x9F\x98\x80"), "%uD83D%uDE00");  // two code units
  EXPECT_EQ(urlEscape("qvod://1|ab|x y.rmvb|"), "qvod%3A//1%7Cab%7Cx%20y.rmvb%7C");
}

TEST(UrlUnescape, DecodesBothFormsInEitherCase) {
  EXPECT_EQ(urlUnescape(""), "");
  EXPECT_EQ(urlUnescape("%u4e2d"), "中");
  EXPECT_EQ(urlUnescape("%u4E2D"), "中");
  EXPECT_EQ(urlUnescape("%7c%7C"), "||");
  EXPECT_EQ(urlUnescape("%E4"), "\xC3\xA4");  // a Latin-1 code unit, not a UTF-8 byte
}

TEST(UrlUnescape, KeepsPercentSignsThatStartNoEscape) {
  EXPECT_EQ(urlUnescape("100%"), "100%");
  EXPECT_EQ(urlUnescape("5% off"), "5% off");
  EXPECT_EQ(urlUnescape("%u4E"), "%u4E");        // only two hex digits after %u
  EXPECT_EQ(urlUnescape("%U4E2D"), "%U4E2D");    // upper-case U is no %u escape
  EXPECT_EQ(urlUnescape("%uZZZZ41"), "%uZZZZ41");
  EXPECT_EQ(urlUnescape("%4"), "%4");
  EXPECT_EQ(urlUnescape("%%41"), "%A");
  EXPECT_EQ(urlUnescape("%u00411"), "A1");
}

TEST(UrlUnescape, UndoesEscapeForRandomCodeUnits) {
  std::mt19937 rng(20261207);
  for (int round = 0; round < 2000; ++round) {
    std::u16string units;
    const int n = static_cast<int>(rng() % 24);
    for (int i = 0; i < n; ++i) {
      switch (rng() % 4) {
        case 0: units += static_cast<char16_t>(rng() % 128); break;
        case 1: units += static_cast<char16_t>(rng() % 256); break;
        case 2: units += static_cast<char16_t>(0x4E00 + rng() % 0x5000); break;
        default: units += static_cast<char16_t>(rng() % 0x10000); break;  // surrogates too
      }
    }
    const std::string escaped = urlEscapeUnits(units);
    ASSERT_EQ(urlUnescapeUnits(utf8_to_utf16(escaped)), units) << escaped;
    ASSERT_EQ(urlEscape(utf16_to_utf8(units)), escaped);
    ASSERT_EQ(escaped.find_first_not_of(
                  "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz@*_+-./%"),
              std::string::npos);
  }
}

TEST(UrlUnescape, AnEscapeCannotMakeAByteKeptFromAFile) {
  // U+DC80..U+DCFF stands for a byte kept from a file; from an escape it is
  // the replacement character, in a pair it is half of a real character.
  EXPECT_EQ(urlUnescape("a%uDCAFb"), "a\uFFFDb");
  EXPECT_EQ(urlUnescape("%uD83D%uDE00"), "\U0001F600");
  EXPECT_EQ(utf8_to_utf16(urlUnescape("%uDBFF%uDC80")), std::u16string(u"\xDBFF\xDC80"));
  // A kept byte that is in the text already stays.
  const std::string kept = utf16_to_utf8(u"x\xDCAF");
  EXPECT_EQ(urlUnescape(kept), kept);
  // The code units themselves round-trip.
  EXPECT_EQ(urlUnescapeUnits(u"%uDCAF"), std::u16string(u"\xDCAF"));
}

TEST(FilePart, TakesWhatFollowsTheLastSeparator) {
  EXPECT_EQ(file_part("D:\\Movies\\a.rmvb"), "a.rmvb");
  EXPECT_EQ(file_part("D:\\Movies\\"), "");
  EXPECT_EQ(file_part("a.rmvb"), "");
  EXPECT_EQ(file_part(""), "");
  EXPECT_EQ(file_part("C:\\x/y\\z.avi"), "z.avi");
}

TEST(FilePart, ASlashSeparatesOnlyWherePathsUseIt) {
  // Windows paths from the file dialog have backslashes only.
  const bool slash = kPathSeparator == '/';
  EXPECT_EQ(file_part("/home/u/Videos/b.mp4"), slash ? "b.mp4" : "");
  EXPECT_EQ(file_part("http://127.0.0.1/media/e1.mp4"), slash ? "e1.mp4" : "");
  EXPECT_EQ(file_part("D:\\Movies\\x/a.rmvb"), slash ? "a.rmvb" : "x/a.rmvb");
}

class FitWidth : public ::testing::Test {
 protected:
  test::GbkCodePage gbk;
  std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  }
};

TEST_F(FitWidth, CountsChineseAsTwo) {
  EXPECT_EQ(fit_width(gbk, repeat("a", 21), 40), repeat("a", 21));
  EXPECT_EQ(fit_width(gbk, repeat("中", 25), 40), repeat("中", 20));
  EXPECT_EQ(fit_width(gbk, repeat("中", 20), 40), repeat("中", 20));
  EXPECT_EQ(fit_width(gbk, repeat("a", 41), 40), repeat("a", 40));
  EXPECT_EQ(fit_width(gbk, "a" + repeat("中", 20), 40), "a" + repeat("中", 19));
  EXPECT_EQ(fit_width(gbk, repeat("中", 16), 30), repeat("中", 15));
}

TEST_F(FitWidth, ShortTextsComeBackWhole) {
  EXPECT_EQ(fit_width(gbk, "", 40), "");
  EXPECT_EQ(fit_width(gbk, repeat("中", 15), 30), repeat("中", 15));
  EXPECT_EQ(fit_width(gbk, "abc", 0), "");
}

TEST_F(FitWidth, NeverSplitsASurrogatePair) {
  const std::string smile = "\xF0\x9F\x98\x80";  // two code units, each width 1
  EXPECT_EQ(fit_width(gbk, repeat("a", 39) + smile + "bbbbbbbbbbbbbbbbbbbbbb", 40),
            repeat("a", 39));
  EXPECT_EQ(fit_width(gbk, repeat("a", 38) + smile + "bbbbbbbbbbbbbbbbbbbbbb", 40),
            repeat("a", 38) + smile);
}

}  // namespace
}  // namespace tav
