#include "server/gui/crash_reporter.h"

#include <QDesktopServices>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <system_error>
#include <utility>

#include "gui_common/message_box.h"
#include "server/gui/send_assistant.h"

namespace qvr::server {

CrashReporter::CrashReporter(BugReportLog& log, Actions actions)
    : log_(log), actions_(std::move(actions)) {
  if (!actions_.send_mail) actions_.send_mail = SendWithMailProgram;
  if (!actions_.grab_screen) {
    actions_.grab_screen = [] {
      QScreen* screen = QGuiApplication::primaryScreen();
      return screen != nullptr ? screen->grabWindow(0).toImage() : QImage();
    };
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

QUrl CrashReporter::MailUrl(const BugMail& mail) {
  QUrl url(QStringLiteral("mailto:"));
  url.setQuery(QStringLiteral("subject=") + QUrl::toPercentEncoding(mail.subject) +
                   QStringLiteral("&body=") + QUrl::toPercentEncoding(mail.body),
               QUrl::StrictMode);
  return url;
}

std::filesystem::path CrashReporter::OutboxFolder() const {
  return log_.file().parent_path() / "outbox";
}

void CrashReporter::Handle(std::exception_ptr error) {
  BugReport report = MakeBugReport(error, "main thread (UI)");
  if (!log_.Record(report)) return;
  const QString text = QString::fromStdString(FormatBugReport(report));
  // Taken now, before a dialog of ours covers the screen; it leaves memory only when sent.
  const QImage screen = actions_.grab_screen();
  while (true) {
    switch (
        gui::MessageBox::Choose(nullptr, QMessageBox::Critical, Title(), Text(report), Buttons())) {
      case kSend:
        Send(text, screen);
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

void CrashReporter::Send(const QString& report, const QImage& screen) {
  const auto details = SendAssistant::Ask();
  if (!details) return;
  BugMail mail;
  mail.subject = QStringLiteral("bug report");
  mail.body = QStringLiteral("please find the bug report attached\n\n") +
              QStringLiteral("your name: ") + details->name + '\n' +
              QStringLiteral("your email: ") + details->email + '\n' +
              QStringLiteral("in which situation did the error occur?\n") + details->description +
              QStringLiteral("\n\n") + report;
  std::error_code error;
  std::filesystem::create_directories(OutboxFolder(), error);
  const QString folder = QString::fromStdString(OutboxFolder().string());
  QFile file(folder + QStringLiteral("/bugreport.txt"));
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(report.toUtf8()) >= 0) {
    mail.attachments << file.fileName();
  }
  file.close();
  if (details->attach_screenshot && !screen.isNull()) {
    const QString shot = folder + QStringLiteral("/screenshot.png");
    // 8-bit colour keeps the picture small enough for any mail.
    if (screen.convertToFormat(QImage::Format_Indexed8).save(shot, "PNG")) mail.attachments << shot;
  }
  actions_.send_mail(mail);
}

void SendWithMailProgram(const BugMail& mail) {
  const QString xdg_email = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
  if (!xdg_email.isEmpty()) {
    QStringList arguments{QStringLiteral("--subject"), mail.subject, QStringLiteral("--body"),
                          mail.body};
    for (const QString& file : mail.attachments) arguments << QStringLiteral("--attach") << file;
    if (QProcess::startDetached(xdg_email, arguments)) return;
  }
  QDesktopServices::openUrl(CrashReporter::MailUrl(mail));
}

}  // namespace qvr::server
