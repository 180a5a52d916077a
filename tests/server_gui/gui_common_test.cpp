#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>
#include <stdexcept>
#include <string>
#include <vector>

#include "gui_common/message_box.h"
#include "gui_common/top_level.h"

namespace qvr::gui {
namespace {

class Thrower : public QObject {
 public:
  bool event(QEvent* event) override {
    if (event->type() == QEvent::User) throw std::runtime_error("thrown in a handler");
    return QObject::event(event);
  }
};

class Collected {
 public:
  Collected()
      : previous_(SetTopLevelHandler([this](std::exception_ptr error) {
          try {
            std::rethrow_exception(error);
          } catch (const std::exception& e) {
            messages.push_back(e.what());
          }
        })) {}
  ~Collected() { SetTopLevelHandler(previous_); }
  std::vector<std::string> messages;

 private:
  ExceptionHandler previous_;
};

TEST(TopLevelTest, ExceptionInAnEventHandlerGoesToTheHandlerNotThroughTheLoop) {
  Collected collected;
  Thrower thrower;
  QEvent sent(QEvent::User);
  QCoreApplication::sendEvent(&thrower, &sent);
  QCoreApplication::postEvent(&thrower, new QEvent(QEvent::User));
  QCoreApplication::processEvents();
  EXPECT_EQ(collected.messages,
            (std::vector<std::string>{"thrown in a handler", "thrown in a handler"}));
}

TEST(TopLevelTest, RunGuardedReportsAndReturns) {
  Collected collected;
  bool after = false;
  RunGuarded([] { throw std::logic_error("from a slot"); });
  after = true;
  EXPECT_TRUE(after);
  EXPECT_EQ(collected.messages, (std::vector<std::string>{"from a slot"}));
}

class MessageBoxTest : public testing::Test {
 protected:
  MessageBoxTest() { MessageBox::Reset(); }
  ~MessageBoxTest() override { MessageBox::Reset(); }
};

TEST_F(MessageBoxTest, PreparedAnswersAreUsedInOrderWithoutShowingABox) {
  MessageBox::SetNextAnswer(QMessageBox::No);
  MessageBox::SetNextAnswer(QMessageBox::Yes);
  MessageBox::SetNextChoice(2);
  EXPECT_EQ(MessageBox::PendingAnswers(), 3u);
  EXPECT_EQ(MessageBox::Show(nullptr, QMessageBox::Question, "T1", "first",
                             QMessageBox::Yes | QMessageBox::No),
            QMessageBox::No);
  EXPECT_EQ(MessageBox::Choose(nullptr, QMessageBox::Critical, "T2", "second", {"a", "b", "c"}), 2);
  EXPECT_EQ(MessageBox::Show(nullptr, QMessageBox::Question, "T3", "third",
                             QMessageBox::Yes | QMessageBox::No),
            QMessageBox::Yes);
  EXPECT_EQ(MessageBox::PendingAnswers(), 0u);
  ASSERT_EQ(MessageBox::AskedSoFar().size(), 3u);
  EXPECT_EQ(MessageBox::AskedSoFar()[1].title, "T2");
  EXPECT_EQ(MessageBox::AskedSoFar()[1].text, "second");
}

TEST_F(MessageBoxTest, UnpreparedChooseShowsTheButtonsAndReturnsTheOnePressed) {
  QStringList captions;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    for (QAbstractButton* button : box->buttons()) captions << button->text();
    for (QAbstractButton* button : box->buttons()) {
      if (button->text() == "second") button->click();
    }
  });
  QTimer safety_net;  // so that a failure cannot hang the run
  safety_net.setSingleShot(true);
  QObject::connect(&safety_net, &QTimer::timeout, [] {
    if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
  });
  safety_net.start(10000);
  EXPECT_EQ(MessageBox::Choose(nullptr, QMessageBox::Critical, "Title", "Text",
                               {"first", "second", "third"}),
            1);
  captions.sort();
  EXPECT_EQ(captions, (QStringList{"first", "second", "third"}));
}

}  // namespace
}  // namespace qvr::gui
