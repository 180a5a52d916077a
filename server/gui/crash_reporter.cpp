#include "server/gui/crash_reporter.h"

#include <QDesktopServices>
#include <utility>

#include "gui_common/message_box.h"
#include "server/gui/send_assistant.h"

namespace qvr::server {

CrashReporter::CrashReporter(BugReportLog& log, Actions actions)
    : log_(log), actions_(std::move(actions)) {
  if (!actions_.open_url) {
    actions_.open_url = [](const QUrl& url) { QDesktopServices::openUrl(url); };
  }
}

QString CrashReporter::Title() {
  return QStringLiteral("QVRemoteServer");
}

QString CrashReporter::Text(const BugReport& report) {
  return QStringLiteral("An error occurred in the application.\n\n") +
         QString::fromStdString(report.message);
}

QStringList CrashReporter::Buttons() {
  return {QStringLiteral("send bug report"), QStringLiteral("show bug report"),
          QStringLiteral("continue application"), QStringLiteral("restart application"),
          QStringLiteral("close application")};
}

QUrl CrashReporter::MailUrl(const QString& name, const QString& email, const QString& description,
                            const QString& report) {
  // A mailto link carries no attachment: the report follows the fixed body text instead.
  const QString body = QStringLiteral("please find the bug report attached\n\n") +
                       QStringLiteral("your name: ") + name + '\n' +
                       QStringLiteral("your email: ") + email + '\n' +
                       QStringLiteral("in which situation did the error occur?\n") + description +
                       QStringLiteral("\n\n") + report;
  QUrl url(QStringLiteral("mailto:"));
  url.setQuery(QStringLiteral("subject=") + QUrl::toPercentEncoding(QStringLiteral("bug report")) +
                   QStringLiteral("&body=") + QUrl::toPercentEncoding(body),
               QUrl::StrictMode);
  return url;
}

void CrashReporter::Handle(std::exception_ptr error) {
  BugReport report = MakeBugReport(error, "main thread (UI)");
  if (!log_.Record(report)) return;
  const QString text = QString::fromStdString(FormatBugReport(report));
  while (true) {
    switch (
        gui::MessageBox::Choose(nullptr, QMessageBox::Critical, Title(), Text(report), Buttons())) {
      case kSend:
        Send(text);
        break;
      case kShow:
        gui::MessageBox::Show(nullptr, QMessageBox::NoIcon, Title(), text);
        break;
      case kRestart:
        if (actions_.restart) actions_.restart();
        return;
      case kClose:
        if (actions_.close) actions_.close();
        return;
      default:  // "continue application", or the box was closed
        return;
    }
  }
}

void CrashReporter::Send(const QString& report) {
  const auto details = SendAssistant::Ask();
  if (!details) return;
  actions_.open_url(MailUrl(details->name, details->email, details->description, report));
}

}  // namespace qvr::server
