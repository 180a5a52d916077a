// The settings store with real files, below a temporary XDG_DATA_HOME.
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "client/appdata.h"
#include "client/settings_file.h"
#include "client/settings_store.h"
#include "tests/support/temp_dir.h"

namespace qvr {
namespace {

namespace fs = std::filesystem;

const std::string kMadeFile =
    "object Settings: TSettings\r\n"
    "  Filter_Message = True\r\n"
    "  Filter_QVAction_Presenter_SetPage = True\r\n"
    "end\r\n";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

TSettings Make(bool message, bool set_page, std::u16string host) {
  TSettings settings;
  settings.SetFilter_Message(message);
  settings.SetFilter_QVAction_Presenter_SetPage(set_page);
  settings.SetHost(std::move(host));
  return settings;
}

// Sets or clears an environment variable for the life of the object.
class EnvVar {
 public:
  EnvVar(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    if (old) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~EnvVar() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class SettingsStoreTest : public ::testing::Test {
 protected:
  fs::path Folder() const { return dirs_.data_dir() / "Quelvane" / "Remote Sender"; }
  fs::path File() const { return Folder() / "RemoteSender.cfg"; }

  // A settings file left by an earlier run.
  void Prepare(const std::string& bytes) {
    fs::create_directories(Folder());
    WriteAll(File(), bytes);
  }

  // Names in the settings folder other than the settings file: leftovers of a save.
  std::size_t OtherEntries() const {
    std::size_t count = 0;
    for (const auto& entry : fs::directory_iterator(Folder())) {
      if (entry.path().filename() != "RemoteSender.cfg") ++count;
    }
    return count;
  }

  test::IsolatedUserDirs dirs_;
};

TEST_F(SettingsStoreTest, FirstStartCreatesTheFolderChainAndEndWritesTheFile) {
  ASSERT_FALSE(fs::exists(dirs_.data_dir() / "Quelvane"));
  TSettingsStore store;
  EXPECT_EQ(store.SettingsFileName(), File().string());
  EXPECT_TRUE(fs::is_directory(Folder()));
  EXPECT_FALSE(fs::exists(File()));
  EXPECT_EQ(store.Settings(), TSettings());
  EXPECT_EQ(store.Save(), std::nullopt);
  EXPECT_EQ(ReadAll(File()), kMadeFile);
  EXPECT_EQ(OtherEntries(), 0u);
}

TEST_F(SettingsStoreTest, ChangesSurviveTheNextRun) {
  {
    TSettingsStore store;
    store.Settings().SetFilter_Message(false);
    store.Settings().SetHost(u"B\u00FChne's PC");
    ASSERT_EQ(store.Save(), std::nullopt);
  }
  TSettingsStore next;
  EXPECT_EQ(next.Settings(), Make(false, true, u"B\u00FChne's PC"));
}

TEST_F(SettingsStoreTest, FileIsRewrittenAtEndEvenIfUnchanged) {
  Prepare("object TSettings\n  filter_message = false\n  Tag = 1\n  host='pc-buehne'\nEND\n");
  TSettingsStore store;
  EXPECT_EQ(store.Settings(), Make(false, true, u"pc-buehne"));
  ASSERT_EQ(store.Save(), std::nullopt);
  EXPECT_EQ(ReadAll(File()),
            "object Settings: TSettings\r\n"
            "  Filter_Message = False\r\n"
            "  Filter_QVAction_Presenter_SetPage = True\r\n"
            "  Host = 'pc-buehne'\r\n"
            "end\r\n");
}

TEST_F(SettingsStoreTest, BinaryFileIsReplacedByTextAtEnd) {
  using namespace std::string_literals;
  Prepare("TPF0\x09TSettings\x08Settings"s +
          "\x0E"
          "Filter_Message\x08" +
          "\x04Host\x06\x03"
          "abc" +
          "\0\0"s);
  TSettingsStore store;
  EXPECT_EQ(store.Settings(), Make(false, true, u"abc"));
  ASSERT_EQ(store.Save(), std::nullopt);
  TSettings expected = Make(false, true, u"abc");
  EXPECT_EQ(ReadAll(File()), WriteSettingsText(expected));
}

TEST_F(SettingsStoreTest, UnreadableFilesLeaveTheValuesAsMadeAndAreReplaced) {
  std::string huge = "object Settings: TSettings\r\n  Filter_Message = False\r\nend\r\n";
  huge.resize(kMaxSettingsFileSize + 1, ' ');
  const struct {
    const char* what;
    std::string file;
  } cases[] = {
      {"unclosed apostrophe",
       "object S: TSettings\r\n  Filter_Message = False\r\n  Host = 'x\r\nend"},
      {"short", "obj"},
      {"empty", ""},
      {"UTF-16", std::string("\xFF\xFEo\0b\0j\0", 8)},
      {"larger than 1 MiB", huge},
  };
  for (const auto& c : cases) {
    Prepare(c.file);
    TSettingsStore store;
    EXPECT_EQ(store.Settings(), TSettings()) << c.what;
    ASSERT_EQ(store.Save(), std::nullopt) << c.what;
    EXPECT_EQ(ReadAll(File()), kMadeFile) << c.what;
  }
}

TEST_F(SettingsStoreTest, FileThatCannotBeOpenedIsSwallowed) {
  Prepare("object Settings: TSettings Host = 'x' end");
  fs::permissions(File(), fs::perms::none);
  // Root reads a file whatever its rights say; without root this exercises the open failure.
  TSettingsStore store;
  if (::geteuid() != 0) {
    EXPECT_EQ(store.Settings(), TSettings());
  }
  EXPECT_EQ(store.Save(), std::nullopt);
}

TEST_F(SettingsStoreTest, FolderAtTheFileNameIsNoFileAndCannotBeReplaced) {
  fs::create_directories(File() / "inside");
  TSettingsStore store;
  EXPECT_EQ(store.Settings(), TSettings());
  const std::optional<std::string> error = store.Save();
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->find("Cannot create file \"" + File().string() + "\""), std::string::npos)
      << *error;
  EXPECT_TRUE(fs::is_directory(File() / "inside"));
  EXPECT_EQ(OtherEntries(), 0u);
}

TEST_F(SettingsStoreTest, SaveIntoARemovedFolderIsReported) {
  TSettingsStore store;
  fs::remove_all(dirs_.data_dir() / "Quelvane");
  const std::optional<std::string> error = store.Save();
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->rfind("Cannot create file \"" + File().string() + "\". ", 0), 0u) << *error;
  EXPECT_FALSE(fs::exists(Folder()));
}

TEST_F(SettingsStoreTest, FileInPlaceOfTheFolderIsReported) {
  fs::create_directories(dirs_.data_dir() / "Quelvane");
  WriteAll(dirs_.data_dir() / "Quelvane" / "Remote Sender", "not a folder");
  TSettingsStore store;  // the folder cannot be made: nothing said, nothing loaded
  EXPECT_EQ(store.Settings(), TSettings());
  EXPECT_TRUE(store.Save().has_value());
  EXPECT_EQ(ReadAll(dirs_.data_dir() / "Quelvane" / "Remote Sender"), "not a folder");
}

// Makes every write beyond `bytes` fail as on a full disk, for the life of the object.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = old_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, old_handler_);
  }

