// The client's main window: hidden for good, its tray icon and menu, the way it opens the
// settings dialog and ends the program, and the error box for a failed forward.
#include "client/gui/main_form.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "client/gui/error_box.h"
#include "client/gui/settings_dialog.h"
#include "gui_common/message_box.h"
#include "gui_common/qt_dispatcher.h"
#include "gui_common/top_level.h"
#include "ipc/mailslot_writer.h"
#include "tests/client/forwarder_test_server.h"
#include "tests/client_gui/block_watcher.h"
#include "tests/support/temp_dir.h"

namespace qvr::client_gui {
namespace {

using namespace std::chrono_literals;

// Runs the Qt loop until `done` answers true; gives up after a generous wait.
bool ProcessUntil(const std::function<bool()>& done) {
  const auto limit = std::chrono::steady_clock::now() + 10s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

class ClientMainFormTest : public ::testing::Test {
 protected:
  ClientMainFormTest() {
    gui::MessageBox::Reset();
    gui::SetTopLevelHandler(&ShowErrorBox);
  }
  ~ClientMainFormTest() override {
    gui::SetTopLevelHandler(nullptr);
    gui::MessageBox::Reset();
  }

  static gui::MessageBox::Asked LastBox() {
    const auto& asked = gui::MessageBox::AskedSoFar();
    return asked.empty() ? gui::MessageBox::Asked{} : asked.back();
  }

  void MakeForm(client::RelayClientOptions options = {}) {
    form_ = std::make_unique<TMainForm>(settings_, options);
    dialog_ = std::make_unique<TdlSettings>(settings_);
    form_->SetSettingsDialog(dialog_.get());
  }

  QSystemTrayIcon* Tray() { return form_->findChild<QSystemTrayIcon*>("CoolTrayIcon1"); }
  QAction* Action(const char* name) { return form_->findChild<QAction*>(name); }

  // Runs `trigger`; when it opens the dialog, `inside` runs in the dialog's loop and must
  // close it. Returns whether the dialog was open.
  bool OpensDialog(const std::function<void()>& trigger, const std::function<void()>& inside = {}) {
    bool opened = false;
    QTimer::singleShot(0, dialog_.get(), [&] {
      opened = dialog_->IsOpen();
      if (!opened) return;
      if (inside) inside();
      if (dialog_->IsOpen()) dialog_->reject();
    });
    trigger();
    QCoreApplication::processEvents();
    return opened;
  }

  void Type(const QString& text) {
    auto* edit = dialog_->findChild<QLineEdit*>("edHost");
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }

  void Send(std::string_view message) {
    TMailSlotWriter writer(client::kSenderSlotName);
    ASSERT_EQ(writer.Write(message.data(), static_cast<std::int32_t>(message.size())),
              static_cast<std::int32_t>(message.size()));
  }

  test::IsolatedUserDirs dirs_;
  gui::QtDispatcher dispatcher_;
  TSettings settings_;
  std::unique_ptr<TMainForm> form_;
  std::unique_ptr<TdlSettings> dialog_;
};

TEST_F(ClientMainFormTest, WindowIsNeverShown) {
  MakeForm();
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Remote Client (Sender)"));
  EXPECT_EQ(form_->size(), QSize(459, 292));
  EXPECT_FALSE(form_->isVisible());
  form_->show();
  form_->setVisible(true);
  EXPECT_FALSE(form_->isVisible());
  for (QWidget* window : QApplication::topLevelWidgets()) {
    EXPECT_FALSE(window->isVisible()) << window->objectName().toStdString();
  }
}

TEST_F(ClientMainFormTest, TrayIconHasTooltipPictureAndMenu) {
  MakeForm();
  QSystemTrayIcon* tray = Tray();
  ASSERT_NE(tray, nullptr);
  EXPECT_TRUE(tray->isVisible());
  EXPECT_EQ(tray->toolTip(), QStringLiteral("Quelvane Remote Client (Sender)"));
  for (int size : {16, 24, 32, 48}) {
    EXPECT_EQ(tray->icon().pixmap(size, size).size(), QSize(size, size)) << size;
  }
  QMenu* menu = tray->contextMenu();
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu->objectName(), QStringLiteral("pmTray"));
  EXPECT_EQ(menu->defaultAction(), nullptr);
  std::vector<std::pair<QString, QString>> entries;
  for (QAction* action : menu->actions())
    entries.emplace_back(action->objectName(), action->text());
  const std::vector<std::pair<QString, QString>> expected = {{"Einstellungen1", "Einstellungen..."},
                                                             {"Beenden1", "Beenden"}};
  EXPECT_EQ(entries, expected);
}

TEST_F(ClientMainFormTest, MenuEntryAndDoubleClickOpenTheDialogOtherClicksDoNot) {
  MakeForm();
  const struct {
    const char* what;
    std::function<void()> trigger;
    bool opens;
  } cases[] = {
      {"Einstellungen...", [&] { Action("Einstellungen1")->trigger(); }, true},
      {"double click", [&] { emit Tray()->activated(QSystemTrayIcon::DoubleClick); }, true},
      {"single click", [&] { emit Tray()->activated(QSystemTrayIcon::Trigger); }, false},
      {"middle click", [&] { emit Tray()->activated(QSystemTrayIcon::MiddleClick); }, false},
      {"menu request", [&] { emit Tray()->activated(QSystemTrayIcon::Context); }, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OpensDialog(c.trigger), c.opens) << c.what;
    EXPECT_FALSE(dialog_->isVisible()) << c.what;
  }
}

TEST_F(ClientMainFormTest, TrayStaysUsableWhileTheDialogIsOpen) {
  MakeForm();
  settings_.SetHost(u"stored");
  bool still_open = false;
  OpensDialog([&] { Action("Einstellungen1")->trigger(); },
              [&] {
                Type(QStringLiteral("typed"));
                emit Tray()->activated(QSystemTrayIcon::DoubleClick);
                Action("Einstellungen1")->trigger();
                still_open = dialog_->IsOpen();
                dialog_->accept();
              });
  EXPECT_TRUE(still_open);
  EXPECT_EQ(settings_.Host(), u"typed");
}

TEST_F(ClientMainFormTest, BeendenEndsTheLoopAndClosesAnOpenDialogAsCancelled) {
  MakeForm();
  settings_.SetHost(u"stored");
  bool dialog_was_open = false;
  QTimer::singleShot(0, form_.get(), [&] {
    OpensDialog([&] { Action("Einstellungen1")->trigger(); },
                [&] {
                  dialog_was_open = true;
                  Type(QStringLiteral("typed"));
                  Action("Beenden1")->trigger();
                });
  });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_TRUE(dialog_was_open);
  EXPECT_FALSE(dialog_->isVisible());
  EXPECT_EQ(settings_.Host(), u"stored");
}

TEST_F(ClientMainFormTest, BeendenWithoutDialogEndsTheLoop) {
  MakeForm();
  QTimer::singleShot(0, form_.get(), [&] { Action("Beenden1")->trigger(); });
  EXPECT_EQ(QApplication::exec(), 0);
}

TEST_F(ClientMainFormTest, ErrorBoxShowsInnermostTextWithItsPeriodUnderTheProgramTitle) {
  const struct {
    std::function<void()> raise;
    QString text;
  } cases[] = {
      {[] { throw client::ConnectTimeoutError(); }, "Connect timed out."},
      {[] { throw client::SocketError(10061, "Connection refused."); },
       "Socket Error # 10061\nConnection refused."},
      {[] { throw std::runtime_error("Host unknown"); }, "Host unknown."},
      {[] { throw std::runtime_error("Wirklich?"); }, "Wirklich?."},
      {[] { throw std::runtime_error("Fertig!"); }, "Fertig!"},
      {[] { throw std::runtime_error("Ende -"); }, "Ende -"},
      {[] { throw std::runtime_error("Pfad /"); }, "Pfad /."},
      {[] {
         try {
           throw std::runtime_error("inner");
         } catch (...) {
           std::throw_with_nested(std::runtime_error("outer"));
         }
       },
       "inner."},
  };
  for (const auto& c : cases) {
    gui::MessageBox::SetNextAnswer(QMessageBox::Ok);
    dispatcher_.Post(c.raise);
    EXPECT_TRUE(ProcessUntil([] { return gui::MessageBox::PendingAnswers() == 0; }));
    EXPECT_EQ(LastBox().text, c.text);
    // The test program is client_gui_test: up to its first period, the first character as
    // it is.
    EXPECT_EQ(LastBox().title, QStringLiteral("client_gui_test"));
  }
}

// The visible message box, if one is open.
QMessageBox* OpenBox() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(window);
    if (box && box->isVisible()) return box;
  }
  return nullptr;
}

