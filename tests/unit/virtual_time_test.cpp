#include "simbus/VirtualTime.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "simbus/RealTimeScheduler.h"

namespace qfw::simbus {
namespace {

using namespace std::chrono_literals;

TEST(VirtualTime, SleepRunsDueActionsInTimeOrderAtTheirOwnTime) {
  VirtualTime time;
  std::vector<std::pair<int, Millis>> ran;
  time.After(300ms, [&] { ran.emplace_back(3, time.Now()); });
  time.After(100ms, [&] {
    ran.emplace_back(1, time.Now());
    time.After(50ms, [&] { ran.emplace_back(2, time.Now()); });  // due at 150
  });
  time.After(300ms, [&] { ran.emplace_back(4, time.Now()); });  // same time: scheduling order
  time.After(501ms, [&] { ran.emplace_back(5, time.Now()); });

  time.SleepFor(500ms);

  const std::vector<std::pair<int, Millis>> expected{
      {1, 100ms}, {2, 150ms}, {3, 300ms}, {4, 300ms}};
  EXPECT_EQ(ran, expected);
  EXPECT_EQ(time.Now(), 500ms);
  EXPECT_EQ(time.ScheduledCount(), 1u);
  EXPECT_EQ(time.TotalSleep(), 500ms);
  EXPECT_EQ(time.SleepCount(), 1);
}

TEST(VirtualTime, WaitEndsWhenAnActionSetsTheEventOrAtTheDeadline) {
  struct Case {
    const char* name;
    bool setBefore;               // the event is already set when the wait starts
    std::optional<Millis> setAt;  // an action sets it at this time
    WaitResult expected;
    Millis endsAt;
  };
  const Case cases[] = {
      {"already set", true, std::nullopt, WaitResult::Signalled, 0ms},
      {"set within the wait", false, 300ms, WaitResult::Signalled, 300ms},
      {"set exactly at the deadline", false, 1000ms, WaitResult::Signalled, 1000ms},
      {"set after the deadline", false, 1001ms, WaitResult::TimedOut, 1000ms},
      {"never set", false, std::nullopt, WaitResult::TimedOut, 1000ms},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VirtualTime time;
    const auto event = time.CreateEvent();
    ASSERT_NE(event, nullptr);
    if (c.setBefore) event->Set();
    if (c.setAt) time.After(*c.setAt, [&] { event->Set(); });
    EXPECT_EQ(event->Wait(1000ms), c.expected);
    EXPECT_EQ(time.Now(), c.endsAt);
    // A successful wait resets the event.
    EXPECT_EQ(event->Wait(0ms), WaitResult::TimedOut);
  }
}

TEST(VirtualTime, CancelledActionsNeverRun) {
  VirtualTime time;
  bool ran = false;
  const auto id = time.After(10ms, [&] { ran = true; });
  EXPECT_TRUE(time.Cancel(id));
  EXPECT_FALSE(time.Cancel(id));
  time.SleepFor(20ms);
  EXPECT_FALSE(ran);

  const auto done = time.After(0ms, [] {});
  time.SleepFor(0ms);
  EXPECT_FALSE(time.Cancel(done));
}

TEST(VirtualTime, EventCreationFailsOnRequest) {
  VirtualTime time;
  time.FailEventCreations(2);
  EXPECT_EQ(time.CreateEvent(), nullptr);
  EXPECT_EQ(time.CreateEvent(), nullptr);
  EXPECT_NE(time.CreateEvent(), nullptr);

  time.FailEventCreations(VirtualTime::kEveryCreation);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(time.CreateEvent(), nullptr);
  time.FailEventCreations(0);
  EXPECT_NE(time.CreateEvent(), nullptr);
  EXPECT_EQ(time.CreatedEventCount(), 2);
  EXPECT_EQ(time.RefusedEventCount(), 7);
}

// Other threads set events and schedule actions while one thread advances time.
TEST(VirtualTime, OtherThreadsMaySetEventsAndScheduleWhileTimeAdvances) {
  VirtualTime time;
  const auto event = time.CreateEvent();
  std::atomic<int> ran{0};
  std::thread other([&] {
    for (int i = 0; i < 200; ++i) time.After(Millis{i % 7}, [&] { ++ran; });
    event->Set();
  });
  for (int i = 0; i < 200; ++i) time.SleepFor(1ms);
  other.join();
  EXPECT_EQ(event->Wait(0ms), WaitResult::Signalled);
  time.SleepFor(10ms);
  EXPECT_EQ(ran.load(), 200);
}

TEST(RealTimeScheduler, RunsActionsInOrderOnItsThreadAndHonoursCancel) {
  std::mutex mutex;
  std::condition_variable done;
  std::vector<int> ran;
  {
    RealTimeScheduler scheduler;
    const auto record = [&](int n) {
      return [&, n] {
        std::lock_guard lock(mutex);
        ran.push_back(n);
        done.notify_all();
      };
    };
    scheduler.After(4ms, record(2));
    scheduler.After(1ms, record(1));
    const auto cancelled = scheduler.After(2ms, record(99));
    EXPECT_TRUE(scheduler.Cancel(cancelled));
    scheduler.After(6ms, record(3));
    scheduler.After(10min, record(100));  // dropped with the scheduler

    std::unique_lock lock(mutex);
    ASSERT_TRUE(done.wait_for(lock, 10s, [&] { return ran.size() == 3; }));
  }
  EXPECT_EQ(ran, (std::vector<int>{1, 2, 3}));
}

}  // namespace
}  // namespace qfw::simbus
