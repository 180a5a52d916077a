#include "gui_common/message_box.h"

#include <QAbstractButton>
#include <QPushButton>
#include <deque>
#include <optional>
#include <utility>
#include <vector>

namespace qvr::gui {

namespace {

struct Pending {
  std::deque<QMessageBox::StandardButton> answers;
  std::deque<int> choices;
  std::vector<MessageBox::Asked> asked;
};

Pending& State() {
  static Pending state;
  return state;
}

template <class T>
std::optional<T> TakeFirst(std::deque<T>& queue) {
  if (queue.empty()) return std::nullopt;
  T first = queue.front();
  queue.pop_front();
  return first;
}

}  // namespace

void MessageBox::Remember(const QString& title, const QString& text) {
  State().asked.push_back({title, text});
}

QMessageBox::StandardButton MessageBox::Show(QWidget* parent, QMessageBox::Icon icon,
                                             const QString& title, const QString& text,
                                             QMessageBox::StandardButtons buttons) {
  Remember(title, text);
  if (auto answer = TakeFirst(State().answers)) return *answer;
  QMessageBox box(icon, title, text, buttons, parent);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

int MessageBox::Choose(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                       const QString& text, const QStringList& buttons) {
  Remember(title, text);
  if (auto choice = TakeFirst(State().choices)) return *choice;
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
  State().answers.push_back(answer);
}
void MessageBox::SetNextChoice(int index) {
  State().choices.push_back(index);
}
const std::vector<MessageBox::Asked>& MessageBox::AskedSoFar() {
  return State().asked;
}
std::size_t MessageBox::PendingAnswers() {
  return State().answers.size() + State().choices.size();
}
void MessageBox::Reset() {
  State() = {};
}

}  // namespace qvr::gui
