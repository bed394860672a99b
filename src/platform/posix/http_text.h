// The text of an HTTP reply body, by its declared charset.
#pragma once

#include <string>
#include <string_view>

namespace tav {

class CodePage;

// The charset parameter of a Content-Type value ("text/html; charset=\"UTF-8\""),
// lower case; empty when there is none.
std::string charset_of(std::string_view content_type);

// The body as well-formed UTF-8. A byte-order mark or a declared charset
// that iconv knows decides (with the common labels of the web: "utf8",
// "gb2312", "x-gbk", "latin1", ...); without either, a body that is valid
// UTF-8 is taken as it is and any other is read in the code page. Bytes
// that do not decode become U+FFFD, never bytes kept for a later write.
std::string decode_body(std::string_view body, std::string_view content_type,
                        const CodePage& code_page);

}  // namespace tav
