// The rules of the slot channel, run against a backend chosen by a factory so that every
// platform's backend meets the same table.
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "ipc/slot_channel.h"
#include "tests/ipc/slot_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wine.h"

namespace qvr::test {
namespace {

using ipc::SlotOwner;
using ReadResult = SlotOwner::ReadResult;

struct BackendFactory {
  const char* name;
  ipc::SlotBackend& (*get)();
};

constexpr std::u16string_view kName = u"Quelvane\\Messages";
constexpr int kShortTimeoutMs = 20;

class SlotChannelRules : public ::testing::TestWithParam<BackendFactory> {
 protected:
  ipc::SlotBackend& backend() { return GetParam().get(); }

  std::unique_ptr<SlotOwner> Create(std::uint32_t limit = ipc::kSlotMaxMessage,
                                    int timeout = ipc::kWaitForever) {
    return backend().Create(kName, limit, timeout);
  }

  IsolatedUserDirs dirs_;
};

// Rule 1 and 2: one owner per name, any number of writers, no opening without an owner.
TEST_P(SlotChannelRules, OpeningANameWithoutOwnerFails) {
  EXPECT_EQ(backend().Open(kName), nullptr);
  EXPECT_EQ(backend().Open(u"Quelvane\\RemoteSender"), nullptr);
}

TEST_P(SlotChannelRules, LiveOwnerIsNotDisplaced) {
  auto owner = Create();
  ASSERT_NE(owner, nullptr);
  // Names are compared without regard to letter case.
  EXPECT_EQ(backend().Create(kName, ipc::kSlotMaxMessage, ipc::kWaitForever), nullptr);
  EXPECT_EQ(backend().Create(u"QUELVANE\\messages", 100, 0), nullptr);

  OwnerReader reader(*owner);
  auto opening = backend().Open(kName);
  ASSERT_NE(opening, nullptr);
  EXPECT_TRUE(opening->Write("still here", 10));
  EXPECT_EQ(reader.WaitFor(1), std::vector<std::string>{"still here"});
}

TEST_P(SlotChannelRules, NamesAreIndependent) {
  auto messages = Create();
  auto sender = backend().Create(u"Quelvane\\RemoteSender", ipc::kSlotMaxMessage, 0);
  ASSERT_NE(messages, nullptr);
  ASSERT_NE(sender, nullptr);
  OwnerReader reader(*messages);
  auto opening = backend().Open(kName);
  ASSERT_NE(opening, nullptr);
  ASSERT_TRUE(opening->Write("m", 1));
  EXPECT_EQ(reader.WaitFor(1), std::vector<std::string>{"m"});
  std::vector<char> buffer(ipc::kSlotMaxMessage);
  std::size_t length = 0;
  EXPECT_EQ(sender->Read(buffer.data(), buffer.size(), length), ReadResult::kTimedOut);
}

// Rule 3: whole messages, oldest first, bytes unchanged, zero-byte messages included.
TEST_P(SlotChannelRules, MessagesArriveWholeAndUnchanged) {
  QVR_SKIP_UNDER_WINE(test::kWineZeroByteMessages);
  const std::vector<std::string> sent = {
      "", std::string("a\0b", 3), std::string(1, '\0'), "\x80\xE4\xFF\x7F", "plain text", ""};
  auto owner = Create();
  ASSERT_NE(owner, nullptr);
  OwnerReader reader(*owner);
  auto opening = backend().Open(kName);
  ASSERT_NE(opening, nullptr);
  for (const std::string& message : sent) {
    EXPECT_TRUE(opening->Write(message.data(), message.size())) << message;
  }
  EXPECT_EQ(reader.WaitFor(sent.size()), sent);
}

// Rule 4: a message longer than the owner's limit fails as a whole.
TEST_P(SlotChannelRules, LimitIsExactAndAnOverlongMessageLeavesNothing) {
  QVR_SKIP_UNDER_WINE(test::kWineSizeLimit);
  for (const std::uint32_t limit : {ipc::kSlotMaxMessage, 1000u, 1u, 0u}) {
    SCOPED_TRACE(limit);
    auto owner = Create(limit);
    ASSERT_NE(owner, nullptr);
    OwnerReader reader(*owner);
    auto opening = backend().Open(kName);
    ASSERT_NE(opening, nullptr);
    const std::string exact(limit, 'x');
    const std::string longer(limit + 1, 'y');
    EXPECT_TRUE(opening->Write(exact.data(), exact.size()));
    EXPECT_FALSE(opening->Write(longer.data(), longer.size()));
    EXPECT_TRUE(opening->Write("", 0));
    EXPECT_EQ(reader.WaitFor(2), (std::vector<std::string>{exact, ""}));
  }
}

// Rule 5: openings made before the owner closed stay dead; fresh ones reach the new owner.
TEST_P(SlotChannelRules, OutdatedOpeningFailsAfterCloseAndRecreate) {
  QVR_SKIP_UNDER_WINE(test::kWineOutdatedOpening);
  auto first = Create();
  ASSERT_NE(first, nullptr);
  auto first_reader = std::make_unique<OwnerReader>(*first);
  auto outdated = backend().Open(kName);
  ASSERT_NE(outdated, nullptr);
  ASSERT_TRUE(outdated->Write("one", 3));
  EXPECT_EQ(first_reader->WaitFor(1), std::vector<std::string>{"one"});

  first->Close();
  EXPECT_TRUE(first_reader->WaitUntilClosed());
  EXPECT_FALSE(outdated->Write("two", 3));
  EXPECT_EQ(backend().Open(kName), nullptr);
  first_reader.reset();
  first.reset();

  auto second = Create();
  ASSERT_NE(second, nullptr);
  OwnerReader second_reader(*second);
  EXPECT_FALSE(outdated->Write("three", 5));
  auto fresh = backend().Open(kName);
  ASSERT_NE(fresh, nullptr);
  EXPECT_TRUE(fresh->Write("four", 4));
  EXPECT_EQ(second_reader.WaitFor(1), std::vector<std::string>{"four"});
}

// Rule 6: the read time-out, and Close waking a waiting read.
TEST_P(SlotChannelRules, ReadTimesOut) {
  for (const int timeout : {0, kShortTimeoutMs}) {
    auto owner = Create(ipc::kSlotMaxMessage, timeout);
    ASSERT_NE(owner, nullptr);
    std::vector<char> buffer(ipc::kSlotMaxMessage);
    std::size_t length = 0;
    EXPECT_EQ(owner->Read(buffer.data(), buffer.size(), length), ReadResult::kTimedOut);
  }
}

TEST_P(SlotChannelRules, CloseWakesAWaitingRead) {
  auto owner = Create();
  ASSERT_NE(owner, nullptr);
  auto read = std::async(std::launch::async, [&owner] {
    std::vector<char> buffer(ipc::kSlotMaxMessage);
    std::size_t length = 0;
    return owner->Read(buffer.data(), buffer.size(), length);
  });
  // Give the read a moment to start waiting; the outcome is the same either way.
  EXPECT_EQ(read.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  owner->Close();
  ASSERT_EQ(read.wait_for(kEventually), std::future_status::ready);
  EXPECT_EQ(read.get(), ReadResult::kClosed);

  std::vector<char> buffer(ipc::kSlotMaxMessage);
  std::size_t length = 0;
  EXPECT_EQ(owner->Read(buffer.data(), buffer.size(), length), ReadResult::kClosed);
  owner->Close();  // idempotent
  EXPECT_EQ(backend().Open(kName), nullptr);
  EXPECT_NE(Create(), nullptr);  // the name is free again
}

TEST_P(SlotChannelRules, ManyWritersEachKeepTheirOrder) {
  constexpr int kWriters = 6;
  constexpr int kEach = 2000;
  auto owner = Create();
  ASSERT_NE(owner, nullptr);
  OwnerReader reader(*owner);
  std::vector<std::thread> writers;
  std::vector<int> placed(kWriters, 0);
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([this, w, &placed] {
      auto opening = backend().Open(kName);
      for (int i = 0; opening && i < kEach; ++i) {
        const std::string message = std::to_string(w) + ":" + std::to_string(i);
        if (opening->Write(message.data(), message.size())) ++placed[w];
      }
    });
  }
  for (auto& writer : writers) writer.join();
  for (int w = 0; w < kWriters; ++w) ASSERT_EQ(placed[w], kEach) << "writer " << w;

  const std::vector<std::string> received = reader.WaitFor(kWriters * kEach);
  ASSERT_EQ(received.size(), static_cast<std::size_t>(kWriters * kEach));
  std::vector<int> next(kWriters, 0);
  for (const std::string& message : received) {
    const int w = std::stoi(message.substr(0, message.find(':')));
    const int i = std::stoi(message.substr(message.find(':') + 1));
    ASSERT_EQ(i, next[w]) << "writer " << w << " out of order";
    ++next[w];
  }
}

ipc::SlotBackend& System() {
  return ipc::SystemSlots();
}

INSTANTIATE_TEST_SUITE_P(Platform, SlotChannelRules,
                         ::testing::Values(BackendFactory{"System", &System}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qvr::test
