// The QVRemoteServer program, run headless on the real relay port.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "ipc/slot_channel.h"
#include "relay/protocol.h"
#include "server/server_form.h"
#include "tests/server/server_test_support.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace qvr::server {
namespace {

// One run of the program with its standard error captured.
class Program {
 public:
  explicit Program(std::vector<std::string> args, std::vector<std::string> unset_env = {}) {
    int pipe_fds[2];
    if (pipe(pipe_fds) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
    args.insert(args.begin(), QVR_SERVER_PROGRAM);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_storage;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry(*e);
      bool drop = false;
      for (const auto& name : unset_env) drop = drop || entry.rfind(name + "=", 0) == 0;
      if (!drop) env_storage.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : env_storage) envp.push_back(e.data());
    envp.push_back(nullptr);
    const int error = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipe_fds[1]);
    output_fd_ = pipe_fds[0];
    if (error != 0) throw std::runtime_error("posix_spawn failed");
  }
  ~Program() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(output_fd_);
  }

  // Reads output until it holds `text` or the output ends; true when found.
  bool WaitForOutput(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + test::kPatience;
    while (output_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{output_fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[512];
      const ssize_t n = read(output_fd_, chunk, sizeof chunk);
      if (n <= 0) return output_.find(text) != std::string::npos;
      output_.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
  }
  // Reads everything up to the end of the output.
  const std::string& AllOutput() {
    WaitForOutput(std::string(1, '\0'));  // never printed: reads to the end
    return output_;
  }
  void Signal(int sig) { kill(pid_, sig); }
  // The exit status, or -1 when it did not end in time or ended by a signal.
  int Wait() {
    const auto deadline = std::chrono::steady_clock::now() + test::kPatience;
    while (std::chrono::steady_clock::now() < deadline) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      usleep(5000);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  int output_fd_ = -1;
  std::string output_;
};

std::string ReadOne(ipc::SlotOwner& owner) {
  std::string buffer(ipc::kSlotMaxMessage, '\0');
  std::size_t length = 0;
  if (owner.Read(buffer.data(), buffer.size(), length) != ipc::SlotOwner::ReadResult::kMessage) {
    return "<nothing>";
  }
  buffer.resize(length);
  return buffer;
}

// True when nothing else holds the relay port, which the program must have to itself.
bool RelayPortFree() {
  asio::io_context io;
  asio::ip::tcp::acceptor acceptor(io);
  asio::error_code error;
  acceptor.open(asio::ip::tcp::v4(), error);
  acceptor.set_option(asio::socket_base::reuse_address(true), error);
  acceptor.bind({asio::ip::address_v4::any(), relay::kPort}, error);
  return !error;
}

#define SKIP_UNLESS_RELAY_PORT_FREE() \
  if (!RelayPortFree()) GTEST_SKIP() << "another program holds port 19150"

TEST(HeadlessProgram, RelaysIntoTheSlotRefusesASecondCopyAndEndsOnSigterm) {
  SKIP_UNLESS_RELAY_PORT_FREE();
  qvr::test::IsolatedUserDirs dirs;
  auto owner = ipc::SystemSlots().Create(kMessagesSlot, ipc::kSlotMaxMessage, 10000);
  ASSERT_NE(owner, nullptr);
  Program server({"--headless"});
  ASSERT_TRUE(server.WaitForOutput("ready")) << server.AllOutput();

  test::TestClient client(relay::kPort);
  EXPECT_EQ(client.ReadExactly(relay::kGreeting.size()), std::string(relay::kGreeting));
  client.Send(
      "Gr\xFC\xDF"
      "e\x0C");
  EXPECT_EQ(ReadOne(*owner),
            "Gr\xFC\xDF"
            "e");

  Program second({"--headless"});
  EXPECT_EQ(second.Wait(), 1);
  EXPECT_NE(second.AllOutput().find("Could not bind socket. Address and port are already in use."),
            std::string::npos)
      << second.AllOutput();

  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(), 0);
  EXPECT_EQ(client.ReadUntilClosed(), "");
}

TEST(HeadlessProgram, EndsInOrderOnSigintWithConnectionsOpen) {
  SKIP_UNLESS_RELAY_PORT_FREE();
  qvr::test::IsolatedUserDirs dirs;
  Program server({"--headless"});
  ASSERT_TRUE(server.WaitForOutput("ready")) << server.AllOutput();
  test::TestClient idle(relay::kPort);
  test::TestClient mid(relay::kPort);
  idle.ReadExactly(relay::kGreeting.size());
  mid.ReadExactly(relay::kGreeting.size());
  mid.Send("half");
  server.Signal(SIGINT);
  EXPECT_EQ(server.Wait(), 0);
}

TEST(HeadlessProgram, WithoutDisplayRunsHeadlessAndSaysSo) {
  SKIP_UNLESS_RELAY_PORT_FREE();
  qvr::test::IsolatedUserDirs dirs;
  Program server({}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
  ASSERT_TRUE(server.WaitForOutput("ready")) << server.AllOutput();
  EXPECT_TRUE(server.WaitForOutput("no display can be opened, running headless"));
  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(), 0);
}

TEST(HeadlessProgram, VersionAndHelp) {
  Program version({"--version"});
  EXPECT_EQ(version.Wait(), 0);
  EXPECT_EQ(version.AllOutput(), std::string("QVRemoteServer ") + QVR_PROJECT_VERSION + "\n");
  Program help({"--help"});
  EXPECT_EQ(help.Wait(), 0);
  EXPECT_NE(help.AllOutput().find("--headless"), std::string::npos);
  Program wrong({"--port=1"});
  EXPECT_EQ(wrong.Wait(), 2);
}

}  // namespace
}  // namespace qvr::server
