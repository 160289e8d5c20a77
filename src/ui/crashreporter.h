#pragma once

#include <QApplication>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

class OperationLog;

// The options the settings set on the crash reporter.
QString CrashReportMailSubject(); // "bug report - Korvel"
QString CrashReportMailBody();    // "Korvel. Version " + ProgramVersion + "; 64bit"

// Where reports go: next to the settings file, named like it
// (".../Korvel.x64.ini" gives ".../Korvel.x64.bugreport.txt").
QString CrashReportFilePath(const QString &settingsPath);

// One error that escaped an event handler, as written to the report file.
struct CrashReport {
    QString message;      // the error's own message
    QString version;      // ProgramVersion
    QDateTime time;       // when it was caught
    QStringList logLines; // the last lines of the operation log, oldest first
    QString filePath;     // where the report was written; empty when it was not

    QString text() const; // lines separated by CR LF
};

// Takes errors that escape a GUI event handler, so that the program goes
// on: each one becomes a log line, a report file and a report dialog, and
// is handed to the mail client at once (automatic sending) or when the
// technician presses the send button.
class CrashReporter
{
public:
    // Shows the report; `offerSend` asks for the send button. Returns true
    // when the technician chose to send it.
    using ShowReport = std::function<bool(const CrashReport &report, bool offerSend)>;
    // Hands a mailto: address to the system's mail client; false when none took it.
    using SendMail = std::function<bool(const QUrl &mailto)>;

    // `settingsPath` places the report file (none when it is empty);
    // `log` gives the report its last lines and takes its log lines.
    explicit CrashReporter(const QString &settingsPath = QString(), OperationLog *log = nullptr);

    void setMailSubject(const QString &subject) { m_subject = subject; }
    const QString &mailSubject() const { return m_subject; }
    void setMailBody(const QString &body) { m_body = body; }
    const QString &mailBody() const { return m_body; }
    // Recipient of the mail; empty leaves it to the technician.
    void setMailAddress(const QString &address) { m_address = address; }
    void setAutoSend(bool on) { m_autoSend = on; }
    bool autoSend() const { return m_autoSend; }
    void setSendButtonVisible(bool visible) { m_sendButtonVisible = visible; }
    bool sendButtonVisible() const { return m_sendButtonVisible; }

    void setLog(OperationLog *log) { m_log = log; }
    const QString &reportFilePath() const { return m_reportFile; }
    void setReportFilePath(const QString &path) { m_reportFile = path; }
    void setLogLineCount(int count) { m_logLineCount = count; }

    void setShowReport(ShowReport show) { m_show = std::move(show); }
    void setSendMail(SendMail send) { m_send = std::move(send); }

    // Reports one error. Never throws. Called from another thread, it
    // reports on the GUI thread, later.
    void report(const QString &message);

    // The mail that sending hands to the mail client.
    QUrl mailtoUrl(const CrashReport &report) const;

    int reportCount() const { return m_count; }

private:
    void reportOnGuiThread(const QString &message);
    CrashReport collect(const QString &message) const;
    bool writeFile(CrashReport &report);
    void send(const CrashReport &report);

    QString m_subject;
    QString m_body;
    QString m_address;
    bool m_autoSend = true;
    bool m_sendButtonVisible = false;
    OperationLog *m_log = nullptr;
    QString m_reportFile;
    int m_logLineCount = 20;
    ShowReport m_show;
    SendMail m_send;
    bool m_showing = false;
    int m_count = 0;
};

// The program's application object: an exception that escapes an event
// handler ends up here instead of ending the program, and goes to the
// crash reporter.
class KorvelApplication : public QApplication
{
public:
    KorvelApplication(int &argc, char **argv);
    void setCrashReporter(CrashReporter *reporter) { m_reporter = reporter; }
    CrashReporter *crashReporter() const { return m_reporter; }

    bool notify(QObject *receiver, QEvent *event) override;

private:
    void handOver(const QString &message);

    CrashReporter *m_reporter = nullptr;
};
