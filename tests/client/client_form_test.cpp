// The client's window core with the real slot reader: messages written into the slot reach
// the server through the forwarder on the loop's thread, failures reach the loop's handler.
#include "client/client_form.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "ipc/event_loop.h"
#include "ipc/mailslot_writer.h"
#include "tests/client/forwarder_test_server.h"
#include "tests/support/socket_texts.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wine.h"

namespace qvr::client {
namespace {

using namespace std::chrono_literals;

RelayClientOptions OptionsFor(std::uint16_t port) {
  RelayClientOptions options;
  options.port = port;
  return options;
}

// A port on 127.0.0.1 where nothing listens.
std::uint16_t UnusedPort() {
  asio::io_context io;
  asio::ip::tcp::acceptor probe(io, {asio::ip::address_v4::loopback(), 0});
  return probe.local_endpoint().port();
}

class ClientFormTest : public ::testing::Test {
 protected:
  ClientFormTest() {
    settings.SetHost(u"127.0.0.1");
    loop.SetExceptionHandler([this](std::exception_ptr error) {
      try {
        std::rethrow_exception(error);
      } catch (const RelayError& e) {
        failures.emplace_back(e.what());
      }
    });
  }

  // Runs the loop until `done` (which may depend on other threads) holds, at most 10 s.
  bool RunLoopUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!loop.RunUntil(done, 20ms)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
    }
    return true;
  }

  // Writes one message into the client's slot as the presentation program does.
  void Send(std::string_view bytes) {
    ASSERT_EQ(writer.Write(bytes.data(), static_cast<std::int32_t>(bytes.size())),
              static_cast<std::int32_t>(bytes.size()));
  }

  test::IsolatedUserDirs dirs;
  EventLoop loop;
  TSettings settings;
  TMailSlotWriter writer{kSenderSlotName};
  std::vector<std::string> failures;
};

TEST_F(ClientFormTest, MessagesWrittenIntoTheSlotArriveInOrderOverOneConnection) {
  QVR_SKIP_UNDER_WINE(qvr::test::kWineZeroByteMessages);
  test::ForwarderTestServer server;
  ClientForm form(settings, OptionsFor(server.port()));
  form.FormCreate();
  ASSERT_TRUE(form.ReaderOwnsSlot());

  Send("abc");
  Send("");
  Send(
      "Gr\xFC\xDF"
      "e");
  const std::string expected =
      "abc\x0C\x0CGr\xFC\xDF"
      "e\x0C";
  RunLoopUntil([&] { return server.Bytes(0).size() >= expected.size(); });

  EXPECT_EQ(server.Bytes(0), expected);
  EXPECT_EQ(server.ConnectionCount(), 1u);
  EXPECT_TRUE(failures.empty());
}

TEST_F(ClientFormTest, EachFailedMessageReachesTheLoopsHandlerAndTheLoopGoesOn) {
  const std::uint16_t port = UnusedPort();
  ClientForm form(settings, OptionsFor(port));
  form.FormCreate();

  Send("first");
  Send("second");
  loop.RunUntil([&] { return failures.size() >= 2; }, 10s);
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0], qvr::test::RefusedConnectionText());
  EXPECT_EQ(failures[1], failures[0]);

  test::ForwarderTestServer server({.port = port});
  Send("third");
  RunLoopUntil([&] { return server.Bytes(0).size() >= 6; });
  EXPECT_EQ(server.Bytes(0), "third\x0C");
}

TEST_F(ClientFormTest, FormDestroyReleasesTheSlotAndClosesTheConnection) {
  QVR_SKIP_UNDER_WINE(qvr::test::kWineOutdatedOpening);
  test::ForwarderTestServer server;
  ClientForm form(settings, OptionsFor(server.port()));
  form.FormCreate();
  Send("abc");
  RunLoopUntil([&] { return server.Bytes(0).size() >= 4; });

  form.FormDestroy();

  EXPECT_FALSE(form.ReaderOwnsSlot());
  EXPECT_TRUE(server.WaitForPeerClose(0));
  ClientForm next(settings, OptionsFor(server.port()));
  next.FormCreate();
  EXPECT_TRUE(next.ReaderOwnsSlot());
}

TEST_F(ClientFormTest, ASecondFormCannotOwnTheSlotAndTheFirstGoesOn) {
  test::ForwarderTestServer server;
  ClientForm first(settings, OptionsFor(server.port()));
  first.FormCreate();
  ClientForm second(settings, OptionsFor(server.port()));
  second.FormCreate();

  EXPECT_TRUE(first.ReaderOwnsSlot());
  EXPECT_FALSE(second.ReaderOwnsSlot());
  Send("still here");
  RunLoopUntil([&] { return server.Bytes(0).size() >= 11; });
  EXPECT_EQ(server.Bytes(0), "still here\x0C");
}

}  // namespace
}  // namespace qvr::client
