#pragma once

#include "busengine.h"
#include "cliargs.h"
#include "consoledialogs.h"
#include "engineclock.h"
#include "installationtables.h"
#include "interfacescan.h"
#include "keynumberlist.h"
#include "keypressmonitor.h"
#include "memoryaccess.h"
#include "operationlog.h"
#include "qtseriallink.h"
#include "settingsstore.h"

#include <QJsonObject>
#include <QMap>
#include <QObject>

#include <functional>

class QTextStream;

// One run of korvel-cli: the engine objects the window owns, wired to the
// console instead of widgets, and the subcommand driven through the same
// calls the window's buttons make.
class CliSession : public QObject
{
    Q_OBJECT
public:
    CliSession(const CliOptions &options, const QString &settingsPath);
    ~CliSession() override;

    // Runs the subcommand and returns the exit code.
    int run();

    // SIGINT handler: the run stops as Abort would stop it.
    static void onInterruptSignal(int signal);

private:
    int runPorts();
    int runScan();
    int runFind();
    int runRead();
    int runWrite();
    int runParams();
    int runInitMemory();
    int runMonitor();

    // Steps shared by the subcommands; each returns an exit code.
    int resolvePort();
    int scanBox();
    int findDevices();
    // findDevices, and at least one door station.
    int findStations();
    // The phone list's length against the counts given, before the bus.
    int checkListAgainstCounts();
    int applyButtonCounts();
    // Makes the MAIN (or --serial) the current device row.
    int selectMain();
    // Starts an operation with `press` and waits for its end; `wanted` are
    // the ends it must report as ok.
    int runOperation(const std::function<void()> &press, QList<BusOperation> wanted);
    // Runs the event loop until `done` holds or a new interrupt arrives.
    bool waitUntil(const std::function<bool()> &done);

    QJsonArray devicesJson() const;
    QJsonObject interfaceJson() const;
    QString deviceLines() const;
    int finish(int code);
    void printErr(const QString &text);
    void printOut(const QString &text);
    void showProgress(int position, int maximum);
    void clearProgress();

    CliOptions m_opt;
    QString m_settingsPath;
    SettingsValues m_settings;
    OperationLog m_log;
    RealClock m_clock;
    QtSerialLink m_port;
    QtSerialLink m_scanPort;
    ConsoleDialogs m_dialogs;
    InstallationTables m_tables;
    InterfaceScan m_scan;
    BusEngine m_engine;
    MemoryAccess m_memory;
    SortedStringList m_keyNumbers;
    KeyPressMonitor m_monitor;

    int m_com = 0;
    QMap<BusOperation, bool> m_finished;
    QJsonObject m_result;
    QString m_failure;
    bool m_progressShown = false;
    bool m_stderrIsTerminal = false;
    bool m_abortPressed = false;
    // Monitor: lines appended while watching are the result.
    bool m_watching = false;
    QStringList m_watched;
};
