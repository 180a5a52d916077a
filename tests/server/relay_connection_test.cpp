// The server's connection handling over real loopback sockets, from accept to the slot.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "ipc/codepage.h"
#include "relay/protocol.h"
#include "server/command_document.h"
#include "server/server_form.h"
#include "tests/server/server_test_support.h"

namespace qvr::server {
namespace {

using test::RecordingSlots;
using test::TestClient;
using test::UiThread;

const std::string kGreetingBytes(relay::kGreeting);

class RelayServerTest : public ::testing::Test {
 protected:
  void SetUp() override { form_ = MakeForm(); }
  void TearDown() override { DestroyForm(); }

  std::unique_ptr<ServerForm> MakeForm(Dispatcher* ui = nullptr) {
    return ui_.Call([this, ui] {
      auto form = std::make_unique<ServerForm>(ServerFormOptions{0, &slots_, ui});
      form->FormCreate();
      return form;
    });
  }
  void DestroyForm() {
    ui_.Call([this] { form_.reset(); });
  }
  std::uint16_t port() const { return form_->ListeningPort(); }
  bool AllConnectionsEnded() {
    return test::Eventually([this] { return form_->OpenConnections() == 0; });
  }
  std::u16string Memo() {
    return ui_.Call([this] { return form_->MemoText(); });
  }

