// Feeds arbitrary reads to the frame cutter and checks it against a plain reference cutter:
// split the whole stream at every terminator; stop at the first message over the bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "relay/frame_cutter.h"

namespace {

struct Reference {
  std::vector<std::string> messages;
  bool overflow = false;
};

Reference Cut(std::string_view stream, std::size_t bound) {
  Reference ref;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = stream.find(qvr::relay::kTerminator, start);
    const std::size_t length = (end == std::string_view::npos ? stream.size() : end) - start;
    if (length > bound) {
      ref.overflow = true;
      return ref;
    }
    if (end == std::string_view::npos) return ref;
    ref.messages.emplace_back(stream.substr(start, length));
    start = end + 1;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  // The first byte picks the bound: small ones reach the overflow path often.
  const std::size_t bound = data[0] == 0 ? qvr::relay::kMaxMessage : data[0];
  std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  // Then pairs of (read length, bytes): the reads the socket would have returned.
  std::string stream;
  std::vector<std::string> reads;
  while (!rest.empty()) {
    const std::size_t length = static_cast<std::uint8_t>(rest[0]) % 64 + 1;
    rest.remove_prefix(1);
    const std::string_view read = rest.substr(0, length);
    reads.emplace_back(read);
    stream.append(read);
    rest.remove_prefix(read.size());
  }
  qvr::relay::FrameCutter cutter(bound);
  std::vector<std::string> out;
  bool overflow = false;
  for (const std::string& read : reads) {
    overflow = cutter.Feed(read, out) == qvr::relay::FrameCutter::Status::kOverflow;
    if (cutter.pending() > bound) std::abort();
  }
  const Reference ref = Cut(stream, bound);
  if (overflow != ref.overflow || out != ref.messages) std::abort();
  for (const std::string& message : out) {
    if (message.size() > bound) std::abort();
  }
  return 0;
}
