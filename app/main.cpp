#include "aboutbox.h"
#include "crashreporter.h"
#include "paramsdialog.h"
#include "settingsdialog.h"
#include "settingsstore.h"
#include "engineclock.h"
#include "mainwindow.h"
#include "operationlog.h"
#include "platformservices.h"
#include "qtseriallink.h"
#include "selfreplace.h"
#include "widgetdialogs.h"

#include <QApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    // The replacement step of an update opens no window: it runs before the
    // GUI application exists, so it also works without a display.
    {
        QCoreApplication core(argc, argv);
        SystemPlatformServices platform;
        if (RunReplacementStep(QCoreApplication::applicationFilePath(), platform,
                               ReplacementWaitMs))
            return 0;
    }

    KorvelApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvel"));
    QApplication::setApplicationVersion(ProgramVersion);

    SystemPlatformServices platform;

    OperationLog log;
    const QStringList args = QCoreApplication::arguments();
    const int logAt = int(args.indexOf(QStringLiteral("--log")));
    if (logAt > 0 && logAt + 1 < args.size() && !log.mirrorTo(args.at(logAt + 1)))
        QTextStream(stderr) << "Korvel: cannot write the log file " << args.at(logAt + 1) << Qt::endl;

    RealClock clock;
    QtSerialLink port;
    QtSerialLink scanPort;
    WidgetDialogs dialogs;
    const QString settingsPath = SettingsFilePath(QCoreApplication::applicationFilePath());
    CrashReporter reporter(settingsPath, &log);
    app.setCrashReporter(&reporter);

    // The windows in their order: main window, settings, parameters, About.
    TForm1 form1({log, clock, port, scanPort, dialogs, platform, settingsPath,
                  QCoreApplication::applicationDirPath()});
    dialogs.setParent(&form1);
    TForm3 form3({settingsPath, form1.engineTimers(), dialogs, log, &reporter}, &form1);
    EngineState &engine = form1.engine().state();
    TForm2 form2(dialogs, engine.ParamImage, engine.InitMemoryMode, &form1);
    TForm4 form4(&form1);
    form1.setDialogs(&form3, &form2, &form4);
    form1.show();
    return app.exec();
}