// Shows a real error box for `message` and runs `inside` while it is open; the box is then
// answered with OK. Returns whether `inside` ran.
bool WhileErrorBoxOpen(std::string_view message, const std::function<void(QMessageBox&)>& inside) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    QMessageBox* box = OpenBox();
    if (!box) return;
    ran = true;
    inside(*box);
    box->button(QMessageBox::Ok)->click();
  });
  QTimer rescue;
  rescue.setSingleShot(true);
  QObject::connect(&rescue, &QTimer::timeout, [] {
    ADD_FAILURE() << "the error box stayed open";
    if (QMessageBox* box = OpenBox()) box->reject();
  });
  rescue.start(10000);
  ShowErrorText(message);
  return ran;
}

TEST_F(ClientMainFormTest, ErrorBoxBlocksNoOtherWindowAndOpensMidScreen) {
  MakeForm();
  BlockWatcher other;
  other.show();
  EXPECT_TRUE(WhileErrorBoxOpen("Verbindung weg", [&](QMessageBox& box) {
    EXPECT_FALSE(other.blocked);
    EXPECT_EQ(box.icon(), QMessageBox::Critical);
    EXPECT_EQ(box.standardButtons(), QMessageBox::Ok);
    EXPECT_EQ(box.windowTitle(), QStringLiteral("client_gui_test"));
    EXPECT_EQ(box.text(), QStringLiteral("Verbindung weg."));
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((box.frameGeometry().center() - centre).manhattanLength(), 40);
  }));
  // Once the main window is gone, a box (such as the end step's) blocks the whole program;
  // the watcher sees that.
  dialog_.reset();
  form_.reset();
  EXPECT_TRUE(WhileErrorBoxOpen("Datei", [&](QMessageBox&) { EXPECT_TRUE(other.blocked); }));
}

