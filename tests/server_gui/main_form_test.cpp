#include "server/gui/main_form.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "gui_common/qt_dispatcher.h"
#include "ipc/slot_channel.h"
#include "server/command_document.h"
#include "tests/server_gui/gui_test_support.h"
#include "tests/support/temp_dir.h"

namespace qvr::server {
namespace {

using test::SpinUntil;

// A form on an ephemeral port with the slot "Quelvane\Messages" owned by the test, in
// folders of its own.
class MainFormTest : public testing::Test {
 protected:
  MainFormTest() {
    form_ = std::make_unique<TMainForm>(ServerFormOptions{.port = 0}, [this] { ++exits_; });
  }

  void SetUp() override { ASSERT_TRUE(slot_.Owns()); }

  std::string NextSlotMessage() { return slot_.Next(); }

  template <class T>
  T* Find(const char* name) {
    return form_->findChild<T*>(name);
  }

  test::IsolatedUserDirs dirs_;
  gui::QtDispatcher dispatcher_;
  test::SlotDrain slot_{kMessagesSlot};
  int exits_ = 0;
  std::unique_ptr<TMainForm> form_;
};

TEST_F(MainFormTest, WindowHasItsCaptionSizeAndFont) {
  EXPECT_EQ(form_->objectName(), "MainForm");
  EXPECT_EQ(form_->windowTitle(), "MainForm");
  EXPECT_EQ(form_->size(), QSize(690, 420));
  EXPECT_EQ(form_->font().family(), "MS Shell Dlg 2");
  EXPECT_EQ(form_->font().pointSize(), 8);
  EXPECT_TRUE(form_->windowFlags().testFlag(Qt::Tool));
}

TEST_F(MainFormTest, ComponentsSitAtTheirPlacesWithTheirCaptions) {
  const struct {
    const char* name;
    QRect geometry;  // an empty size: the position alone is fixed
    QString caption;
  } cases[] = {
      {"TntLabel1", {8, 32, 0, 0}, "Action:"},   {"TntLabel2", {8, 64, 0, 0}, "Param1:"},
      {"TntLabel3", {8, 96, 0, 0}, "Param2:"},   {"edAction", {56, 24, 369, 21}, ""},
      {"edParam1", {56, 56, 369, 21}, ""},       {"edParam2", {56, 88, 369, 21}, ""},
      {"TntButton1", {440, 85, 75, 25}, "Send"}, {"Memo1", {176, 128, 313, 201}, "Memo1"},
  };
  for (const auto& c : cases) {
    QWidget* widget = Find<QWidget>(c.name);
    ASSERT_NE(widget, nullptr) << c.name;
    EXPECT_EQ(widget->pos(), c.geometry.topLeft()) << c.name;
    if (!c.geometry.size().isEmpty()) {
      EXPECT_EQ(widget->size(), c.geometry.size()) << c.name;
    }
    QString caption;
    if (auto* label = qobject_cast<QLabel*>(widget)) caption = label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) caption = edit->text();
    if (auto* button = qobject_cast<QPushButton*>(widget)) caption = button->text();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(widget)) caption = memo->toPlainText();
    EXPECT_EQ(caption, c.caption) << c.name;
  }
  EXPECT_NE(Find<QLineEdit>("edAction"), nullptr);
  EXPECT_NE(Find<QPushButton>("TntButton1"), nullptr);
  EXPECT_NE(Find<QPlainTextEdit>("Memo1"), nullptr);
}

TEST_F(MainFormTest, TabOrderRunsThroughTheTestPanelToTheMemo) {
  std::vector<QString> order;
  QWidget* widget = Find<QWidget>("edAction");
  ASSERT_NE(widget, nullptr);
  order.push_back(widget->objectName());
  for (QWidget* next = widget->nextInFocusChain(); next != widget && order.size() < 20;
       next = next->nextInFocusChain()) {
    if (next->focusPolicy() & Qt::TabFocus) order.push_back(next->objectName());
  }
  EXPECT_EQ(order,
            (std::vector<QString>{"edAction", "edParam1", "edParam2", "TntButton1", "Memo1"}));
}

TEST_F(MainFormTest, WindowIsNeverShown) {
  EXPECT_FALSE(form_->isVisible());
  form_->FormCreate();
  form_->show();
  QApplication::processEvents();
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(form_->testAttribute(Qt::WA_WState_Visible));
  for (QWidget* top : QApplication::topLevelWidgets()) {
    EXPECT_FALSE(top->isVisible()) << top->objectName().toStdString();
  }
}

TEST_F(MainFormTest, TrayIconHasTooltipPictureAndOneEntryMenu) {
  QSystemTrayIcon* tray = form_->CoolTrayIcon1();
  ASSERT_NE(tray, nullptr);
  EXPECT_TRUE(tray->isVisible());
  EXPECT_EQ(tray->toolTip(), "Quelvane Remote Server");
  EXPECT_FALSE(tray->icon().isNull());
  EXPECT_FALSE(tray->icon().pixmap(16, 16).isNull());
  ASSERT_EQ(tray->contextMenu(), form_->PopupMenu1());
  const auto actions = tray->contextMenu()->actions();
  ASSERT_EQ(actions.size(), 1);
  EXPECT_EQ(actions[0]->text(), "&Beenden");
  EXPECT_EQ(actions[0]->objectName(), "Beenden1");
}

