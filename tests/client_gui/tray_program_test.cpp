// The tray program QVRemoteClient as a process on the offscreen platform: it relays from its
// slot to port 19150, and a stop request ends it in order: connection closed, settings file
// rewritten, exit status 0.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "client/client_form.h"
#include "ipc/event_loop.h"
#include "ipc/mailslot_reader.h"
#include "ipc/mailslot_writer.h"
#include "tests/client/forwarder_test_server.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace qvr::client_gui {
namespace {

using namespace std::chrono_literals;

class TrayClient {
 public:
  TrayClient() {
    char program[] = QVR_CLIENT_PROGRAM;
    char* argv[] = {program, nullptr};
    if (::posix_spawn(&pid_, program, nullptr, nullptr, argv, environ) != 0) {
      throw std::runtime_error("posix_spawn");
    }
  }
  ~TrayClient() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  TrayClient(const TrayClient&) = delete;
  TrayClient& operator=(const TrayClient&) = delete;

  // Sends SIGTERM and waits up to 10 s for the end; the exit status, or -1.
  int Stop() {
    ::kill(pid_, SIGTERM);
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
  pid_t pid_ = 0;
};

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), {}};
}

// Writes `message` once the program owns its slot (up to 10 s).
bool SendWhenReady(std::string_view message) {
  TMailSlotWriter writer(client::kSenderSlotName);
  const auto size = static_cast<std::int32_t>(message.size());
  for (int i = 0; i < 1000; ++i) {
    if (writer.Write(message.data(), size) == size) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

std::filesystem::path SettingsFile(const test::IsolatedUserDirs& dirs) {
  return dirs.data_dir() / "Quelvane" / "Remote Sender" / "RemoteSender.cfg";
}

// Written in a form the program reads but does not write, so the end step shows.
void WriteLooseSettingsFile(const test::IsolatedUserDirs& dirs, const std::string& host) {
  std::filesystem::create_directories(SettingsFile(dirs).parent_path());
  std::ofstream(SettingsFile(dirs), std::ios::binary)
      << "object settings: TSettings\n host='" << host << "'\n filter_message=false\nEND\n";
}

std::string WrittenAtEnd(const std::string& host) {
  return "object Settings: TSettings\r\n"
         "  Filter_Message = False\r\n"
         "  Filter_QVAction_Presenter_SetPage = True\r\n"
         "  Host = '" +
         host +
         "'\r\n"
         "end\r\n";
}

class ClientTrayProgramTest : public ::testing::Test {
 protected:
  ClientTrayProgramTest() { ::setenv("QT_QPA_PLATFORM", "offscreen", 1); }
  ~ClientTrayProgramTest() override { ::unsetenv("QT_QPA_PLATFORM"); }

  test::IsolatedUserDirs dirs_;
};

TEST_F(ClientTrayProgramTest, StopRequestEndsInOrderAndRewritesTheSettingsFile) {
  // No TCP connection can go to the broadcast address: the message fails at once, and its
  // error box, if already open when the stop request comes, waits for an answer that never
  // comes. Either way the request ends the program in order.
  const std::string host = "255.255.255.255";
  WriteLooseSettingsFile(dirs_, host);
  TrayClient client;
  ASSERT_TRUE(SendWhenReady("abc"));
  EXPECT_EQ(client.Stop(), 0);
  EXPECT_EQ(ReadFile(SettingsFile(dirs_)), WrittenAtEnd(host));
  // The reader has gone with the program: the slot is free again.
  EventLoop loop;
  TMailSlotReader after(client::kSenderSlotName, true);
  EXPECT_TRUE(after.OwnsSlot());
}

TEST_F(ClientTrayProgramTest, RelaysToPort19150AndClosesTheConnectionAtTheEnd) {
  WriteLooseSettingsFile(dirs_, "127.0.0.1");
  std::unique_ptr<test::ForwarderTestServer> server;
  try {
    server = std::make_unique<test::ForwarderTestServer>(
        test::ForwarderTestServer::Options{.port = 19150});
  } catch (const std::exception& e) {
    GTEST_SKIP() << "port 19150 is held by a process outside this test run: " << e.what();
  }
  TrayClient client;
  ASSERT_TRUE(SendWhenReady("abc"));
  EXPECT_EQ(server->WaitForBytes(0, 4), "abc\f");
  EXPECT_EQ(client.Stop(), 0);
  EXPECT_TRUE(server->WaitForPeerClose(0));
  EXPECT_EQ(ReadFile(SettingsFile(dirs_)), WrittenAtEnd("127.0.0.1"));
}

}  // namespace
}  // namespace qvr::client_gui
