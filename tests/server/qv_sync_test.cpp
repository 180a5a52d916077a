// The blocking hand-off between a connection thread and the UI thread.
#include "server/qv_sync.h"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>
#include <thread>

#include "tests/server/server_test_support.h"

namespace qvr::server {
namespace {

// Holds posted tasks until the test runs or discards them.
class HeldDispatcher final : public Dispatcher {
 public:
  void Post(Task task) override {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  std::size_t Held() {
    std::lock_guard lock(mutex_);
    return tasks_.size();
  }
  void RunAll() {
    for (auto& task : Take()) task();
  }
  void DiscardAll() { Take(); }

 private:
  std::vector<Task> Take() {
    std::lock_guard lock(mutex_);
    return std::move(tasks_);
  }
  std::mutex mutex_;
  std::vector<Task> tasks_;
};

TEST(QVSync, OneReadIsOneTaskRunInOrderAndTheCallerWaitsForIt) {
  HeldDispatcher ui;
  std::vector<std::u16string> shown;
  TQVSyncClass sync(ui, [&](const std::u16string& text) { shown.push_back(text); });
  auto delivered = std::async(std::launch::async, [&] { return sync.Deliver({u"a", u"b", u"c"}); });
  ASSERT_TRUE(test::Eventually([&] { return ui.Held() == 1; }));
  EXPECT_EQ(delivered.wait_for(std::chrono::milliseconds(0)), std::future_status::timeout);
  ui.RunAll();
  EXPECT_TRUE(delivered.get());
  EXPECT_EQ(shown, (std::vector<std::u16string>{u"a", u"b", u"c"}));
}

TEST(QVSync, ExceptionInTheStepComesBackAndStopsTheRest) {
  HeldDispatcher ui;
  std::vector<std::u16string> shown;
  TQVSyncClass sync(ui, [&](const std::u16string& text) {
    if (text == u"bad") throw std::runtime_error("step failed");
    shown.push_back(text);
  });
  auto delivered = std::async(std::launch::async, [&] {
    return sync.Deliver({u"ok", u"bad", u"x"});
  });
  ASSERT_TRUE(test::Eventually([&] { return ui.Held() == 1; }));
  ui.RunAll();
  EXPECT_THROW(delivered.get(), std::runtime_error);
  EXPECT_EQ(shown, std::vector<std::u16string>{u"ok"});
}

TEST(QVSync, CloseReleasesWaitersAndTheirTasksDoNothing) {
  HeldDispatcher ui;
  int steps = 0;
  TQVSyncClass sync(ui, [&](const std::u16string&) { ++steps; });
  auto first = std::async(std::launch::async, [&] { return sync.Deliver({u"1"}); });
  auto second = std::async(std::launch::async, [&] { return sync.Deliver({u"2"}); });
  ASSERT_TRUE(test::Eventually([&] { return ui.Held() == 2; }));
  sync.Close();
  EXPECT_FALSE(first.get());
  EXPECT_FALSE(second.get());
  EXPECT_FALSE(sync.Deliver({u"late"}));  // returns at once, posts nothing
  EXPECT_EQ(ui.Held(), 2u);
  ui.RunAll();
  EXPECT_EQ(steps, 0);
}

TEST(QVSync, TaskDiscardedByTheDispatcherReleasesTheWaiter) {
  HeldDispatcher ui;
  int steps = 0;
  TQVSyncClass sync(ui, [&](const std::u16string&) { ++steps; });
  auto delivered = std::async(std::launch::async, [&] { return sync.Deliver({u"1"}); });
  ASSERT_TRUE(test::Eventually([&] { return ui.Held() == 1; }));
  ui.DiscardAll();
  EXPECT_FALSE(delivered.get());
  EXPECT_EQ(steps, 0);
}

TEST(QVSync, TasksOutliveTheHandOffSafely) {
  HeldDispatcher ui;
  int steps = 0;
  auto sync = std::make_unique<TQVSyncClass>(ui, [&](const std::u16string&) { ++steps; });
  auto delivered = std::async(std::launch::async, [&] { return sync->Deliver({u"1"}); });
  ASSERT_TRUE(test::Eventually([&] { return ui.Held() == 1; }));
  sync->Close();
  EXPECT_FALSE(delivered.get());
  sync.reset();
  ui.RunAll();  // a stale task after its hand-off object is gone
  EXPECT_EQ(steps, 0);
}

}  // namespace
}  // namespace qvr::server
