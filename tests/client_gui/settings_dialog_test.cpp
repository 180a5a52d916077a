// The settings dialog: its controls, its keys and buttons, what it stores and when it asks
// for the relay connection to end. Every opening is driven from inside its own loop.
#include "client/gui/settings_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "tests/client_gui/block_watcher.h"

namespace qvr::client_gui {
namespace {

using Step = std::function<void(TdlSettings&)>;

QString Q(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

class ClientSettingsDialogTest : public ::testing::Test {
 protected:
  ClientSettingsDialogTest() : dialog_(settings_) {
    dialog_.SetOnHostChanged(
        [this](const std::u16string& before) { host_changes_.push_back(before); });
  }

  template <class T = QWidget>
  T* Control(const char* name) {
    auto* control = dialog_.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  QLineEdit* Host() { return Control<QLineEdit>("edHost"); }

  // Opens the dialog and runs `step` inside its loop. A step that leaves the dialog open
  // fails the test; the dialog is then cancelled after a generous wait so the test ends.
  int Open(const Step& step) {
    bool step_ran = false;
    QTimer::singleShot(0, &dialog_, [&] {
      step_ran = true;
      step(dialog_);
    });
    QTimer rescue;
    rescue.setSingleShot(true);
    QObject::connect(&rescue, &QTimer::timeout, &dialog_, [this] {
      ADD_FAILURE() << "the dialog stayed open";
      dialog_.reject();
    });
    rescue.start(10000);
    const int result = dialog_.ShowModal();
    EXPECT_TRUE(step_ran);
    EXPECT_FALSE(dialog_.isVisible());
    EXPECT_FALSE(dialog_.IsOpen());
    return result;
  }

  // Replaces the text of edHost as a user would: select all, then type.
  void Type(const QString& text) {
    QTest::keyClick(Host(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(Host(), Qt::Key_Delete);
    for (const QChar c : text) {
      // Key events carry the text; QTest maps only ASCII to keys by itself.
      QTest::sendKeyEvent(QTest::Press, Host(), Qt::Key_unknown, QString(c), Qt::NoModifier);
      QTest::sendKeyEvent(QTest::Release, Host(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
  }

  TSettings settings_;
  TdlSettings dialog_;
  std::vector<std::u16string> host_changes_;
};

struct ControlRow {
  const char* name;
  const char* kind;
  const char* parent;
  QRect place;
  const char* caption;
  bool enabled;
};

TEST_F(ClientSettingsDialogTest, ControlsSitAtTheirPlacesWithTheirCaptions) {
  const ControlRow rows[] = {
      {"GroupBox1", "QGroupBox", "dlSettings", {8, 8, 273, 73}, "Diese Befehle übertragen", true},
      {"cbFilter_Message",
       "QCheckBox",
       "GroupBox1",
       {16, 20, 241, 17},
       "Mitteilung an die Versammlung",
       false},
      {"cbFilter_QVAction_Presenter_SetPage",
       "QCheckBox",
       "GroupBox1",
       {16, 44, 241, 17},
       "Foliennummer",
       false},
      {"TntGroupBox1", "QGroupBox", "dlSettings", {8, 88, 273, 57}, "Netzwerkeinstellungen", true},
      {"TntLabel1", "QLabel", "TntGroupBox1", {8, 28, 26, 13}, "Host:", true},
      {"edHost", "QLineEdit", "TntGroupBox1", {40, 20, 225, 21}, "", true},
      {"BitBtn1", "QPushButton", "dlSettings", {32, 160, 97, 25}, "OK", true},
      {"BitBtn2", "QPushButton", "dlSettings", {168, 160, 97, 25}, "Cancel", true},
  };
  for (const ControlRow& row : rows) {
    SCOPED_TRACE(row.name);
    QWidget* control = Control(row.name);
    ASSERT_NE(control, nullptr);
    EXPECT_STREQ(control->metaObject()->className(), row.kind);
    EXPECT_EQ(control->parentWidget()->objectName(), QString::fromLatin1(row.parent));
    if (qobject_cast<QLabel*>(control)) {
      // A label grows to its text when the font needs more room than the stated size.
      EXPECT_EQ(control->pos(), row.place.topLeft());
      EXPECT_EQ(control->size(), row.place.size().expandedTo(control->sizeHint()));
    } else {
      EXPECT_EQ(control->geometry(), row.place);
    }
    EXPECT_EQ(control->isEnabled(), row.enabled);
    QString caption;
    if (auto* box = qobject_cast<QGroupBox*>(control)) caption = box->title();
    if (auto* button = qobject_cast<QAbstractButton*>(control)) caption = button->text();
    if (auto* label = qobject_cast<QLabel*>(control)) caption = label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(control)) caption = edit->text();
    EXPECT_EQ(caption, QString::fromUtf8(row.caption));
  }
  EXPECT_TRUE(Control<QPushButton>("BitBtn1")->isDefault());
  EXPECT_FALSE(Control<QPushButton>("BitBtn2")->isDefault());
}

TEST_F(ClientSettingsDialogTest, WindowHasFixedSizeTitleFontAndIcon) {
  EXPECT_EQ(dialog_.windowTitle(), QStringLiteral("Remote Sender Konfiguration"));
  EXPECT_EQ(dialog_.size(), QSize(297, 207));
  EXPECT_EQ(dialog_.minimumSize(), QSize(297, 207));
  EXPECT_EQ(dialog_.maximumSize(), QSize(297, 207));
  const Qt::WindowFlags flags = dialog_.windowFlags();
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(dialog_.font().family(), QStringLiteral("MS Shell Dlg 2"));
  EXPECT_EQ(dialog_.font().pointSize(), 8);
  EXPECT_FALSE(dialog_.windowIcon().isNull());
  EXPECT_FALSE(dialog_.windowIcon().pixmap(16, 16).isNull());
  EXPECT_FALSE(dialog_.isVisible());
}

TEST_F(ClientSettingsDialogTest, OpeningShowsTheStoredValuesWithFocusInHost) {
  const struct {
    bool message;
    bool set_page;
    std::u16string host;
  } cases[] = {{true, true, u"pc-buehne"},
               {false, true, u""},
               {true, false, u"B\u00fchne's PC"},
               {false, false, u"10.0.0.7"}};
  for (const auto& c : cases) {
    settings_.SetFilter_Message(c.message);
    settings_.SetFilter_QVAction_Presenter_SetPage(c.set_page);
    settings_.SetHost(c.host);
    Open([&](TdlSettings& d) {
      EXPECT_TRUE(d.isVisible());
      EXPECT_EQ(Control<QCheckBox>("cbFilter_Message")->isChecked(), c.message);
      EXPECT_EQ(Control<QCheckBox>("cbFilter_QVAction_Presenter_SetPage")->isChecked(), c.set_page);
      EXPECT_EQ(Host()->text(), Q(c.host));
      EXPECT_EQ(d.focusWidget(), Host());
      const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
      EXPECT_LE((d.frameGeometry().center() - centre).manhattanLength(), 1);
      d.reject();
    });
  }
}

TEST_F(ClientSettingsDialogTest, TabWalksHostOkCancelAndSkipsTheGreyedBoxes) {
  std::vector<QString> seen;
  Open([&](TdlSettings& d) {
    for (int i = 0; i < 4; ++i) {
      seen.push_back(d.focusWidget()->objectName());
      QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
    }
    d.reject();
  });
  EXPECT_EQ(seen, (std::vector<QString>{"edHost", "BitBtn1", "BitBtn2", "edHost"}));
}

struct CloseRow {
  const char* how;
  std::function<void(TdlSettings&, QLineEdit*)> close;
  int result;
};

TEST_F(ClientSettingsDialogTest, OkAndEnterStoreWhileCancelEscapeAndCloseBoxDiscard) {
  const CloseRow rows[] = {
      {"OK button",
       [](TdlSettings& d, QLineEdit*) {
         QTest::mouseClick(d.findChild<QPushButton*>("BitBtn1"), Qt::LeftButton);
       },
       QDialog::Accepted},
      {"Enter in edHost", [](TdlSettings&, QLineEdit* e) { QTest::keyClick(e, Qt::Key_Return); },
       QDialog::Accepted},
      {"Cancel button",
       [](TdlSettings& d, QLineEdit*) {
         QTest::mouseClick(d.findChild<QPushButton*>("BitBtn2"), Qt::LeftButton);
       },
       QDialog::Rejected},
      {"Escape", [](TdlSettings&, QLineEdit* e) { QTest::keyClick(e, Qt::Key_Escape); },
       QDialog::Rejected},
      {"close box", [](TdlSettings& d, QLineEdit*) { d.close(); }, QDialog::Rejected},
  };
  for (const CloseRow& row : rows) {
    SCOPED_TRACE(row.how);
    settings_ = TSettings();
    settings_.SetHost(u"old-host");
    host_changes_.clear();
    const int result = Open([&](TdlSettings& d) {
      Type(QStringLiteral("new-host"));
      row.close(d, Host());
    });
    EXPECT_EQ(result, row.result);
    TSettings expected;
    expected.SetHost(row.result == QDialog::Accepted ? u"new-host" : u"old-host");
    EXPECT_TRUE(settings_ == expected);
    // The next opening starts from what is stored, not from what was typed.
    Open([&](TdlSettings& d) {
      EXPECT_EQ(Host()->text(), Q(expected.Host()));
      d.reject();
    });
  }
}

TEST_F(ClientSettingsDialogTest, HostIsStoredExactlyAsTypedAndFlagsGoBackUnchanged) {
  const QString typed[] = {QStringLiteral("  pc-buehne  "), QStringLiteral("   "), QString(),
                           QStringLiteral("B\u00fchne's PC")};
  for (const QString& text : typed) {
    SCOPED_TRACE(text.toStdString());
    settings_.SetFilter_Message(false);
    settings_.SetFilter_QVAction_Presenter_SetPage(true);
    settings_.SetHost(u"before");
    EXPECT_EQ(Open([&](TdlSettings&) {
                Type(text);
                QTest::keyClick(Host(), Qt::Key_Enter);
              }),
              QDialog::Accepted);
    EXPECT_EQ(Q(settings_.Host()), text);
    EXPECT_FALSE(settings_.Filter_Message());
    EXPECT_TRUE(settings_.Filter_QVAction_Presenter_SetPage());
  }
}

TEST_F(ClientSettingsDialogTest, FocusComesBackToWhereItWasAtTheLastClose) {
  Open([&](TdlSettings& d) {
    EXPECT_EQ(d.focusWidget(), Host());
    QTest::keyClick(Host(), Qt::Key_Tab);
    QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(d.focusWidget()->objectName(), QStringLiteral("BitBtn2"));
    QTest::keyClick(d.focusWidget(), Qt::Key_Escape);
  });
  Open([&](TdlSettings& d) {
    EXPECT_EQ(d.focusWidget()->objectName(), QStringLiteral("BitBtn2"));
    QTest::keyClick(d.focusWidget(), Qt::Key_Backtab);
    ASSERT_EQ(d.focusWidget()->objectName(), QStringLiteral("BitBtn1"));
    QTest::keyClick(d.focusWidget(), Qt::Key_Space);
  });
  Open([&](TdlSettings& d) {
    EXPECT_EQ(d.focusWidget()->objectName(), QStringLiteral("BitBtn1"));
    d.reject();
  });
}

TEST_F(ClientSettingsDialogTest, RelayConnectionEndsOnlyWhenOkChangedTheHost) {
  const struct {
    const char* what;
    QString typed;
    bool ok;
    std::vector<std::u16string> changes;
  } cases[] = {
      {"OK with a new host", QStringLiteral("new-host"), true, {u"old-host"}},
      {"OK with the same host", QStringLiteral("old-host"), true, {}},
      {"OK with blanks added", QStringLiteral(" old-host"), true, {u"old-host"}},
      {"Cancel with a new host", QStringLiteral("new-host"), false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    settings_.SetHost(u"old-host");
    host_changes_.clear();
    Open([&](TdlSettings& d) {
      Type(c.typed);
      if (c.ok) {
        d.accept();
      } else {
        d.reject();
      }
    });
    EXPECT_EQ(host_changes_, c.changes);
    // Every opening clears the switch: an unchanged OK afterwards ends nothing.
    Open([](TdlSettings& d) { d.accept(); });
    EXPECT_EQ(host_changes_, c.changes);
  }
}

TEST_F(ClientSettingsDialogTest, HostChangeIsReportedAfterTheDialogHasClosedAndStored) {
  bool was_open = true;
  std::u16string host_then;
  dialog_.SetOnHostChanged([&](const std::u16string&) {
    was_open = dialog_.isVisible() || dialog_.IsOpen();
    host_then = settings_.Host();
  });
  Open([&](TdlSettings& d) {
    Type(QStringLiteral("elsewhere"));
    d.accept();
  });
  EXPECT_FALSE(was_open);
  EXPECT_EQ(host_then, u"elsewhere");
}

TEST_F(ClientSettingsDialogTest, AskingAgainWhileOpenKeepsWhatWasTyped) {
  settings_.SetHost(u"stored");
  int second = -1;
  Open([&](TdlSettings& d) {
    Type(QStringLiteral("typed"));
    settings_.SetHost(u"changed meanwhile");
    second = d.ShowModal();
    EXPECT_TRUE(d.isVisible());
    EXPECT_TRUE(d.IsOpen());
    EXPECT_EQ(Host()->text(), QStringLiteral("typed"));
    d.accept();
  });
  EXPECT_EQ(second, QDialog::Rejected);
  EXPECT_EQ(settings_.Host(), u"typed");
}

TEST_F(ClientSettingsDialogTest, OpenDialogBlocksNoOtherWindowSoTheTrayStaysUsable) {
  BlockWatcher other;  // stands for the tray icon's window and its menu
  other.show();
  Open([&](TdlSettings& d) {
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_FALSE(other.blocked);
    d.reject();
  });
  // The watcher does see an application-modal window.
  QDialog modal;
  modal.setModal(true);
  modal.show();
  EXPECT_TRUE(other.blocked);
}

TEST_F(ClientSettingsDialogTest, FirstCloseDecidesEvenWhenAnotherFollowsAtOnce) {
  settings_.SetHost(u"stored");
  const int result = Open([&](TdlSettings& d) {
    Type(QStringLiteral("typed"));
    d.accept();
    EXPECT_FALSE(d.IsOpen());
    d.reject();
  });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_EQ(settings_.Host(), u"typed");
}

TEST_F(ClientSettingsDialogTest, QuittingTheProgramClosesTheDialogAsCancelled) {
  settings_.SetHost(u"stored");
  int result = -1;
  QTimer::singleShot(0, &dialog_, [&] {
    result = Open([&](TdlSettings&) {
      Type(QStringLiteral("typed"));
      QCoreApplication::exit(0);
    });
  });
  QApplication::exec();
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_EQ(settings_.Host(), u"stored");
  EXPECT_TRUE(host_changes_.empty());
}

}  // namespace
}  // namespace qvr::client_gui
