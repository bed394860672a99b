// The scenario runner's byte checks, its cursors over the effect log and
// what its clicks can reach.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/posix/iconv_code_page.h"
#include "sim/bytes.h"
#include "sim/runner.h"

namespace tav::sim {
namespace {

TEST(SimBytes, HexDumpsReadBackAndBadOnesAreRefused) {
  EXPECT_EQ(hex_dump(std::string("\x5B\x00\xFF", 3)), "5B 00 FF");
  EXPECT_EQ(hex_dump(""), "");
  EXPECT_EQ(parse_hex("5B 00 ff"), std::string("\x5B\x00\xFF", 3));
  EXPECT_EQ(parse_hex("5B00FF"), std::string("\x5B\x00\xFF", 3));
  EXPECT_EQ(parse_hex("  "), std::string());
  EXPECT_EQ(parse_hex("5B 0"), std::nullopt);   // half a byte
  EXPECT_EQ(parse_hex("5 B"), std::nullopt);    // a byte split by a space
  EXPECT_EQ(parse_hex("5G"), std::nullopt);
  EXPECT_EQ(parse_hex("0x5B"), std::nullopt);
}

TEST(SimBytes, ScriptTextsBecomeCodePageBytesWithRawEscapes) {
  IconvCodePage gbk;
  EXPECT_EQ(script_bytes("a\\r\\n\\t\\\\b", gbk), "a\r\n\t\\b");
  EXPECT_EQ(script_bytes("第1集", gbk), "\xB5\xDA" "1" "\xBC\xAF");
  // \xHH is the byte itself, not converted; a bad \x stands for x.
  EXPECT_EQ(script_bytes("\\xB5\\xda|\\x00", gbk), std::string("\xB5\xDA|\x00", 4));
  EXPECT_EQ(script_bytes("\\xZ1\\x4", gbk), "xZ1x4");
  EXPECT_EQ(script_bytes("end\\", gbk), "end\\");
}

TEST(SimBytes, EscapedFormsGiveTheSameBytesBack) {
  IconvCodePage gbk;
  EXPECT_EQ(escape_bytes("[User]\r\nName=\\x\t", gbk), "[User]\\r\\nName=\\\\x\\t");
  EXPECT_EQ(escape_bytes("\xB5\xDA" "1" "\xBC\xAF", gbk), "第1集");
  EXPECT_EQ(escape_bytes(std::string("\x00\x7F\xFF", 3), gbk), "\\x00\\x7F\\xFF");
  // A lead byte at the end, or one followed by a byte that makes no
  // character, is escaped alone.
  EXPECT_EQ(escape_bytes("a\xB5", gbk), "a\\xB5");
  EXPECT_EQ(escape_bytes("\xB5\x0A", gbk), "\\xB5\\n");
  std::string every;
  for (int b = 0; b < 256; ++b) every += static_cast<char>(b);
  for (int b = 0x81; b < 0xFF; ++b) every += std::string{static_cast<char>(b), '\x40'};
  every += "旧片" "\xB5\xDA";
  EXPECT_EQ(script_bytes(escape_bytes(every, gbk), gbk), every);
}

class SimRunnerTest : public ::testing::Test {
 protected:
  std::ostringstream out;
  Runner runner{Options{"", "http://127.0.0.1:8080/box/", false, false}, out};

