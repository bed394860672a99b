// The routines of base/ that the program, the content server and the player
// suite share: SHA-1, percent-encoding and the words of a command line.
#include <gtest/gtest.h>

#include "base/command_line.h"
#include "base/percent_encoding.h"
#include "base/sha1.h"

namespace tav {
namespace {

TEST(Sha1, KnownDigests) {
  EXPECT_EQ(sha1_hex(""), "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709");
  EXPECT_EQ(sha1_hex("abc"), "A9993E364706816ABA3E25717850C26C9CD0D89D");
  // Across the 56-byte padding edge and in pieces.
  const std::string text = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  EXPECT_EQ(sha1_hex(text), "84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
  Sha1 pieces;
  for (char c : text) pieces.add(&c, 1);
  EXPECT_EQ(pieces.hex(), "84983E441C3BD26EBAAE4AA1F95129E5E54670F1");
  EXPECT_EQ(sha1_file_hex("no such file"), "");
}

TEST(PercentEncoding, KeepsExactlyTheSetItIsGiven) {
  const std::string bytes = std::string("aZ9-._~ %/\x7F\xFF") + '\0';
  EXPECT_EQ(percent_encode(bytes, kUrlUnreserved), "aZ9-._~%20%25%2F%7F%FF%00");
  EXPECT_EQ(percent_encode(bytes, kAsciiAlphanumerics.with("-")), "aZ9-%2E%5F%7E%20%25%2F%7F%FF%00");
  // Ranges reach both ends, and what is taken out stays out.
  EXPECT_EQ(percent_encode(bytes, ByteSet().with_range(0x20, 0xFF).without("%~")),
            "aZ9-._%7E %25/\x7F\xFF%00");
  EXPECT_EQ(percent_encode(bytes, ByteSet().with_range(0x00, 0xFF)), bytes);
}

TEST(CommandLine, QuotesGroupAsTheWindowsCommandLineDoes) {
  using W = std::vector<std::string>;
  EXPECT_EQ(split_command_line("regsvr32 \"/a b/Qvod/QvodInsert.dll\" /s"),
            (W{"regsvr32", "/a b/Qvod/QvodInsert.dll", "/s"}));
  EXPECT_EQ(split_command_line("  a   b  "), (W{"a", "b"}));
  EXPECT_EQ(split_command_line("\"\" x"), (W{"", "x"}));
  EXPECT_EQ(split_command_line("a\"b c\"d"), (W{"ab cd"}));
  EXPECT_TRUE(split_command_line("").empty());
  // A backslash is a character of its own unless escapes are asked for,
  // and then only between quotes.
  const std::string line = R"(C:\a "x\"y \n" "end\)";
  EXPECT_EQ(split_command_line(line), (W{"C:\\a", "x\\y", "\\n end\\"}));
  EXPECT_EQ(split_command_line(line, QuotedEscapes::backslash), (W{"C:\\a", "x\"y \n", "end\\"}));
}

}  // namespace
}  // namespace tav
