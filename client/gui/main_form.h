// The client's main window: never shown, it holds the tray icon with its menu and the client
// core (slot reader bound to the forwarder, relay connection).
#pragma once

#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

#include "client/client_form.h"
#include "client/forwarder.h"
#include "client/gui/settings_dialog.h"
#include "client/settings.h"
#include "ipc/slot_channel.h"

class QAction;
class QMenu;

namespace qvr::client_gui {

class TMainForm : public QWidget {
  Q_OBJECT

 public:
  // Makes the tray icon and its menu, shows the icon, then runs FormCreate. The calling
  // thread must be served by a Dispatcher (the reader delivers through it).
  explicit TMainForm(const TSettings& settings, client::RelayClientOptions options = {},
                     ipc::SlotBackend& slot_backend = ipc::SystemSlots());
  // FormDestroy, then the tray icon leaves.
  ~TMainForm() override;

  // The dialog that "Einstellungen..." and a double-click open; may be destroyed first. Its
  // OK with a new host ends the relay connection, so the next message goes there at once.
  void SetSettingsDialog(TdlSettings* dialog);

  void Einstellungen1Click();
  void CoolTrayIcon1DblClick();
  // Ends the program: an open settings dialog closes as cancelled, every running loop ends.
  void Beenden1Click();

  client::ClientForm& Core() { return core_; }

  // The window is never shown, whoever asks.
  void setVisible(bool visible) override;

 private:
  void CreateTray();
  void MoveToScreenCentre();
  void CoolTrayIcon1Activated(QSystemTrayIcon::ActivationReason reason);

  client::ClientForm core_;
  QPointer<TdlSettings> dlSettings;
  QMenu* pmTray = nullptr;
  QAction* Einstellungen1 = nullptr;
  QAction* Beenden1 = nullptr;
  QSystemTrayIcon* CoolTrayIcon1 = nullptr;
};

}  // namespace qvr::client_gui
