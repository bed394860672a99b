// The HTML pages of the two lists, c.htm and f.htm.
#pragma once

#include <string>
#include <string_view>

namespace tav {

class CodePage;

// The page text for the given list content (the list file already in
// UTF-8); local_films picks the name field of a local-film record.
std::string build_list_page(const CodePage& code_page, std::string_view list_content,
                            bool local_films);

// The fixed parts of the page, exposed for tests.
std::string_view list_page_frame();
inline constexpr std::string_view kEmptyListRow = "<tr><td align=center>暂无记录</td></tr>";

// Escapes "&", "<", ">" and "\"" for HTML text and attribute values.
std::string html_escape(std::string_view text);

}  // namespace tav
