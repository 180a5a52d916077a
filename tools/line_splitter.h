// Cuts a byte stream, fed in blocks of any size, into lines: a line ends with LF, and a CR
// right before that LF belongs to the line end. A last line without LF is a line too; an
// empty input has none. Lines inside one block are handed out without copying.
#pragma once

#include <cstring>
#include <string>
#include <string_view>

namespace qvr::tools {

class LineSplitter {
 public:
  // Calls on_line(std::string_view) for every line that `block` completes.
  template <typename OnLine>
  void Feed(std::string_view block, OnLine&& on_line) {
    while (!block.empty()) {
      const void* lf = std::memchr(block.data(), '\n', block.size());
      if (lf == nullptr) {
        partial_.append(block);
        return;
      }
      const auto length = static_cast<std::size_t>(static_cast<const char*>(lf) - block.data());
      if (partial_.empty()) {
        on_line(WithoutCr(block.substr(0, length)));
      } else {
        partial_.append(block.substr(0, length));
        on_line(WithoutCr(partial_));
        partial_.clear();
      }
      block.remove_prefix(length + 1);
    }
  }

  // Hands out the last line when the input did not end with LF; call once at the end.
  template <typename OnLine>
  void Finish(OnLine&& on_line) {
    if (!partial_.empty()) on_line(std::string_view(partial_));
    partial_.clear();
  }

 private:
  static std::string_view WithoutCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }

  std::string partial_;  // the start of a line that a later block ends
};

}  // namespace qvr::tools
