// The server's crash reporter: every exception that reaches the top of the UI thread is
// recorded in the report file (unless it repeats one reported in this run) and shown in a
// dialog that lets the user send or read the report, go on, restart or close the program.
#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <exception>
#include <filesystem>
#include <functional>

#include "server/gui/crash_report.h"

namespace qvr::server {

// A bug report on its way to the user's mail program; no recipient is preset.
struct BugMail {
  QString subject;
  QString body;
  QStringList attachments;  // paths of "bugreport.txt" and, unless left out, "screenshot.png"
};

// Hands the mail to the user's mail program: xdg-email where installed, which attaches the
// files; else a mailto link, which cannot, so the body carries the report as well.
void SendWithMailProgram(const BugMail& mail);

class CrashReporter {
 public:
  // What the dialog's buttons lead to outside the reporter; tests put fakes here.
  struct Actions {
    std::function<void()> close;                    // end the program
    std::function<void()> restart;                  // end it and start it anew
    std::function<void(const BugMail&)> send_mail;  // default: SendWithMailProgram
    std::function<QImage()> grab_screen;            // default: the whole primary screen
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
  // The mail as a mailto link.
  static QUrl MailUrl(const BugMail& mail);
  // Where the files to attach are written, next to the report file.
  std::filesystem::path OutboxFolder() const;

 private:
  void Send(const QString& report, const QImage& screen);

  BugReportLog& log_;
  Actions actions_;
};

}  // namespace qvr::server
