#include "lists/list_pages.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "lists/list_files.h"
#include "disk_services.h"
#include "temp_dir.h"
#include "web/text_routines.h"

namespace tav {
namespace {

// The page as it must come out, written out here independently of the code.
const std::string kFrameBefore =
    "<html><head><title></title><style type=\"text/css\">*{margin:0;padding:0;border:0px;}body{"
    "overflow:auto;background:#070707;}html{scrollbar-face-color:#2A2929;scrollbar-highlight-"
    "color:#353434;scrollbar-shadow-color:#000000;scrollbar-3dlight-color:#000000;scrollbar-"
    "arrow-color:#515151;scrollbar-track-color:#1F1D1C;scrollbar-darkshadow-color:#201F1E;}a:"
    "link,a:visited,a:active,a:hover{color:#ffffff;text-decoration:none;display:block}td{"
    "padding-left:3px;height:22px;line-height:22px;font-size:12px;border-bottom:1px solid "
    "#161616;color:#9C9C81;}td img{width:11px;height:11px;margin-top:6px;}td dd{float:left;"
    "padding-left:5px;}</style></head><body oncontextmenu=\"return false\" ondragstart=\"return "
    "false\"><table id=\"v1\" width=\"98%\" cellpadding=\"0\" cellspacing=\"0\" border=\"0\">";
const std::string kFrameAfter = "</table><div style='dispaly:none' id='vd'></div>";
const std::string kScript =
    "<script type=\"text/javascript\">\r\n"
    "var obj=document.getElementById(\"v1\");\r\n"
    "var obj1=document.getElementById(\"vd\");\r\n"
    "for(var i=0;i<obj.rows.length;i++){\r\n"
    "obj.rows[i].onmouseover=function(){obj1.style.background=this.style.backgroundColor;this."
    "style.background='212121';this.cells[1].style.display ='block';this.cells[2].style.display "
    "= 'none';}\r\n"
    "obj.rows[i].onmouseout=function(){this.style.background=obj1.style.background;this.cells[1]"
    ".style.display = 'none';this.cells[2].style.display = 'block';}}\r\n"
    "</script></body></html>\r\n";

std::string page(const std::string& rows) { return kFrameBefore + rows + kFrameAfter + kScript; }

std::string row(int n, const std::string& title, const std::string& shown) {
  const std::string k = std::to_string(n);
  return "<tr><td align=left width=95%><dd>" + k + "</dd><dd><a title=\"" + title +
         "\" href=open://" + k + ">" + shown +
         "</a></dd></td><td width=4% style='display:none'><a href=delk://" + k +
         "><img src=\"i.gif\" alt=\"删除\"></a></td><td>&nbsp;</td></tr>";
}

TEST(ListPage, FrameIsThe824CharacterText) {
  EXPECT_EQ(list_page_frame().size(), 824u);
  EXPECT_EQ(std::string(list_page_frame()), kFrameBefore + "<vod>" + kFrameAfter);
}

class ListPages : public ::testing::Test {
 protected:
  test::TempDir dir;
  test::DiskFiles files;
  test::GbkCodePage gbk;
  ListFiles lists{files, gbk, dir.str()};

  std::string render_history(const std::string& list) {
    dir.write("date.dat", gbk.from_utf8(list));
    lists.render_list_page("date.dat");
    return gbk.to_utf8(dir.read("c.htm"));
  }
};

TEST_F(ListPages, AnEmptyListShowsTheNoRecordsRow) {
  EXPECT_EQ(render_history("\r\n"),
            page("<tr><td align=center>暂无记录</td></tr>") + "\r\n");
}

TEST_F(ListPages, RowsAreNumberedByLineIncludingNonRecords) {
  EXPECT_EQ(render_history("\r\n12|%u5929%u9F99|第1集|a|1|0|0\r\n"),
            page(row(2, "天龙", "天龙")) + "\r\n");
}

TEST_F(ListPages, LocalFilmsShowTheirFirstFieldAndSkipEmptyNames) {
  dir.write("date_f.dat", gbk.from_utf8("|noname|0\r\nb.mp4|D:\\b.mp4|0\r\n"));
  lists.render_list_page("date_f.dat");
  EXPECT_EQ(gbk.to_utf8(dir.read("f.htm")), page(row(2, "b.mp4", "b.mp4")) + "\r\n");
  EXPECT_FALSE(dir.exists("c.htm"));
}

TEST_F(ListPages, LongNamesAreShortenedButTitledInFull) {
  std::string name, shown;
  for (int i = 0; i < 25; ++i) name += "影";
  for (int i = 0; i < 20; ++i) shown += "影";
  EXPECT_EQ(render_history("1|" + urlEscape(name) + "|l|a|0|0|0\r\n"),
            page(row(1, name, shown)) + "\r\n");
}

TEST_F(ListPages, NamesFromTheServerCannotInjectMarkup) {
  const std::string evil = "<img src=x onerror=alert(1)> & \"q\"";
  const std::string escaped = "&lt;img src=x onerror=alert(1)&gt; &amp; &quot;q&quot;";
  dir.write("date.dat", "1|" + evil + "|l|a|0|0|0\r\n");
  lists.render_list_page("date.dat");
  const std::string out = gbk.to_utf8(dir.read("c.htm"));
  EXPECT_EQ(out, page(row(1, escaped, escaped)) + "\r\n");
  EXPECT_EQ(out.find("<img src=x"), std::string::npos);
}

TEST_F(ListPages, OnlyTheTwoListsHavePages) {
  dir.write("other.dat", "1|a|l|a|0|0|0\r\n");
  lists.render_list_page("other.dat");
  EXPECT_EQ(dir.entry_count(), 1u);
  lists.render_list_page("date.dat");  // missing list: nothing written
  EXPECT_EQ(dir.entry_count(), 1u);
}

TEST_F(ListPages, ASingleFieldRecordIsSkippedNotFatal) {
  EXPECT_EQ(render_history("only|\r\n2|B|l|a|0|0|0\r\n"), page(row(2, "B", "B")) + "\r\n");
}

}  // namespace
}  // namespace tav
