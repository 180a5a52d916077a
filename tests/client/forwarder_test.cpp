// The forwarder against a real server on loopback: bytes on the wire, connection reuse and
// renewal, and the texts of every kind of failure.
#include "client/forwarder.h"

#include <gtest/gtest.h>

#include <asio.hpp>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/client/forwarder_test_server.h"
#include "tests/support/socket_texts.h"

namespace qvr::client {
namespace {

using asio::ip::tcp;
using test::ForwarderTestServer;
using namespace std::chrono_literals;

RelayClientOptions OptionsFor(std::uint16_t port) {
  RelayClientOptions options;
  options.port = port;
  return options;
}

// Raises and returns the error that `call` raised, failing the test when it raised none.
template <typename Call>
std::string ErrorTextOf(Call call) {
  try {
    call();
  } catch (const RelayError& error) {
    return error.what();
  }
  ADD_FAILURE() << "no RelayError raised";
  return {};
}

class ForwarderTest : public ::testing::Test {
 protected:
  ForwarderTest() { settings.SetHost(u"127.0.0.1"); }

  TSettings settings;
  ForwarderTestServer server;
  Forwarder forwarder{settings, OptionsFor(server.port())};
};

struct WireCase {
  const char* name;
  std::u16string text;
  std::string bytes;
};

void PrintTo(const WireCase& c, std::ostream* out) {
  *out << c.name;
}

class ForwarderWireTest : public ::testing::TestWithParam<WireCase> {};

TEST_P(ForwarderWireTest, SendsTheCodePageBytesAndOneFormFeed) {
  TSettings settings;
  settings.SetHost(u"127.0.0.1");
  ForwarderTestServer server;
  Forwarder forwarder(settings, OptionsFor(server.port()));

  forwarder.ForwardMessage(GetParam().text);

  EXPECT_EQ(server.WaitForBytes(0, GetParam().bytes.size()), GetParam().bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, ForwarderWireTest,
    ::testing::Values(WireCase{"Ascii", u"abc", "\x61\x62\x63\x0C"}, WireCase{"Empty", u"", "\x0C"},
                      WireCase{"FormFeedInside", u"A\fB",
                               "A\x0C"
                               "B\x0C"},
                      WireCase{"Latin1", u"Gr\u00FC\u00DFe", "\x47\x72\xFC\xDF\x65\x0C"},
                      WireCase{"OutsideCodePage", u"\u4E2D\u20AC", "?\x80\x0C"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ForwarderTest, ReusesOneConnectionForEveryMessage) {
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    const std::string text = "message " + std::to_string(i);
    forwarder.ForwardMessage(std::u16string(text.begin(), text.end()));
    expected += text + '\x0C';
  }

  EXPECT_EQ(server.WaitForBytes(0, expected.size()), expected);
  EXPECT_EQ(server.ConnectionCount(), 1u);
}

// Frames written while more follow may be held back by the socket; the last write of a run,
// or closing the connection, sends them all, whole and in order.
TEST_F(ForwarderTest, FramesHeldForTheNextOneArriveWithTheLastOrAtDisconnect) {
  forwarder.ForwardMessage(u"a", /*more_follows=*/true);
  forwarder.ForwardMessage(u"b", /*more_follows=*/true);
  forwarder.ForwardMessage(u"c");
  EXPECT_EQ(server.WaitForBytes(0, 6),
            "a\x0C"
            "b\x0C"
            "c\x0C");

  forwarder.ForwardMessage(u"held", /*more_follows=*/true);
  forwarder.Disconnect();
  EXPECT_EQ(server.WaitForBytes(0, 11),
            "a\x0C"
            "b\x0C"
            "c\x0C"
            "held\x0C");
}

TEST_F(ForwarderTest, AFrameLargerThanTheSocketBuffersWaitsForRoomAndArrivesWhole) {
  const std::u16string big(16 << 20, u'y');

  forwarder.ForwardMessage(big);
  forwarder.ForwardMessage(u"next");

  const std::string expected = std::string(big.size(), 'y') + "\x0C" + "next\x0C";
  EXPECT_EQ(server.WaitForBytes(0, expected.size()) == expected, true);
  EXPECT_EQ(server.ConnectionCount(), 1u);
}

TEST_F(ForwarderTest, OpensNoConnectionBeforeTheFirstMessage) {
  EXPECT_FALSE(forwarder.IdTCPClient1.Connected());
  forwarder.ForwardMessage(u"x");
  EXPECT_TRUE(server.WaitForConnections(1));
  EXPECT_TRUE(forwarder.IdTCPClient1.Connected());
}

class ForwarderServerCloseTest : public ForwarderTest,
                                 public ::testing::WithParamInterface<bool> {};

TEST_P(ForwarderServerCloseTest, NoticesTheClosedConnectionAndSendsOverANewOne) {
  forwarder.ForwardMessage(u"one");
  ASSERT_EQ(server.WaitForBytes(0, 4), "one\x0C");

  server.Close(0, /*reset=*/GetParam());
  forwarder.ForwardMessage(u"two");

  EXPECT_EQ(server.WaitForBytes(1, 4), "two\x0C");
  EXPECT_EQ(server.ConnectionCount(), 2u);
}

INSTANTIATE_TEST_SUITE_P(OrderlyOrReset, ForwarderServerCloseTest, ::testing::Bool());

TEST_F(ForwarderTest, WriteFailureLosesTheMessageAndTheNextOneReconnects) {
  ForwarderTestServer holding({.hold_first = true});
  Forwarder writer(settings, OptionsFor(holding.port()));
  // Far more than the socket buffers hold, so the write is still going when the reset comes.
  const std::u16string big(32 << 20, u'x');
  std::thread resetter([&] {
    if (holding.WaitForConnections(1)) holding.Close(0, /*reset=*/true);
  });

  const std::string text = ErrorTextOf([&] { writer.ForwardMessage(big); });
  resetter.join();

  EXPECT_EQ(text.rfind("Socket Error # ", 0), 0u) << text;
  EXPECT_FALSE(writer.IdTCPClient1.Connected());
  writer.ForwardMessage(u"after");
  EXPECT_EQ(holding.WaitForBytes(1, 6), "after\x0C");
}

TEST(ForwarderFailureTest, RefusedConnectionRaisesTheSystemTextAndTheNextMessageRetries) {
  std::uint16_t port = 0;
  {
    asio::io_context io;
    tcp::acceptor probe(io, tcp::endpoint(asio::ip::address_v4::loopback(), 0));
    port = probe.local_endpoint().port();
  }
  TSettings settings;
  settings.SetHost(u"127.0.0.1");
  Forwarder forwarder(settings, OptionsFor(port));

  EXPECT_EQ(ErrorTextOf([&] { forwarder.ForwardMessage(u"lost"); }),
            qvr::test::RefusedConnectionText());
  EXPECT_FALSE(forwarder.IdTCPClient1.Connected());

  ForwarderTestServer server({.port = port});
  forwarder.ForwardMessage(u"found");
  EXPECT_EQ(server.WaitForBytes(0, 6), "found\x0C");
}

TEST(ForwarderFailureTest, ConnectGivesUpAfterTheTimeOut) {
  // A listener with a full backlog that never accepts: the system drops further SYNs, so a
  // connection attempt neither succeeds nor fails until its time-out.
  asio::io_context io;
  tcp::acceptor full(io);
  full.open(tcp::v4());
  full.bind(tcp::endpoint(asio::ip::address_v4::loopback(), 0));
  full.listen(0);
  const auto target = full.local_endpoint();
  std::vector<std::unique_ptr<tcp::socket>> fillers;
  for (int i = 0; i < 8; ++i) {
    auto& filler = fillers.emplace_back(std::make_unique<tcp::socket>(io));
    filler->async_connect(target, [](const asio::error_code&) {});
  }
  io.run_for(200ms);

  TSettings settings;
  settings.SetHost(u"127.0.0.1");
  RelayClientOptions options = OptionsFor(target.port());
  options.connect_timeout = 300ms;
  Forwarder forwarder(settings, options);

  EXPECT_EQ(ErrorTextOf([&] { forwarder.ForwardMessage(u"lost"); }), "Connect timed out.");
  EXPECT_FALSE(forwarder.IdTCPClient1.Connected());
}

TEST(ForwarderFailureTest, UnknownHostRaisesHostNotFound) {
  TSettings settings;
  settings.SetHost(u"qvremote-relay.invalid");
  Forwarder forwarder(settings);

  EXPECT_EQ(ErrorTextOf([&] { forwarder.ForwardMessage(u"lost"); }), qvr::test::HostNotFoundText());
  EXPECT_EQ(forwarder.IdTCPClient1.Host(), u"qvremote-relay.invalid");
}

TEST_F(ForwarderTest, EmptyHostConnectsToLocalhost) {
  settings.SetHost(u"");

  forwarder.ForwardMessage(u"abc");

  EXPECT_EQ(server.WaitForBytes(0, 4), "abc\x0C");
  EXPECT_EQ(forwarder.IdTCPClient1.Host(), u"localhost");
}

TEST_F(ForwarderTest, HostIsUsedExactlyAsStoredBlanksIncluded) {
  settings.SetHost(u" localhost ");

  const std::string text = ErrorTextOf([&] { forwarder.ForwardMessage(u"lost"); });

  EXPECT_EQ(text.rfind("Socket Error # ", 0), 0u) << text;
  EXPECT_EQ(forwarder.IdTCPClient1.Host(), u" localhost ");
  EXPECT_EQ(server.ConnectionCount(), 0u);
}

TEST_F(ForwarderTest, ChangedHostAppliesFromTheNextConnectionOn) {
  forwarder.ForwardMessage(u"one");
  settings.SetHost(u"qvremote-relay.invalid");

  forwarder.ForwardMessage(u"two");  // the open connection stays in use
  ASSERT_EQ(server.WaitForBytes(0, 8), "one\x0Ctwo\x0C");

  server.Close(0);
  EXPECT_EQ(ErrorTextOf([&] { forwarder.ForwardMessage(u"three"); }),
            qvr::test::HostNotFoundText());
}

TEST_F(ForwarderTest, ApplyHostClosesTheConnectionOnlyWhenTheHostChanged) {
  forwarder.ForwardMessage(u"one");
  ASSERT_TRUE(server.WaitForConnections(1));

  EXPECT_FALSE(forwarder.ApplyHost(u"127.0.0.1"));
  forwarder.ForwardMessage(u"two");
  EXPECT_EQ(server.WaitForBytes(0, 8), "one\x0Ctwo\x0C");

  settings.SetHost(u"localhost");
  EXPECT_TRUE(forwarder.ApplyHost(u"127.0.0.1"));
  EXPECT_TRUE(server.WaitForPeerClose(0));
  forwarder.ForwardMessage(u"three");
  EXPECT_EQ(server.WaitForBytes(1, 6), "three\x0C");
  EXPECT_EQ(forwarder.IdTCPClient1.Host(), u"localhost");
}

TEST_F(ForwarderTest, DisconnectDeliversEverythingWrittenAndClosesOnce) {
  std::string expected;
  for (int i = 0; i < 500; ++i) {
    forwarder.ForwardMessage(u"frame");
    expected += "frame\x0C";
  }

  forwarder.Disconnect();
  forwarder.Disconnect();  // nothing open: nothing happens

  EXPECT_TRUE(server.WaitForPeerClose(0));
  EXPECT_EQ(server.Bytes(0), expected);
  EXPECT_FALSE(forwarder.IdTCPClient1.Connected());
}

TEST_F(ForwarderTest, FilterSettingsAreNotConsulted) {
  settings.SetFilter_Message(false);
  settings.SetFilter_QVAction_Presenter_SetPage(false);

  forwarder.ForwardMessage(u"<QuelvaneIPC/>");

  EXPECT_EQ(server.WaitForBytes(0, 15), "<QuelvaneIPC/>\x0C");
}

}  // namespace
}  // namespace qvr::client
