// The tray program as a process, on the offscreen platform: it relays on the real port,
// files a bind failure through the crash reporter and ends in order on SIGTERM.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <thread>

#include "tests/server_gui/gui_test_support.h"
#include "tests/support/temp_dir.h"

namespace qvr::test {
namespace {

using namespace std::chrono_literals;

constexpr unsigned short kRelayPort = 19150;

// Eventually-true waits: generous limit, polled.
template <class Done>
bool WaitFor(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

class TrayProcess {
 public:
  TrayProcess() {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::execl(QVR_SERVER_EXE, QVR_SERVER_EXE, static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (pid_ < 0) throw std::runtime_error("fork failed");
  }
  ~TrayProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  // Sends SIGTERM and returns the exit status, or -1 when the process did not end in time.
  int Terminate() {
    ::kill(pid_, SIGTERM);
    int status = 0;
    const bool ended = WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; });
    if (!ended) return -1;
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
};

std::unique_ptr<LoopbackPeer> Connect() {
  std::unique_ptr<LoopbackPeer> peer;
  WaitFor([&] {
    try {
      peer = std::make_unique<LoopbackPeer>(kRelayPort);
    } catch (const std::runtime_error&) {
    }
    return peer != nullptr;
  });
  return peer;
}

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::filesystem::path ReportFile(const IsolatedUserDirs& dirs) {
  return dirs.data_dir() / "Quelvane" / "Remote Server" / "bugreport.txt";
}

// The relay port must be free, or the test would talk to some other server.
bool RelayPortFree() {
  try {
    PortBlocker probe(kRelayPort);
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

TEST(TrayProgramTest, RelaysIntoTheSlotAndEndsInOrderOnSigterm) {
  if (!RelayPortFree()) GTEST_SKIP() << "port 19150 is taken by another process";
  IsolatedUserDirs dirs;
  SlotDrain slot(u"Quelvane\\Messages");
  ASSERT_TRUE(slot.Owns());
  TrayProcess program;
  auto peer = Connect();
  ASSERT_NE(peer, nullptr);
  EXPECT_EQ(peer->ReadLine(), "#1: QVRemote 0.1\r\n");
  peer->Send("hello\f");
  EXPECT_EQ(slot.Next(), "hello");
  EXPECT_EQ(program.Terminate(), 0);
  EXPECT_FALSE(std::filesystem::exists(ReportFile(dirs)));
}

TEST(TrayProgramTest, BindFailureGoesToTheReportFile) {
  if (!RelayPortFree()) GTEST_SKIP() << "port 19150 is taken by another process";
  IsolatedUserDirs dirs;
  PortBlocker blocker(kRelayPort);
  TrayProcess program;
  const auto file = ReportFile(dirs);
  ASSERT_TRUE(WaitFor(
      [&] { return ReadFile(file).find("thread    : main thread (UI)\n") != std::string::npos; }));
  const std::string report = ReadFile(file);
  EXPECT_NE(report.find("exception : qvr::server::EIdCouldNotBindSocket\n"), std::string::npos)
      << report;
  EXPECT_NE(
      report.find("message   : Could not bind socket. Address and port are already in use.\n"),
      std::string::npos);
  // The reporter's dialog is open; the program still ends in order.
  EXPECT_EQ(program.Terminate(), 0);
}

}  // namespace
}  // namespace qvr::test
