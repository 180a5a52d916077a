// The server's crash reporter: every exception that reaches the top of the UI thread is
// recorded in the report file (unless it repeats one reported in this run) and shown in a
// dialog that lets the user send or read the report, go on, restart or close the program.
#pragma once

#include <QString>
#include <QUrl>
#include <exception>
#include <functional>

#include "server/gui/crash_report.h"

namespace qvr::server {

class CrashReporter {
 public:
  // What the dialog's buttons lead to outside the reporter; tests put fakes here.
  struct Actions {
    std::function<void()> close;                // end the program
    std::function<void()> restart;              // end it and start it anew
    std::function<void(const QUrl&)> open_url;  // default: the desktop's handler
  };

  enum Choice { kSend, kShow, kContinue, kRestart, kClose };

  CrashReporter(BugReportLog& log, Actions actions);

  // The top-level handler. Returns after "continue application", after a close or restart
  // was requested, or at once for a repeat.
  void Handle(std::exception_ptr error);

  // The dialog's title, text and buttons, in the dialog's order (index = Choice).
  static QString Title();
  static QString Text(const BugReport& report);
  static QStringList Buttons();
  // The mail that "send bug report" opens.
  static QUrl MailUrl(const QString& name, const QString& email, const QString& description,
                      const QString& report);

 private:
  void Send(const QString& report);

  BugReportLog& log_;
  Actions actions_;
};

}  // namespace qvr::server
