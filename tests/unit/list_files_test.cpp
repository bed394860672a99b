#include "lists/list_files.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "disk_services.h"
#include "temp_dir.h"

namespace tav {
namespace {

class RecordingView : public ListPageView {
 public:
  void list_page_written(std::string_view list_file) override {
    written.emplace_back(list_file);
  }
  std::vector<std::string> written;
};

class Lists : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::DiskFiles files;
  test::GbkCodePage gbk;
  RecordingView view;
  ListFiles lists{files, gbk, dir.str(), &view};

  std::string history() { return gbk.to_utf8(dir.read("date.dat")); }
  std::string local() { return gbk.to_utf8(dir.read("date_f.dat")); }
  void set_history(const std::string& text) { dir.write("date.dat", gbk.from_utf8(text)); }
  void set_local(const std::string& text) { dir.write("date_f.dat", gbk.from_utf8(text)); }
};

TEST_F(Lists, AddingToAnEmptyHistoryLeavesATrailingEmptyLine) {
  set_history("\r\n");
  lists.add_history(12, "天龙八部", "第1集", "qvod%3A//1%7Cab%7Ca.rmvb%7C", 1, 0, 0);
  EXPECT_EQ(history(), "12|天龙八部|第1集|qvod%3A//1%7Cab%7Ca.rmvb%7C|1|0|0\r\n\r\n");
  EXPECT_EQ(view.written, std::vector<std::string>{"date.dat"});
  EXPECT_TRUE(dir.exists("c.htm"));
}

TEST_F(Lists, ReAddingAFilmMovesItToTheTopWithPositionZero) {
  set_history("5|B|b|x|0|1|77\r\n12|A|a|y|1|0|300\r\n\r\n");
  lists.add_history(12, "A", "a2", "y", 1, 1, 0);
  EXPECT_EQ(history(), "12|A|a2|y|1|1|0\r\n5|B|b|x|0|1|77\r\n");
}

TEST_F(Lists, HistoryKeysCompareAsNumbers) {
  set_history("007|Seven|s|x|0|0|9\r\nabc|NaN|s|x|0|0|9\r\n|Empty|s|x|0|0|9\r\n");
  lists.add_history(7, "Seven", "s", "x", 0, 0, 0);
  EXPECT_EQ(history(),
            "7|Seven|s|x|0|0|0\r\nabc|NaN|s|x|0|0|9\r\n|Empty|s|x|0|0|9\r\n");
  lists.add_history(0, "Zero", "z", "x", 0, 0, 0);  // "abc" and "" are not 0
  EXPECT_EQ(split_lines(history()).size(), 4u);
}

TEST_F(Lists, ABarInANameOrLabelNeitherTearsTheRecordNorLosesItsPosition) {
  set_history("\r\n");
  lists.add_history(3, "Tom|Jerry", "1|2", "qvod%3A//x%7C", 1, 4, 0);
  EXPECT_EQ(history(), "3|Tom%7CJerry|1%7C2|qvod%3A//x%7C|1|4|0\r\n\r\n");
  lists.set_history_position(3, 95);
  EXPECT_EQ(history(), "3|Tom%7CJerry|1%7C2|qvod%3A//x%7C|1|4|95\r\n");
  EXPECT_NE(gbk.to_utf8(dir.read("c.htm")).find("title=\"Tom|Jerry\" href=open://1>Tom|Jerry<"),
            std::string::npos);
  set_local("\r\n");
  lists.add_local_film("a|b.mp4", "/films/a|b.mp4", 0);
  EXPECT_EQ(local(), "a%7Cb.mp4|/films/a|b.mp4|0\r\n\r\n");
  // A file's name is the user's own text: a "%" in it is not an escape, so
  // the page shows "100%41", not "100A".
  lists.add_local_film("100%41 %u5C71.mp4", "/films/100%41 %u5C71.mp4", 0);
  EXPECT_EQ(split_lines(local())[0], "100%2541 %25u5C71.mp4|/films/100%41 %u5C71.mp4|0");
  EXPECT_NE(gbk.to_utf8(dir.read("f.htm")).find(">100%41 %u5C71.mp4<"), std::string::npos);
}

TEST_F(Lists, ABarInARawPlayAddressDoesNotTearTheRecord) {
  // A page's play link may carry the address unescaped.
  set_history("\r\n");
  lists.add_history(6, "N", "L", "qvod://1|AB|a.rmvb|", 1, 4, 0);
  EXPECT_EQ(history(), "6|N|L|qvod://1%7CAB%7Ca.rmvb%7C|1|4|0\r\n\r\n");
  lists.set_history_position(6, 95);
  EXPECT_EQ(history(), "6|N|L|qvod://1%7CAB%7Ca.rmvb%7C|1|4|95\r\n");
}

TEST_F(Lists, AKeptByteBeforeASeparatorDoesNotShiftTheFields) {
  // A byte kept from a file may end up before a "|" when a record is
  // rebuilt; it must not merge with the separator.
  dir.write("date.dat", std::string("8|N|L|a|1|2\xAF\r\n"));
  lists.set_history_position(8, 30);
  const std::vector<std::string> fields = split(split_lines(history())[0], "|");
  ASSERT_EQ(fields.size(), 7u);
  EXPECT_EQ(fields[6], "30");
  // A local film's path that ends in such a byte is stored with "?" there,
  // and still finds its own record.
  const std::string path = "/films/a" + utf8_from_code_point(0xDCAF);
  set_local("\r\n");
  lists.add_local_film("a", path, 0);
  lists.add_local_film("a", path, 0);
  lists.set_local_position(path, 42);
  EXPECT_EQ(local(), "a|/films/a?|42\r\n");
}

TEST_F(Lists, LocalKeysAreCaseSensitivePaths) {
  set_local("a.rmvb|D:\\Movies\\a.rmvb|120\r\n\r\n");
  lists.add_local_film("A.rmvb", "D:\\Movies\\A.rmvb", 0);
  EXPECT_EQ(local(), "A.rmvb|D:\\Movies\\A.rmvb|0\r\na.rmvb|D:\\Movies\\a.rmvb|120\r\n");
  lists.add_local_film("a.rmvb", "D:\\Movies\\a.rmvb", 0);
  EXPECT_EQ(local(), "a.rmvb|D:\\Movies\\a.rmvb|0\r\nA.rmvb|D:\\Movies\\A.rmvb|0\r\n");
}

TEST_F(Lists, AListNeverGrowsBeyond101Records) {
  std::string text;
  for (int i = 1; i <= 100; ++i) text += to_text(i) + "|n|l|a|0|0|0\r\n";
  set_history(text);
  lists.add_history(1000, "new", "l", "a", 0, 0, 0);
  auto lines = split_lines(history());
  ASSERT_EQ(lines.size(), 101u);
  EXPECT_EQ(lines.front(), "1000|new|l|a|0|0|0");
  EXPECT_EQ(lines.back(), "100|n|l|a|0|0|0");
  lists.add_history(1001, "newer", "l", "a", 0, 0, 0);
  lines = split_lines(history());
  ASSERT_EQ(lines.size(), 101u);
  EXPECT_EQ(lines[0], "1001|newer|l|a|0|0|0");
  EXPECT_EQ(lines[1], "1000|new|l|a|0|0|0");
  EXPECT_EQ(lines.back(), "99|n|l|a|0|0|0");
}

TEST_F(Lists, TheFirstHundredLinesCountNonRecordsToo) {
  std::string text(150, '\n');  // 150 empty lines, then a record that falls off
  set_history(text + "9|old|l|a|0|0|0\r\n");
  lists.add_history(1, "n", "l", "a", 0, 0, 0);
  EXPECT_EQ(history(), "1|n|l|a|0|0|0\r\n\r\n");
}

TEST_F(Lists, AddingToAMissingListWritesNothing) {
  lists.add_history(1, "n", "l", "a", 0, 0, 0);
  lists.add_local_film("n", "p", 0);
  EXPECT_FALSE(dir.exists("date.dat"));
  EXPECT_FALSE(dir.exists("date_f.dat"));
  EXPECT_FALSE(dir.exists("c.htm"));
  EXPECT_TRUE(view.written.empty());
}

TEST_F(Lists, SettingAPositionRebuildsTheRecordAndDropsNonRecords) {
  set_history("\r\n5|B|b|x|0|1|77|extra\r\n12|A|a|y|1|0|0\r\n\r\n");
  lists.set_history_position(5, 1234);
  EXPECT_EQ(history(), "5|B|b|x|0|1|1234\r\n12|A|a|y|1|0|0\r\n");
  EXPECT_TRUE(view.written.empty());  // positions are not shown on the page
  lists.set_history_position(99, 1);  // no such record
  EXPECT_EQ(history(), "5|B|b|x|0|1|1234\r\n12|A|a|y|1|0|0\r\n");
}

TEST_F(Lists, SettingAPositionLeavesShortRecordsAlone) {
  set_history("5|B|b|x\r\n");
  lists.set_history_position(5, 10);
  EXPECT_EQ(history(), "5|B|b|x\r\n");
  set_history("5|B|b|x|0|1\r\n");
  lists.set_history_position(5, 10);
  EXPECT_EQ(history(), "5|B|b|x|0|1|10\r\n");
  set_local("only|\r\nname|D:\\a.mp4|0|junk\r\n");
  lists.set_local_position("D:\\a.mp4", 42);
  EXPECT_EQ(local(), "only|\r\nname|D:\\a.mp4|42\r\n");
}

TEST_F(Lists, DeletingCountsEveryLineAndTrimsTrailingLineEnds) {
  set_history("\r\n1|A|a|x|0|0|0\r\n2|B|b|x|0|0|0\r\n\r\n");
  lists.delete_list_line("date.dat", 2);
  EXPECT_EQ(history(), "\r\n2|B|b|x|0|0|0\r\n");
  EXPECT_EQ(view.written, std::vector<std::string>{"date.dat"});
  set_history("1|A|a|x|0|0|0\r\n\r\n\r\n\r\n");
  lists.delete_list_line("date.dat", 99);  // beyond the last line: two line ends go
  EXPECT_EQ(history(), "1|A|a|x|0|0|0\r\n\r\n\r\n");
  set_local("a|p|0\r\n");
  lists.delete_list_line("date_f.dat", 1);
  EXPECT_EQ(local(), "\r\n");
}

TEST_F(Lists, ClearingKeepsOneEmptyLineAndLeavesMissingListsMissing) {
  set_local("a|p|0\r\nb|q|0\r\n");
  lists.clear_list("date_f.dat");
  EXPECT_EQ(dir.read("date_f.dat"), "\r\n");
  EXPECT_EQ(view.written, std::vector<std::string>{"date_f.dat"});
  lists.clear_list("date.dat");
  EXPECT_FALSE(dir.exists("date.dat"));
  lists.create_list("date.dat");
  EXPECT_EQ(dir.read("date.dat"), "\r\n");
}

TEST_F(Lists, HostileFilesNeitherCrashNorLoseWhatIsStored) {
  // Bytes that are not valid GBK survive a rewrite of the other lines.
  dir.write("date.dat", "3|\xFF\xFE|l|a|0|0|0\r\n");
  lists.add_history(4, "n", "l", "a", 0, 0, 0);
  EXPECT_EQ(dir.read("date.dat"), "4|n|l|a|0|0|0\r\n3|\xFF\xFE|l|a|0|0|0\r\n");

  // Binary garbage and a megabyte line.
  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 131) % 256);
  garbage += std::string(1u << 20, '|');
  dir.write("date_f.dat", garbage);
  lists.add_local_film("n", "p", 0);
  lists.set_local_position("p", 5);
  lists.delete_list_line("date_f.dat", 3);
  lists.render_list_page("date_f.dat");
  EXPECT_TRUE(dir.exists("f.htm"));

  // A list that is a folder is left alone.
  std::filesystem::remove(dir.file("date.dat"));
  std::filesystem::create_directory(dir.file("date.dat"));
  lists.add_history(1, "n", "l", "a", 0, 0, 0);
  lists.delete_list_line("date.dat", 1);
  lists.clear_list("date.dat");
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("date.dat")));
}

