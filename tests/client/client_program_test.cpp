// The headless program QVRemoteClient end to end: slot in, relay port out, stop signals,
// the settings file at the end. Uses the real relay port 19150.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/client_form.h"
#include "ipc/mailslot_writer.h"
#include "ipc/slot_channel.h"
#include "tests/client/forwarder_test_server.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace qvr::client {
namespace {

using namespace std::chrono_literals;

// A program started with --headless; its stderr is gathered as it comes.
class HeadlessProgram {
 public:
  explicit HeadlessProgram(const char* path) {
    int pipe_ends[2];
    if (::pipe2(pipe_ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDERR_FILENO);
    std::string program = path;
    char headless[] = "--headless";
    char* argv[] = {program.data(), headless, nullptr};
    const int spawned = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_ends[1]);
    if (spawned != 0) throw std::runtime_error("posix_spawn");
    output_fd_ = pipe_ends[0];
    reader_ = std::thread([this] { Gather(); });
  }

  ~HeadlessProgram() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    reader_.join();
    ::close(output_fd_);
  }

  // Waits up to 10 s until stderr holds `text`.
  bool WaitForOutput(const std::string& text) {
    std::unique_lock lock(mutex_);
    return grown_.wait_for(lock, 10s, [&] { return output_.find(text) != std::string::npos; });
  }

  std::string Output() {
    std::lock_guard lock(mutex_);
    return output_;
  }

  // Sends `signal_number` and waits up to 10 s for the end; the exit status, or -1.
  int StopWith(int signal_number) {
    ::kill(pid_, signal_number);
    for (int i = 0; i < 1000; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = 0;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

 private:
  void Gather() {
    char buffer[4096];
    while (true) {
      const ssize_t size = ::read(output_fd_, buffer, sizeof buffer);
      if (size <= 0) return;
      {
        std::lock_guard lock(mutex_);
        output_.append(buffer, static_cast<std::size_t>(size));
      }
      grown_.notify_all();
    }
  }

  pid_t pid_ = 0;
  int output_fd_ = -1;
  std::thread reader_;
  std::mutex mutex_;
  std::condition_variable grown_;
  std::string output_;
};

// The client under test.
class HeadlessClient : public HeadlessProgram {
 public:
  HeadlessClient() : HeadlessProgram(QVR_CLIENT_PROGRAM) {}
};

std::filesystem::path SettingsFile(const test::IsolatedUserDirs& dirs) {
  return dirs.data_dir() / "Quelvane" / "Remote Sender" / "RemoteSender.cfg";
}

void WriteSettingsFile(const test::IsolatedUserDirs& dirs, const std::string& host) {
  std::filesystem::create_directories(SettingsFile(dirs).parent_path());
  std::ofstream(SettingsFile(dirs), std::ios::binary)
      << "object Settings: TSettings\r\n  Filter_Message = True\r\n"
         "  Filter_QVAction_Presenter_SetPage = True\r\n  Host = '"
      << host << "'\r\nend\r\n";
}

void Send(TMailSlotWriter& writer, std::string_view bytes) {
  ASSERT_EQ(writer.Write(bytes.data(), static_cast<std::int32_t>(bytes.size())),
            static_cast<std::int32_t>(bytes.size()));
}

struct CommandLineCase {
  const char* arguments;
  int status;
  const char* output_start;  // of stdout and stderr together
};

void PrintTo(const CommandLineCase& c, std::ostream* out) {
  *out << c.arguments;
}

class ClientCommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(ClientCommandLineTest, AnswersWithoutStarting) {
  const std::string command =
      std::string(QVR_CLIENT_PROGRAM) + " " + GetParam().arguments + " 2>&1 </dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  const int status = ::pclose(pipe);

  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), GetParam().status);
  EXPECT_EQ(output.rfind(GetParam().output_start, 0), 0u) << output;
}

INSTANTIATE_TEST_SUITE_P(
    Options, ClientCommandLineTest,
    ::testing::Values(CommandLineCase{"--version", 0, "QVRemoteClient 0."},
                      CommandLineCase{"--help", 0, "Usage: QVRemoteClient [--headless"},
                      CommandLineCase{"--headless --help", 0, "Usage: QVRemoteClient"},
                      CommandLineCase{"--headless --bogus", 2,
                                      "QVRemoteClient: unknown argument\nUsage:"}));