TEST_F(ClientMainFormTest, FailedForwardShowsTheErrorAndTheProgramGoesOn) {
  std::uint16_t closed_port = 0;
  {
    test::ForwarderTestServer gone;
    closed_port = gone.port();
  }
  settings_.SetHost(u"127.0.0.1");
  MakeForm({.port = closed_port});
  ASSERT_TRUE(form_->Core().ReaderOwnsSlot());
  const QString refused =
      QStringLiteral("Socket Error # %1\n%2.")
          .arg(ECONNREFUSED)
          .arg(QString::fromStdString(
              std::error_code(ECONNREFUSED, std::generic_category()).message()));
  for (int i = 0; i < 2; ++i) {
    gui::MessageBox::SetNextAnswer(QMessageBox::Ok);
    Send("abc");
    ASSERT_TRUE(ProcessUntil([] { return gui::MessageBox::PendingAnswers() == 0; })) << i;
    EXPECT_EQ(LastBox().text, refused);
  }
}

TEST_F(ClientMainFormTest, OkWithANewHostEndsTheRelayConnectionAtOnce) {
  test::ForwarderTestServer server;
  settings_.SetHost(u"127.0.0.1");
  MakeForm({.port = server.port()});
  Send("one");
  ASSERT_TRUE(ProcessUntil([&] { return server.Bytes(0).size() == 4; }));
  EXPECT_EQ(server.Bytes(0), "one\f");

  // The same host typed again keeps the connection.
  OpensDialog([&] { Action("Einstellungen1")->trigger(); },
              [&] {
                Type(QStringLiteral("127.0.0.1"));
                dialog_->accept();
              });
  Send("two");
  ASSERT_TRUE(ProcessUntil([&] { return server.Bytes(0).size() == 8; }));
  EXPECT_EQ(server.ConnectionCount(), 1u);

  // Another spelling of the same server is a new host: the connection ends now, and the
  // next message opens a new one.
  OpensDialog([&] { Action("Einstellungen1")->trigger(); },
              [&] {
                Type(QStringLiteral("localhost"));
                dialog_->accept();
              });
  EXPECT_TRUE(server.WaitForPeerClose(0));
  Send("three");
  ASSERT_TRUE(ProcessUntil([&] { return server.Bytes(1).size() == 6; }));
  EXPECT_EQ(server.Bytes(1), "three\f");
}

TEST_F(ClientMainFormTest, ReleasingTheWindowFreesTheSlotForTheNextCopy) {
  MakeForm();
  EXPECT_TRUE(form_->Core().ReaderOwnsSlot());
  TMainForm second(settings_);
  EXPECT_FALSE(second.Core().ReaderOwnsSlot());
  dialog_.reset();
  form_.reset();
  TMainForm third(settings_);
  EXPECT_TRUE(third.Core().ReaderOwnsSlot());
}

}  // namespace
}  // namespace qvr::client_gui
