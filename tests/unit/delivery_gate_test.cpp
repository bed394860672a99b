// The desktop backend's gate for calls into the handlers, on a stand-in
// event loop: a queue of posted functions run one per turn.
#include "platform/qt/delivery_gate.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tav::qt {
namespace {

class DeliveryGateTest : public ::testing::Test {
 protected:
  // One turn of the event loop: the oldest posted function.
  bool turn() {
    if (posted_.empty()) return false;
    std::function<void()> f = std::move(posted_.front());
    posted_.pop_front();
    f();
    return true;
  }
  void run_loop() {
    while (turn()) {
    }
  }
  std::function<void()> note(std::string what) {
    return [this, what] { log_.push_back(what); };
  }

  std::deque<std::function<void()>> posted_;
  DeliveryGate gate_{[this](std::function<void()> f) { posted_.push_back(std::move(f)); }};
  std::vector<std::string> log_;
};

TEST_F(DeliveryGateTest, AnOpenGateRunsACallAtOnce) {
  gate_.deliver(note("tick"));
  EXPECT_EQ(log_, std::vector<std::string>{"tick"});
  EXPECT_TRUE(posted_.empty());
  EXPECT_FALSE(gate_.busy());
}

TEST_F(DeliveryGateTest, CallsWhileHeldRunInOrderAfterTheWaitingHandlerReturns) {
  // A handler holds the gate for its request; meanwhile the event loop runs
  // (its turns see the gate held and leave the calls waiting).
  gate_.hold();
  gate_.deliver(note("tick"));
  gate_.deliver(note("click"));
  EXPECT_TRUE(log_.empty());
  run_loop();
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(gate_.waiting(), 2u);
  // The request returns; the rest of the handler runs before any of them.
  gate_.release();
  log_.push_back("handler's rest");
  run_loop();
  EXPECT_EQ(log_, (std::vector<std::string>{"handler's rest", "tick", "click"}));
  EXPECT_FALSE(gate_.busy());
}

TEST_F(DeliveryGateTest, ACallArrivingWhileOthersWaitQueuesBehindThem) {
  gate_.hold();
  gate_.deliver(note("first"));
  gate_.release();
  // The gate is open but "first" has not had its turn: "second" must not
  // overtake it.
  EXPECT_TRUE(gate_.busy());
  gate_.deliver(note("second"));
  EXPECT_TRUE(log_.empty());
  run_loop();
  EXPECT_EQ(log_, (std::vector<std::string>{"first", "second"}));
}

TEST_F(DeliveryGateTest, EachWaitingCallHasATurnOfItsOwn) {
  gate_.hold();
  gate_.deliver(note("a"));
  gate_.deliver(note("b"));
  gate_.release();
  ASSERT_TRUE(turn());
  EXPECT_EQ(log_, std::vector<std::string>{"a"});
  // Something the loop runs between the two (a paint, a page's own work).
  log_.push_back("other event");
  run_loop();
  EXPECT_EQ(log_, (std::vector<std::string>{"a", "other event", "b"}));
}

TEST_F(DeliveryGateTest, AWaitingCallThatHoldsTheGateAgainKeepsTheRestWaiting) {
  gate_.hold();
  gate_.deliver([this] {
    // A released call that makes a request of its own: the loop turns
    // while it waits, and the calls behind it still wait.
    log_.push_back("lookup starts");
    gate_.hold();
    gate_.deliver(note("tick during lookup"));
    run_loop();
    log_.push_back("lookup ends");
    gate_.release();
  });
  gate_.deliver(note("click"));
  gate_.release();
  run_loop();
  EXPECT_EQ(log_, (std::vector<std::string>{"lookup starts", "lookup ends", "click",
                                            "tick during lookup"}));
  EXPECT_FALSE(gate_.busy());
}

TEST_F(DeliveryGateTest, HoldsNestAndAnExtraReleaseDoesNoHarm) {
  gate_.hold();
  gate_.hold();
  gate_.deliver(note("tick"));
  gate_.release();
  run_loop();
  EXPECT_TRUE(log_.empty());
  gate_.release();
  gate_.release();
  run_loop();
  EXPECT_EQ(log_, std::vector<std::string>{"tick"});
  EXPECT_FALSE(gate_.held());
}

}  // namespace
}  // namespace tav::qt
