#include "relay/frame_cutter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvr::relay {
namespace {

using Messages = std::vector<std::string>;

struct CutCase {
  const char* name;
  std::vector<std::string> reads;
  Messages expected;
  std::size_t pending_after;
};

const std::string FF(1, '\x0C');

class FrameCutterTable : public ::testing::TestWithParam<CutCase> {};

TEST_P(FrameCutterTable, CutsEveryTerminator) {
  const CutCase& c = GetParam();
  FrameCutter cutter;
  Messages out;
  for (const std::string& read : c.reads) {
    ASSERT_EQ(cutter.Feed(read, out), FrameCutter::Status::kOk);
  }
  EXPECT_EQ(out, c.expected);
  EXPECT_EQ(cutter.pending(), c.pending_after);
}

INSTANTIATE_TEST_SUITE_P(
    Reads, FrameCutterTable,
    ::testing::Values(
        CutCase{"OneFrame", {"abc" + FF}, {"abc"}, 0},
        CutCase{"TwoFramesOneRead", {"A" + FF + "B" + FF}, {"A", "B"}, 0},
        CutCase{"FrameSplitAcrossReads", {"A" + FF + "B", "C" + FF}, {"A", "BC"}, 0},
        CutCase{"FramesInSeparateReads", {"A" + FF, "B" + FF}, {"A", "B"}, 0},
        CutCase{"ByteByByte", {"a", "b", "c", FF}, {"abc"}, 0},
        CutCase{"LoneTerminatorIsEmptyMessage", {FF}, {""}, 0},
        CutCase{"TwoEmptyMessages", {FF + FF}, {"", ""}, 0},
        CutCase{"NoTerminatorRelaysNothing", {"abc", "def"}, {}, 6},
        CutCase{"QuitThenMore", {"quit" + FF + "x" + FF}, {"quit", "x"}, 0},
        CutCase{"TrailingPartWaits", {"A" + FF + "BC"}, {"A"}, 2},
        CutCase{"EmptyReadChangesNothing", {"", "A", "", FF}, {"A"}, 0},
        CutCase{"HighAndZeroBytes",
                {std::string("\x00\xFC\xDF", 3) + FF},
                {std::string("\x00\xFC\xDF", 3)},
                0}),
    [](const auto& info) { return info.param.name; });

// The same stream cut in reads of 1, 10 and all bytes yields the same messages.
TEST(FrameCutter, ChunkingDoesNotMatter) {
  std::string stream;
  Messages expected;
  for (int i = 0; i < 50; ++i) {
    std::string message(static_cast<std::size_t>(i * 7 % 23), static_cast<char>('a' + i % 26));
    expected.push_back(message);
    stream += message + FF;
  }
  for (std::size_t chunk : {std::size_t{1}, std::size_t{10}, stream.size()}) {
    FrameCutter cutter;
    Messages out;
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
      ASSERT_EQ(cutter.Feed(std::string_view(stream).substr(at, chunk), out),
                FrameCutter::Status::kOk);
    }
    EXPECT_EQ(out, expected) << "chunk " << chunk;
  }
}

TEST(FrameCutter, MessageOfExactlyTheBoundPasses) {
  FrameCutter cutter;
  Messages out;
  const std::string message(kMaxMessage, 'x');
  ASSERT_EQ(cutter.Feed(message.substr(0, 40000), out), FrameCutter::Status::kOk);
  ASSERT_EQ(cutter.Feed(message.substr(40000) + FF, out), FrameCutter::Status::kOk);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].size(), kMaxMessage);
}

TEST(FrameCutter, OneByteOverTheBoundOverflowsAndDropsEverything) {
  struct Case {
    const char* name;
    std::vector<std::string> reads;
  };
  const std::string big(kMaxMessage, 'x');
  for (const Case& c : {Case{"UnterminatedInOneRead", {big + "y"}},
                        Case{"GrowsOverReads", {big.substr(0, 30000), big.substr(30000), "y"}},
                        Case{"EvenWhenTerminated", {big + "y" + FF}}}) {
    FrameCutter cutter;
    Messages out;
    FrameCutter::Status status = FrameCutter::Status::kOk;
    for (const std::string& read : c.reads) status = cutter.Feed(read, out);
    EXPECT_EQ(status, FrameCutter::Status::kOverflow) << c.name;
    EXPECT_TRUE(out.empty()) << c.name;
    EXPECT_EQ(cutter.pending(), 0u) << c.name;
    // An overflowed cutter takes nothing more, even a well-formed frame.
    EXPECT_EQ(cutter.Feed("ok" + FF, out), FrameCutter::Status::kOverflow) << c.name;
    EXPECT_TRUE(out.empty()) << c.name;
  }
}

TEST(FrameCutter, MessagesBeforeTheOverflowInTheSameReadAreHandedOut) {
  FrameCutter cutter;
  Messages out;
  EXPECT_EQ(cutter.Feed("A" + FF + std::string(kMaxMessage + 1, 'x'), out),
            FrameCutter::Status::kOverflow);
  EXPECT_EQ(out, Messages{"A"});
}

}  // namespace
}  // namespace qvr::relay
