#include "ipc/mailslot_reader.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ipc/codepage.h"
#include "ipc/event_loop.h"
#include "ipc/mailslot_writer.h"
#include "tests/ipc/slot_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wine.h"

namespace qvr::test {
namespace {

constexpr std::u16string_view kName = u"Quelvane\\RemoteSender";

// A dispatcher whose tasks the test runs by hand, one by one, so that it decides when each
// notification is handled.
class ManualDispatcher final : public Dispatcher {
 public:
  ManualDispatcher() : previous_(MakeCurrent(this)) {}
  ~ManualDispatcher() override { MakeCurrent(previous_); }

  void Post(Task task) override {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    posted_.notify_all();
  }

  // True once `count` tasks have been posted (waits up to 10 s).
  bool WaitForTasks(std::size_t count) {
    std::unique_lock lock(mutex_);
    return posted_.wait_for(lock, kEventually, [&] { return tasks_.size() >= count; });
  }

  void RunTask(std::size_t index) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      task = tasks_.at(index);
    }
    task();
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::vector<Task> tasks_;
  Dispatcher* previous_;
};

class MailSlotReaderTest : public ::testing::Test {
 protected:
  // Writes through a fresh writer; true when the message was placed.
  bool Send(std::string_view bytes) {
    return writer_.Write(bytes.data(), static_cast<std::int32_t>(bytes.size())) ==
           static_cast<std::int32_t>(bytes.size());
  }

  static TMailSlotReader::TMessageEvent Collect(std::vector<std::u16string>& into) {
    return [&into](TMailSlotReader&, const std::u16string& text) { into.push_back(text); };
  }

