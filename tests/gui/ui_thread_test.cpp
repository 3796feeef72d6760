// The hand-off on Qt's event loop: order, one step at a time, the loop's end
// through Quit and ProcessEnd, and failures that escape a step.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "platform/ProcessEnd.h"
#include "qt/QtUiThread.h"

namespace qfw::qt {
namespace {

TEST(QtUiThreadTest, HandedStepsRunOnTheUiThreadInTheOrderHanded) {
  QtUiThread ui;
  const auto uiThread = std::this_thread::get_id();
  std::vector<std::string> order;  // UI thread only
  bool allOnUiThread = true;
  const auto note = [&](const char* what) {
    order.emplace_back(what);
    allOnUiThread = allOnUiThread && std::this_thread::get_id() == uiThread;
  };

  bool direct = false;
  ui.Synchronize([&] { direct = true; });  // on the UI thread: runs at once
  EXPECT_TRUE(direct);

  std::thread worker([&] {
    EXPECT_FALSE(ui.IsUiThread());
    ui.Post([&] { note("post 1"); });
    bool ran = false;
    ui.Synchronize([&] {
      note("sync 2");
      ran = true;
    });
    EXPECT_TRUE(ran);  // returned only once the step had run
    ui.Post([&] {
      note("post 3");
      ui.Quit(7);
    });
  });
  EXPECT_EQ(ui.Run(), 7);
  worker.join();
  EXPECT_EQ(order, (std::vector<std::string>{"post 1", "sync 2", "post 3"}));
  EXPECT_TRUE(allOnUiThread);
}

TEST(QtUiThreadTest, StepWaitsWhileAnEarlierStepRunsANestedLoop) {
  QtUiThread ui;
  std::vector<std::string> order;
  std::atomic<bool> handing{false};
  std::thread worker;
  ui.Post([&] {
    worker = std::thread([&] {
      handing = true;
      ui.Synchronize([&] { order.emplace_back("handed step"); });
      ui.Quit(0);
    });
    // A message box in a step: the loop turns while the step is not finished.
    QEventLoop nested;
    int turnsAfterHanding = 0;
    QTimer turn;
    turn.setInterval(0);
    QObject::connect(&turn, &QTimer::timeout, [&] {
      if (handing && ++turnsAfterHanding == 500) nested.quit();
    });
    turn.start();
    nested.exec();
    order.emplace_back("nested loop done");
  });
  EXPECT_EQ(ui.Run(), 0);
  worker.join();
  EXPECT_EQ(order, (std::vector<std::string>{"nested loop done", "handed step"}));
}

TEST(QtUiThreadTest, ProcessEndInAStepEndsTheLoopWithItsStatus) {
  {
    SCOPED_TRACE("posted step");
    QtUiThread ui;
    bool later = false;
    ui.Post([] { EndProcess(3); });
    ui.Post([&] { later = true; });
    EXPECT_EQ(ui.Run(), 3);
    EXPECT_FALSE(later);
  }
  {
    SCOPED_TRACE("handed step");
    QtUiThread ui;
    std::atomic<bool> later{false};
    std::thread worker([&] {
      ui.Synchronize([] { EndProcess(1); });
      ui.Synchronize([&] { later = true; });  // the loop has ended: not run
    });
    EXPECT_EQ(ui.Run(), 1);
    worker.join();
    EXPECT_FALSE(later.load());
  }
}

TEST(QtUiThreadTest, QuitReleasesAWorkerWaitingForTheLoop) {
  QtUiThread ui;
  std::atomic<bool> ran{false};
  std::thread worker([&] { ui.Synchronize([&] { ran = true; }); });
  ui.Quit(4);     // the loop never ran
  worker.join();  // returns all the same
  EXPECT_FALSE(ran.load());
  EXPECT_EQ(ui.Run(), 4);
}

TEST(QtUiThreadTest, FailureEscapingAStepIsReportedAndTheLoopGoesOn) {
  QtUiThread ui;
  std::vector<std::string> reports;
  ui.SetFailureReport([&](const std::string& message) { reports.push_back(message); });
  ui.Post([] { throw std::runtime_error("Stream read error"); });
  std::thread worker([&] {
    ui.Synchronize([] { throw std::length_error("List index out of bounds"); });
    ui.Quit(0);
  });
  EXPECT_EQ(ui.Run(), 0);
  worker.join();
  EXPECT_EQ(reports, (std::vector<std::string>{"Stream read error", "List index out of bounds"}));
}

}  // namespace
}  // namespace qfw::qt
