#include "busengine.h"

#include "frames.h"
#include "hexutil.h"
#include "installationtables.h"
#include "interfacescan.h"
#include "operationlog.h"
#include "seriallink.h"
#include "seriestype.h"

namespace {

// Door-station types and versions that decide the series.
constexpr qint32 TypePentryOrOld = 0x420;
constexpr qint32 PentryMinVersion = 0xA50;  // greater than 0xA4F
constexpr qint32 TypeKorvel = 0xA00;
constexpr qint32 TypeKorvelVideo = 0xA08;
constexpr qint32 TypePentryA10 = 0xA10;
constexpr qint32 TypePentryA18 = 0xA18;
constexpr qint32 TypeExt = 0x000;
constexpr qint32 KorvelExtMinVersion = 0x702;  // greater than 0x701

// A hexadecimal field of a payload (positions from 1), or nothing when the
// payload is too short or the field is not hexadecimal.
std::optional<qint32> hexField(const QString &payload, int from, int length)
{
    if (payload.size() < from - 1 + length)
        return std::nullopt;
    bool ok = false;
    const qint32 value = HexToInt(payload.mid(from - 1, length), &ok);
    return ok ? std::optional<qint32>(value) : std::nullopt;
}

} // namespace

bool IsAnnouncement(const QString &payload)
{
    return payload.size() >= 7 && payload.at(0) == QLatin1Char('5') &&
           payload.at(6) == QLatin1Char('1');
}

BusEngine::BusEngine(OperationLog &log, EngineClock &clock, SerialLink &port,
                     InstallationTables &tables, QObject *parent)
    : QObject(parent), TSearchArvo(QStringLiteral("TSearchArvo"), clock, 300),
      TSearchKennung(QStringLiteral("TSearchKennung"), clock, 300),
      TSearchExt(QStringLiteral("TSearchExt"), clock, 500),
      TTimeOutSend(QStringLiteral("TTimeOutSend"), clock, 1250),
      TSeriesTypeTimeOut(QStringLiteral("TSeriesTypeTimeOut"), clock, 3000),
      TSelMemReadDevice(QStringLiteral("TSelMemReadDevice"), clock, 300),
      TSelMemWriteDevice(QStringLiteral("TSelMemWriteDevice"), clock, 300),
      TReset(QStringLiteral("TReset"), clock, 300),
      TReadSerials(QStringLiteral("TReadSerials"), clock, 300),
      TReadSerialsExt(QStringLiteral("TReadSerialsExt"), clock, 300),
      TReadParams(QStringLiteral("TReadParams"), clock, 300),
      TWriteSerials(QStringLiteral("TWriteSerials"), clock, 300),
      TWriteSerialsExt(QStringLiteral("TWriteSerialsExt"), clock, 300),
      TWriteParams(QStringLiteral("TWriteParams"), clock, 300), m_log(log),
      m_clock(clock), m_port(port), m_tables(tables)
{
    TSearchArvo.setHandler([this]() { TSearchArvoTimer(); });
    TSearchKennung.setHandler([this]() { TSearchKennungTimer(); });
    TSearchExt.setHandler([this]() { TSearchExtTimer(); });
    TTimeOutSend.setHandler([this]() { TTimeOutSendTimer(); });
    TSeriesTypeTimeOut.setHandler([this]() { TSeriesTypeTimeOutTimer(); });
    connect(&m_port, &SerialLink::dataAvailable, this, &BusEngine::PortDataAvailable);
    connect(&m_port, &SerialLink::portFailed, this, [this]() {
        if (m_searchRunning)
            endSearch();
    });
}

QList<EngineTimer *> BusEngine::timers()
{
    return {&TSearchArvo,       &TSearchKennung,     &TSearchExt,    &TTimeOutSend,
            &TSelMemReadDevice, &TSelMemWriteDevice, &TReset,        &TReadSerials,
            &TReadSerialsExt,   &TReadParams,        &TWriteSerials, &TWriteSerialsExt,
            &TWriteParams};
}

