#include "base/command_line.h"

namespace tav {

std::vector<std::string> split_command_line(std::string_view line, QuotedEscapes escapes) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false, quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (quoted && c == '\\' && escapes == QuotedEscapes::backslash && i + 1 < line.size()) {
      const char n = line[++i];
      word += n == 'n' ? '\n' : n == 'r' ? '\r' : n == 't' ? '\t' : n;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

}  // namespace tav
