#include "server/gui/crash_reporter.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QUrlQuery>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "gui_common/message_box.h"
#include "server/gui/send_assistant.h"
#include "tests/support/temp_dir.h"

namespace qvr::server {
namespace {

using gui::MessageBox;

class CrashReporterTest : public testing::Test {
 protected:
  CrashReporterTest()
      : reporter_(log_, {.close = [this] { ++closes_; },
                         .restart = [this] { ++restarts_; },
                         .send_mail = [this](const BugMail& mail) { mails_.push_back(mail); },
                         .grab_screen = [] { return Screen(); }}) {
    MessageBox::Reset();
  }
  ~CrashReporterTest() override {
    EXPECT_EQ(MessageBox::PendingAnswers(), 0u);
    MessageBox::Reset();
  }

  std::string FileContent() const {
    std::ifstream in(log_.file(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // A small picture with more colours than 8 bits can hold exactly.
  static QImage Screen() {
    QImage image(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y) {
      for (int x = 0; x < 64; ++x) image.setPixel(x, y, qRgb(x * 4, y * 4, (x + y) * 2));
    }
    return image;
  }

  static std::exception_ptr Failure(const char* message) {
    return std::make_exception_ptr(std::runtime_error(message));
  }

  test::IsolatedUserDirs dirs_;
  BugReportLog log_;
  int closes_ = 0;
  int restarts_ = 0;
  std::vector<BugMail> mails_;
  CrashReporter reporter_;
};

TEST_F(CrashReporterTest, DialogShowsTitleTextAndTheFiveButtons) {
  MessageBox::SetNextChoice(CrashReporter::kContinue);
  reporter_.Handle(Failure("Could not bind socket. Address and port are already in use."));
  ASSERT_EQ(MessageBox::AskedSoFar().size(), 1u);
  EXPECT_EQ(MessageBox::AskedSoFar()[0].title, "QVRemoteServer");
  EXPECT_EQ(MessageBox::AskedSoFar()[0].text,
            "An error occurred in the application.\n\n"
            "Could not bind socket. Address and port are already in use.");
  EXPECT_EQ(CrashReporter::Buttons(),
            (QStringList{"send bug report", "show bug report", "continue application",
                         "restart application", "close application"}));
  EXPECT_NE(FileContent().find("message   : Could not bind socket."), std::string::npos);
}

TEST_F(CrashReporterTest, ButtonsLeadToContinueRestartOrClose) {
  const struct {
    CrashReporter::Choice choice;
    int closes;
    int restarts;
  } cases[] = {
      {CrashReporter::kContinue, 0, 0},
      {CrashReporter::kRestart, 0, 1},
      {CrashReporter::kClose, 1, 0},
  };
  int n = 0;
  for (const auto& c : cases) {
    closes_ = restarts_ = 0;
    MessageBox::SetNextChoice(c.choice);
    reporter_.Handle(Failure(("failure " + std::to_string(n++)).c_str()));
    EXPECT_EQ(closes_, c.closes) << c.choice;
    EXPECT_EQ(restarts_, c.restarts) << c.choice;
  }
}

TEST_F(CrashReporterTest, RepeatedExceptionIsNeitherShownNorWrittenAgain) {
  MessageBox::SetNextChoice(CrashReporter::kContinue);
  reporter_.Handle(Failure("same"));
  const std::string after_first = FileContent();
  reporter_.Handle(Failure("same"));
  EXPECT_EQ(MessageBox::AskedSoFar().size(), 1u);
  EXPECT_EQ(FileContent(), after_first);
  MessageBox::SetNextChoice(CrashReporter::kContinue);
  reporter_.Handle(Failure("different"));
  EXPECT_EQ(MessageBox::AskedSoFar().size(), 2u);
}

TEST_F(CrashReporterTest, ShowBugReportShowsTheReportThenAsksAgain) {
  MessageBox::SetNextChoice(CrashReporter::kShow);
  MessageBox::SetNextAnswer(QMessageBox::Ok);
  MessageBox::SetNextChoice(CrashReporter::kContinue);
  reporter_.Handle(Failure("shown"));
  ASSERT_EQ(MessageBox::AskedSoFar().size(), 3u);
  EXPECT_EQ(MessageBox::AskedSoFar()[1].text.toStdString(), FileContent());
  EXPECT_EQ(MessageBox::AskedSoFar()[2].title, "QVRemoteServer");
}

TEST_F(CrashReporterTest, SendHandsTheMailWithReportAndScreenshotToTheMailProgram) {
  MessageBox::SetNextChoice(CrashReporter::kSend);
  SendAssistant::SetNextAnswer(SenderDetails{"Ann", "ann@example.org", "pressed Send", true});
  MessageBox::SetNextChoice(CrashReporter::kContinue);
  reporter_.Handle(Failure("mailed"));
  ASSERT_EQ(mails_.size(), 1u);
  const BugMail& mail = mails_[0];
  EXPECT_EQ(mail.subject, "bug report");
  EXPECT_TRUE(mail.body.startsWith("please find the bug report attached\n"))
      << mail.body.toStdString();
  EXPECT_TRUE(mail.body.contains("your name: Ann\n"));
  EXPECT_TRUE(mail.body.contains("your email: ann@example.org\n"));
  EXPECT_TRUE(mail.body.contains("pressed Send"));
  EXPECT_TRUE(mail.body.endsWith(QString::fromStdString(FileContent())));
  const auto outbox = reporter_.OutboxFolder();
  ASSERT_EQ(mail.attachments,
            (QStringList{QString::fromStdString((outbox / "bugreport.txt").string()),
                         QString::fromStdString((outbox / "screenshot.png").string())}));
  std::ifstream attached(outbox / "bugreport.txt", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(attached), {}), FileContent());
  QImage shot(mail.attachments[1]);
  ASSERT_FALSE(shot.isNull());
  EXPECT_EQ(shot.size(), QSize(64, 64));
  EXPECT_EQ(shot.format(), QImage::Format_Indexed8);
}

TEST_F(CrashReporterTest, ScreenshotCanBeLeftOut) {
  MessageBox::SetNextChoice(CrashReporter::kSend);
  SendAssistant::SetNextAnswer(SenderDetails{"", "ann@example.org", "", false});
  MessageBox::SetNextChoice(CrashReporter::kContinue);
  reporter_.Handle(Failure("without picture"));
  ASSERT_EQ(mails_.size(), 1u);
  ASSERT_EQ(mails_[0].attachments.size(), 1);
  EXPECT_TRUE(mails_[0].attachments[0].endsWith("/bugreport.txt"));
}

TEST(CrashReporterMailTest, MailtoLinkHasSubjectAndBodyAndNoRecipient) {
  const QUrl url =
      CrashReporter::MailUrl({"bug report", "please find the bug report attached\n& more", {}});
  EXPECT_EQ(url.scheme(), "mailto");
  EXPECT_TRUE(url.path().isEmpty());
  const QUrlQuery query(url);
  EXPECT_EQ(query.queryItemValue("subject", QUrl::FullyDecoded), "bug report");
  EXPECT_EQ(query.queryItemValue("body", QUrl::FullyDecoded),
            "please find the bug report attached\n& more");
}

TEST_F(CrashReporterTest, CancelledSendSendsNothing) {
  MessageBox::SetNextChoice(CrashReporter::kSend);
  SendAssistant::SetNextAnswer(std::nullopt);
  MessageBox::SetNextChoice(CrashReporter::kClose);
  reporter_.Handle(Failure("not mailed"));
  EXPECT_TRUE(mails_.empty());
  EXPECT_EQ(closes_, 1);
}

TEST(SendAssistantTest, AsksForNameEmailAndSituationAndRequiresTheEmail) {
  SendAssistant assistant;
  QStringList labels;
  for (auto* label : assistant.findChildren<QLabel*>()) labels << label->text();
  EXPECT_EQ(labels,
            (QStringList{"your name:", "your email:", "in which situation did the error occur?"}));
  EXPECT_FALSE(assistant.SendButton()->isEnabled());
  assistant.NameEdit()->setText("Ann");
  EXPECT_FALSE(assistant.SendButton()->isEnabled());
  assistant.EmailEdit()->setText("   ");
  EXPECT_FALSE(assistant.SendButton()->isEnabled());
  assistant.EmailEdit()->setText("ann@example.org");
  EXPECT_TRUE(assistant.SendButton()->isEnabled());
  assistant.DescriptionEdit()->setPlainText("at start");
  const SenderDetails details = assistant.Details();
  EXPECT_EQ(details.name, "Ann");
  EXPECT_EQ(details.email, "ann@example.org");
  EXPECT_EQ(details.description, "at start");
  EXPECT_TRUE(details.attach_screenshot);
  assistant.ScreenshotCheck()->setChecked(false);
  EXPECT_FALSE(assistant.Details().attach_screenshot);
}

}  // namespace
}  // namespace qvr::server
