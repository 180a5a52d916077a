#include "client/gui/main_form.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>

#include "client/gui/error_box.h"
#include "client/gui/icons.h"
#include "client/gui/settings_dialog.h"

namespace qvr::client_gui {

TMainForm::TMainForm(const TSettings& settings, client::RelayClientOptions options,
                     ipc::SlotBackend& slot_backend)
    : core_(settings, options, slot_backend) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(QStringLiteral("Remote Client (Sender)"));
  setFont(QFont(QStringLiteral("MS Shell Dlg 2"), 8));
  resize(459, 292);
  MoveToScreenCentre();  // the error boxes over it open there
  SetErrorBoxOwner(this);
  CreateTray();
  CoolTrayIcon1->show();
  core_.FormCreate();
}

TMainForm::~TMainForm() {
  core_.FormDestroy();
  delete CoolTrayIcon1;
  CoolTrayIcon1 = nullptr;
}

void TMainForm::CreateTray() {
  pmTray = new QMenu(this);
  pmTray->setObjectName(QStringLiteral("pmTray"));
  Einstellungen1 = pmTray->addAction(QStringLiteral("Einstellungen..."));
  Einstellungen1->setObjectName(QStringLiteral("Einstellungen1"));
  connect(Einstellungen1, &QAction::triggered, this, &TMainForm::Einstellungen1Click);
  Beenden1 = pmTray->addAction(QStringLiteral("Beenden"));
  Beenden1->setObjectName(QStringLiteral("Beenden1"));
  connect(Beenden1, &QAction::triggered, this, &TMainForm::Beenden1Click);

  CoolTrayIcon1 = new QSystemTrayIcon(SenderIcon(), this);
  CoolTrayIcon1->setObjectName(QStringLiteral("CoolTrayIcon1"));
  CoolTrayIcon1->setToolTip(QStringLiteral("Quelvane Remote Client (Sender)"));
  CoolTrayIcon1->setContextMenu(pmTray);
  connect(CoolTrayIcon1, &QSystemTrayIcon::activated, this, &TMainForm::CoolTrayIcon1Activated);
}

void TMainForm::SetSettingsDialog(TdlSettings* dialog) {
  dlSettings = dialog;
  if (!dialog) return;
  dialog->SetOnHostChanged(
      [this](const std::u16string& host_before) { core_.ApplyHost(host_before); });
}

void TMainForm::CoolTrayIcon1Activated(QSystemTrayIcon::ActivationReason reason) {
  // A single click does nothing; the right button's menu is the tray icon's own business.
  if (reason == QSystemTrayIcon::DoubleClick) CoolTrayIcon1DblClick();
}

void TMainForm::Einstellungen1Click() {
  if (dlSettings) dlSettings->ShowModal();
}

void TMainForm::CoolTrayIcon1DblClick() {
  if (dlSettings) dlSettings->ShowModal();
}

void TMainForm::Beenden1Click() {
  if (dlSettings && dlSettings->IsOpen()) dlSettings->reject();
  QCoreApplication::exit(0);
}

void TMainForm::MoveToScreenCentre() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect place = geometry();
    place.moveCenter(screen->availableGeometry().center());
    move(place.topLeft());
  }
}

void TMainForm::setVisible(bool visible) {
  if (!visible) QWidget::setVisible(false);
}

}  // namespace qvr::client_gui
