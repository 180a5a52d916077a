// The settings store's platform layer on Windows: the shell's folder and the file calls,
// exercised in a temporary folder (the user's own settings file is never touched).
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <shlobj.h>
#include <windows.h>
#undef ReplaceFile

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "client/appdata.h"
#include "ipc/codepage.h"
#include "tests/support/temp_dir.h"

namespace qvr {
namespace {

namespace fs = std::filesystem;

std::string Utf8(const fs::path& path) {
  const std::wstring wide = path.wstring();
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(AppDataWin, LocalAppDataFolderIsTheShellsWithBackslash) {
  wchar_t* known = nullptr;
  ASSERT_EQ(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known), S_OK);
  const fs::path expected(known);
  CoTaskMemFree(known);

  const std::string folder = GetLocalAppDataFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '\\');
  EXPECT_EQ(folder, Utf8(expected) + "\\");
  EXPECT_TRUE(fs::is_directory(expected));
  EXPECT_EQ(PathSeparator(), '\\');
}

TEST(AppDataWin, FolderChainIsCreatedWithNonAsciiNames) {
  test::TempDir temp;
  const std::string chain = Utf8(temp.path()) +
                            "\\Quelvane\\Gr\xC3\xBC\xC3\x9F"
                            "e\\Remote Sender\\";
  CreateFolderChain(chain);
  EXPECT_TRUE(fs::is_directory(temp.path() / "Quelvane" / L"Gr\u00FC\u00DFe" / "Remote Sender"));
  CreateFolderChain(chain);  // an existing chain is no failure
}

TEST(AppDataWin, ReplaceFileWritesExactBytesAndLeavesNoTemporary) {
  test::TempDir temp;
  const fs::path file = temp.path() / "RemoteSender.cfg";
  const std::string first("object\r\n\0\xFF end\r\n", 16);
  ReplaceFile(Utf8(file), first);
  EXPECT_EQ(ReadAll(file), first);
  ReplaceFile(Utf8(file), "second");
  EXPECT_EQ(ReadAll(file), "second");
  EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 1);
}

TEST(AppDataWin, ReplaceFileInMissingFolderRaisesTheUsersText) {
  test::TempDir temp;
  const std::string path = Utf8(temp.path() / "missing" / "RemoteSender.cfg");
  try {
    ReplaceFile(path, "x");
    FAIL() << "no error";
  } catch (const std::runtime_error& error) {
    const std::string text = error.what();
    EXPECT_EQ(text.rfind("Cannot create file \"" + path + "\". ", 0), 0u) << text;
    EXPECT_GT(text.size(), path.size() + 23) << "the system's reason follows";
  }
}

TEST(AppDataWin, ReadFileIfExistsTellsFilesFromFoldersAndLimitsTheSize) {
  test::TempDir temp;
  EXPECT_FALSE(ReadFileIfExists(Utf8(temp.path() / "none.cfg"), 100));
  EXPECT_FALSE(ReadFileIfExists(Utf8(temp.path()), 100)) << "a folder is no file";

  const fs::path file = temp.path() / "RemoteSender.cfg";
  ReplaceFile(Utf8(file), std::string("a\0b", 3));
  EXPECT_EQ(ReadFileIfExists(Utf8(file), 3), std::string("a\0b", 3));
  EXPECT_THROW(ReadFileIfExists(Utf8(file), 2), std::runtime_error);
}

}  // namespace
}  // namespace qvr
