#include "clisession.h"

#include "comports.h"
#include "paramblock.h"
#include "phonelistfile.h"
#include "phonelistio.h"
#include "seriestype.h"
#include "timeouts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTimer>

#include <csignal>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#define KORVEL_ISATTY _isatty
#define KORVEL_FILENO _fileno
#else
#include <unistd.h>
#define KORVEL_ISATTY isatty
#define KORVEL_FILENO fileno
#endif

namespace
{

volatile std::sig_atomic_t s_interrupted = 0;

bool interrupted()
{
    return s_interrupted != 0;
}

QJsonValue serialJson(const std::optional<qint32> &serial)
{
    return serial ? QJsonValue(*serial) : QJsonValue();
}

QString paramSettingsText(const ParamSettings &s)
{
    return QStringLiteral("%1=%2\n%3=%4\n%5=%6\n%7=%8\n%9=%10\n")
        .arg(ParamKey::AsAddress)
        .arg(s.asAddress)
        .arg(ParamKey::AsFixed)
        .arg(s.asFixed ? 1 : 0)
        .arg(ParamKey::RContactTime)
        .arg(s.rContactTime)
        .arg(ParamKey::IndoorDeviceTime, HalfSecondsText(s.indoorDeviceTime))
        .arg(ParamKey::UseAsLight)
        .arg(s.useAsLight ? 1 : 0);
}

QJsonObject paramSettingsJson(const ParamSettings &s)
{
    return {{ParamKey::AsAddress, s.asAddress},
            {ParamKey::AsFixed, s.asFixed},
            {ParamKey::RContactTime, s.rContactTime},
            {ParamKey::IndoorDeviceTime, s.indoorDeviceTime / 2.0},
            {ParamKey::UseAsLight, s.useAsLight}};
}

} // namespace

void CliSession::onInterruptSignal(int signal)
{
    // The first Ctrl-C ends the run as Abort would; a second one ends the
    // program at once.
    if (s_interrupted) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    s_interrupted = 1;
}

CliSession::CliSession(const CliOptions &options, const QString &settingsPath)
    : m_opt(options), m_settingsPath(settingsPath), m_settings(LoadSettingsValues(settingsPath)),
      m_dialogs([this](const QString &text) { printErr(text); }, options.yes), m_tables(m_dialogs),
      m_scan(m_log, m_port, m_scanPort, m_clock), m_engine(m_log, m_clock, m_port, m_tables),
      m_memory(m_engine, m_log, m_port, m_tables, m_dialogs, m_clock),
      m_monitor(m_log, m_dialogs, m_tables.tblPhoneSerials(), m_keyNumbers)
{
    m_stderrIsTerminal = KORVEL_ISATTY(KORVEL_FILENO(stderr)) != 0;

    connect(&m_log, &OperationLog::lineAppended, this, [this](const QString &line) {
        if (m_watching) {
            m_watched.append(line);
            if (!m_opt.json)
                printOut(line + QLatin1Char('\n'));
        } else if (m_opt.logPath.isEmpty()) {
            printErr(line);
        }
    });

    // The settings in effect, as the window takes them at start.
    m_settings.timeOutProtokol = UsableTimeOut(m_settings.timeOutProtokol);
    m_settings.timeOutRead = UsableTimeOut(m_settings.timeOutRead);
    m_settings.timeOutWrite = UsableTimeOut(m_settings.timeOutWrite);
    QList<EngineTimer *> timers = m_engine.timers();
    timers.append(&m_scan.closePortTimer());
    ApplyTimeOuts(m_settings, TimeOutOccasion::Startup, timers);

    m_tables.setShowWarnings([this]() { return m_settings.warnings; });
    m_monitor.setShowWarnings([this]() { return m_settings.warnings; });
    m_engine.setTelegramHandler(
        [this](int, const QString &payload) { m_monitor.handleTelegram(payload); });
    m_scan.setLastPortStore([this]() { return m_settings.lastPortNo; },
                            [this](int port) {
                                QString error;
                                if (!SaveLastPort(m_settingsPath, port, &error))
                                    m_log.append(QStringLiteral("> Error: ") + error);
                            });
    m_memory.setVerifyAfterWrite([this]() { return m_opt.verify || m_settings.verifyWrite; });
    connect(&m_memory, &MemoryAccess::operationFinished, this, [this](BusOperation op, bool ok) {
        // A verify runs after each write of a chain: one failure stands.
        m_finished[op] = m_finished.value(op, true) && ok;
    });
    connect(&m_memory.status(), &OperationStatus::progressChanged, this, &CliSession::showProgress);
}

