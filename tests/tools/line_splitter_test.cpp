#include "tools/line_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qvr::tools {
namespace {

// The lines of `input` fed in blocks of `block` bytes (0: all at once).
std::vector<std::string> Split(std::string_view input, std::size_t block) {
  std::vector<std::string> lines;
  auto collect = [&](std::string_view line) { lines.emplace_back(line); };
  LineSplitter splitter;
  if (block == 0) block = input.size() + 1;
  for (std::size_t at = 0; at < input.size(); at += block) {
    splitter.Feed(input.substr(at, block), collect);
  }
  splitter.Finish(collect);
  return lines;
}

struct SplitCase {
  const char* label;
  std::string input;
  std::vector<std::string> lines;
};

class LineSplitting : public ::testing::TestWithParam<SplitCase> {};

TEST_P(LineSplitting, SameLinesForEveryBlockSize) {
  for (const std::size_t block : {std::size_t{1}, std::size_t{2}, std::size_t{3}, std::size_t{0}}) {
    EXPECT_EQ(Split(GetParam().input, block), GetParam().lines) << "block " << block;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, LineSplitting,
    ::testing::Values(SplitCase{"empty_input", "", {}}, SplitCase{"one_lf", "a\n", {"a"}},
                      SplitCase{"crlf", "a\r\nb\r\n", {"a", "b"}},
                      SplitCase{"mixed_ends", "a\nb\r\nc\n", {"a", "b", "c"}},
                      SplitCase{"last_without_lf", "a\nlast", {"a", "last"}},
                      SplitCase{"only_text", "no end", {"no end"}},
                      SplitCase{"empty_lines", "\n\r\n\na\n\n", {"", "", "", "a", ""}},
                      SplitCase{"single_lf", "\n", {""}},
                      SplitCase{"only_the_cr_before_lf_goes", "a\r\r\nb\rc\n", {"a\r", "b\rc"}},
                      SplitCase{"cr_at_the_very_end_stays", "a\nb\r", {"a", "b\r"}},
                      SplitCase{"zero_bytes_kept",
                                std::string("x\0y\n\0", 5),
                                {std::string("x\0y", 3), std::string("\0", 1)}},
                      SplitCase{"high_bytes_kept", "\xfc\xdf\r\n\x80", {"\xfc\xdf", "\x80"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(LineSplitter, LongLineAcrossManyBlocks) {
  const std::string line(100000, 'q');
  EXPECT_EQ(Split(line + "\r\n" + line, 4096), (std::vector<std::string>{line, line}));
}

}  // namespace
}  // namespace qvr::tools