void BusEngine::setSearchRunning(bool running)
{
    if (running == m_searchRunning)
        return;
    m_searchRunning = running;
    emit searchRunningChanged(running);
}

bool BusEngine::send(const QByteArray &frame)
{
    if (SendFrame(m_log, m_port, frame))
        return true;
    // Nothing went out, so no reply will come: no timer may keep the
    // sequence waiting for one.
    abortActiveOperation();
    if (m_searchRunning)
        endSearch();
    return false;
}

void BusEngine::btnFindMAINClick()
{
    if (m_searchRunning || m_findEntered)
        return;
    int number = 0;
    if (!ChosenPortNumber(m_portText ? m_portText() : QString(), m_log, number))
        return;
    // Reopening the port processes events: a second click then must not
    // start a second search.
    m_findEntered = true;
    const bool opened = (!m_port.isOpen() || m_port.portNumber() == number || m_port.close()) &&
                        OpenDPXPort(m_port, number, m_log, m_clock);
    m_findEntered = false;
    if (!opened)
        return;

    m_state.BusStep = Step::InitSearch;
    m_state.FoundCount = 0;
    m_state.InitCode = Frame::InitMain;
    m_state.ActiveOperation = BusOperation::FindDevices;
    m_state.LastSerial.clear();
    m_tables.tblDeviceSerials().clear();
    setSearchRunning(true);
    emit buttonStatesChanged();
    InitQBXBUS(m_port);
}

void BusEngine::InitQBXBUS(SerialLink &aCiaCom)
{
    m_state.AckPending = true;
    m_log.append(QStringLiteral("> Initializing QBX:BUS..."));
    const QByteArray frame = InitQBXBUSFrame(m_state.InitCode);
    m_log.append(SendingLine(frame, QDateTime::currentDateTime()));
    if (!aCiaCom.isAccessible()) {
        m_log.append(
            QStringLiteral("[ERROR] Port COM%1 is not accessible!").arg(aCiaCom.portNumber()));
        abortActiveOperation();
        return;
    }
    if (!aCiaCom.isOpen()) {
        m_log.append(QStringLiteral("[ERROR] Port COM%1 is closed!").arg(aCiaCom.portNumber()));
        abortActiveOperation();
        return;
    }
    if (!SendLoggedFrame(m_log, aCiaCom, frame)) {
        abortActiveOperation();
        return;
    }
    TTimeOutSend.setInterval(m_state.InitCode == Frame::InitMain ? 1250 : 1800);
    TTimeOutSend.start();
}

void BusEngine::abortActiveOperation()
{
    if (m_state.ActiveOperation == BusOperation::FindDevices) {
        // A search has no Abort button: it simply stops here.
        endSearch();
        return;
    }
    if (m_abortHook && m_state.ActiveOperation != BusOperation::None)
        m_abortHook(m_state.ActiveOperation);
}

void BusEngine::endSearch()
{
    TSearchArvo.stop();
    TSearchKennung.stop();
    TSearchExt.stop();
    TTimeOutSend.stop();
    TSeriesTypeTimeOut.stop();
    m_typeQueryTimedOut = false;
    m_state.AckPending = false;
    m_state.BusStep = Step::Idle;
    if (m_state.ActiveOperation == BusOperation::FindDevices)
        m_state.ActiveOperation = BusOperation::None;
    setSearchRunning(false);
    emit buttonStatesChanged();
}

void BusEngine::TSearchArvoTimer()
{
    m_state.BusStep = Step::Search;
    m_state.AckPending = true;
    if (m_state.InitCode == Frame::InitMain) {
        m_log.append(QStringLiteral("> Searching MAIN device on QBX:BUS..."));
    } else if (m_state.InitCode == Frame::InitExt) {
        m_log.append(QStringLiteral("> Searching EXT device on QBX:BUS..."));
        m_state.AckPending = false;
    }
    TSearchArvo.stop();
    send(SearchDeviceFrame());
}