CliSession::~CliSession() = default;

void CliSession::printErr(const QString &text)
{
    clearProgress();
    const QByteArray bytes = (text + QLatin1Char('\n')).toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

void CliSession::printOut(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void CliSession::showProgress(int position, int maximum)
{
    // A progress line only where a person watches: never into a file or pipe.
    if (!m_stderrIsTerminal || maximum <= 0)
        return;
    if (position <= 0) {
        clearProgress();
        return;
    }
    // Carriage return and blanks only: every console understands them.
    const QByteArray line = QStringLiteral("\r[%1/%2] %3%  ")
                                .arg(position)
                                .arg(maximum)
                                .arg(qMin(100, position * 100 / maximum))
                                .toLocal8Bit();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::fflush(stderr);
    m_progressShown = true;
}

void CliSession::clearProgress()
{
    if (!m_progressShown)
        return;
    m_progressShown = false;
    std::fputs("\r                         \r", stderr);
}

int CliSession::finish(int code)
{
    clearProgress();
    if (!m_failure.isEmpty())
        printErr(QStringLiteral("error: ") + m_failure);
    if (m_opt.json) {
        m_result.insert(QStringLiteral("command"), m_opt.command);
        m_result.insert(QStringLiteral("ok"), code == Exit::Done);
        m_result.insert(QStringLiteral("exitCode"), code);
        QStringList errors = m_dialogs.errors();
        if (!m_failure.isEmpty())
            errors.append(m_failure);
        if (!errors.isEmpty())
            m_result.insert(QStringLiteral("errors"), QJsonArray::fromStringList(errors));
        printOut(QString::fromUtf8(QJsonDocument(m_result).toJson(QJsonDocument::Compact)) +
                 QLatin1Char('\n'));
    }
    return code;
}

int CliSession::run()
{
    if (!m_opt.logPath.isEmpty() && !m_log.mirrorTo(m_opt.logPath)) {
        m_failure = QStringLiteral("cannot write the log file ") + m_opt.logPath;
        return finish(Exit::BadInput);
    }
    const QString speed = TimingModeLine(m_engine.TSearchArvo.interval());
    if (!speed.isEmpty())
        m_log.append(speed);

    const QString &c = m_opt.command;
    if (c == QLatin1String("ports"))
        return finish(runPorts());
    if (c == QLatin1String("scan"))
        return finish(runScan());
    if (c == QLatin1String("find"))
        return finish(runFind());
    if (c == QLatin1String("read"))
        return finish(runRead());
    if (c == QLatin1String("write"))
        return finish(runWrite());
    if (c == QLatin1String("params"))
        return finish(runParams());
    if (c == QLatin1String("init-memory"))
        return finish(runInitMemory());
    if (c == QLatin1String("monitor"))
        return finish(runMonitor());
    m_failure = QStringLiteral("unknown subcommand ") + c;
    return finish(Exit::BadInput);
}

bool CliSession::waitUntil(const std::function<bool()> &done)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(10);
    const bool wasInterrupted = interrupted();
    connect(&poll, &QTimer::timeout, &loop, [&]() {
        if (done() || (interrupted() && !wasInterrupted))
            loop.quit();
    });
    poll.start();
    loop.exec();
    return done();
}

int CliSession::resolvePort()
{
    m_com = m_opt.com > 0 ? m_opt.com : m_settings.lastPortNo;
    if (m_com <= 0 || m_com > MaxComPort) {
        m_failure = QStringLiteral("no COM port: give --com N (the settings file %1 names no "
                                   "last good port)")
                        .arg(QDir::toNativeSeparators(m_settingsPath));
        return Exit::BadInput;
    }
    m_result.insert(QStringLiteral("com"), m_com);
    return Exit::Done;
}

QJsonObject CliSession::interfaceJson() const
{
    if (!m_scan.interfaceFound())
        return {};
    return {{QStringLiteral("model"), m_scan.interfaceModel()},
            {QStringLiteral("serial"), m_scan.interfaceSerial().toLongLong()}};
}

int CliSession::scanBox()
{
    // The same list the window's port list shows, with its log lines.
    m_scan.cbPortDropDown();
    const int index = int(m_scan.entries().indexOf(QString::number(m_com)));
    if (index < 0) {
        const QString device = ComPortDevice(m_com);
        m_failure = QStringLiteral("COM%1 does not exist%2")
                        .arg(m_com)
                        .arg(device.isEmpty() ? QString()
                                              : QStringLiteral(" (") + device + QLatin1Char(')'));
        return Exit::NotFound;
    }
    m_scan.setCurrentIndex(index);
    m_scan.btnScanPortClick();
    // The scan has ended when neither its time window nor its closing runs.
    waitUntil(
        [this]() { return !m_scan.timeOutScan().enabled() && !m_scan.closePortTimer().enabled(); });
    if (interrupted()) {
        m_failure = QStringLiteral("interrupted");
        return Exit::BusFailed;
    }
    if (!m_scan.interfaceFound()) {
        m_failure = QStringLiteral("no interface box answered on COM%1").arg(m_com);
        return Exit::NotFound;
    }
    m_result.insert(QStringLiteral("interface"), interfaceJson());
    return Exit::Done;
}

int CliSession::findDevices()
{
    if (const int rc = scanBox())
        return rc;
    m_engine.setPortTextSource([this]() { return QString::number(m_com); });
    m_engine.btnFindMAINClick();
    waitUntil([this]() { return !m_engine.searchRunning(); });
    if (interrupted()) {
        m_failure = QStringLiteral("interrupted");
        return Exit::BusFailed;
    }
    if (!m_port.isOpen()) {
        m_failure = QStringLiteral("the bus port COM%1 could not be used").arg(m_com);
        return Exit::BusFailed;
    }
    m_result.insert(QStringLiteral("devices"), devicesJson());
    return Exit::Done;
}

QJsonArray CliSession::devicesJson() const
{
    QJsonArray devices;
    const DeviceTable &d = m_tables.tblDeviceSerials();
    for (int row = 0; row < d.recordCount(); ++row) {
        const auto intAt = [&](int field) { return d.valueAt(row, field).toInt(); };
        QJsonObject device{
            {QStringLiteral("serial"), intAt(DeviceTable::SerialNo)},
            {QStringLiteral("type"), DeviceTypeText(intAt(DeviceTable::DeviceType))},
            {QStringLiteral("series"), d.valueAt(row, DeviceTable::SeriesTypeStr).toString()},
            {QStringLiteral("order"), intAt(DeviceTable::DeviceOrder)},
            {QStringLiteral("video"), d.valueAt(row, DeviceTable::IsVideoMain).toBool()},
            {QStringLiteral("active"), d.valueAt(row, DeviceTable::DeviceActive).toBool()}};
        const QVariant keys = d.valueAt(row, DeviceTable::DeviceKeyNo);
        if (!keys.isNull() && keys.toInt() > 0)
            device.insert(QStringLiteral("buttons"), keys.toInt());
        devices.append(device);
    }
    return devices;
}

QString CliSession::deviceLines() const
{
    QString text;
    const DeviceTable &d = m_tables.tblDeviceSerials();
    for (int row = 0; row < d.recordCount(); ++row) {
        text += QStringLiteral("%1\t%2\t%3\t%4")
                    .arg(d.valueAt(row, DeviceTable::SerialNo).toInt())
                    .arg(DeviceTypeText(d.valueAt(row, DeviceTable::DeviceType).toInt()),
                         d.valueAt(row, DeviceTable::SeriesTypeStr).toString())
                    .arg(d.valueAt(row, DeviceTable::DeviceOrder).toInt());
        if (d.valueAt(row, DeviceTable::IsVideoMain).toBool())
            text += QStringLiteral("\tvideo");
        text += QLatin1Char('\n');
    }
    return text;
}

int CliSession::applyButtonCounts()
{
    DeviceTable &d = m_tables.tblDeviceSerials();
    QList<qint32> matched;
    int row = 0;
    for (d.first(); !d.eof(); d.next(), ++row) {
        const qint32 serial = d.intValue(DeviceTable::SerialNo).value_or(0);
        const QString what = QStringLiteral("door station %1 (%2, order %3)")
                                 .arg(serial)
                                 .arg(DeviceTypeText(d.intValue(DeviceTable::DeviceType)))
                                 .arg(d.intValue(DeviceTable::DeviceOrder).value_or(0));
        StationCount station;
        if (m_opt.buttons) {
            if (row >= m_opt.buttons->size()) {
                m_failure = what + QStringLiteral(" has no button count in --buttons");
                return Exit::BadInput;
            }
            station.count = m_opt.buttons->at(row);
        } else {
            const auto it =
                std::find_if(m_opt.install->cbegin(), m_opt.install->cend(),
                             [serial](const StationCount &s) { return s.serial == serial; });
            if (it == m_opt.install->cend()) {
                m_failure = what + QStringLiteral(" has no button count in the installation file");
                return Exit::BadInput;
            }
            station = *it;
            matched.append(serial);
        }
        // What the technician sets in the device grid, in the grid's order:
        // series and video first, since they decide the counts offered.
        if (!station.series.isEmpty())
            SetFieldValue(d, DeviceTable::SeriesTypeStr, station.series);
        if (station.video) {
            if (!d.isMain()) {
                m_failure = what + QStringLiteral(": only a MAIN has video");
                return Exit::BadInput;
            }
            SetFieldValue(d, DeviceTable::IsVideoMain, true);
        }
        if (station.count == 0) {
            SetFieldValue(d, DeviceTable::DeviceActive, false);
            continue;
        }
        const QList<int> choices = d.keyNoChoices();
        if (!choices.contains(station.count)) {
            QStringList offered;
            for (int choice : choices)
                offered << QString::number(choice);
            m_failure = what + QStringLiteral(", %1: %2 buttons is not possible (choices: %3; 0 "
                                              "leaves it out)")
                                   .arg(d.textValue(DeviceTable::SeriesTypeStr))
                                   .arg(station.count)
                                   .arg(offered.join(QStringLiteral(", ")));
            return Exit::BadInput;
        }
        SetFieldValue(d, DeviceTable::DeviceKeyNo, station.count);
    }
    if (m_opt.buttons && m_opt.buttons->size() > row) {
        m_failure = QStringLiteral("--buttons gives %1 counts for %2 door stations found")
                        .arg(m_opt.buttons->size())
                        .arg(row);
        return Exit::BadInput;
    }
    if (m_opt.install) {
        for (const StationCount &s : std::as_const(*m_opt.install)) {
            if (!matched.contains(s.serial) && s.count > 0) {
                m_failure = QStringLiteral("door station %1 of the installation file was not "
                                           "found on the bus")
                                .arg(s.serial);
                return Exit::NotFound;
            }
        }
    }
    d.first();
    m_result.insert(QStringLiteral("devices"), devicesJson());
    return Exit::Done;
}

int CliSession::selectMain()
{
    DeviceTable &d = m_tables.tblDeviceSerials();
    if (m_opt.serial) {
        if (!d.locate(DeviceTable::SerialNo, *m_opt.serial)) {
            m_failure = QStringLiteral("door station %1 was not found").arg(*m_opt.serial);
            return Exit::NotFound;
        }
        if (!d.isMain()) {
            m_failure = QStringLiteral("door station %1 is an EXT; the parameters live in the "
                                       "MAIN")
                            .arg(*m_opt.serial);
            return Exit::BadInput;
        }
        return Exit::Done;
    }
    if (!d.locate(DeviceTable::DeviceType, 0)) {
        m_failure = QStringLiteral("no MAIN door station found");
        return Exit::NotFound;
    }
    return Exit::Done;
}

int CliSession::runOperation(const std::function<void()> &press, QList<BusOperation> wanted)
{
    if (m_opt.verify || m_settings.verifyWrite) {
        if (wanted.contains(BusOperation::SendSerials) ||
            wanted.contains(BusOperation::WriteParams))
            wanted.append(BusOperation::Verify);
    }
    m_finished.clear();
    press();
    if (!m_memory.busy()) {
        // Refused before anything was sent: a check, the layout refusal or a
        // declined question, each with its message.
        if (m_failure.isEmpty() && !m_dialogs.refused())
            m_failure = QStringLiteral("the operation did not start (see the log)");
        return Exit::BadInput;
    }
    while (!waitUntil([this]() { return !m_memory.busy(); })) {
        // Ctrl-C: what the operation's Abort button does, once.
        if (m_abortPressed)
            continue;
        m_abortPressed = true;
        printErr(QStringLiteral("Interrupted: aborting the operation..."));
        const OperationStatus &status = m_memory.status();
        if (status.showsAbort(BusOperation::ReadSerials))
            m_memory.btnReadSNClick();
        else if (status.showsAbort(BusOperation::SendSerials))
            m_memory.btnSendSNClick();
        else if (status.showsAbort(BusOperation::ReadParams))
            m_memory.btnParamsClick();
    }
    for (BusOperation op : std::as_const(wanted)) {
        if (!m_finished.value(op, false)) {
            if (m_abortPressed)
                m_failure = QStringLiteral("interrupted");
            // A chained step refused by a check is bad input as well.
            return m_dialogs.refused() && !m_finished.contains(op) ? Exit::BadInput
                                                                   : Exit::BusFailed;
        }
    }
    return Exit::Done;
}

int CliSession::runPorts()
{
    m_scan.cbPortDropDown();
    QJsonArray ports;
    QString text;
    for (const QString &entry : m_scan.entries()) {
        bool isNumber = false;
        const int n = entry.toInt(&isNumber);
        if (!isNumber)
            continue;
        text += QStringLiteral("COM%1\t%2\n").arg(n).arg(ComPortDevice(n));
        ports.append(
            QJsonObject{{QStringLiteral("com"), n}, {QStringLiteral("device"), ComPortDevice(n)}});
    }
    m_result.insert(QStringLiteral("ports"), ports);
    if (!m_opt.json)
        printOut(text);
    return Exit::Done;
}

int CliSession::runScan()
{
    if (const int rc = resolvePort())
        return rc;
    const int rc = scanBox();
    if (rc == Exit::Done && !m_opt.json)
        printOut(m_scan.interfaceModel() + QLatin1Char(' ') + m_scan.interfaceSerial() +
                 QLatin1Char('\n'));
    return rc;
}

int CliSession::findStations()
{
    if (const int rc = findDevices())
        return rc;
    if (m_tables.tblDeviceSerials().recordCount() == 0) {
        m_failure = QStringLiteral("no door station found on the bus");
        return Exit::NotFound;
    }
    return Exit::Done;
}

int CliSession::runFind()
{
    if (const int rc = resolvePort())
        return rc;
    if (const int rc = findStations())
        return rc;
    if (!m_opt.json)
        printOut(deviceLines());
    return Exit::Done;
}

int CliSession::runRead()
{
    if (const int rc = resolvePort())
        return rc;
    if (!m_opt.output.isEmpty() && !QFileInfo(m_opt.output).absoluteDir().exists()) {
        m_failure = QStringLiteral("the folder of %1 does not exist").arg(m_opt.output);
        return Exit::BadInput;
    }
    if (const int rc = findStations())
        return rc;
    if (const int rc = applyButtonCounts())
        return rc;
    if (const int rc =
            runOperation([this]() { m_memory.btnReadSNClick(); }, {BusOperation::ReadSerials}))
        return rc;

    const QVector<PhoneListLine> lines = PhoneTableLines(m_tables.tblPhoneSerials());
    const QByteArray bytes = FormatPhoneListFile(lines);
    if (!m_opt.output.isEmpty()) {
        QString error;
        if (!WritePhoneListFile(m_opt.output, bytes, error)) {
            m_failure = QStringLiteral("cannot write %1: %2").arg(m_opt.output, error);
            return Exit::BadInput;
        }
        m_log.append(QStringLiteral("> Exported: ") + QDir::toNativeSeparators(m_opt.output));
    }
    if (m_opt.json) {
        QJsonArray buttons;
        for (int i = 0; i < lines.size(); ++i) {
            buttons.append(QJsonObject{{QStringLiteral("button"), i + 1},
                                       {QStringLiteral("serial1"), serialJson(lines[i].serial1)},
                                       {QStringLiteral("serial2"), serialJson(lines[i].serial2)}});
        }
        m_result.insert(QStringLiteral("phoneList"), buttons);
    } else if (m_opt.output.isEmpty()) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
    }
    return Exit::Done;
}

