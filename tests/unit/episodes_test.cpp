#include <gtest/gtest.h>

#include "headless_fixture.h"

namespace tav {
namespace {

class Episodes : public test::HeadlessTest {
 protected:
  void SetUp() override {
    w = start();
    ASSERT_TRUE(w);
    hp.log.clear();
  }
  std::string h_asp(const std::string& query) { return config.server_base + "h.asp?" + query; }
  std::unique_ptr<BA1> w;
};

TEST_F(Episodes, ThereIsNoEpisodeBeforeTheFirst) {
  w->filmKey = "12-1-0-天龙";
  w->stepEpisode(1);
  EXPECT_FALSE(logged("fetch"));
}

TEST_F(Episodes, NextFromEpisodeFourPlaysEpisodeFive) {
  hp.http.reply(h_asp("id=12&v=1&v1=5"), "第6集$http://m/5.mp4$web");
  w->filmKey = "12-1-4-天龙";
  w->bo_but_Click(5);
  EXPECT_TRUE(logged("fetch " + h_asp("id=12&v=1&v1=5")));
  EXPECT_TRUE(logged("navigate Web2 " + config.server_base + "play.htm?web$$$http%3A//m/5.mp4"));
  EXPECT_EQ(w->filmKey, "12-1-5-天龙");
  EXPECT_TRUE(w->bo_but(5).enabled());
  hp.http.reply(h_asp("id=12&v=1&v1=4"), "第5集$http://m/4.mp4$qvod");
  w->bo_but_Click(6);
  EXPECT_EQ(w->filmKey, "12-1-4-天龙");
}

TEST_F(Episodes, StepsWithoutDataDoNothing) {
  w->filmKey = "0";
  w->stepEpisode(2);
  w->prefetchNextEpisode();
  EXPECT_FALSE(logged("fetch"));
  w->filmKey = "12-1-4-x";
  for (const char* reply : {"1", "0", "garbage"}) {
    hp.http.reply(h_asp("id=12&v=1&v1=5"), reply);
    hp.log.clear();
    w->stepEpisode(2);
    EXPECT_FALSE(logged("navigate")) << reply;
  }
}

TEST_F(Episodes, PrefetchIsOffWithoutTheBufferSetting) {
  put_setting("S_q", "s_h", "1");
  w->filmKey = "12-1-0-x";
  w->nextLink = "x";
  w->prefetchNextEpisode();
  EXPECT_EQ(w->nextLink, "0");
  EXPECT_FALSE(logged("fetch"));
}

TEST_F(Episodes, APrefetchedWebEpisodeStillPlaysInThePlayer) {
  hp.http.reply(h_asp("id=12&v=1&v1=1"), "第2集$http://m/1.mp4$flv$extra");
  w->filmKey = "12-1-0-天龙";
  w->prefetchNextEpisode();
  EXPECT_EQ(w->nextMedia, "http://m/1.mp4");
  EXPECT_EQ(w->nextLink, "eeqvod://qvod&&&http%3A//m/1.mp4&&&天龙&&&第2集&&&12&&&1&&&1");
  EXPECT_EQ(w->nextBuffering, 0);
}

TEST_F(Episodes, RepliesOneAndZeroParkTheState) {
  w->filmKey = "12-1-0-x";
  hp.http.reply(h_asp("id=12&v=1&v1=1"), "1");
  w->prefetchNextEpisode();
  EXPECT_EQ(w->nextLink, "1");
  EXPECT_EQ(w->nextMedia, "1");
  hp.http.reply(h_asp("id=12&v=1&v1=1"), "0");
  w->prefetchNextEpisode();
  EXPECT_EQ(w->nextLink, "0");
  EXPECT_EQ(w->nextMedia, "0");
}

TEST_F(Episodes, AFailedPrefetchIsRetriedOnceAfterAHundredSeconds) {
  w->filmKey = "12-1-0-x";
  w->prefetchNextEpisode();  // the server answers nothing
  EXPECT_EQ(w->nextLink, "3");
  EXPECT_EQ(w->nextBuffering, 1);
  EXPECT_TRUE(w->Timer4.enabled());
  EXPECT_EQ(logged_count("读取下一集数据出错，稍后将重新读取！"), 1u);
  hp.http.reply(h_asp("id=12&v=1&v1=1"), "第2集$http://m/1.mp4$qvod");
  w->Timer1.set_enabled(false);
  hp.loop.advance(99000);
  EXPECT_EQ(logged_count("fetch " + h_asp("")), 1u);
  hp.loop.advance(1000);
  EXPECT_EQ(logged_count("fetch " + h_asp("")), 2u);
  EXPECT_FALSE(w->Timer4.enabled());
  EXPECT_EQ(w->nextMedia, "http://m/1.mp4");
  EXPECT_EQ(w->nextBuffering, 0);
  EXPECT_EQ(w->retryTicks, 0);
  EXPECT_EQ(logged_count("读取下一集数据出错"), 1u);
}

}  // namespace
}  // namespace tav
