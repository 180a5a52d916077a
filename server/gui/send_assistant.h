// Asks, before a bug report is sent, for the sender's name, e-mail address (required) and
// the situation in which the error occurred, and whether the screenshot goes along.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>
#include <optional>

namespace qvr::server {

struct SenderDetails {
  QString name;
  QString email;
  QString description;
  bool attach_screenshot = true;
};

class SendAssistant final : public QDialog {
 public:
  explicit SendAssistant(QWidget* parent = nullptr);

  // Runs the dialog; nothing when the user cancels. A pre-set answer is returned at once.
  static std::optional<SenderDetails> Ask(QWidget* parent = nullptr);
  // Test hook: the answer of the next Ask (nothing: cancelled).
  static void SetNextAnswer(std::optional<SenderDetails> answer);

  SenderDetails Details() const;
  // The button that sends; enabled only while an e-mail address is filled in.
  QPushButton* SendButton() const;
  QLineEdit* NameEdit() const { return name_; }
  QLineEdit* EmailEdit() const { return email_; }
  QPlainTextEdit* DescriptionEdit() const { return description_; }
  QCheckBox* ScreenshotCheck() const { return screenshot_; }

 private:
  QLineEdit* name_;
  QLineEdit* email_;
  QPlainTextEdit* description_;
  QCheckBox* screenshot_;
  QDialogButtonBox* buttons_;
};

}  // namespace qvr::server