  bool run(const std::string& line) { return runner.execute(line, 1); }
};

TEST_F(SimRunnerTest, ExpectNotLooksAfterThePreviousMatchOrAfterTheMark) {
  ASSERT_TRUE(run("start"));
  // Without a mark: only after the effect the last expect matched.
  ASSERT_TRUE(run("expect navigate Web1"));
  EXPECT_TRUE(run("expect-not file written config.ini"));
  EXPECT_FALSE(run("expect-not navigate Web3"));
  // A mark before start: everything the start did counts.
  ASSERT_TRUE(run("mark"));
  ASSERT_TRUE(run("start"));
  ASSERT_TRUE(run("expect navigate Web7"));
  EXPECT_FALSE(run("expect-not navigate Web1"));
  EXPECT_TRUE(run("expect-not msgbox"));
  // A new mark: nothing since.
  ASSERT_TRUE(run("mark"));
  EXPECT_TRUE(run("expect-not navigate"));
  EXPECT_FALSE(run("expect navigate"));
}

TEST_F(SimRunnerTest, ExpectLineMatchesWholeLinesInOrder) {
  ASSERT_TRUE(run("start"));
  EXPECT_FALSE(run("expect-line navigate Web1"));
  EXPECT_TRUE(run("expect-line navigate Web1 http://127.0.0.1:8080/box/"));
  EXPECT_TRUE(run("expect-line navigate Web7 http://127.0.0.1:8080/box/js/ads/qvodad.html"));
  // Web1 came before Web7: the cursor has passed it.
  EXPECT_FALSE(run("expect-line navigate Web1 http://127.0.0.1:8080/box/"));
}

TEST_F(SimRunnerTest, CountSinceTheStartOrTheMark) {
  ASSERT_TRUE(run("start"));
  EXPECT_TRUE(run("count file written date.dat 1"));
  EXPECT_TRUE(run("count navigate Web 9"));
  EXPECT_FALSE(run("count navigate Web 8"));
  EXPECT_TRUE(run("count no such effect 0"));
  ASSERT_TRUE(run("mark"));
  EXPECT_TRUE(run("count file written 0"));
  ASSERT_TRUE(run("start"));
  EXPECT_TRUE(run("count file written date.dat 0"));
  EXPECT_TRUE(run("count navigate Web1   1  "));
  EXPECT_FALSE(run("count navigate"));
  EXPECT_FALSE(run("count navigate -1"));
}

TEST_F(SimRunnerTest, ExactChecksCompareWholeFiles) {
  ASSERT_TRUE(run("write a.txt 第1集\\r\\n\\x00"));
  EXPECT_TRUE(run("check exact a.txt 第1集\\r\\n\\x00"));
  EXPECT_TRUE(run("check bytes a.txt B5DA 31 BC AF 0D 0A 00"));
  EXPECT_FALSE(run("check exact a.txt 第1集\\r\\n"));  // a prefix is not enough
  EXPECT_FALSE(run("check exact a.txt 1集\\r\\n\\x00"));
  EXPECT_FALSE(run("check bytes a.txt B5 DA 31"));
  EXPECT_FALSE(run("check bytes a.txt not hex"));
  EXPECT_FALSE(run("check exact missing.txt x"));
  ASSERT_TRUE(run("write e.txt"));
  EXPECT_TRUE(run("check bytes e.txt"));
  EXPECT_TRUE(run("check exact e.txt"));
  EXPECT_TRUE(run("check folder . a.txt e.txt"));
  EXPECT_FALSE(run("check folder . a.txt"));
}

TEST_F(SimRunnerTest, AFullDiskLeavesNoPartFileBehind) {
  ASSERT_TRUE(run("write config.ini [S_q]\\r\\nts=5\\r\\n"));
  ASSERT_TRUE(run("fail disk-full 12"));
  ASSERT_TRUE(run("start"));
  EXPECT_TRUE(run("check running"));
  EXPECT_TRUE(run("expect file write failed config.ini (disk full after 12 of"));
  EXPECT_TRUE(run("check exact config.ini [S_q]\\r\\nts=5\\r\\n"));
  // The small lists fit whole; the pages stop part way and leave nothing.
  EXPECT_TRUE(run("check exact date.dat \\r\\n"));
  EXPECT_TRUE(run("expect file write failed c.htm (disk full after 8 of"));
  EXPECT_TRUE(run("check folder . config.ini date.dat date_f.dat"));
}

TEST_F(SimRunnerTest, OnlyWhatTheUserCouldReachIsClicked) {
  ASSERT_TRUE(run("start"));
  // A window the program has not loaded answers only whether it is.
  EXPECT_TRUE(run("check BA3 loaded false"));
  EXPECT_FALSE(run("check BA3 visible false"));
  EXPECT_FALSE(run("click BA3.cmdOK"));
  EXPECT_FALSE(run("check BAX loaded false"));
  ASSERT_TRUE(run("menu r_m shezhi"));
  // A box toggles both ways; one on a page not shown, a control of the
  // hidden menu window and a text box of such a page are out of reach.
  EXPECT_TRUE(run("click BA3.Check1(0)"));
  EXPECT_TRUE(run("check BA3.Check1(0) value 0"));
  EXPECT_TRUE(run("click BA3.Check1(0)"));
  EXPECT_TRUE(run("check BA3.Check1(0) value 1"));
  EXPECT_FALSE(run("type BA3.Text1 E:\\Films"));
  EXPECT_FALSE(run("type BA3.Check1(0) E:\\Films"));
  EXPECT_FALSE(run("click BA3.about(12)"));
  // The list menu over empty space: its entry items are disabled.
  ASSERT_TRUE(run("click npc(9)"));
  ASSERT_TRUE(run("loaded Web3"));
  ASSERT_TRUE(run("contextmenu Web3"));
  EXPECT_TRUE(run("check tip.c_f enabled false"));
  EXPECT_TRUE(run("check c_shan2 caption 删除下载"));
  EXPECT_FALSE(run("click c_f"));
  EXPECT_FALSE(run("menu webc c_shan2"));
  EXPECT_FALSE(run("click tip.ttbn"));  // a separator
  EXPECT_TRUE(run("click tip.renwub"));
}

TEST_F(SimRunnerTest, UnknownFaultsAndAdapterWordsAreRefused) {
  EXPECT_FALSE(run("fail everything"));
  EXPECT_FALSE(run("fail off disks"));
  EXPECT_FALSE(run("fail player nonsense"));
  EXPECT_FALSE(run("adapter add 00:11:22:33:44:55 sideways"));
  EXPECT_FALSE(run("adapter remove"));
  EXPECT_TRUE(run("adapter add 00:11:22:33:44:55 down loopback noipv4"));
}

}  // namespace
}  // namespace tav::sim
