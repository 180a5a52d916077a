// Modal message boxes that tests can answer in advance: with a next answer set, the box is
// not shown and the call returns that answer at once, so no test ever blocks on a dialog.
#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <vector>

namespace qvr::gui {

class MessageBox {
 public:
  // A standard box; returns the button pressed.
  static QMessageBox::StandardButton Show(QWidget* parent, QMessageBox::Icon icon,
                                          const QString& title, const QString& text,
                                          QMessageBox::StandardButtons buttons = QMessageBox::Ok);
  // A box with buttons of its own, left to right; returns the index of the one pressed, or
  // -1 when the box was closed otherwise.
  static int Choose(QWidget* parent, QMessageBox::Icon icon, const QString& title,
                    const QString& text, const QStringList& buttons);

  // Test hooks: answers for the boxes to come, first set first used; for Choose the answer
  // is the button index.
  static void SetNextAnswer(QMessageBox::StandardButton answer);
  static void SetNextChoice(int index);
  struct Asked {
    QString title;
    QString text;
  };
  // Every box asked for since the last Reset, shown or pre-answered, oldest first.
  static const std::vector<Asked>& AskedSoFar();
  // Answers set but not used yet.
  static std::size_t PendingAnswers();
  // Forgets the answers not used yet and the boxes asked for.
  static void Reset();

 private:
  static void Remember(const QString& title, const QString& text);
};

}  // namespace qvr::gui