void BusEngine::TTimeOutSendTimer()
{
    TTimeOutSend.stop();
    if (m_state.ActiveOperation != BusOperation::FindDevices)
        return;
    if (!m_log.lastLine().startsWith(QLatin1String("> Door station")))
        m_log.append(QStringLiteral(">> Request timed out!"));

    DeviceTable &devices = m_tables.tblDeviceSerials();
    if (m_state.InitCode == Frame::InitMain) {
        if (devices.locate(DeviceTable::DeviceType, 0)) {
            m_log.append(QStringLiteral("> Requesting MAIN series type..."));
            TSearchKennung.start();
        } else {
            TSearchExt.start();
        }
        return;
    }
    const bool extFound = devices.locate(DeviceTable::DeviceType, 1);
    if (extFound) {
        m_log.append(QStringLiteral("> Requesting EXT series type..."));
        TSearchKennung.start();
    }
    m_state.BusStep = Step::Idle;
    m_state.ActiveOperation = BusOperation::None;
    if (!extFound)
        setSearchRunning(false);
    emit buttonStatesChanged();
}

void BusEngine::TSearchKennungTimer()
{
    TSearchKennung.stop();
    DeviceTable &devices = m_tables.tblDeviceSerials();
    if (!devices.hasCurrent()) {
        // The table was emptied under the search: nothing left to ask.
        endSearch();
        return;
    }
    m_state.BusStep = Step::SeriesType;
    const qint32 serial = devices.intValue(DeviceTable::SerialNo).value_or(0);
    m_log.append(QStringLiteral("> Checking series type %1;").arg(serial));
    m_typeQueryTimedOut = false;
    if (!send(CheckSeriesTypeFrame(quint32(serial))))
        return;
    TSeriesTypeTimeOut.setInterval(qMax(3000, 10 * TSearchKennung.interval()));
    TSeriesTypeTimeOut.stop();
    TSeriesTypeTimeOut.start();
}

void BusEngine::TSearchExtTimer()
{
    m_state.BusStep = Step::InitSearch;
    m_state.InitCode = Frame::InitExt;
    TSearchExt.stop();
    InitQBXBUS(m_port);
}

void BusEngine::TSeriesTypeTimeOutTimer()
{
    TSeriesTypeTimeOut.stop();
    if (m_state.BusStep != Step::SeriesType)
        return;
    m_typeQueryTimedOut = true;
    m_log.append(QStringLiteral(">> Request timed out!"));
    // Go on as if a type had answered that decides nothing.
    nextSeriesQuery();
}

void BusEngine::PortDataAvailable()
{
    const QString payload = ReplyPayload(m_port.receiveLine());
    if (m_state.AckPending) {
        // Exactly one line is used up as the acknowledgement, whatever it
        // holds. Cleared first, so that a handler may ask for the next one.
        m_state.AckPending = false;
        handleAcknowledgement(payload);
    } else {
        handleTelegram(payload);
    }
}

void BusEngine::handleAcknowledgement(const QString &payload)
{
    const bool positive = payload == QLatin1String("1");
    switch (m_state.BusStep) {
    case Step::InitSearch:
        if (positive) {
            m_log.append(QStringLiteral("> Response to InitQBXBUS OK!"));
            TSearchArvo.start();
        } else {
            m_log.append(QStringLiteral("> Response to InitQBXBUS Failed!"));
        }
        break;
    case Step::Search:
        // A door station that speaks before the box's "1" stands in for it.
        if (positive || IsAnnouncement(payload))
            m_log.append(QStringLiteral("> Response to SearchDevice OK!"));
        else
            m_log.append(QStringLiteral("> Response to SearchDevice Failed!"));
        break;
    case Step::InitRead:
    case Step::SelMemRead:
    case Step::InitWrite:
    case Step::SerialsStep:
    case Step::DataStep:
    case Step::WriteParams:
        if (m_memoryAck)
            m_memoryAck(m_state.BusStep, positive, payload);
        break;
    default:
        break;
    }
}

