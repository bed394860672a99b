// The demo server's query texts (server/src/protocol.cpp).
#include <gtest/gtest.h>

#include "protocol.h"

namespace tsrv {
namespace {

TEST(ServerQueryText, ALoneSurrogateEscapeDecodesToTheReplacementCharacter) {
  // Found by the server fuzz target: a "%u" escape of half a pair came out
  // as the three bytes of a surrogate, which is not UTF-8.
  EXPECT_EQ(decode_query_text("a%uDE00b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(decode_query_text("%uD83D"), "\xEF\xBF\xBD");
  EXPECT_EQ(decode_query_text("\xED\xB8\x80"), "\xEF\xBF\xBD");
  // A whole pair is one character.
  EXPECT_EQ(decode_query_text("%uD83D%uDE00"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(decode_query_text("%E5%A4%A9%u9F99"), "天龙");
}

TEST(ServerQueryText, AnEpisodePageQueryNameIsValidUtf8) {
  const auto q = parse_episode_page_query("12-1-0-%uD800x-0");
  ASSERT_TRUE(q);
  EXPECT_EQ(q->name, "\xEF\xBF\xBDx");
}

}  // namespace
}  // namespace tsrv
