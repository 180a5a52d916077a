#include "gui_common/qt_dispatcher.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "gui_common/top_level.h"

namespace {

using qvr::Dispatcher;
using qvr::gui::QtDispatcher;

// Runs the Qt loop until `done` holds; generous limit, the work itself takes milliseconds.
template <class Done>
bool SpinUntil(Done done) {
  QDeadlineTimer deadline(10000);
  while (!done() && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return done();
}

TEST(QtDispatcherTest, BecomesCurrentAndRestoresThePreviousOne) {
  Dispatcher* before = Dispatcher::Current();
  {
    QtDispatcher dispatcher;
    EXPECT_EQ(Dispatcher::Current(), &dispatcher);
  }
  EXPECT_EQ(Dispatcher::Current(), before);
}

TEST(QtDispatcherTest, RunsTasksFromOtherThreadsOnItsOwnThreadInOrder) {
  QtDispatcher dispatcher;
  const auto gui_thread = std::this_thread::get_id();
  std::vector<int> seen;
  bool all_on_gui_thread = true;
  constexpr int kTasks = 200;
  std::thread poster([&] {
    for (int i = 0; i < kTasks; ++i) {
      dispatcher.Post([&, i] {
        all_on_gui_thread = all_on_gui_thread && std::this_thread::get_id() == gui_thread;
        seen.push_back(i);
      });
    }
  });
  poster.join();
  ASSERT_TRUE(SpinUntil([&] { return seen.size() == kTasks; }));
  EXPECT_TRUE(all_on_gui_thread);
  for (int i = 0; i < kTasks; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
}

TEST(QtDispatcherTest, NestedLoopKeepsDeliveringTasks) {
  QtDispatcher dispatcher;
  std::vector<int> seen;
  dispatcher.Post([&] {
    seen.push_back(1);
    // Stands for a modal dialog: a nested loop that only ends when a later task ends it.
    QEventLoop nested;
    std::thread poster([&] {
      dispatcher.Post([&] { seen.push_back(2); });
      dispatcher.Post([&] { nested.quit(); });
    });
    QTimer::singleShot(10000, &nested, &QEventLoop::quit);  // safety net only
    nested.exec();
    poster.join();
    seen.push_back(3);
  });
  ASSERT_TRUE(SpinUntil([&] { return seen.size() == 3; }));
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
}

TEST(QtDispatcherTest, DropsTasksPendingWhenDestroyed) {
  auto ran = std::make_shared<bool>(false);
  {
    QtDispatcher dispatcher;
    dispatcher.Post([ran] { *ran = true; });
  }
  // A marker posted afterwards proves the loop got its chance to deliver.
  bool marker = false;
  QTimer::singleShot(0, [&] { marker = true; });
  ASSERT_TRUE(SpinUntil([&] { return marker; }));
  QCoreApplication::processEvents();
  EXPECT_FALSE(*ran);
}

TEST(QtDispatcherTest, ExceptionInTaskGoesToTopLevelHandlerAndLaterTasksStillRun) {
  QtDispatcher dispatcher;
  std::string reported;
  auto previous = qvr::gui::SetTopLevelHandler([&](std::exception_ptr error) {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      reported = e.what();
    }
  });
  bool later = false;
  dispatcher.Post([] { throw std::runtime_error("boom"); });
  dispatcher.Post([&] { later = true; });
  const bool done = SpinUntil([&] { return later; });
  qvr::gui::SetTopLevelHandler(previous);
  ASSERT_TRUE(done);
  EXPECT_EQ(reported, "boom");
}

}  // namespace