TEST(TextBetween, CutsByMode) {
  const std::string xml = "<a Defaultsavepath=\"D:\\Media\\\" b=\"1\"/>";
  EXPECT_EQ(text_between(xml, "Defaultsavepath=\"", "\"", 2), "D:\\Media\\");
  EXPECT_EQ(text_between(xml, "Defaultsavepath=\"", "\"", 1), "Defaultsavepath=\"");
  EXPECT_EQ(text_between("xx[ab]yy", "[", "]", 1), "[ab]");
  EXPECT_EQ(text_between("xx[ab]yy", "[", "]", 2), "ab");
  EXPECT_EQ(text_between("xx[ab]yy", "[", "]", 3), "");
  EXPECT_EQ(text_between("xx[ab", "[", "]", 2), "");
  EXPECT_EQ(text_between("xxab]", "[", "]", 2), "");
  EXPECT_EQ(text_between("]x[", "[", "]", 2), "");
}

TEST(StripExtension, TakesWhatPrecedesTheLastDot) {
  EXPECT_EQ(strip_extension("movie.part1.rmvb"), "movie.part1");
  EXPECT_EQ(strip_extension(".rmvb"), "");
  EXPECT_EQ(strip_extension("noext"), "");
}

TEST(ListFolderFiles, ListsOrdinaryVisibleFilesMatchingThePattern) {
  test::TempDir dir;
  test::DiskFiles files;
  dir.write("abc.rmvb", "");
  dir.write("ABD.mp4", "");
  dir.write("x", "");
  dir.write(".hidden", "");
  std::filesystem::create_directory(dir.file("sub.dir"));
  std::vector<std::string> names{"stale"};
  ASSERT_TRUE(list_folder_files(files, dir.str(), "*.*", names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"ABD.mp4", "abc.rmvb", "x"}));
  ASSERT_TRUE(list_folder_files(files, dir.str() + "/", "ab?.*", names));
  EXPECT_EQ(names.size(), 2u);
  EXPECT_FALSE(list_folder_files(files, dir.str(), "*.avi", names));
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(list_folder_files(files, dir.file("missing"), "*.*", names));
}

}  // namespace
}  // namespace tav

namespace tav {
namespace {

TEST_F(Lists, LineEndsInsideFieldsCannotTearARecord) {
  set_history("\r\n");
  lists.add_history(3, "a\r\nb", "l\n", "x\ry", 0, 0, 0);
  EXPECT_EQ(history(), "3|a  b|l |x y|0|0|0\r\n\r\n");
  set_local("\r\n");
  lists.add_local_film("n\n", "/p/\nq.mp4", 0);
  lists.set_local_position("/p/\nq.mp4", 9);
  EXPECT_EQ(local(), "n |/p/ q.mp4|9\r\n");
}

}  // namespace
}  // namespace tav
