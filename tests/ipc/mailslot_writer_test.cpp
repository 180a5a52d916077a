#include "ipc/mailslot_writer.h"

#include <atomic>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/ipc/slot_test_support.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wine.h"

namespace qvr::test {
namespace {

constexpr std::u16string_view kName = u"Quelvane\\Messages";

// The system's slots, counting how often a writer tries to open one.
class CountingSlots final : public ipc::SlotBackend {
 public:
  std::unique_ptr<ipc::SlotOwner> Create(std::u16string_view name, std::uint32_t max_message,
                                         int read_timeout_ms) override {
    return ipc::SystemSlots().Create(name, max_message, read_timeout_ms);
  }
  std::unique_ptr<ipc::SlotOpening> Open(std::u16string_view name) override {
    ++opens;
    return ipc::SystemSlots().Open(name);
  }

  std::atomic<int> opens{0};
};

class MailSlotWriterTest : public ::testing::Test {
 protected:
  std::unique_ptr<ipc::SlotOwner> CreateOwner(std::uint32_t limit = ipc::kSlotMaxMessage) {
    return ipc::SystemSlots().Create(kName, limit, ipc::kWaitForever);
  }

  IsolatedUserDirs dirs_;
  CountingSlots slots_;
};

TEST_F(MailSlotWriterTest, OpensNothingUntilTheFirstWrite) {
  {
    TMailSlotWriter writer(kName, slots_);
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_EQ(writer.SlotPath(), u"\\\\.\\mailslot\\Quelvane\\Messages");
  }
  EXPECT_EQ(slots_.opens, 0);
}

TEST_F(MailSlotWriterTest, WithoutOwnerTriesTwiceAndDropsTheMessage) {
  TMailSlotWriter writer(kName, slots_);
  EXPECT_EQ(writer.Write("lost", 4), 0);
  EXPECT_EQ(slots_.opens, 2);
  EXPECT_FALSE(writer.IsOpen());

  // Once an owner exists, the next write delivers.
  auto owner = CreateOwner();
  ASSERT_NE(owner, nullptr);
  OwnerReader reader(*owner);
  EXPECT_EQ(writer.Write("found", 5), 5);
  EXPECT_EQ(slots_.opens, 3);
  EXPECT_EQ(reader.WaitFor(1), std::vector<std::string>{"found"});
}

TEST_F(MailSlotWriterTest, StaysOpenBetweenWrites) {
  auto owner = CreateOwner();
  ASSERT_NE(owner, nullptr);
  OwnerReader reader(*owner);
  TMailSlotWriter writer(kName, slots_);
  EXPECT_EQ(writer.Write("1", 1), 1);
  EXPECT_EQ(writer.Write("22", 2), 2);
  EXPECT_TRUE(writer.IsOpen());
  EXPECT_EQ(slots_.opens, 1);
  EXPECT_EQ(reader.WaitFor(2), (std::vector<std::string>{"1", "22"}));
}

TEST_F(MailSlotWriterTest, ReopensOnceWhenTheOwnerRecreatedTheSlot) {
  QVR_SKIP_UNDER_WINE(test::kWineOutdatedOpening);
  TMailSlotWriter writer(kName, slots_);
  {
    auto first = CreateOwner();
    ASSERT_NE(first, nullptr);
    OwnerReader reader(*first);
    EXPECT_EQ(writer.Write("before", 6), 6);
    EXPECT_EQ(reader.WaitFor(1), std::vector<std::string>{"before"});
  }
  auto second = CreateOwner();
  ASSERT_NE(second, nullptr);
  OwnerReader reader(*second);
  EXPECT_EQ(writer.Write("after", 5), 5);
  EXPECT_EQ(slots_.opens, 2);
  EXPECT_EQ(reader.WaitFor(1), std::vector<std::string>{"after"});
}

TEST_F(MailSlotWriterTest, LimitIsExactAndLongerMessagesAreDropped) {
  QVR_SKIP_UNDER_WINE(test::kWineSizeLimit);
  auto owner = CreateOwner();
  ASSERT_NE(owner, nullptr);
  OwnerReader reader(*owner);
  TMailSlotWriter writer(kName, slots_);
  const std::string exact(ipc::kSlotMaxMessage, 'e');
  const std::string longer(ipc::kSlotMaxMessage + 1, 'l');
  EXPECT_EQ(writer.Write(exact.data(), static_cast<std::int32_t>(exact.size())), 65535);
  EXPECT_EQ(writer.Write(longer.data(), static_cast<std::int32_t>(longer.size())), 0);
  EXPECT_EQ(slots_.opens, 2);  // the failed write reopened once
  writer.WriteText("end");
  EXPECT_EQ(reader.WaitFor(2), (std::vector<std::string>{exact, "end"}));
}

TEST_F(MailSlotWriterTest, TellsWhetherAnEmptyMessageWasPlaced) {
  QVR_SKIP_UNDER_WINE(test::kWineSizeLimit);
  TMailSlotWriter writer(kName, slots_);
  EXPECT_EQ(writer.Write("", 0), 0);
  EXPECT_FALSE(writer.LastWritePlaced());

  auto owner = CreateOwner(4);
  ASSERT_NE(owner, nullptr);
  OwnerReader reader(*owner);
  EXPECT_EQ(writer.Write("", 0), 0);
  EXPECT_TRUE(writer.LastWritePlaced());
  EXPECT_EQ(writer.Write("12345", 5), 0);
  EXPECT_FALSE(writer.LastWritePlaced());
  EXPECT_EQ(writer.Write("1234", 4), 4);
  EXPECT_TRUE(writer.LastWritePlaced());
  EXPECT_EQ(reader.WaitFor(2), (std::vector<std::string>{"", "1234"}));
}

TEST_F(MailSlotWriterTest, WritesBytesUnchangedAndEmptyTextAsAnEmptyMessage) {
  QVR_SKIP_UNDER_WINE(test::kWineZeroByteMessages);
  auto owner = CreateOwner();
  ASSERT_NE(owner, nullptr);
  OwnerReader reader(*owner);
  TMailSlotWriter writer(kName, slots_);
  const std::string bytes("\x00\x80\xFFz\x00", 5);
  writer.WriteText("");
  writer.WriteText(bytes);
  EXPECT_EQ(reader.WaitFor(2), (std::vector<std::string>{"", bytes}));
  EXPECT_EQ(slots_.opens, 1);
}

TEST_F(MailSlotWriterTest, NegativeCountWritesNothing) {
  TMailSlotWriter writer(kName, slots_);
  EXPECT_EQ(writer.Write("x", -1), 0);
  EXPECT_EQ(slots_.opens, 0);
}

TEST_F(MailSlotWriterTest, ReadRaisesWithTheSlotPath) {
  TMailSlotWriter writer(kName, slots_);
  char buffer[4];
  try {
    writer.Read(buffer, sizeof buffer);
    FAIL() << "Read returned";
  } catch (const EStreamError& error) {
    EXPECT_STREQ(error.what(), "Stream read error: \\\\.\\mailslot\\Quelvane\\Messages");
  }
  EXPECT_EQ(slots_.opens, 0);
}

TEST_F(MailSlotWriterTest, SupportsNoSeekingOrSize) {
  TMailSlotWriter writer(kName, slots_);
  TStream& stream = writer;
  EXPECT_THROW(stream.GetSize(), EStreamError);
  EXPECT_THROW(stream.Seek(0, TStream::SeekOrigin::kBeginning), EStreamError);
  EXPECT_NO_THROW(stream.SetSize(10));
  EXPECT_THROW(stream.GetSize(), EStreamError);
}

}  // namespace
}  // namespace qvr::test
