#include "gui_common/message_box.h"

#include <QAbstractButton>
#include <QPushButton>
#include <utility>
#include <vector>

namespace qvr::gui {

namespace {

struct Pending {
  std::optional<QMessageBox::StandardButton> answer;
  std::optional<int> choice;
  QString last_title;
  QString last_text;
};

Pending& State() {
  static Pending state;
  return state;
}

}  // namespace

void MessageBox::Remember(const QString& title, const QString& text) {
  State().last_title = title;
  State().last_text = text;
}

QMessageBox::StandardButton MessageBox::Show(QWidget* parent, QMessageBox::Icon icon,
                                             const QString& title, const QString& text,
                                             QMessageBox::StandardButtons buttons) {
  Remember(title, text);
  if (auto answer = std::exchange(State().answer, std::nullopt)) return *answer;
  QMessageBox box(icon, title, text, buttons, parent);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

int MessageBox::Choose(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                       const QString& text, const QStringList& buttons) {
  Remember(title, text);
  if (auto choice = std::exchange(State().choice, std::nullopt)) return *choice;
  QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
  std::vector<QAbstractButton*> added;
  for (const QString& caption : buttons) {
    added.push_back(box.addButton(caption, QMessageBox::ActionRole));
  }
  box.exec();
  for (std::size_t i = 0; i < added.size(); ++i) {
    if (box.clickedButton() == added[i]) return static_cast<int>(i);
  }
  return -1;
}

void MessageBox::SetNextAnswer(QMessageBox::StandardButton answer) {
  State().answer = answer;
}
void MessageBox::SetNextChoice(int index) {
  State().choice = index;
}
QString MessageBox::LastTitle() {
  return State().last_title;
}
QString MessageBox::LastText() {
  return State().last_text;
}

}  // namespace qvr::gui
