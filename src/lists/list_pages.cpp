#include "lists/list_pages.h"

#include "base/text.h"
#include "lists/list_files.h"
#include "platform/text_file.h"
#include "web/text_routines.h"

namespace tav {

namespace {

constexpr std::string_view kFrame =
    "<html><head><title></title><style type=\"text/css\">*{margin:0;padding:0;border:0px;}"
    "body{overflow:auto;background:#070707;}html{scrollbar-face-color:#2A2929;"
    "scrollbar-highlight-color:#353434;scrollbar-shadow-color:#000000;"
    "scrollbar-3dlight-color:#000000;scrollbar-arrow-color:#515151;"
    "scrollbar-track-color:#1F1D1C;scrollbar-darkshadow-color:#201F1E;}"
    "a:link,a:visited,a:active,a:hover{color:#ffffff;text-decoration:none;display:block}"
    "td{padding-left:3px;height:22px;line-height:22px;font-size:12px;"
    "border-bottom:1px solid #161616;color:#9C9C81;}td img{width:11px;height:11px;"
    "margin-top:6px;}td dd{float:left;padding-left:5px;}</style></head>"
    "<body oncontextmenu=\"return false\" ondragstart=\"return false\">"
    "<table id=\"v1\" width=\"98%\" cellpadding=\"0\" cellspacing=\"0\" border=\"0\">"
    "<vod></table><div style='dispaly:none' id='vd'></div>";

constexpr std::string_view kScriptLines[] = {
    "<script type=\"text/javascript\">",
    "var obj=document.getElementById(\"v1\");",
    "var obj1=document.getElementById(\"vd\");",
    "for(var i=0;i<obj.rows.length;i++){",
    "obj.rows[i].onmouseover=function(){obj1.style.background=this.style.backgroundColor;"
    "this.style.background='212121';this.cells[1].style.display ='block';"
    "this.cells[2].style.display = 'none';}",
    "obj.rows[i].onmouseout=function(){this.style.background=obj1.style.background;"
    "this.cells[1].style.display = 'none';this.cells[2].style.display = 'block';}}",
    "</script></body></html>",
};

std::string row(int n, std::string_view title, std::string_view shown) {
  const std::string num = to_text(n);
  std::string r = "<tr><td align=left width=95%><dd>" + num + "</dd><dd><a title=\"";
  r += html_escape(title);
  r += "\" href=open://" + num + ">";
  r += html_escape(shown);
  r += "</a></dd></td><td width=4% style='display:none'><a href=delk://" + num +
       "><img src=\"i.gif\" alt=\"删除\"></a></td><td>&nbsp;</td></tr>";
  return r;
}

}  // namespace

std::string_view list_page_frame() { return kFrame; }

std::string html_escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string build_list_page(const CodePage& code_page, std::string_view list_content,
                            bool local_films) {
  std::string rows;
  int n = 0;
  for (const std::string& line : split_lines(list_content)) {
    ++n;
    if (!contains(line, "|")) continue;
    const std::vector<std::string> f = split(line, "|");
    const std::string title = urlUnescape(field(f, local_films ? 0 : 1));
    const std::string shown = fit_width(code_page, title, 40);
    if (shown.empty()) continue;
    rows += row(n, title, shown);
  }
  if (rows.empty()) rows = kEmptyListRow;
  std::string page(kFrame);
  for (const std::string_view line : kScriptLines) {
    page += line;
    page += "\r\n";
  }
  return replace_all(page, "<vod>", rows);
}

void ListFiles::render_list_page(std::string_view list_file) {
  const bool history = list_file == kHistoryList;
  const bool local = list_file == kLocalList;
  if (!history && !local) return;
  const auto content = read_text_file(files_, code_page_, path_of(list_file));
  if (!content) return;
  const std::string page = build_list_page(code_page_, *content, local);
  if (!write(history ? kHistoryPage : kLocalPage, page + "\r\n")) return;
  if (view_) view_->list_page_written(list_file);
}

}  // namespace tav
