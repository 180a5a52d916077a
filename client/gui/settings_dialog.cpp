#include "client/gui/settings_dialog.h"

#include <QCheckBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "client/gui/icons.h"

namespace qvr::client_gui {

namespace {

QString ToQString(const std::u16string& text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

std::u16string ToU16(const QString& text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()),
                        static_cast<std::size_t>(text.size()));
}

template <class Control>
Control* Make(QWidget* parent, const char* name, const QRect& place) {
  auto* control = new Control(parent);
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(place);
  return control;
}

}  // namespace

TdlSettings::TdlSettings(TSettings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      settings_(settings) {
  setObjectName(QStringLiteral("dlSettings"));
  setWindowTitle(QStringLiteral("Remote Sender Konfiguration"));
  setWindowIcon(SettingsIcon());
  // The dialog's look is that of an 8-point shell dialog font; a system without it falls
  // back to its own default family at the same size.
  setFont(QFont(QStringLiteral("MS Shell Dlg 2"), 8));
  setFixedSize(297, 207);
  setSizeGripEnabled(false);
  CreateControls();
  SetTabOrder();
}

void TdlSettings::CreateControls() {
  GroupBox1 = Make<QGroupBox>(this, "GroupBox1", {8, 8, 273, 73});
  GroupBox1->setTitle(QStringLiteral("Diese Befehle übertragen"));
  cbFilter_Message = Make<QCheckBox>(GroupBox1, "cbFilter_Message", {16, 20, 241, 17});
  cbFilter_Message->setText(QStringLiteral("Mitteilung an die Versammlung"));
  cbFilter_Message->setEnabled(false);
  cbFilter_QVAction_Presenter_SetPage =
      Make<QCheckBox>(GroupBox1, "cbFilter_QVAction_Presenter_SetPage", {16, 44, 241, 17});
  cbFilter_QVAction_Presenter_SetPage->setText(QStringLiteral("Foliennummer"));
  cbFilter_QVAction_Presenter_SetPage->setEnabled(false);

  TntGroupBox1 = Make<QGroupBox>(this, "TntGroupBox1", {8, 88, 273, 57});
  TntGroupBox1->setTitle(QStringLiteral("Netzwerkeinstellungen"));
  TntLabel1 = Make<QLabel>(TntGroupBox1, "TntLabel1", {8, 28, 26, 13});
  TntLabel1->setText(QStringLiteral("Host:"));
  // The label sizes itself to its text, so a wider fallback font does not clip it.
  TntLabel1->resize(TntLabel1->size().expandedTo(TntLabel1->sizeHint()));
  edHost = Make<QLineEdit>(TntGroupBox1, "edHost", {40, 20, 225, 21});
  TntLabel1->setBuddy(edHost);

  BitBtn1 = Make<QPushButton>(this, "BitBtn1", {32, 160, 97, 25});
  BitBtn1->setText(QStringLiteral("OK"));
  BitBtn1->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
  BitBtn2 = Make<QPushButton>(this, "BitBtn2", {168, 160, 97, 25});
  BitBtn2->setText(QStringLiteral("Cancel"));
  connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
}

void TdlSettings::SetTabOrder() {
  setTabOrder(cbFilter_Message, cbFilter_QVAction_Presenter_SetPage);
  setTabOrder(cbFilter_QVAction_Presenter_SetPage, edHost);
  setTabOrder(edHost, BitBtn1);
  setTabOrder(BitBtn1, BitBtn2);
}

int TdlSettings::ShowModal() {
  if (open_) {
    raise();
    activateWindow();
    return Rejected;
  }
  open_ = true;
  disconnect_on_close_ = false;
  LoadFromSettings();
  setResult(Rejected);
  MoveToScreenCentre();
  show();
  MoveToScreenCentre();  // again, now that the frame around the dialog is known
  QWidget* focus = last_focus_ ? last_focus_.data() : edHost;
  focus->setFocus(Qt::OtherFocusReason);

  // Run until the dialog closes; the first close decides the answer. A quit of the whole
  // program ends this loop too, and the dialog then closes as cancelled.
  QPointer<TdlSettings> guard(this);
  QEventLoop loop;
  int answer = Rejected;
  connect(
      this, &QDialog::finished, &loop,
      [&answer, &loop](int code) {
        answer = code;
        loop.quit();
      },
      Qt::SingleShotConnection);
  loop.exec(QEventLoop::DialogExec);
  if (!guard) return Rejected;
  CloseAfterLoop();

  if (answer == Accepted) StoreToSettings();
  open_ = false;
  if (disconnect_on_close_ && on_host_changed_) on_host_changed_(host_before_);
  return answer;
}

void TdlSettings::done(int result) {
  RememberFocus();
  QDialog::done(result);
}

void TdlSettings::CloseAfterLoop() {
  if (!isVisible()) return;
  RememberFocus();
  setResult(Rejected);
  hide();
}

void TdlSettings::RememberFocus() {
  QWidget* focus = focusWidget();
  if (focus && isAncestorOf(focus)) last_focus_ = focus;
}

void TdlSettings::LoadFromSettings() {
  cbFilter_Message->setChecked(settings_.Filter_Message());
  cbFilter_QVAction_Presenter_SetPage->setChecked(settings_.Filter_QVAction_Presenter_SetPage());
  edHost->setText(ToQString(settings_.Host()));
}

void TdlSettings::StoreToSettings() {
  settings_.SetFilter_Message(cbFilter_Message->isChecked());
  settings_.SetFilter_QVAction_Presenter_SetPage(cbFilter_QVAction_Presenter_SetPage->isChecked());
  std::u16string host = ToU16(edHost->text());
  if (host != settings_.Host()) {
    disconnect_on_close_ = true;
    host_before_ = settings_.Host();
  }
  settings_.SetHost(std::move(host));
}

void TdlSettings::MoveToScreenCentre() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  move(frame.topLeft());
}

}  // namespace qvr::client_gui
