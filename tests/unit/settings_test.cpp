#include "startup/settings.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "disk_services.h"
#include "temp_dir.h"

namespace tav {
namespace {

class Settings : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::DiskFiles files;
  test::GbkCodePage gbk;
  SettingsFile store{files, gbk};
  std::string path = dir.file("config.ini");

  std::string read(const std::string& section, const std::string& key) {
    return read_setting(store, path, section, key, "0");
  }
  bool write(const std::string& section, const std::string& key, const std::string& value) {
    return write_setting(store, path, section, key, value);
  }
};

TEST_F(Settings, MissingThingsReadAsTheDefault) {
  EXPECT_EQ(read("S_q", "ts"), "0");
  dir.write("config.ini", "[S_q]\r\nquit=2\r\nempty=\r\n");
  EXPECT_EQ(read("S_q", "ts"), "0");
  EXPECT_EQ(read("Other", "quit"), "0");
  EXPECT_EQ(read("S_q", "quit"), "2");
  EXPECT_EQ(read("S_q", "empty"), "");
  EXPECT_EQ(read_setting(store, path, "S_q", "none", ""), "");
}

TEST_F(Settings, ReadsAsTheWindowsProfileFunctionsDo) {
  // A section name runs to the last "]" of its header.
  dir.write("config.ini", "[a]b]\r\nk=1\r\n[S_q] ; note]\r\nts=2\r\n");
  EXPECT_EQ(read("a]b", "k"), "1");
  EXPECT_EQ(read("a", "k"), "0");
  EXPECT_EQ(read("S_q] ; note", "ts"), "2");
  // A value ends at its first NUL.
  dir.write("config.ini", std::string("[S_q]\r\nh_w=123\0" "456\r\nquit=\0x\r\n", 29));
  EXPECT_EQ(read("S_q", "h_w"), "123");
  EXPECT_EQ(read("S_q", "quit"), "");
  // So does a key's name.
  const char nul_keys[] = "[S_q]\r\nts\0=2\r\nquit\0x=1\r\n";
  dir.write("config.ini", std::string(nul_keys, sizeof nul_keys - 1));
  EXPECT_EQ(read("S_q", "ts"), "2");
  EXPECT_EQ(read("S_q", "quit"), "1");
  ASSERT_TRUE(write("S_q", "ts", "3"));
  EXPECT_EQ(dir.read("config.ini"), std::string("[S_q]\r\nts=3\r\nquit\0x=1\r\n", 23));
  // Spaces around the names asked for are trimmed on read as on write.
  ASSERT_TRUE(write(" S_q ", "  h_h ", "7200"));
  EXPECT_EQ(read(" S_q", "h_h  "), "7200");
  EXPECT_EQ(read("S_q", "h_h"), "7200");
}

TEST_F(Settings, NamesMatchWithoutRegardToCase) {
  dir.write("config.ini", "[user]\r\nName=abc\r\n");
  EXPECT_EQ(read("User", "Name"), "abc");
  EXPECT_EQ(read("USER", "name"), "abc");
  ASSERT_TRUE(write("Ver", "Name", "1.0"));
  EXPECT_EQ(read("ver", "NAME"), "1.0");
  ASSERT_TRUE(write("USER", "NAME", "xyz"));
  EXPECT_EQ(dir.read("config.ini"), "[user]\r\nName=xyz\r\n[Ver]\r\nName=1.0\r\n");
}

TEST_F(Settings, SpacesAroundNamesAndValuesAreIgnored) {
  dir.write("config.ini", "  [ S_q ]  \r\n  ts  =  3  \r\n\th_w\t=\t14235\r\n");
  EXPECT_EQ(read("S_q", "ts"), "3");
  EXPECT_EQ(read("S_q", "h_w"), "14235");
}

TEST_F(Settings, QuotesAroundAValueAreDropped) {
  dir.write("config.ini", "[a]\r\nq=\"D:\\Media\\\"\r\nhalf=\"x\r\n");
  EXPECT_EQ(read("a", "q"), "D:\\Media\\");
  EXPECT_EQ(read("a", "half"), "\"x");
}

TEST_F(Settings, TheFirstOfDuplicatesWins) {
  dir.write("config.ini", "[S_q]\r\nts=1\r\nts=2\r\n[s_q]\r\nts=9\r\nquit=7\r\n");
  EXPECT_EQ(read("S_q", "ts"), "1");
  EXPECT_EQ(read("S_q", "quit"), "0");  // only in the second S_q
  ASSERT_TRUE(write("S_q", "ts", "3"));
  EXPECT_EQ(dir.read("config.ini"), "[S_q]\r\nts=3\r\nts=2\r\n[s_q]\r\nts=9\r\nquit=7\r\n");
}

TEST_F(Settings, ValuesComeBackCutTo254Characters) {
  ASSERT_TRUE(write("S_q", "long", std::string(300, 'v')));
  EXPECT_EQ(read("S_q", "long"), std::string(254, 'v'));
  std::string chinese;
  for (int i = 0; i < 200; ++i) chinese += "中";
  ASSERT_TRUE(write("S_q", "cn", chinese));
  std::string expected;
  for (int i = 0; i < 127; ++i) expected += "中";  // 254 bytes, no half character
  EXPECT_EQ(read("S_q", "cn"), expected);
  ASSERT_TRUE(write("S_q", "odd", "a" + chinese));
  EXPECT_EQ(read("S_q", "odd"), "a" + expected.substr(0, expected.size() - 3));
}

TEST_F(Settings, WritesCreateTheFileAndMissingSections) {
  ASSERT_TRUE(write("main", "Name", "Tavori"));
  ASSERT_TRUE(write("S_q", "h_w", "14235"));
  ASSERT_TRUE(write("S_q", "h_h", "7200"));
  EXPECT_EQ(dir.read("config.ini"), "[main]\r\nName=Tavori\r\n[S_q]\r\nh_w=14235\r\nh_h=7200\r\n");
}

TEST_F(Settings, WritesLeaveEveryOtherLineAsItWas) {
  const std::string before =
      "; comment line\r\n"
      "[main]\r\nName=Tavori\r\n\r\n"
      "[S_q]\n"  // a bare LF line end
      "ts = 3 \r\n"
      "odd line without equals\r\n"
      "quit=2\r\n"
      "\r\n\r\n"
      "[Other]\r\nbytes=\xFF\xFE\x81\r\n"
      "last=1";  // no line end at the very end
  dir.write("config.ini", before);
  ASSERT_TRUE(write("S_q", "quit", "1"));
  ASSERT_TRUE(write("s_q", "h_w", "13260"));
  ASSERT_TRUE(write("Other", "new", "x"));
  EXPECT_EQ(dir.read("config.ini"),
            "; comment line\r\n"
            "[main]\r\nName=Tavori\r\n\r\n"
            "[S_q]\n"
            "ts = 3 \r\n"
            "odd line without equals\r\n"
            "quit=1\r\n"
            "h_w=13260\r\n"
            "\r\n\r\n"
            "[Other]\r\nbytes=\xFF\xFE\x81\r\n"
            "last=1\r\n"
            "new=x\r\n");
  EXPECT_EQ(read("S_q", "ts"), "3");
}

TEST_F(Settings, TextIsStoredInTheCodePage) {
  ASSERT_TRUE(write("S_q", "qvodw", "D:\\快播\\"));
  EXPECT_EQ(dir.read("config.ini"), "[S_q]\r\nqvodw=D:\\\xBF\xEC\xB2\xA5\\\r\n");
  EXPECT_EQ(read("S_q", "qvodw"), "D:\\快播\\");
  ASSERT_TRUE(write("S_q", "name", "a한b"));
  EXPECT_EQ(read("S_q", "name"), "a?b");
}

TEST_F(Settings, AValueNeverBreaksTheLineStructure) {
  ASSERT_TRUE(write("S_q", "qvodw", "a\r\n[S_q]\r\nquit=1"));
  EXPECT_EQ(read("S_q", "quit"), "0");
  EXPECT_EQ(read("S_q", "qvodw"), "a[S_q]quit=1");
  // A kept byte that meets the byte after a line end once the line end is
  // gone: 0x81 "A" would be one character.
  const std::string kept_81 = utf8_from_code_point(0xDC81);
  ASSERT_TRUE(write("S_q", "qvodw", "x" + kept_81 + "\nA"));
  EXPECT_EQ(read("S_q", "qvodw"), "x?A");
}

// As the Windows functions do: a file with a byte-order mark is Unicode.
// The caller's names and values go through the code page on the way in and
// out; the file keeps its encoding and every line not written.
TEST_F(Settings, FilesWithAByteOrderMarkAreReadAndWrittenAsUnicode) {
  const std::string utf8 = "\xEF\xBB\xBF[S_q]\r\n快播=D:\\影片\r\nname=a한b\r\n";
  dir.write("config.ini", utf8);
  EXPECT_EQ(read("S_q", "快播"), "D:\\影片");
  EXPECT_EQ(read("s_q", "NAME"), "a?b");
  ASSERT_TRUE(write("S_q", "快播", "E:\\电影"));
  ASSERT_TRUE(write("new", "ts", "3"));
  EXPECT_EQ(dir.read("config.ini"),
            "\xEF\xBB\xBF[S_q]\r\n快播=E:\\电影\r\nname=a한b\r\n[new]\r\nts=3\r\n");
  EXPECT_EQ(read("S_q", "快播"), "E:\\电影");
  // A mark alone before a key outside any section.
  dir.write("config.ini", "\xEF\xBB\xBFts=1\r\n[S_q]\r\n");
  EXPECT_EQ(read("S_q", "ts"), "0");

  auto utf16 = [](std::u16string_view text, bool big_endian) {
    std::string bytes;
    for (const char16_t u : text) {
      const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
      bytes += big_endian ? hi : lo;
      bytes += big_endian ? lo : hi;
    }
    return bytes;
  };
  for (const bool be : {false, true}) {
    // A lone surrogate and a character outside the code page in lines that
    // are not written.
    const std::u16string before =
        u"\uFEFF[S_q]\r\nts=1\r\n快播=D:\\影片\r\nodd=\xD800x\r\nface=\U0001F600";
    dir.write("config.ini", utf16(before, be));
    EXPECT_EQ(read("S_q", "ts"), "1") << be;
    EXPECT_EQ(read("S_q", "快播"), "D:\\影片") << be;
    EXPECT_EQ(read("S_q", "face"), "?") << be;
    ASSERT_TRUE(write("S_q", "ts", "2"));
    ASSERT_TRUE(write("S_q", "快播", "E:\\电影"));
    ASSERT_TRUE(write("S_q", "new", "新"));
    EXPECT_EQ(dir.read("config.ini"),
              utf16(u"\uFEFF[S_q]\r\nts=2\r\n快播=E:\\电影\r\nodd=\xD800x\r\nface=\U0001F600"
                    u"\r\nnew=新\r\n",
                    be))
        << be;
    EXPECT_EQ(read("S_q", "new"), "新") << be;
  }
}

TEST_F(Settings, GarbageFilesAreReadAsEmptyAndKeptOnWrite) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
  dir.write("config.ini", garbage);
  EXPECT_EQ(read("S_q", "ts"), "0");
  ASSERT_TRUE(write("S_q", "ts", "3"));
  const std::string after = dir.read("config.ini");
  EXPECT_EQ(after.substr(0, garbage.size()), garbage);
  EXPECT_EQ(read("S_q", "ts"), "3");
}

