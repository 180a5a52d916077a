// The server's window: a hidden QWidget that is never shown, holding the test panel, the
// memo of the latest relayed message and the tray icon with its one-entry menu. Its
// non-visual part, the listener and the writer FWriter, is the Qt-free ServerForm.
#pragma once

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QWidget>
#include <functional>
#include <memory>

#include "server/server_form.h"

namespace qvr::server {

class TMainForm final : public QWidget {
 public:
  // Builds the components and adds the tray icon. The thread's dispatcher (QtDispatcher)
  // must exist already: the core hands connection messages to it. `on_exit` ends the
  // program after "&Beenden" has stopped the core.
  explicit TMainForm(ServerFormOptions options = {}, std::function<void()> on_exit = {});
  // Stops the core (listener first, then writer) before any component goes.
  ~TMainForm() override;

  // Makes the writer and starts listening; throws EIdCouldNotBindSocket when the port is
  // taken, leaving the window running without a listener.
  void FormCreate();
  // The tray menu's exit entry.
  void Beenden1Click();
  // The test panel's Send button.
  void TntButton1Click();

  ServerForm& Core() { return *core_; }
  QSystemTrayIcon* CoolTrayIcon1() const { return CoolTrayIcon1_; }
  QMenu* PopupMenu1() const { return PopupMenu1_.get(); }

  // The window stays hidden whatever asks it to show.
  void setVisible(bool visible) override;

 private:
  void CreateTestPanel();
  void CreateTray();

  std::function<void()> on_exit_;
  QLabel* TntLabel1_;
  QLabel* TntLabel2_;
  QLabel* TntLabel3_;
  QLineEdit* edAction_;
  QLineEdit* edParam1_;
  QLineEdit* edParam2_;
  QPushButton* TntButton1_;
  QPlainTextEdit* Memo1_;
  std::unique_ptr<QMenu> PopupMenu1_;  // a menu has no parent widget
  QAction* Beenden1_;
  QSystemTrayIcon* CoolTrayIcon1_;
  std::unique_ptr<ServerForm> core_;
};

}  // namespace qvr::server