  IsolatedUserDirs dirs_;
  TMailSlotWriter writer_{kName};
};

TEST_F(MailSlotReaderTest, OneNotificationDeliversEverythingQueued) {
  ManualDispatcher dispatcher;
  TMailSlotReader reader(kName, false);
  std::vector<std::u16string> received;
  reader.SetOnMessage(Collect(received));
  ASSERT_TRUE(reader.OwnsSlot());
  ASSERT_TRUE(Send("first"));
  ASSERT_TRUE(Send("second"));
  ASSERT_TRUE(dispatcher.WaitForTasks(2));

  dispatcher.RunTask(0);
  EXPECT_EQ(received, (std::vector<std::u16string>{u"first", u"second"}));
  dispatcher.RunTask(1);
  EXPECT_EQ(received.size(), 2u);
}

TEST_F(MailSlotReaderTest, WithoutCallbackTheQueueWaitsForOne) {
  ManualDispatcher dispatcher;
  TMailSlotReader reader(kName, false);
  ASSERT_TRUE(Send("early"));
  ASSERT_TRUE(dispatcher.WaitForTasks(1));
  dispatcher.RunTask(0);  // nothing to call: the message stays queued

  std::vector<std::u16string> received;
  reader.SetOnMessage(Collect(received));
  ASSERT_TRUE(Send("late"));
  ASSERT_TRUE(dispatcher.WaitForTasks(2));
  dispatcher.RunTask(1);
  EXPECT_EQ(received, (std::vector<std::u16string>{u"early", u"late"}));
}

TEST_F(MailSlotReaderTest, ThrowingCallbackLeavesTheRestQueued) {
  ManualDispatcher dispatcher;
  TMailSlotReader reader(kName, false);
  std::vector<std::u16string> received;
  reader.SetOnMessage([&](TMailSlotReader&, const std::u16string& text) {
    received.push_back(text);
    if (text == u"boom") throw std::runtime_error("callback failed");
  });
  for (const char* message : {"boom", "two", "three"}) ASSERT_TRUE(Send(message));
  ASSERT_TRUE(dispatcher.WaitForTasks(3));

  EXPECT_THROW(dispatcher.RunTask(0), std::runtime_error);
  EXPECT_EQ(received, std::vector<std::u16string>{u"boom"});
  dispatcher.RunTask(1);
  EXPECT_EQ(received, (std::vector<std::u16string>{u"boom", u"two", u"three"}));
}

TEST_F(MailSlotReaderTest, ClearingTheCallbackStopsDeliveryButEmptiesTheRun) {
  ManualDispatcher dispatcher;
  TMailSlotReader reader(kName, false);
  std::vector<std::u16string> received;
  reader.SetOnMessage([&](TMailSlotReader& sender, const std::u16string& text) {
    received.push_back(text);
    sender.SetOnMessage(nullptr);
  });
  for (const char* message : {"kept", "gone"}) ASSERT_TRUE(Send(message));
  ASSERT_TRUE(dispatcher.WaitForTasks(2));
  dispatcher.RunTask(0);
  reader.SetOnMessage(Collect(received));
  ASSERT_TRUE(Send("next"));
  ASSERT_TRUE(dispatcher.WaitForTasks(3));
  dispatcher.RunTask(2);
  EXPECT_EQ(received, (std::vector<std::u16string>{u"kept", u"next"}));
}

TEST_F(MailSlotReaderTest, NestedLoopInCallbackDeliversEachMessageOnceInOrder) {
  EventLoop loop;
  TMailSlotReader reader(kName, false);
  std::vector<std::u16string> started;
  reader.SetOnMessage([&](TMailSlotReader&, const std::u16string& text) {
    started.push_back(text);
    if (text == u"modal") {
      // As a modal dialog does: a loop inside the callback handles later notifications.
      loop.RunUntil([&] { return started.size() >= 3; }, kEventually);
    }
  });
  for (const char* message : {"modal", "inner1", "inner2"}) ASSERT_TRUE(Send(message));
  ASSERT_TRUE(loop.RunUntil([&] { return started.size() >= 3; }, kEventually));
  ASSERT_TRUE(Send("outer"));
  ASSERT_TRUE(loop.RunUntil([&] { return started.size() >= 4; }, kEventually));
  loop.ProcessPending();
  EXPECT_EQ(started, (std::vector<std::u16string>{u"modal", u"inner1", u"inner2", u"outer"}));
}

TEST_F(MailSlotReaderTest, DestroyingWhileWaitingDropsWhatIsQueued) {
  QVR_SKIP_UNDER_WINE(test::kWineOutdatedOpening);
  ManualDispatcher dispatcher;
  std::vector<std::u16string> received;
  {
    TMailSlotReader reader(kName, false);
    reader.SetOnMessage(Collect(received));
    ASSERT_TRUE(Send("never"));
    ASSERT_TRUE(dispatcher.WaitForTasks(1));
  }                       // the reader's thread waits in a read without limit here
  dispatcher.RunTask(0);  // a notification handled after destruction does nothing
  EXPECT_TRUE(received.empty());
  // The name is free again.
  TMailSlotReader next(kName, false);
  EXPECT_TRUE(next.OwnsSlot());
}

TEST_F(MailSlotReaderTest, SecondReaderOnAnOwnedNameStaysSilent) {
  EventLoop loop;
  TMailSlotReader first(kName, false);
  TMailSlotReader second(kName, false);
  std::vector<std::u16string> first_got;
  std::vector<std::u16string> second_got;
  first.SetOnMessage(Collect(first_got));
  second.SetOnMessage(Collect(second_got));
  EXPECT_TRUE(first.OwnsSlot());
  EXPECT_FALSE(second.OwnsSlot());
  ASSERT_TRUE(Send("for the first"));
  ASSERT_TRUE(loop.RunUntil([&] { return !first_got.empty(); }, kEventually));
  loop.ProcessPending();
  EXPECT_EQ(first_got, std::vector<std::u16string>{u"for the first"});
  EXPECT_TRUE(second_got.empty());
}

TEST_F(MailSlotReaderTest, TextIsConvertedFromTheCodePageWithEveryByte) {
  QVR_SKIP_UNDER_WINE(test::kWineZeroByteMessages);
  EventLoop loop;
  TMailSlotReader reader(kName, false);
  std::vector<std::u16string> received;
  reader.SetOnMessage(Collect(received));
  std::string largest(ipc::kSlotMaxMessage, '\0');
  for (std::size_t i = 0; i < largest.size(); ++i) largest[i] = static_cast<char>(i * 7 % 256);
  const std::vector<std::string> sent = {"", std::string("a\0b", 3), "\x80\xE4\xFF", largest};
  for (const std::string& message : sent) ASSERT_TRUE(Send(message));
  ASSERT_TRUE(loop.RunUntil([&] { return received.size() >= sent.size(); }, kEventually));
  ASSERT_EQ(received.size(), sent.size());
  EXPECT_EQ(received[0], u"");
  EXPECT_EQ(received[1], std::u16string(u"a\u0000b", 3));
  EXPECT_EQ(received[2], u"\u20AC\u00E4\u00FF");  // Windows-1252 without a system code page
  EXPECT_EQ(received[3], AnsiToUtf16(largest));
  EXPECT_EQ(received[3].size(), ipc::kSlotMaxMessage);
}

TEST_F(MailSlotReaderTest, BurstArrivesCompleteAndInOrder) {
  constexpr int kCount = 100'000;
  EventLoop loop;
  TMailSlotReader reader(kName, false);
  int next = 0;
  bool in_order = true;
  reader.SetOnMessage([&](TMailSlotReader&, const std::u16string& text) {
    const std::string bytes = Utf16ToAnsi(text);
    in_order = in_order && bytes.size() == 100 && std::stoi(bytes) == next;
    ++next;
  });
  std::thread sender([] {
    TMailSlotWriter writer(kName);
    std::string message(100, ' ');
    for (int i = 0; i < kCount; ++i) {
      const std::string number = std::to_string(i);
      message.replace(0, number.size(), number);
      if (writer.Write(message.data(), 100) != 100) return;
    }
  });
  loop.RunUntil([&] { return next >= kCount; }, std::chrono::seconds(120));
  sender.join();
  EXPECT_EQ(next, kCount);
  EXPECT_TRUE(in_order);
}

TEST_F(MailSlotReaderTest, SuspendedReaderStartsOnRequest) {
  EventLoop loop;
  TMailSlotReader reader(kName, true);
  std::vector<std::u16string> received;
  reader.SetOnMessage(Collect(received));
  EXPECT_TRUE(reader.OwnsSlot());
  reader.Start();
  ASSERT_TRUE(Send("started"));
  ASSERT_TRUE(loop.RunUntil([&] { return !received.empty(); }, kEventually));
  EXPECT_EQ(received, std::vector<std::u16string>{u"started"});
}

TEST_F(MailSlotReaderTest, NeedsAThreadWithADispatcher) {
  std::thread bare([] { EXPECT_THROW(TMailSlotReader(kName, false), std::logic_error); });
  bare.join();
}

}  // namespace
}  // namespace qvr::test