void BusEngine::handleTelegram(const QString &payload)
{
    switch (m_state.BusStep) {
    case Step::Search:
        handleAnnouncement(payload);
        break;
    case Step::SerialsStep:
    case Step::DataStep:
        if (m_memoryData)
            m_memoryData(m_state.BusStep, payload);
        break;
    case Step::SeriesType:
        handleSeriesType(payload);
        break;
    case Step::Idle:
        if (m_telegram)
            m_telegram(m_state.BusStep, payload);
        break;
    default:
        break;
    }
}

void BusEngine::handleAnnouncement(const QString &payload)
{
    if (!IsAnnouncement(payload)) {
        if (payload != QLatin1String("1"))
            m_log.append(QStringLiteral("> ") + payload);
        return;
    }
    bool ok = false;
    const QString serial = HexToDecimalText(payload.mid(1, 5), &ok);
    if (!ok) {
        m_log.append(QStringLiteral("> Invalid reply: ") + payload);
        return;
    }
    if (serial == m_state.LastSerial)
        return;
    m_state.LastSerial = serial;
    DeviceTable &devices = m_tables.tblDeviceSerials();
    const qint32 serialNo = serial.toInt();
    if (devices.lookup(DeviceTable::SerialNo, serialNo, DeviceTable::SerialNo).has_value())
        return;
    m_log.append(QStringLiteral("> Door station, serial number: ") + serial + QLatin1Char(';'));
    devices.appendFoundDevice(serialNo, qint32(m_state.InitCode - Frame::InitMain),
                              m_state.FoundCount);
    ++m_state.FoundCount;
    emit buttonStatesChanged();
}

void BusEngine::handleSeriesType(const QString &payload)
{
    if (m_typeQueryTimedOut) {
        // The answer to a query that already timed out: the record it was
        // meant for is no longer the current one.
        m_log.append(QStringLiteral("> Late reply ignored: ") + payload);
        return;
    }
    const bool mainStage = m_state.InitCode == Frame::InitMain;
    const std::optional<qint32> type = hexField(payload, 2, 3);
    // The version is read only where it decides something.
    const bool versionNeeded =
        type && ((mainStage && *type == TypePentryOrOld) || (!mainStage && *type == TypeExt));
    qint32 version = 0;
    if (versionNeeded) {
        const std::optional<qint32> field = hexField(payload, 6, 3);
        if (!field) {
            m_log.append(QStringLiteral("> Invalid reply: ") + payload);
            return;
        }
        version = *field;
    }
    if (!type) {
        m_log.append(QStringLiteral("> Invalid reply: ") + payload);
        return;
    }
    TSeriesTypeTimeOut.stop();
    m_log.append(QStringLiteral("> Received device type&ver: ") + payload);

    DeviceTable &devices = m_tables.tblDeviceSerials();
    if (devices.hasCurrent()) {
        QString series;
        bool video = false;
        if (mainStage) {
            switch (*type) {
            case TypePentryOrOld:
                if (version >= PentryMinVersion)
                    series = QLatin1String(SeriesPentry);
                break;
            case TypeKorvel:
                series = QLatin1String(SeriesKorvel);
                break;
            case TypeKorvelVideo:
                series = QLatin1String(SeriesKorvel);
                video = true;
                break;
            case TypePentryA10:
            case TypePentryA18:
                series = QLatin1String(SeriesPentry);
                break;
            default:
                break;
            }
        } else if (*type == TypeExt && version >= KorvelExtMinVersion) {
            series = QLatin1String(SeriesKorvel);
        }
        if (!series.isEmpty())
            SetFieldValue(devices, DeviceTable::SeriesTypeStr, series);
        if (video)
            SetFieldValue(devices, DeviceTable::IsVideoMain, true);
    }
    nextSeriesQuery();
}

void BusEngine::nextSeriesQuery()
{
    DeviceTable &devices = m_tables.tblDeviceSerials();
    devices.next();
    if (!devices.eof()) {
        TSearchKennung.start();
        return;
    }
    if (m_state.InitCode == Frame::InitMain) {
        TSearchExt.start();
        return;
    }
    m_state.BusStep = Step::Idle;
    setSearchRunning(false);
    emit buttonStatesChanged();
}
