// korvel-cli: the bus operations of Korvel from the command line, on the
// same engine as the window, for scripts and production lines.
#include "cliargs.h"
#include "clisession.h"
#include "settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstdio>

namespace
{

void printTo(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvel-cli"));

    CliOptions options;
    QString error;
    if (!ParseCliArgs(QCoreApplication::arguments().mid(1), options, error)) {
        printTo(stderr, QStringLiteral("korvel-cli: ") + error +
                            QStringLiteral("\nTry \"korvel-cli --help\".\n"));
        return Exit::BadInput;
    }
    if (options.help) {
        printTo(stdout, UsageText(options.command));
        return Exit::Done;
    }

    // The window's settings file: Korvel.x64.ini beside Korvel.x64.exe,
    // which is installed beside this program.
    QString settingsPath = options.iniPath;
    if (settingsPath.isEmpty()) {
        settingsPath = SettingsFilePath(QDir(QCoreApplication::applicationDirPath())
                                            .filePath(QStringLiteral("Korvel.x64.exe")));
    } else if (!QFileInfo(settingsPath).isFile()) {
        printTo(stderr, QStringLiteral("korvel-cli: --ini: %1 is not a readable file\n")
                            .arg(QDir::toNativeSeparators(settingsPath)));
        return Exit::BadInput;
    }

    std::signal(SIGINT, &CliSession::onInterruptSignal);
    CliSession session(options, settingsPath);
    return session.run();
}
