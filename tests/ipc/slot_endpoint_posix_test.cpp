// Where slots live on POSIX systems: file names, the private folder, and what a crashed
// owner leaves behind.
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ipc/slot_channel.h"
#include "ipc/slot_endpoint_posix.h"
#include "tests/ipc/slot_test_support.h"
#include "tests/support/temp_dir.h"

namespace qvr::test {
namespace {

namespace fs = std::filesystem;
using ipc::posix::SlotFileName;

constexpr std::u16string_view kName = u"Quelvane\\Messages";

struct FileNameCase {
  std::u16string name;
  std::string file;
};

TEST(SlotFileName, EncodesNamesCaseInsensitivelyAndSafely) {
  const FileNameCase cases[] = {
      {u"Quelvane\\Messages", "quelvane%5Cmessages"},
      {u"Quelvane\\RemoteSender", "quelvane%5Cremotesender"},
      {u"QUELVANE\\messages", "quelvane%5Cmessages"},
      {u"a.b_c-d09", "a.b_c-d09"},
      {u"x/y z%", "x%2Fy%20z%25"},
      {u"\u00C4\u20AC", "%C3%84%E2%82%AC"},  // UTF-8 bytes; non-ASCII letters keep their case
      {u".", "%2E"},
      {u"..", "%2E."},
      {u"slot.lock", "slot%2Elock"},  // never the lock file of the slot "slot"
      {u"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SlotFileName(c.name), c.file) << c.file;
  }
}

// A full queue holds a writer back for a second at most: the server's writer runs on its UI
// thread, which a hung presentation program must not freeze. (A mailslot write never waits,
// so this is this backend's own rule.)
TEST(SlotQueue, WriterToOwnerThatStopsReadingGivesUp) {
  IsolatedUserDirs dirs;
  auto owner = ipc::SystemSlots().Create(kName, ipc::kSlotMaxMessage, 20);
  ASSERT_NE(owner, nullptr);
  auto opening = OpenWhileReading(ipc::SystemSlots(), kName, *owner);
  ASSERT_NE(opening, nullptr);
  const std::string message(100, 'q');
  bool refused = false;
  for (int i = 0; i < 1'000'000 && !refused; ++i) {
    refused = !opening->Write(message.data(), message.size());
  }
  EXPECT_TRUE(refused);
  // What did get in is still there, oldest first.
  std::vector<char> buffer(ipc::kSlotMaxMessage);
  std::size_t length = 0;
  ASSERT_EQ(owner->Read(buffer.data(), buffer.size(), length),
            ipc::SlotOwner::ReadResult::kMessage);
  EXPECT_EQ(std::string(buffer.data(), length), message);
}

TEST(SlotFolder, IsMadePrivateInTheRuntimeFolder) {
  IsolatedUserDirs dirs;
  auto owner = ipc::SystemSlots().Create(kName, ipc::kSlotMaxMessage, 0);
  ASSERT_NE(owner, nullptr);
  const fs::path folder = dirs.runtime_dir() / "qvremote-slots";
  struct stat info {};
  ASSERT_EQ(::lstat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 07777, 0700u);
  EXPECT_TRUE(fs::exists(fs::symlink_status(folder / "quelvane%5Cmessages")));
  owner.reset();
  EXPECT_FALSE(fs::exists(fs::symlink_status(folder / "quelvane%5Cmessages")));
}

TEST(SlotFolder, ForeignOrLinkedFolderIsRefused) {
  IsolatedUserDirs dirs;
  const fs::path folder = dirs.runtime_dir() / "qvremote-slots";
  const fs::path elsewhere = dirs.runtime_dir() / "elsewhere";
  fs::create_directory(elsewhere);
  fs::create_directory_symlink(elsewhere, folder);
  EXPECT_EQ(ipc::SystemSlots().Create(kName, ipc::kSlotMaxMessage, 0), nullptr);
  EXPECT_EQ(ipc::SystemSlots().Open(kName), nullptr);
  EXPECT_TRUE(fs::is_empty(elsewhere));

  fs::remove(folder);
  fs::create_directory(folder);
  if (::geteuid() != 0) GTEST_SKIP() << "giving the folder to another user needs root";
  ASSERT_EQ(::chown(folder.c_str(), 12345, 12345), 0);
  EXPECT_EQ(ipc::SystemSlots().Create(kName, ipc::kSlotMaxMessage, 0), nullptr);
  EXPECT_EQ(ipc::SystemSlots().Open(kName), nullptr);
}

TEST(SlotFolder, NameTooLongForASocketAddressFailsCleanly) {
  IsolatedUserDirs dirs;
  const std::u16string name(200, u'n');
  EXPECT_EQ(ipc::SystemSlots().Create(name, ipc::kSlotMaxMessage, 0), nullptr);
  EXPECT_EQ(ipc::SystemSlots().Open(name), nullptr);
  EXPECT_EQ(ipc::SystemSlots().Create(u"", ipc::kSlotMaxMessage, 0), nullptr);
}

// An owner that dies without closing leaves its socket and lock files; they must not keep a
// new owner from the name.
TEST(SlotOwnerCrash, LeftoversOfAKilledOwnerDoNotBlockANewOwner) {
  IsolatedUserDirs dirs;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(ready[0]);
    auto owner = ipc::SystemSlots().Create(kName, ipc::kSlotMaxMessage, ipc::kWaitForever);
    const char answer = owner ? 'y' : 'n';
    [[maybe_unused]] const ssize_t ignored = ::write(ready[1], &answer, 1);
    while (true) ::pause();
  }
  ::close(ready[1]);
  char answer = 0;
  ASSERT_EQ(::read(ready[0], &answer, 1), 1);
  ::close(ready[0]);
  EXPECT_EQ(answer, 'y');
  EXPECT_EQ(ipc::SystemSlots().Create(kName, ipc::kSlotMaxMessage, 0), nullptr);  // alive
  ::kill(child, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);

  const fs::path folder = dirs.runtime_dir() / "qvremote-slots";
  EXPECT_TRUE(fs::exists(fs::symlink_status(folder / "quelvane%5Cmessages")));
  EXPECT_EQ(ipc::SystemSlots().Open(kName), nullptr);  // a dead socket is no owner

  auto owner = ipc::SystemSlots().Create(kName, ipc::kSlotMaxMessage, ipc::kWaitForever);
  ASSERT_NE(owner, nullptr);
  OwnerReader reader(*owner);
  auto opening = ipc::SystemSlots().Open(kName);
  ASSERT_NE(opening, nullptr);
  EXPECT_TRUE(opening->Write("after", 5));
  EXPECT_EQ(reader.WaitFor(1), std::vector<std::string>{"after"});
}

// A writer that speaks the documented format without our code: it must get the hello, and
// records that are not well-formed messages must never be delivered.
TEST(SlotEndpointFormat, ForeignWriterGetsTheHelloAndBadRecordsAreDropped) {
  IsolatedUserDirs dirs;
  auto owner = ipc::SystemSlots().Create(kName, 300, ipc::kWaitForever);
  ASSERT_NE(owner, nullptr);
  OwnerReader reader(*owner);

  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = (dirs.runtime_dir() / "qvremote-slots" / "quelvane%5Cmessages").string();
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  char hello[16];
  ASSERT_EQ(::recv(fd, hello, sizeof hello, 0), 8);
  EXPECT_EQ(std::string(hello, 8), std::string("QVS1\x2C\x01\x00\x00", 8));  // 300

  const std::string too_long = "\x01" + std::string(301, 'L');
  const std::string wrong_kind = "\x02wrong";
  const std::string exact = "\x01" + std::string(300, 'E');
  const std::string empty = "\x01";
  for (const std::string& record : {too_long, wrong_kind, exact, empty}) {
    ASSERT_EQ(::send(fd, record.data(), record.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(record.size()));
  }
  ::close(fd);
  EXPECT_EQ(reader.WaitFor(2), (std::vector<std::string>{std::string(300, 'E'), ""}));
}

}  // namespace
}  // namespace qvr::test
