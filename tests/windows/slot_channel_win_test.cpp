// The Windows slot backend's own ways: reads that span several of its internal slices, and
// the short texts of the common socket errors.
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "client/socket_error_text.h"
#include "ipc/slot_channel.h"

namespace qvr {
namespace {

using ReadResult = ipc::SlotOwner::ReadResult;
using namespace std::chrono_literals;

constexpr std::u16string_view kName = u"Quelvane\\WindowsBackendTest";

TEST(WindowsSlots, ReadTimeOutLongerThanASliceTimesOutOnlyAfterIt) {
  auto owner = ipc::SystemSlots().Create(kName, ipc::kSlotMaxMessage, 350);
  ASSERT_NE(owner, nullptr);
  std::vector<char> buffer(ipc::kSlotMaxMessage);
  std::size_t length = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(owner->Read(buffer.data(), buffer.size(), length), ReadResult::kTimedOut);
  // Not a speed check: a read that gave up after its first slice would end far earlier.
  EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
}

TEST(WindowsSlots, ReadWithoutLimitTakesAMessageThatComesSlicesLater) {
  auto owner = ipc::SystemSlots().Create(kName, ipc::kSlotMaxMessage, ipc::kWaitForever);
  ASSERT_NE(owner, nullptr);
  auto read = std::async(std::launch::async, [&owner] {
    std::vector<char> buffer(ipc::kSlotMaxMessage);
    std::size_t length = 0;
    const ReadResult result = owner->Read(buffer.data(), buffer.size(), length);
    return std::make_pair(result, std::string(buffer.data(), length));
  });
  std::this_thread::sleep_for(350ms);  // several slices pass without a message
  auto opening = ipc::SystemSlots().Open(kName);
  ASSERT_NE(opening, nullptr);
  ASSERT_TRUE(opening->Write("late \xFF", 6));
  ASSERT_EQ(read.wait_for(10s), std::future_status::ready);
  const auto [result, message] = read.get();
  EXPECT_EQ(result, ReadResult::kMessage);
  EXPECT_EQ(message, "late \xFF");
}

TEST(WindowsSocketErrors, CommonFailuresReadShortOthersAsTheSystemSays) {
  EXPECT_EQ(
      client::SocketErrorDescription(asio::error_code(WSAECONNREFUSED, asio::system_category())),
      "Connection refused.");
  EXPECT_EQ(client::SocketErrorDescription(asio::error::host_not_found), "Host not found.");
  const asio::error_code reset(WSAECONNRESET, asio::system_category());
  EXPECT_EQ(client::SocketErrorDescription(reset), reset.message());
  EXPECT_FALSE(reset.message().empty());
}

}  // namespace
}  // namespace qvr
