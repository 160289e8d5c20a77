#include "crashreporter.h"

#include "operationlog.h"
#include "selfreplace.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>

#include <exception>

namespace
{

const QString CrLf = QStringLiteral("\r\n");

// Mail clients and the shell cut longer mailto: addresses.
constexpr int MaxMailtoLength = 2000;

bool ShowReportBox(const CrashReport &report, bool offerSend)
{
    QMessageBox box(QApplication::activeWindow());
    box.setIcon(QMessageBox::Critical);
    box.setWindowTitle(QApplication::applicationDisplayName());
    box.setText(report.message);
    if (!report.filePath.isEmpty())
        box.setInformativeText(QStringLiteral("Bug report: ") +
                               QDir::toNativeSeparators(report.filePath));
    box.setDetailedText(report.text());
    QPushButton *send =
        offerSend ? box.addButton(QStringLiteral("Send bug report"), QMessageBox::AcceptRole)
                  : nullptr;
    box.addButton(QMessageBox::Close);
    box.exec();
    return send && box.clickedButton() == send;
}

} // namespace

QString CrashReportMailSubject()
{
    return QStringLiteral("bug report - Korvel");
}

QString CrashReportMailBody()
{
    return QStringLiteral("Korvel. Version ") + ProgramVersion + QStringLiteral("; 64bit");
}

QString CrashReportFilePath(const QString &settingsPath)
{
    if (settingsPath.isEmpty())
        return QString();
    const QFileInfo info(settingsPath);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".bugreport.txt"));
}

QString CrashReport::text() const
{
    QStringList lines{QStringLiteral("Korvel bug report"),
                      QStringLiteral("Time: ") +
                          time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                      QStringLiteral("Version: ") + version, QStringLiteral("Error: ") + message,
                      QStringLiteral("Last lines of the operation log:")};
    lines += logLines;
    return lines.join(CrLf) + CrLf;
}

CrashReporter::CrashReporter(const QString &settingsPath, OperationLog *log)
    : m_subject(CrashReportMailSubject()), m_body(CrashReportMailBody()), m_log(log),
      m_reportFile(CrashReportFilePath(settingsPath)), m_show(ShowReportBox),
      m_send([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
}

void CrashReporter::report(const QString &message)
{
    // Dialogs and the log belong to the GUI thread.
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread()) {
        QMetaObject::invokeMethod(
            app, [this, message]() { reportOnGuiThread(message); }, Qt::QueuedConnection);
        return;
    }
    reportOnGuiThread(message);
}

void CrashReporter::reportOnGuiThread(const QString &message)
{
    // Reporting is the last line of defence: nothing may escape from it.
    try {
        ++m_count;
        if (m_log)
            m_log->append(QStringLiteral("> Error: ") + message);
        CrashReport report = collect(message);
        if (!writeFile(report) && m_log && !m_reportFile.isEmpty())
            m_log->append(QStringLiteral("> Error: Cannot write the bug report ") +
                          QDir::toNativeSeparators(m_reportFile));

        // An error inside the report dialog's own event loop is in the file
        // and the log; a second dialog on top would help nobody.
        if (m_showing)
            return;
        m_showing = true;
        struct Reset {
            bool &flag;
            ~Reset() { flag = false; }
        } reset{m_showing};

        bool sent = false;
        if (m_autoSend) {
            send(report);
            sent = true;
        }
        const bool offerSend = m_sendButtonVisible && !sent;
        if (m_show && m_show(report, offerSend) && offerSend)
            send(report);
    } catch (...) {
    }
}

CrashReport CrashReporter::collect(const QString &message) const
{
    CrashReport report;
    report.message = message;
    report.version = ProgramVersion;
    report.time = QDateTime::currentDateTime();
    if (m_log && m_logLineCount > 0)
        report.logLines = m_log->lines().mid(qMax(0, m_log->count() - m_logLineCount));
    return report;
}

bool CrashReporter::writeFile(CrashReport &report)
{
    if (m_reportFile.isEmpty())
        return false;
    // Appended, so that a report the mail never carried is still there for
    // support.
    QFile file(m_reportFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray bytes = (report.text() + CrLf).toUtf8();
    if (file.write(bytes) != bytes.size())
        return false;
    file.close();
    if (file.error() != QFileDevice::NoError)
        return false;
    report.filePath = m_reportFile;
    return true;
}

QUrl CrashReporter::mailtoUrl(const CrashReport &report) const
{
    CrashReport shortened = report;
    for (;;) {
        QString body = m_body + CrLf + CrLf + shortened.text();
        if (!shortened.filePath.isEmpty())
            body += QStringLiteral("Report file: ") + QDir::toNativeSeparators(shortened.filePath) +
                    CrLf;
        const QByteArray encoded = "mailto:" + QUrl::toPercentEncoding(m_address, "@") +
                                   "?subject=" + QUrl::toPercentEncoding(m_subject) +
                                   "&body=" + QUrl::toPercentEncoding(body);
        // The oldest log lines go first when the address gets too long.
        if (encoded.size() <= MaxMailtoLength || shortened.logLines.isEmpty())
            return QUrl::fromEncoded(encoded, QUrl::StrictMode);
        shortened.logLines.removeFirst();
    }
}

void CrashReporter::send(const CrashReport &report)
{
    if (m_send && m_send(mailtoUrl(report)))
        return;
    if (m_log)
        m_log->append(QStringLiteral("> Error: No mail program took the bug report"));
}

KorvelApplication::KorvelApplication(int &argc, char **argv) : QApplication(argc, argv)
{
}

bool KorvelApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        handOver(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        handOver(QStringLiteral("Unknown exception"));
    }
    return false;
}

void KorvelApplication::handOver(const QString &message)
{
    if (m_reporter)
        m_reporter->report(message);
    else
        qWarning("Unhandled exception in an event handler: %s", qUtf8Printable(message));
}
