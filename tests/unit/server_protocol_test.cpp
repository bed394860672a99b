// The demo server's query texts and replies (server/src/protocol.cpp).
#include <gtest/gtest.h>

#include "catalogue.h"
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

// The reply the server and its export both give. A path escapes what a
// request's address may keep ("%", "#", "?", "|") and keeps Chinese.
TEST(ServerEpisodeReply, NamesTheFileByItsKind) {
  const Episode web{"第1集 & 100%", "天 a#?|%\x7F.mp4", "web", ""};
  EXPECT_EQ(episode_reply(web, 9, "", "http://h:1"),
            "第1集 %26 100%25$http://h:1/media/天%20a%23%3F%7C%25%7F.mp4$web");
  const Episode qvod{"第2集", "天 a.mp4", "qvod", ""};
  EXPECT_EQ(episode_reply(qvod, 9, "AB", "http://h:1"), "第2集$qvod://9|AB|天 a.mp4|$qvod");
}

}  // namespace
}  // namespace tsrv
