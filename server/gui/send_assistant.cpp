#include "server/gui/send_assistant.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

namespace qvr::server {

namespace {

struct PendingAnswer {
  bool set = false;
  std::optional<SenderDetails> answer;
};

PendingAnswer& Pending() {
  static PendingAnswer pending;
  return pending;
}

}  // namespace

SendAssistant::SendAssistant(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("send bug report"));
  auto* layout = new QVBoxLayout(this);
  name_ = new QLineEdit(this);
  name_->setObjectName("edName");
  email_ = new QLineEdit(this);
  email_->setObjectName("edEmail");
  description_ = new QPlainTextEdit(this);
  description_->setObjectName("edDescription");
  layout->addWidget(new QLabel(QStringLiteral("your name:"), this));
  layout->addWidget(name_);
  layout->addWidget(new QLabel(QStringLiteral("your email:"), this));
  layout->addWidget(email_);
  layout->addWidget(new QLabel(QStringLiteral("in which situation did the error occur?"), this));
  layout->addWidget(description_);
  screenshot_ = new QCheckBox(QStringLiteral("attach screenshot"), this);
  screenshot_->setObjectName("cbScreenshot");
  screenshot_->setChecked(true);
  layout->addWidget(screenshot_);
  buttons_ = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons_->button(QDialogButtonBox::Ok)->setText(QStringLiteral("send"));
  layout->addWidget(buttons_);
  connect(buttons_, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons_, &QDialogButtonBox::rejected, this, &QDialog::reject);
  const auto require_email = [this] {
    SendButton()->setEnabled(!email_->text().trimmed().isEmpty());
  };
  connect(email_, &QLineEdit::textChanged, this, require_email);
  require_email();
}

std::optional<SenderDetails> SendAssistant::Ask(QWidget* parent) {
  if (Pending().set) {
    Pending().set = false;
    return std::exchange(Pending().answer, std::nullopt);
  }
  SendAssistant assistant(parent);
  if (assistant.exec() != QDialog::Accepted) return std::nullopt;
  return assistant.Details();
}

void SendAssistant::SetNextAnswer(std::optional<SenderDetails> answer) {
  Pending() = {true, std::move(answer)};
}

SenderDetails SendAssistant::Details() const {
  return {name_->text(), email_->text().trimmed(), description_->toPlainText(),
          screenshot_->isChecked()};
}

QPushButton* SendAssistant::SendButton() const {
  return buttons_->button(QDialogButtonBox::Ok);
}

}  // namespace qvr::server
