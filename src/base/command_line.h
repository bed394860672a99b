// The words of a command line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tav {

enum class QuotedEscapes {
  none,       // every character between quotes stands for itself
  backslash,  // between quotes \n, \r, \t are those controls and \x is x
};

// Spaces and tabs separate words; double quotes group words as the Windows
// command line does ("a b" c -> [a b] [c], a"b c"d -> [ab cd], "" is an
// empty word). A quote left open runs to the end of the line.
std::vector<std::string> split_command_line(std::string_view line,
                                            QuotedEscapes escapes = QuotedEscapes::none);

}  // namespace tav