int CliSession::checkListAgainstCounts()
{
    // Before any frame: the counts given must hold the list. One MAIN row
    // carrying the total puts the list through the same import and check
    // as after the search, with the same message.
    int total = 0;
    if (m_opt.buttons) {
        for (int count : std::as_const(*m_opt.buttons))
            total += count;
    } else {
        for (const StationCount &s : std::as_const(*m_opt.install))
            total += s.count;
    }
    if (total == 0)
        return Exit::Done;
    InstallationTables planned(m_dialogs);
    DeviceTable &d = planned.tblDeviceSerials();
    d.appendFoundDevice(0, 0, 0);
    d.first();
    SetFieldValue(d, DeviceTable::DeviceKeyNo, total);
    QString error;
    if (!aImportFromTXT(planned.tblPhoneSerials(), total, m_opt.file, error)) {
        m_failure = QStringLiteral("cannot read the phone list %1: %2").arg(m_opt.file, error);
        return Exit::BadInput;
    }
    qint32 checked = 0;
    return planned.CheckDataError(checked) ? Exit::BadInput : Exit::Done;
}

int CliSession::runWrite()
{
    if (const int rc = checkListAgainstCounts())
        return rc;
    if (const int rc = resolvePort())
        return rc;
    if (const int rc = findStations())
        return rc;
    if (const int rc = applyButtonCounts())
        return rc;

    // "<= Import" with the file named here instead of picked in the list.
    QString error;
    qint32 total = 0;
    if (m_tables.CheckDataError(total))
        return Exit::BadInput;
    ImportResult imported;
    if (!aImportFromTXT(m_tables.tblPhoneSerials(), total, m_opt.file, error, &imported)) {
        m_failure = QStringLiteral("cannot read the phone list %1: %2").arg(m_opt.file, error);
        return Exit::BadInput;
    }
    m_log.append(QStringLiteral("> Imported: ") + QFileInfo(m_opt.file).fileName() +
                 QStringLiteral(" (%1 buttons)").arg(imported.rows));
    if (imported.badFields > 0)
        m_log.append(QStringLiteral("> Warning: %1 field(s) are not phone serials and were left "
                                    "empty (first in line %2)")
                         .arg(imported.badFields)
                         .arg(imported.firstBadLine));

    const int rc =
        runOperation([this]() { m_memory.btnSendSNClick(); }, {BusOperation::SendSerials});
    m_result.insert(QStringLiteral("buttons"), total);
    if (m_finished.contains(BusOperation::Verify))
        m_result.insert(QStringLiteral("verified"), m_finished.value(BusOperation::Verify));
    if (rc == Exit::Done && !m_opt.json) {
        printOut(QStringLiteral("Written: %1 buttons%2\n")
                     .arg(total)
                     .arg(m_finished.contains(BusOperation::Verify) ? QStringLiteral(", verified")
                                                                    : QString()));
    }
    return rc;
}