TEST(ClientProgramTest, RelaysSlotMessagesToPort19150AndEndsOrderlyOnSigterm) {
  test::IsolatedUserDirs dirs;
  test::ForwarderTestServer server({.port = 19150});
  HeadlessClient client;
  ASSERT_TRUE(client.WaitForOutput("ready")) << client.Output();

  TMailSlotWriter writer(kSenderSlotName);
  Send(writer, "abc");
  Send(writer,
       "Gr\xFC\xDF"
       "e");
  const std::string expected =
      "abc\x0CGr\xFC\xDF"
      "e\x0C";
  EXPECT_EQ(server.WaitForBytes(0, expected.size()), expected);

  EXPECT_EQ(client.StopWith(SIGTERM), 0);
  EXPECT_TRUE(server.WaitForPeerClose(0));
  EXPECT_TRUE(std::filesystem::exists(SettingsFile(dirs)));
  EXPECT_EQ(client.Output().find("Socket Error"), std::string::npos) << client.Output();
}

TEST(ClientProgramTest, ReportsEachFailureOnStderrAndGoesOn) {
  test::IsolatedUserDirs dirs;
  WriteSettingsFile(dirs, "qvremote-relay.invalid");
  HeadlessClient client;
  ASSERT_TRUE(client.WaitForOutput("ready")) << client.Output();

  TMailSlotWriter writer(kSenderSlotName);
  Send(writer, "lost");
  const std::string line = "QVRemoteClient: Socket Error # 1\nHost not found.\n";
  ASSERT_TRUE(client.WaitForOutput(line)) << client.Output();
  Send(writer, "lost too");
  ASSERT_TRUE(client.WaitForOutput(line + line)) << client.Output();

  EXPECT_EQ(client.StopWith(SIGINT), 0);
  std::ifstream file(SettingsFile(dirs), std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(file)), {});
  EXPECT_NE(text.find("Host = 'qvremote-relay.invalid'"), std::string::npos) << text;
}

TEST(ClientProgramTest, RefusedConnectionIsReportedWithThePeriodOfTheErrorBox) {
  test::IsolatedUserDirs dirs;
  HeadlessClient client;  // empty host: localhost, where nothing listens on 19150
  ASSERT_TRUE(client.WaitForOutput("ready")) << client.Output();

  TMailSlotWriter writer(kSenderSlotName);
  Send(writer, "lost");
  EXPECT_TRUE(client.WaitForOutput("QVRemoteClient: Socket Error # 111\nConnection refused.\n"))
      << client.Output();
  EXPECT_EQ(client.StopWith(SIGTERM), 0);
}

TEST(ClientProgramTest, ASecondCopyWarnsAndRunsOn) {
  test::IsolatedUserDirs dirs;
  HeadlessClient first;
  ASSERT_TRUE(first.WaitForOutput("ready")) << first.Output();
  HeadlessClient second;
  EXPECT_TRUE(second.WaitForOutput("warning: cannot own Quelvane\\RemoteSender"))
      << second.Output();
  EXPECT_EQ(second.Output().find("ready"), std::string::npos);
  EXPECT_EQ(second.StopWith(SIGTERM), 0);
  EXPECT_EQ(first.StopWith(SIGTERM), 0);
}

#ifdef QVR_SERVER_PROGRAM
// Both programs on loopback, the test in the place of the presentation program on both
// sides: it writes into Quelvane\RemoteSender and owns Quelvane\Messages.
TEST(ClientProgramTest, MessagesTravelTheWholeRoadThroughTheRealServer) {
  test::IsolatedUserDirs dirs;
  auto messages = ipc::SystemSlots().Create(u"Quelvane\\Messages", ipc::kSlotMaxMessage, 10000);
  ASSERT_NE(messages, nullptr);
  HeadlessProgram server(QVR_SERVER_PROGRAM);
  ASSERT_TRUE(server.WaitForOutput("ready")) << server.Output();
  HeadlessClient client;
  ASSERT_TRUE(client.WaitForOutput("ready")) << client.Output();

  TMailSlotWriter writer(kSenderSlotName);
  const std::vector<std::string> sent = {"abc",
                                         "Gr\xFC\xDF"
                                         "e",
                                         "A\x0C"
                                         "B",
                                         ""};
  for (const auto& message : sent) Send(writer, message);

  // A form feed inside a message ends a message at the server when a read ends there; the
  // rest is relayed as the next message. Joined with form feeds, the bytes are the same.
  std::string expected;
  for (const auto& message : sent) expected += message + '\x0C';
  std::string relayed;
  std::vector<char> buffer(ipc::kSlotMaxMessage);
  while (relayed.size() < expected.size()) {
    std::size_t length = 0;
    ASSERT_EQ(messages->Read(buffer.data(), buffer.size(), length),
              ipc::SlotOwner::ReadResult::kMessage)
        << relayed;
    relayed.append(buffer.data(), length).push_back('\x0C');
  }
  EXPECT_EQ(relayed, expected);

  EXPECT_EQ(client.StopWith(SIGTERM), 0);
  EXPECT_EQ(server.StopWith(SIGTERM), 0);
}
#endif

}  // namespace
}  // namespace qvr::client
