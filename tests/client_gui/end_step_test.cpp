// The tray program's end step: the settings file is written; when it cannot be, the error
// box says so and the end goes on.
#include "client/gui/end_step.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "gui_common/message_box.h"
#include "tests/support/temp_dir.h"

namespace qvr::client_gui {
namespace {

class ClientEndStepTest : public ::testing::Test {
 protected:
  ClientEndStepTest() { gui::MessageBox::Reset(); }
  ~ClientEndStepTest() override { gui::MessageBox::Reset(); }

  std::filesystem::path Folder() const { return dirs_.data_dir() / "Quelvane" / "Remote Sender"; }

  test::IsolatedUserDirs dirs_;
};

TEST_F(ClientEndStepTest, WritesTheFileWithoutABox) {
  TSettingsStore store;
  store.Settings().SetHost(u"pc-buehne");
  SaveSettingsAtEnd(store);
  std::ifstream file(Folder() / "RemoteSender.cfg", std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(file), {}};
  EXPECT_NE(text.find("  Host = 'pc-buehne'\r\n"), std::string::npos) << text;
  EXPECT_TRUE(gui::MessageBox::AskedSoFar().empty());
}

TEST_F(ClientEndStepTest, FileThatCannotBeWrittenIsReportedInTheErrorBox) {
  // A plain file where the settings folder belongs: neither the folder nor the file can be
  // made.
  std::filesystem::create_directories(Folder().parent_path());
  std::ofstream(Folder()) << "in the way";
  TSettingsStore store;
  gui::MessageBox::SetNextAnswer(QMessageBox::Ok);
  SaveSettingsAtEnd(store);
  ASSERT_EQ(gui::MessageBox::AskedSoFar().size(), 1u);
  const auto& box = gui::MessageBox::AskedSoFar().front();
  EXPECT_EQ(box.title, QStringLiteral("client_gui_test"));
  EXPECT_TRUE(box.text.startsWith(QStringLiteral("Cannot create file"))) << box.text.toStdString();
  EXPECT_TRUE(box.text.endsWith(QStringLiteral("."))) << box.text.toStdString();
  EXPECT_EQ(gui::MessageBox::PendingAnswers(), 0u);
}

}  // namespace
}  // namespace qvr::client_gui