int CliSession::runParams()
{
    if (const int rc = resolvePort())
        return rc;
    if (const int rc = findStations())
        return rc;
    if (const int rc = selectMain())
        return rc;
    const qint32 serial = m_tables.tblDeviceSerials().intValue(DeviceTable::SerialNo).value_or(0);
    m_result.insert(QStringLiteral("serial"), serial);
    if (const int rc =
            runOperation([this]() { m_memory.btnParamsClick(); }, {BusOperation::ReadParams}))
        return rc;
    EngineState &s = m_engine.state();
    const QString readBlock = s.ParamImage;
    const std::optional<ParamSettings> read = ReadParamSettings(readBlock);
    if (!read) {
        m_failure = QStringLiteral("the parameter block [%1] read is not valid").arg(readBlock);
        return Exit::BusFailed;
    }
    m_result.insert(QStringLiteral("block"), readBlock);
    m_result.insert(QStringLiteral("settings"), paramSettingsJson(*read));
    if (!m_opt.set) {
        if (!m_opt.json)
            printOut(paramSettingsText(*read));
        return Exit::Done;
    }

    ParamSettings wanted = *read;
    const ParamChanges &set = *m_opt.set;
    if (set.asAddress)
        wanted.asAddress = *set.asAddress;
    if (set.asFixed)
        wanted.asFixed = *set.asFixed;
    if (set.rContactTime)
        wanted.rContactTime = *set.rContactTime;
    if (set.indoorDeviceTime)
        wanted.indoorDeviceTime = *set.indoorDeviceTime;
    if (set.useAsLight)
        wanted.useAsLight = *set.useAsLight;
    const QString block = WriteParamSettings(wanted, readBlock, m_dialogs);
    if (block.isEmpty()) {
        m_failure = QStringLiteral("the block read holds an R contact time of %1 s, which has no "
                                   "setting: give %2=0..7")
                        .arg(wanted.rContactTime)
                        .arg(ParamKey::RContactTime);
        return Exit::BadInput;
    }
    // "Send parameters" of the dialog: the new block for the current row.
    s.ParamImage = block;
    s.InitMemoryMode = false;
    if (const int rc =
            runOperation([this]() { m_memory.startParamWrite(); }, {BusOperation::WriteParams}))
        return rc;
    m_result.insert(QStringLiteral("block"), block);
    m_result.insert(QStringLiteral("settings"), paramSettingsJson(wanted));
    if (!m_opt.json)
        printOut(paramSettingsText(wanted));
    return Exit::Done;
}