  RecordingSlots slots_;
  UiThread ui_;
  std::unique_ptr<ServerForm> form_;
};

struct FramingCase {
  const char* label;
  std::vector<std::string> writes;  // one send each
  std::vector<std::string> relayed;
  bool closes;  // the server ends the connection on its own
};

class FramingAtTheSocket : public RelayServerTest,
                           public ::testing::WithParamInterface<FramingCase> {};

std::string AllBytesButTerminator() {
  std::string bytes;
  for (int b = 0; b < 256; ++b) {
    if (b != 0x0C) bytes.push_back(static_cast<char>(b));
  }
  return bytes;
}

TEST_P(FramingAtTheSocket, RelaysExactlyTheseMessages) {
  const auto& c = GetParam();
  TestClient client(port());
  EXPECT_EQ(client.ReadExactly(kGreetingBytes.size()), kGreetingBytes);
  for (const auto& bytes : c.writes) client.Send(bytes);
  std::vector<std::string> expected = c.relayed;
  if (!c.closes) {
    // An open connection still takes a message; the quit then ends it.
    client.Send("quit\x0C");
    expected.push_back("quit");
  }
  EXPECT_EQ(client.ReadUntilClosed(), "") << "nothing may follow the greeting";
  ASSERT_TRUE(AllConnectionsEnded());
  EXPECT_EQ(slots_.Messages(), expected);
  if (!expected.empty()) {
    EXPECT_EQ(Memo(), AnsiToUtf16(expected.back()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, FramingAtTheSocket,
    ::testing::Values(FramingCase{"one_frame", {"abc\x0C"}, {"abc"}, false},
                      FramingCase{"byte_by_byte", {"a", "b", "c", "\x0C"}, {"abc"}, false},
                      FramingCase{"two_frames_one_write",
                                  {"A\x0C"
                                   "B\x0C"},
                                  {"A", "B"},
                                  false},
                      FramingCase{"frame_split_across_writes",
                                  {"A\x0C"
                                   "B",
                                   "C\x0C"},
                                  {"A", "BC"},
                                  false},
                      FramingCase{"separate_writes", {"A\x0C", "B\x0C"}, {"A", "B"}, false},
                      FramingCase{"lone_terminator", {"\x0C"}, {""}, false},
                      FramingCase{"quit_lower", {"quit\x0C"}, {"quit"}, true},
                      FramingCase{"quit_upper", {"QUIT\x0C"}, {"QUIT"}, true},
                      FramingCase{"quit_title", {"Quit\x0C"}, {"Quit"}, true},
                      FramingCase{"quit_mixed", {"qUiT\x0C"}, {"qUiT"}, true},
                      FramingCase{"quit_split", {"qu", "it\x0C"}, {"quit"}, true},
                      FramingCase{"quit_trailing_blank", {"quit \x0C"}, {"quit "}, false},
                      FramingCase{"quit_and_more", {"quitx\x0C"}, {"quitx"}, false},
                      FramingCase{"quit_then_frame_same_write",
                                  {"quit\x0C"
                                   "x\x0C"},
                                  {"quit"},
                                  true},
                      FramingCase{"frame_quit_frame",
                                  {"A\x0C"
                                   "quit\x0C"
                                   "B\x0C"},
                                  {"A", "quit"},
                                  true},
                      FramingCase{"code_page_bytes",
                                  {"Gr\xFC\xDF"
                                   "e\x0C"},
                                  {"Gr\xFC\xDF"
                                   "e"},
                                  false},
                      FramingCase{"every_byte_value",
                                  {AllBytesButTerminator() + "\x0C"},
                                  {AllBytesButTerminator()},
                                  false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(RelayServerTest, GreetsBeforeThePeerSendsAnything) {
  TestClient idle(port());
  EXPECT_EQ(idle.ReadExactly(kGreetingBytes.size()), kGreetingBytes);
  ASSERT_TRUE(test::Eventually([this] { return form_->OpenConnections() == 1; }));
  // The silent peer holds nothing up.
  TestClient other(port());
  other.ReadExactly(kGreetingBytes.size());
  other.Send("hi\x0C");
  ASSERT_TRUE(slots_.WaitForCount(1));
  EXPECT_EQ(slots_.Messages(), std::vector<std::string>{"hi"});
  EXPECT_EQ(form_->OpenConnections(), 2u);
}

TEST_F(RelayServerTest, MemoStartsAsMemo1AndFollowsTheLatestMessage) {
  EXPECT_EQ(Memo(), u"Memo1");
  std::vector<std::u16string> shown;
  ui_.Call([&] { form_->SetMemoChanged([&](const std::u16string& t) { shown.push_back(t); }); });
  TestClient client(port());
  client.Send(
      "first\x0C"
      "second\x0C");
  ASSERT_TRUE(slots_.WaitForCount(2));
  EXPECT_EQ(Memo(), u"second");
  EXPECT_EQ(ui_.Call([&] { return shown; }), (std::vector<std::u16string>{u"first", u"second"}));
}

TEST_F(RelayServerTest, MessageAtTheBoundIsRelayedOneMoreByteClosesAndDrops) {
  const std::string largest(relay::kMaxMessage, 'a');
  TestClient client(port());
  client.ReadExactly(kGreetingBytes.size());
  client.Send(largest + "\x0C");
  ASSERT_TRUE(slots_.WaitForCount(1));
  try {
    client.Send(std::string(relay::kMaxMessage + 1, 'b'));
    client.Send("\x0C");
  } catch (const std::exception&) {
    // The server may already have closed; the bytes are dropped either way.
  }
  EXPECT_EQ(client.ReadUntilClosed(), "");
  ASSERT_TRUE(AllConnectionsEnded());
  EXPECT_EQ(slots_.Messages(), std::vector<std::string>{largest});
}

TEST_F(RelayServerTest, EndlessFrameIsCutOffWhileOthersGoOn) {
  TestClient flood(port());
  TestClient other(port());
  const std::string chunk(16384, 'z');
  bool closed = false;
  for (int i = 0; i < 64 && !closed; ++i) {  // at most 1 MiB
    try {
      flood.Send(chunk);
    } catch (const std::exception&) {
      closed = true;
    }
  }
  EXPECT_EQ(flood.ReadUntilClosed().substr(kGreetingBytes.size()), "");
  other.Send("still here\x0C");
  ASSERT_TRUE(slots_.WaitForCount(1));
  EXPECT_EQ(slots_.Messages(), std::vector<std::string>{"still here"});
}

TEST_F(RelayServerTest, PeerGoneMidMessageRelaysNothing) {
  {
    TestClient reset(port());
    reset.ReadExactly(kGreetingBytes.size());  // accepted and counted
    reset.Send("half a mess");
    reset.Reset();
  }
  {
    TestClient closed(port());
    closed.ReadExactly(kGreetingBytes.size());
    closed.Send(
        "A\x0C"
        "unfinished");
    closed.Close();
  }
  ASSERT_TRUE(AllConnectionsEnded());
  TestClient later(port());
  later.Send("after\x0C");
  ASSERT_TRUE(slots_.WaitForCount(2));
  EXPECT_EQ(slots_.Messages(), (std::vector<std::string>{"A", "after"}));
}

TEST_F(RelayServerTest, KeepsOrderWithinEachConnection) {
  constexpr int kMessages = 300;
  TestClient a(port());
  TestClient b(port());
  for (int i = 0; i < kMessages; ++i) {
    a.Send("a" + std::to_string(i) + "\x0C");
    b.Send("b" + std::to_string(i) + "\x0C");
  }
  ASSERT_TRUE(slots_.WaitForCount(2 * kMessages));
  int next_a = 0;
  int next_b = 0;
  for (const auto& m : slots_.Messages()) {
    int& next = m[0] == 'a' ? next_a : next_b;
    ASSERT_EQ(m.substr(1), std::to_string(next)) << m;
    ++next;
  }
  EXPECT_EQ(next_a, kMessages);
  EXPECT_EQ(next_b, kMessages);
}

TEST_F(RelayServerTest, ServesManyConnectionsAtOnce) {
  constexpr int kClients = 300;
  std::vector<std::unique_ptr<TestClient>> clients;
  // Each is greeted before the next connects, so the short listen queue never overflows.
  for (int i = 0; i < kClients; ++i) {
    clients.push_back(std::make_unique<TestClient>(port()));
    ASSERT_EQ(clients.back()->ReadExactly(kGreetingBytes.size()), kGreetingBytes);
  }
  ASSERT_TRUE(test::Eventually([&] { return form_->OpenConnections() == kClients; }));
  std::set<std::string> sent;
  for (int i = 0; i < kClients; ++i) {
    sent.insert("client " + std::to_string(i));
    clients[i]->Send("client " + std::to_string(i) + "\x0C");
  }
  ASSERT_TRUE(slots_.WaitForCount(kClients));
  const auto got = slots_.Messages();
  EXPECT_EQ(std::set<std::string>(got.begin(), got.end()), sent);
  EXPECT_EQ(got.size(), sent.size());
  clients.clear();
  EXPECT_TRUE(AllConnectionsEnded());
}

TEST_F(RelayServerTest, FloodOfShortConnectionsLeavesNothingBehind) {
  constexpr int kRounds = 500;
  for (int i = 0; i < kRounds; ++i) {
    TestClient client(port());
    client.ReadExactly(kGreetingBytes.size());
    if (i % 2 == 0) client.Reset();
  }
  ASSERT_TRUE(AllConnectionsEnded());
  TestClient last(port());
  last.Send("after the flood\x0C");
  ASSERT_TRUE(slots_.WaitForCount(1));
  EXPECT_EQ(slots_.Messages(), std::vector<std::string>{"after the flood"});
}

TEST_F(RelayServerTest, AcceptsIpv6LoopbackWhereAvailable) {
  if (!form_->ListensOnIpv6()) GTEST_SKIP() << "the system offers no IPv6 listener";
  std::unique_ptr<TestClient> client;
  try {
    client = std::make_unique<TestClient>(asio::ip::address_v6::loopback(), port());
  } catch (const std::exception& e) {
    GTEST_SKIP() << "::1 is not reachable here: " << e.what();
  }
  EXPECT_EQ(client->ReadExactly(kGreetingBytes.size()), kGreetingBytes);
  client->Send("over six\x0C");
  ASSERT_TRUE(slots_.WaitForCount(1));
  EXPECT_EQ(slots_.Messages(), std::vector<std::string>{"over six"});
}

TEST_F(RelayServerTest, ExceptionInTheHandOffEndsOnlyThatConnection) {
  ui_.Call([&] {
    form_->SetMemoChanged([](const std::u16string& text) {
      if (text == u"boom") throw std::runtime_error("memo refused");
    });
  });
  TestClient failing(port());
  TestClient other(port());
  failing.Send(
      "boom\x0C"
      "never\x0C");
  EXPECT_EQ(failing.ReadUntilClosed(), kGreetingBytes);
  other.Send("fine\x0C");
  ASSERT_TRUE(slots_.WaitForCount(1));
  EXPECT_EQ(slots_.Messages(), std::vector<std::string>{"fine"});
  EXPECT_EQ(Memo(), u"fine");
}

TEST_F(RelayServerTest, SecondServerOnTheSamePortCannotBind) {
  auto second = ui_.Call([this] {
    return std::make_unique<ServerForm>(ServerFormOptions{port(), &slots_, nullptr});
  });
  try {
    ui_.Call([&] { second->FormCreate(); });
    FAIL() << "bound twice";
  } catch (const EIdCouldNotBindSocket& e) {
    EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
  }
  EXPECT_FALSE(second->Listening());
  // Without a listener the form still sends test commands.
  ui_.Call([&] { second->TntButton1Click(u"SetPage", u"12", u""); });
  ASSERT_TRUE(slots_.WaitForCount(1));
  EXPECT_EQ(slots_.Messages().back(),
            "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
            "<QuelvaneIPC><Remote><SetPage Param1=\"12\" Param2=\"\"/></Remote></QuelvaneIPC>\n");
  ui_.Call([&] { second.reset(); });
  // The first one is unharmed.
  TestClient client(port());
  client.Send("first still listens\x0C");
  ASSERT_TRUE(slots_.WaitForCount(2));
}

TEST_F(RelayServerTest, RefusedCommandWritesNothing) {
  EXPECT_THROW(ui_.Call([&] { form_->TntButton1Click(u"Set Page", u"1", u"2"); }), EXmlError);
  ui_.Call([&] { form_->SendIPCCommand(u"Next", u"", u""); });
  ASSERT_TRUE(slots_.WaitForCount(1));
  EXPECT_EQ(slots_.Messages().size(), 1u);
  EXPECT_NE(slots_.Messages()[0].find("<Next Param1=\"\" Param2=\"\"/>"), std::string::npos);
  EXPECT_EQ(slots_.OpenedNames(), std::vector<std::u16string>{u"Quelvane\\Messages"});
}

}  // namespace
}  // namespace qvr::server