TEST_F(MainFormTest, LeftClickAndDoubleClickOnTheIconDoNothing) {
  form_->FormCreate();
  for (auto reason :
       {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick, QSystemTrayIcon::MiddleClick}) {
    Q_EMIT form_->CoolTrayIcon1()->activated(reason);
  }
  QApplication::processEvents();
  EXPECT_EQ(exits_, 0);
  EXPECT_TRUE(form_->Core().Listening());
  EXPECT_FALSE(form_->isVisible());
  EXPECT_FALSE(form_->PopupMenu1()->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainFormTest, SendWritesTheCommandDocumentIntoTheSlot) {
  form_->FormCreate();
  Find<QLineEdit>("edAction")->setText("SetPage");
  Find<QLineEdit>("edParam1")->setText("12");
  Find<QPushButton>("TntButton1")->click();
  Find<QPushButton>("TntButton1")->click();  // each press sends its own document
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\n"
      "<QuelvaneIPC><Remote><SetPage Param1=\"12\" Param2=\"\"/></Remote></QuelvaneIPC>\n";
  EXPECT_EQ(NextSlotMessage(), expected);
  EXPECT_EQ(NextSlotMessage(), expected);
}

TEST_F(MainFormTest, RefusedActionGoesToTheTopLevelAndWritesNothing) {
  test::TopLevelCatcher caught;
  form_->FormCreate();
  Find<QLineEdit>("edAction")->setText("Set Page");
  Find<QPushButton>("TntButton1")->click();
  ASSERT_EQ(caught.messages(),
            (std::vector<std::string>{"Illegal character in node name \"Set Page\""}));
  // The next message in the slot is the one sent after the refusal.
  Find<QLineEdit>("edAction")->setText("Next");
  Find<QPushButton>("TntButton1")->click();
  EXPECT_NE(NextSlotMessage().find("<Next Param1=\"\" Param2=\"\"/>"), std::string::npos);
}

TEST_F(MainFormTest, MemoShowsExactlyTheLatestRelayedMessage) {
  form_->FormCreate();
  auto* memo = Find<QPlainTextEdit>("Memo1");
  EXPECT_EQ(memo->toPlainText(), "Memo1");
  test::LoopbackPeer peer(form_->Core().ListeningPort());
  EXPECT_EQ(peer.ReadLine(), "#1: QVRemote 0.1\r\n");
  peer.Send("Hello\f");
  ASSERT_TRUE(SpinUntil([&] { return memo->toPlainText() == "Hello"; }))
      << memo->toPlainText().toStdString();
  EXPECT_EQ(NextSlotMessage(), "Hello");
  peer.Send("second line\f");
  ASSERT_TRUE(SpinUntil([&] { return memo->toPlainText() == "second line"; }));
  EXPECT_EQ(NextSlotMessage(), "second line");
  peer.Send("\f");  // an empty message empties the memo
  ASSERT_TRUE(SpinUntil([&] { return memo->toPlainText().isEmpty(); }));
  EXPECT_EQ(NextSlotMessage(), "");
  EXPECT_FALSE(form_->isVisible());
}

TEST_F(MainFormTest, BeendenStopsTheListenerAndEndsTheProgram) {
  form_->FormCreate();
  ASSERT_TRUE(form_->Core().Listening());
  form_->PopupMenu1()->actions().at(0)->trigger();
  EXPECT_EQ(exits_, 1);
  EXPECT_FALSE(form_->Core().Listening());
  EXPECT_FALSE(form_->CoolTrayIcon1()->isVisible());
  form_.reset();  // the components go after the core has stopped
}

// Forwards to the GUI thread's dispatcher and counts the hand-offs posted.
class CountingDispatcher final : public Dispatcher {
 public:
  explicit CountingDispatcher(Dispatcher& target) : target_(target) {}
  void Post(Task task) override {
    target_.Post(std::move(task));
    ++posted;
  }
  std::atomic<int> posted{0};

 private:
  Dispatcher& target_;
};

TEST_F(MainFormTest, MessageHandedOffWhileExitingIsDroppedAndNothingWaits) {
  CountingDispatcher counting(dispatcher_);
  form_.reset();
  form_ = std::make_unique<TMainForm>(ServerFormOptions{.port = 0, .ui = &counting},
                                      [this] { ++exits_; });
  form_->FormCreate();
  test::LoopbackPeer peer(form_->Core().ListeningPort());
  EXPECT_EQ(peer.ReadLine(), "#1: QVRemote 0.1\r\n");
  peer.Send("late\f");
  // The connection's thread now waits for this thread, which has not run the hand-off.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (counting.posted == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(counting.posted, 1);
  form_->Beenden1Click();  // returns although the connection waits on this thread
  EXPECT_EQ(exits_, 1);
  EXPECT_EQ(peer.ReadLine(), "");  // the connection was closed
  QApplication::processEvents();   // the pending hand-off finds nothing to reach
  EXPECT_EQ(Find<QPlainTextEdit>("Memo1")->toPlainText(), "Memo1");
  form_.reset();
  QApplication::processEvents();
}

TEST_F(MainFormTest, BindFailureLeavesTheTestPanelWorking) {
  test::PortBlocker blocker;
  form_.reset();
  form_ = std::make_unique<TMainForm>(ServerFormOptions{.port = blocker.port()}, [] {});
  test::TopLevelCatcher caught;
  gui::RunGuarded([&] { form_->FormCreate(); });
  ASSERT_EQ(
      caught.messages(),
      (std::vector<std::string>{"Could not bind socket. Address and port are already in use."}));
  EXPECT_FALSE(form_->Core().Listening());
  Find<QLineEdit>("edAction")->setText("Still");
  Find<QPushButton>("TntButton1")->click();
  EXPECT_NE(NextSlotMessage().find("<Still "), std::string::npos);
}

}  // namespace
}  // namespace qvr::server