int CliSession::runInitMemory()
{
    if (const int rc = resolvePort())
        return rc;
    if (const int rc = findStations())
        return rc;
    if (const int rc = applyButtonCounts())
        return rc;
    if (const int rc = selectMain())
        return rc;
    DeviceTable &d = m_tables.tblDeviceSerials();
    if (GetSeriesType(d.textValue(DeviceTable::SeriesTypeStr)) != 2) {
        m_failure = QStringLiteral("Init memory is for a Pentry MAIN; door station %1 is %2")
                        .arg(d.intValue(DeviceTable::SerialNo).value_or(0))
                        .arg(d.textValue(DeviceTable::SeriesTypeStr));
        return Exit::BadInput;
    }
    // "Init memory" of the "+" menu: the default block, then Send serials.
    EngineState &s = m_engine.state();
    s.InitMemoryMode = true;
    s.ParamImage = QLatin1String(DefaultParamBlock);
    const int rc = runOperation([this]() { m_memory.startParamWrite(); },
                                {BusOperation::WriteParams, BusOperation::SendSerials});
    m_result.insert(QStringLiteral("devices"), devicesJson());
    if (rc == Exit::Done && !m_opt.json)
        printOut(QStringLiteral("Init memory done: default parameters, phones 101 to 104\n"));
    return rc;
}

int CliSession::runMonitor()
{
    if (const int rc = resolvePort())
        return rc;
    // A bus without door stations can still be watched.
    if (const int rc = findDevices())
        return rc;
    bool portLost = false;
    connect(&m_port, &SerialLink::portFailed, this, [&portLost]() { portLost = true; });
    printErr(m_opt.seconds > 0
                 ? QStringLiteral("Watching the bus for %1 s (Ctrl-C ends)...").arg(m_opt.seconds)
                 : QStringLiteral("Watching the bus (Ctrl-C ends)..."));
    m_watching = true;
    QElapsedTimer watched;
    watched.start();
    const qint64 limit = qint64(m_opt.seconds) * 1000;
    waitUntil([&]() { return portLost || (limit > 0 && watched.elapsed() >= limit); });
    m_watching = false;
    m_result.insert(QStringLiteral("lines"), QJsonArray::fromStringList(m_watched));
    if (portLost) {
        m_failure = QStringLiteral("the bus port was lost");
        return Exit::BusFailed;
    }
    return Exit::Done;
}