TEST_F(Settings, HugeLinesAreReadPastAndKept) {
  const std::string big(2u << 20, 'x');
  dir.write("config.ini", "[a]\r\nbig=" + big + "\r\n[S_q]\r\nts=2\r\n");
  EXPECT_EQ(read("S_q", "ts"), "2");
  EXPECT_EQ(read("a", "big"), std::string(254, 'x'));
  ASSERT_TRUE(write("S_q", "ts", "1"));
  EXPECT_EQ(dir.read("config.ini"), "[a]\r\nbig=" + big + "\r\n[S_q]\r\nts=1\r\n");
}

TEST_F(Settings, FilesThatCannotBeReadAreNeverReplaced) {
  dir.write("config.ini", std::string(kMaxSettingsFileSize + 1, 'y'));
  EXPECT_EQ(read("S_q", "ts"), "0");
  EXPECT_FALSE(write("S_q", "ts", "3"));
  EXPECT_EQ(dir.read("config.ini").size(), kMaxSettingsFileSize + 1);

  const std::string folder_path = dir.file("folder.ini");
  std::filesystem::create_directory(folder_path);
  EXPECT_EQ(read_setting(store, folder_path, "S_q", "ts", "0"), "0");
  EXPECT_FALSE(write_setting(store, folder_path, "S_q", "ts", "3"));
  EXPECT_TRUE(std::filesystem::is_directory(folder_path));
}

}  // namespace
}  // namespace tav
