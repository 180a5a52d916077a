// The relay wire: constants both programs share, the frame builder and the quit test.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qvr::relay {

inline constexpr std::uint16_t kPort = 19150;
inline constexpr int kListenBacklog = 15;
// The one line the server ever sends, as the first bytes of every connection.
inline constexpr std::string_view kGreeting = "#1: QVRemote 0.1\r\n";
inline constexpr char kTerminator = '\x0C';
// Largest single receive on a relay connection.
inline constexpr std::size_t kMaxRead = 32768;
// Largest message any slot carries; a longer one can only come from a broken peer.
inline constexpr std::size_t kMaxMessage = 65535;
inline constexpr std::chrono::milliseconds kConnectTimeout{10000};

static_assert(kGreeting.size() == 18);

// The frame for one message: its code-page bytes followed by the terminator.
std::string BuildFrame(std::string_view message);

// True when the whole message is the protocol's one command, "quit", in any letter case.
bool IsQuitCommand(std::u16string_view text);

}  // namespace qvr::relay