 private:
  rlimit old_{};
  void (*old_handler_)(int);
};

TEST_F(SettingsStoreTest, FailedWriteKeepsTheOldFile) {
  const std::string old_file = WriteSettingsText(Make(false, false, u"old host"));
  Prepare(old_file);
  TSettingsStore store;
  ASSERT_EQ(store.Settings(), Make(false, false, u"old host"));
  store.Settings().SetHost(std::u16string(500, u'n'));
  std::optional<std::string> error;
  {
    const FileSizeLimit disk_full(64);
    error = store.Save();
  }
  ASSERT_TRUE(error.has_value());
  EXPECT_EQ(error->rfind("Cannot write file \"" + File().string() + "\". ", 0), 0u) << *error;
  EXPECT_EQ(ReadAll(File()), old_file);
  EXPECT_EQ(OtherEntries(), 0u);
  // Once the disk has room again, the next save goes through.
  EXPECT_EQ(store.Save(), std::nullopt);
  EXPECT_EQ(ReadAll(File()), WriteSettingsText(store.Settings()));
}

TEST_F(SettingsStoreTest, ReplacedFileKeepsItsAccessRights) {
  Prepare(kMadeFile);
  fs::permissions(File(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
                  fs::perm_options::replace);
  TSettingsStore store;
  store.Settings().SetHost(u"x");
  ASSERT_EQ(store.Save(), std::nullopt);
  EXPECT_EQ(fs::status(File()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(SettingsStoreTest, FileThatIsALinkStaysALink) {
  const fs::path elsewhere = dirs_.data_dir() / "dotfiles";
  fs::create_directories(elsewhere);
  WriteAll(elsewhere / "RemoteSender.cfg", "object Settings: TSettings Host = 'linked' end");
  fs::create_directories(Folder());
  fs::create_symlink(elsewhere / "RemoteSender.cfg", File());
  TSettingsStore store;
  EXPECT_EQ(store.Settings(), Make(true, true, u"linked"));
  ASSERT_EQ(store.Save(), std::nullopt);
  EXPECT_TRUE(fs::is_symlink(File()));
  EXPECT_EQ(ReadAll(elsewhere / "RemoteSender.cfg"), WriteSettingsText(store.Settings()));
}

TEST(ReadFileIfExists, SizeLimitFoldersAndMissingFiles) {
  test::TempDir temp;
  const fs::path file = temp.path() / "f";
  WriteAll(file, "0123456789");
  EXPECT_EQ(ReadFileIfExists(file.string(), 10), "0123456789");
  EXPECT_THROW(ReadFileIfExists(file.string(), 9), std::runtime_error);
  EXPECT_EQ(ReadFileIfExists((temp.path() / "missing").string(), 10), std::nullopt);
  EXPECT_EQ(ReadFileIfExists(temp.path().string(), 10), std::nullopt);
  WriteAll(file, "");
  EXPECT_EQ(ReadFileIfExists(file.string(), 10), "");
}

TEST(LocalAppDataFolder, FromTheEnvironment) {
  const struct {
    const char* data_home;
    const char* home;
    std::string expected;
  } cases[] = {
      {"/data/home", "/home/u", "/data/home/"},
      {"/data/home/", "/home/u", "/data/home/"},
      {"relative/data", "/home/u", "/home/u/.local/share/"},
      {"", "/home/u/", "/home/u/.local/share/"},
      {nullptr, "/home/u", "/home/u/.local/share/"},
      {nullptr, "relative", ""},
      {nullptr, nullptr, ""},
  };
  for (const auto& c : cases) {
    const EnvVar data_home("XDG_DATA_HOME", c.data_home);
    const EnvVar home("HOME", c.home);
    EXPECT_EQ(GetLocalAppDataFolder(), c.expected)
        << (c.data_home ? c.data_home : "-") << " " << (c.home ? c.home : "-");
  }
}

// Without a per-user folder the file lives below the current folder.
TEST(SettingsStoreFallback, RelativePathFromTheCurrentFolder) {
  test::TempDir temp;
  const fs::path old_cwd = fs::current_path();
  fs::current_path(temp.path());
  {
    const EnvVar data_home("XDG_DATA_HOME", nullptr);
    const EnvVar home("HOME", nullptr);
    TSettingsStore store;
    EXPECT_EQ(store.SettingsFileName(), "Quelvane/Remote Sender/RemoteSender.cfg");
    EXPECT_EQ(store.Save(), std::nullopt);
  }
  fs::current_path(old_cwd);
  EXPECT_EQ(ReadAll(temp.path() / "Quelvane" / "Remote Sender" / "RemoteSender.cfg"), kMadeFile);
}

}  // namespace
}  // namespace qvr
