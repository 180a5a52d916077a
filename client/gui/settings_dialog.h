// The settings dialog "Remote Sender Konfiguration": shows the three settings and lets the
// user change the relay server's host. Made once, hidden, and opened again and again.
#pragma once

#include <QDialog>
#include <QPointer>
#include <functional>
#include <string>

#include "client/settings.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qvr::client_gui {

class TdlSettings : public QDialog {
  Q_OBJECT

 public:
  // `settings` must outlive the dialog.
  explicit TdlSettings(TSettings& settings, QWidget* parent = nullptr);

  // Loads the controls from the settings, runs the dialog until it is closed and stores the
  // controls back on OK; returns Accepted or Rejected. Asked for while the dialog is open, it
  // brings the open dialog to the front, leaves its contents alone and returns Rejected.
  // The dialog blocks none of the program's other windows, so the tray icon and its menu
  // stay usable while it is open.
  int ShowModal();

  // Called with the former host after an opening whose OK stored a different host, once
  // the dialog has closed; the program ends the current relay connection there, so the next
  // message goes to the new host at once.
  using HostChangedEvent = std::function<void(const std::u16string& host_before)>;
  void SetOnHostChanged(HostChangedEvent handler) { on_host_changed_ = std::move(handler); }

  // True while the dialog is shown by ShowModal and not yet closed.
  bool IsOpen() const { return open_ && isVisible(); }

  // Remembers the control that has the focus, so the next opening gives it back.
  void done(int result) override;

 private:
  void CreateControls();
  void SetTabOrder();
  void LoadFromSettings();
  void StoreToSettings();
  void MoveToScreenCentre();
  void CloseAfterLoop();
  void RememberFocus();

  TSettings& settings_;
  HostChangedEvent on_host_changed_;
  bool open_ = false;
  bool disconnect_on_close_ = false;  // cleared by every opening
  std::u16string host_before_;
  QPointer<QWidget> last_focus_;  // the control that had the focus at the last close

  QGroupBox* GroupBox1 = nullptr;
  QCheckBox* cbFilter_Message = nullptr;
  QCheckBox* cbFilter_QVAction_Presenter_SetPage = nullptr;
  QGroupBox* TntGroupBox1 = nullptr;
  QLabel* TntLabel1 = nullptr;
  QLineEdit* edHost = nullptr;
  QPushButton* BitBtn1 = nullptr;
  QPushButton* BitBtn2 = nullptr;
};

}  // namespace qvr::client_gui
