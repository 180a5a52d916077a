// Binding, restarting and stopping the server.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>
#include <thread>

#include "relay/protocol.h"
#include "server/server_form.h"
#include "server/tcp_server.h"
#include "tests/server/server_test_support.h"
#include "tests/support/socket_texts.h"

namespace qvr::server {
namespace {

using test::RecordingSlots;
using test::TestClient;
using test::UiThread;

// Binds like a plain program would, without address reuse; true when the bind worked.
bool PlainBindWorks(const asio::ip::address& address, std::uint16_t port) {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io);
  const asio::ip::tcp::endpoint endpoint(address, port);
  acceptor.open(endpoint.protocol());
  if (address.is_v6()) acceptor.set_option(asio::ip::v6_only(true));
  asio::error_code error;
  acceptor.bind(endpoint, error);
  return !error;
}

TcpServer::ExecuteHandler Greeter() {
  return [](TcpConnection& connection) {
    connection.Write(relay::kGreeting);
    char byte;
    for (;;) connection.ReadSome(&byte, 1);
  };
}

TEST(ServerBinding, FailedActivationLeavesNothingBound) {
  // Take the IPv6 side only, so that the IPv4 bind succeeds before the IPv6 one fails.
  asio::io_context io;
  asio::ip::tcp::acceptor v6_holder(io);
  asio::error_code error;
  v6_holder.open(asio::ip::tcp::v6(), error);
  if (error) GTEST_SKIP() << "no IPv6 here";
  v6_holder.set_option(asio::ip::v6_only(true));
  v6_holder.bind({asio::ip::address_v6::any(), 0}, error);
  if (error) GTEST_SKIP() << "no IPv6 address to bind: " << error.message();
  v6_holder.listen();
  const std::uint16_t port = v6_holder.local_endpoint().port();
  if (!PlainBindWorks(asio::ip::address_v4::any(), port)) GTEST_SKIP() << "port taken on IPv4";

  TcpServer server(port, Greeter());
  try {
    server.Activate();
    FAIL() << "bound although the IPv6 side is taken";
  } catch (const EIdCouldNotBindSocket& e) {
    EXPECT_STREQ(e.what(), "Could not bind socket. Address and port are already in use.");
  }
  EXPECT_FALSE(server.Active());
  EXPECT_TRUE(PlainBindWorks(asio::ip::address_v4::any(), port)) << "the IPv4 side stayed bound";
}

TEST(ServerBinding, RestartBindsWhileOldConnectionsLinger) {
  TcpServer first(0, [](TcpConnection& connection) {
    connection.Write(relay::kGreeting);
    connection.Disconnect();  // the server closes first, so its side waits in TIME_WAIT
  });
  first.Activate();
  const std::uint16_t port = first.Port();
  for (int i = 0; i < 3; ++i) {
    TestClient client(port);
    EXPECT_EQ(client.ReadUntilClosed(), std::string(relay::kGreeting));
  }
  ASSERT_TRUE(test::Eventually([&] { return first.ConnectionCount() == 0; }));
  first.Stop();
  if (qvr::test::LingeringConnectionsBlockPlainBind()) {
    ASSERT_FALSE(PlainBindWorks(asio::ip::address_v4::any(), port))
        << "no connection lingers, so this test would prove nothing";
  }

  TcpServer second(port, Greeter());
  second.Activate();
  TestClient client(port);
  EXPECT_EQ(client.ReadExactly(relay::kGreeting.size()), std::string(relay::kGreeting));
}

TEST(ServerBinding, SecondRunningServerCannotBindDespiteAddressReuse) {
  TcpServer first(0, Greeter());
  first.Activate();
  TcpServer second(first.Port(), Greeter());
  EXPECT_THROW(second.Activate(), EIdCouldNotBindSocket);
  TestClient client(first.Port());
  EXPECT_EQ(client.ReadExactly(relay::kGreeting.size()), std::string(relay::kGreeting));
}

TEST(ServerForm, NeedsAThreadWithADispatcher) {
  RecordingSlots slots;
  std::thread no_loop([&] {
    EXPECT_THROW(ServerForm(ServerFormOptions{0, &slots, nullptr}), std::logic_error);
  });
  no_loop.join();
}

TEST(ServerForm, WriterIsMadeInFormCreateAndOpensNothingUntilAWrite) {
  RecordingSlots slots;
  UiThread ui;
  auto form = ui.Call([&] {
    auto f = std::make_unique<ServerForm>(ServerFormOptions{0, &slots, nullptr});
    f->TntButton1Click(u"Before", u"", u"");  // no writer yet: nothing can go out
    f->FormCreate();
    return f;
  });
  EXPECT_TRUE(slots.OpenedNames().empty());
  ui.Call([&] { form->TntButton1Click(u"After", u"", u""); });
  ASSERT_EQ(slots.Messages().size(), 1u);
  EXPECT_NE(slots.Messages()[0].find("<After "), std::string::npos);
  ui.Call([&] { form.reset(); });
}

// Forwards to the UI loop and counts what was posted.
class CountingDispatcher final : public Dispatcher {
 public:
  explicit CountingDispatcher(Dispatcher& target) : target_(target) {}
  void Post(Task task) override {
    ++posted;
    target_.Post(std::move(task));
  }
  std::atomic<int> posted{0};

 private:
  Dispatcher& target_;
};

TEST(ServerExit, StopsWhileConnectionsWaitMidHandOffAndDropsTheirMessages) {
  RecordingSlots slots;
  UiThread ui;
  CountingDispatcher counting(ui.loop());
  auto form = ui.Call([&] {
    auto f = std::make_unique<ServerForm>(ServerFormOptions{0, &slots, &counting});
    f->FormCreate();
    return f;
  });
  const std::uint16_t port = form->ListeningPort();
  constexpr int kEach = 100;
  std::vector<std::unique_ptr<TestClient>> handing_off;
  std::vector<std::unique_ptr<TestClient>> mid_message;
  std::vector<std::unique_ptr<TestClient>> idle;
  for (int i = 0; i < kEach; ++i) {
    for (auto* group : {&handing_off, &mid_message, &idle}) {
      group->push_back(std::make_unique<TestClient>(port));
      group->back()->ReadExactly(relay::kGreeting.size());
    }
  }

  // The UI thread is busy until the test lets it go on to exit; the hand-offs queue behind.
  std::promise<void> busy;
  std::promise<void> go;
  auto exited = std::async(std::launch::async, [&] {
    ui.Call([&] {
      busy.set_value();
      go.get_future().wait();
      form->FormDestroy();
      form.reset();
    });
  });
  busy.get_future().wait();  // every hand-off from here on queues behind the exit
  for (auto& client : handing_off) client->Send("late\x0C");
  for (auto& client : mid_message) client->Send("unfinished");
  ASSERT_TRUE(test::Eventually([&] { return counting.posted == kEach; }));
  go.set_value();
  ASSERT_EQ(exited.wait_for(std::chrono::seconds(30)), std::future_status::ready)
      << "exit is stuck";
  exited.get();
  ui.Call([] {});  // the dropped hand-offs have had their turn on the UI thread
  EXPECT_TRUE(slots.Messages().empty());
  for (auto* group : {&handing_off, &mid_message, &idle}) {
    for (auto& client : *group) EXPECT_EQ(client->ReadUntilClosed(), "");
  }
}

}  // namespace
}  // namespace qvr::server
