#include "server/gui/main_form.h"

#include <QCoreApplication>
#include <QFont>
#include <utility>

#include "gui_common/top_level.h"
#include "server/gui/server_icon.h"

namespace qvr::server {

namespace {

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int x, int y) {
  auto* label = new QLabel(caption, parent);
  label->setObjectName(name);
  label->move(x, y);
  label->adjustSize();
  return label;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, int y) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setGeometry(56, y, 369, 21);
  return edit;
}

}  // namespace

TMainForm::TMainForm(ServerFormOptions options, std::function<void()> on_exit)
    : on_exit_(std::move(on_exit)) {
  setObjectName("MainForm");
  setWindowTitle("MainForm");
  // A tool window gets no taskbar entry, should anything ever map it.
  setWindowFlag(Qt::Tool);
  QFont font("MS Shell Dlg 2");
  font.setPointSize(8);
  setFont(font);
  resize(690, 420);
  CreateTestPanel();
  CreateTray();
  core_ = std::make_unique<ServerForm>(options);
  core_->SetMemoChanged([this](const std::u16string& text) {
    Memo1_->setPlainText(QString::fromStdU16String(text));
  });
}

TMainForm::~TMainForm() {
  // What the core throws on its way out goes to the reporter, not out of a destructor.
  gui::RunGuarded([this] { core_->FormDestroy(); });
}

void TMainForm::CreateTestPanel() {
  TntLabel1_ = MakeLabel(this, "TntLabel1", "Action:", 8, 32);
  TntLabel2_ = MakeLabel(this, "TntLabel2", "Param1:", 8, 64);
  TntLabel3_ = MakeLabel(this, "TntLabel3", "Param2:", 8, 96);
  edAction_ = MakeEdit(this, "edAction", 24);
  edParam1_ = MakeEdit(this, "edParam1", 56);
  edParam2_ = MakeEdit(this, "edParam2", 88);
  TntButton1_ = new QPushButton("Send", this);
  TntButton1_->setObjectName("TntButton1");
  TntButton1_->setGeometry(440, 85, 75, 25);
  Memo1_ = new QPlainTextEdit("Memo1", this);
  Memo1_->setObjectName("Memo1");
  Memo1_->setGeometry(176, 128, 313, 201);
  QWidget::setTabOrder(edAction_, edParam1_);
  QWidget::setTabOrder(edParam1_, edParam2_);
  QWidget::setTabOrder(edParam2_, TntButton1_);
  QWidget::setTabOrder(TntButton1_, Memo1_);
  connect(TntButton1_, &QPushButton::clicked, this,
          [this] { gui::RunGuarded([this] { TntButton1Click(); }); });
}

void TMainForm::CreateTray() {
  PopupMenu1_ = std::make_unique<QMenu>();
  PopupMenu1_->setObjectName("PopupMenu1");
  Beenden1_ = PopupMenu1_->addAction("&Beenden");
  Beenden1_->setObjectName("Beenden1");
  connect(Beenden1_, &QAction::triggered, this,
          [this] { gui::RunGuarded([this] { Beenden1Click(); }); });
  // Left click and double click stay unconnected: they do nothing. Qt adds the icon again
  // by itself when the desktop's tray comes back (Windows "TaskbarCreated", a new X11 tray
  // manager, a new StatusNotifierWatcher on D-Bus).
  CoolTrayIcon1_ = new QSystemTrayIcon(TrayPicture(), this);
  CoolTrayIcon1_->setObjectName("CoolTrayIcon1");
  CoolTrayIcon1_->setToolTip("Quelvane Remote Server");
  CoolTrayIcon1_->setContextMenu(PopupMenu1_.get());
  CoolTrayIcon1_->show();
}

void TMainForm::FormCreate() {
  core_->FormCreate();
}

void TMainForm::Beenden1Click() {
  // The core's exit order: the listener stops (no connection waits on this thread any
  // more), then the writer goes; the memo and the other components follow with the window.
  core_->FormDestroy();
  CoolTrayIcon1_->hide();
  if (on_exit_) on_exit_();
}

void TMainForm::TntButton1Click() {
  core_->TntButton1Click(edAction_->text().toStdU16String(), edParam1_->text().toStdU16String(),
                         edParam2_->text().toStdU16String());
}

void TMainForm::setVisible(bool) {
  QWidget::setVisible(false);
}

}  // namespace qvr::server
