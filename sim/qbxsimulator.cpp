#include "qbxsimulator.h"

#include "frames.h"
#include "hexutil.h"

#include <cctype>

namespace sim {

bool BoxConfig::parse(const QString &text, BoxConfig &out)
{
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("absent"), Qt::CaseInsensitive) == 0) {
        out.mode = Mode::Absent;
        return true;
    }
    if (t.compare(QLatin1String("silent"), Qt::CaseInsensitive) == 0) {
        out.mode = Mode::Silent;
        return true;
    }
    const QString model = t.section(QLatin1Char(':'), 0, 0).toUpper();
    bool ok = false;
    const uint serial = t.section(QLatin1Char(':'), 1, 1).toUInt(&ok);
    if (!ok)
        return false;
    // The model decides the width of the serial field in the answer.
    if (model == QLatin1String("KDI3300") && serial <= 0xFFFF) {
        out.mode = Mode::KDI3300;
    } else if (model == QLatin1String("KDI3310") && serial >= 0x10000 && serial <= 0xFFFFF) {
        out.mode = Mode::KDI3310;
    } else {
        return false;
    }
    out.serial = serial;
    return true;
}

bool Fault::parseKind(const QString &text, Kind &out)
{
    static const QMap<QString, Kind> kinds = {
        {QStringLiteral("none"), Kind::None},         {QStringLiteral("negative"), Kind::Negative},
        {QStringLiteral("drop"), Kind::Drop},         {QStringLiteral("delay"), Kind::Delay},
        {QStringLiteral("garble"), Kind::Garble},     {QStringLiteral("split"), Kind::Split},
        {QStringLiteral("disconnect"), Kind::Disconnect}, {QStringLiteral("corrupt"), Kind::Corrupt}};
    const auto it = kinds.find(text.toLower());
    if (it == kinds.end())
        return false;
    out = *it;
    return true;
}

namespace {

QByteArray freshMemory(bool main)
{
    QByteArray memory(MemorySize, char(0xFF));
    if (main)
        memory.replace(0, 8, QByteArray::fromHex(DefaultParams));
    return memory;
}

bool isHexDigits(const QString &text)
{
    for (QChar c : text) {
        if (!isxdigit(c.toLatin1()))
            return false;
    }
    return true;
}

} // namespace

Station::Station() : memory(freshMemory(true)) {}

bool Station::parse(const QString &line, Station &out, QString *error)
{
    const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (words.size() < 2)
        return fail(QStringLiteral("expected: main|ext <serial> [type=HHH] [version=HHH] [repeat]"));
    Station station;
    const QString kind = words.at(0).toLower();
    if (kind != QLatin1String("main") && kind != QLatin1String("ext"))
        return fail(QStringLiteral("a station is main or ext"));
    station.main = kind == QLatin1String("main");
    if (!station.main) {
        station.type = 0x000;
        station.version = 0x702;
        station.memory = freshMemory(false);
    }
    bool ok = false;
    station.serial = words.at(1).toUInt(&ok);
    // Announcements carry five hex digits.
    if (!ok || station.serial == 0 || station.serial > 0xFFFFF)
        return fail(QStringLiteral("serial must be 1 to 1048575"));
    for (const QString &word : words.mid(2)) {
        const QString key = word.section(QLatin1Char('='), 0, 0).toLower();
        const QString value = word.section(QLatin1Char('='), 1);
        if (key == QLatin1String("repeat")) {
            station.repeat = true;
            continue;
        }
        if (key == QLatin1String("params")) {
            if (value.size() != 16 || !isHexDigits(value))
                return fail(QStringLiteral("params needs 16 hex digits"));
            station.memory.replace(0, 8, QByteArray::fromHex(value.toLatin1()));
            continue;
        }
        const uint number = value.toUInt(&ok, 16);
        if (!ok || number > 0xFFF)
            return fail(QStringLiteral("%1 needs up to three hex digits").arg(key));
        if (key == QLatin1String("type"))
            station.type = number;
        else if (key == QLatin1String("version"))
            station.version = number;
        else
            return fail(QStringLiteral("unknown word ") + word);
    }
    out = station;
    return true;
}

QString Station::describe() const
{
    auto hex3 = [](quint32 v) { return QStringLiteral("%1").arg(v, 3, 16, QLatin1Char('0')).toUpper(); };
    return QStringLiteral("%1 %2 type=%3 version=%4%5")
        .arg(main ? QStringLiteral("main") : QStringLiteral("ext"))
        .arg(serial)
        .arg(hex3(type), hex3(version), repeat ? QStringLiteral(" repeat") : QString());
}

bool QbxSimulator::loadInstallation(const QString &text, QString *error)
{
    BoxConfig box = m_box;
    QList<Station> stations;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).section(QLatin1Char('#'), 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        QString why;
        if (line.startsWith(QLatin1String("box "), Qt::CaseInsensitive)) {
            if (BoxConfig::parse(line.mid(4), box))
                continue;
            why = QStringLiteral("box is KDI3300:<serial>, KDI3310:<serial>, absent or silent");
        } else {
            Station station;
            if (Station::parse(line, station, &why)) {
                stations.append(station);
                continue;
            }
        }
        if (error)
            *error = QStringLiteral("line %1: %2").arg(i + 1).arg(why);
        return false;
    }
    m_box = box;
    m_stations = stations;
    return true;
}

static const QMap<QString, Command> &commandNames()
{
    static const QMap<QString, Command> names = {
        {QStringLiteral("SearchInterface"), Command::SearchInterface},
        {QStringLiteral("InitQBXBUS"), Command::InitBus},
        {QStringLiteral("SearchDevice"), Command::SearchDevice},
        {QStringLiteral("CheckSeriesType"), Command::CheckSeriesType},
        {QStringLiteral("SelMemAccess"), Command::SelMemAccess},
        {QStringLiteral("ReadLocation"), Command::ReadLocation},
        {QStringLiteral("WriteData"), Command::WriteData},
        {QStringLiteral("ResetDevice"), Command::ResetDevice}};
    return names;
}

bool ParseCommandName(const QString &text, Command &out)
{
    for (auto it = commandNames().begin(); it != commandNames().end(); ++it) {
        if (it.key().compare(text, Qt::CaseInsensitive) == 0) {
            out = it.value();
            return true;
        }
    }
    return false;
}

QString CommandName(Command command)
{
    return commandNames().key(command, QStringLiteral("Unknown"));
}

QbxSimulator::QbxSimulator(QObject *parent) : QObject(parent) {}

QByteArray QbxSimulator::replyLine(const QString &payload)
{
    return QByteArray(1, Frame::SOH) + ':' + payload.toLatin1() + Frame::EOT;
}

Command QbxSimulator::classify(char separator, const QString &body)
{
    if (separator == '.')
        return body == QLatin1String("3F") ? Command::SearchInterface : Command::Unknown;
    if (body == QLatin1String("5802") || body == QLatin1String("5803"))
        return Command::InitBus;
    if (body == QLatin1String("5200"))
        return Command::SearchDevice;
    if (body == QLatin1String("5100"))
        return Command::ResetDevice;
    if (body.startsWith(QLatin1String("810")) && body.size() > 3)
        return Command::SelMemAccess;
    if (body.startsWith(QLatin1Char('5')) && body.endsWith(QLatin1String("C0")) && body.size() > 3)
        return Command::CheckSeriesType;
    bool ok = false;
    const uint address = body.left(4).toUInt(&ok, 16);
    if (ok && body.size() == 4 && address >= 0x8400 && address <= 0x84FF)
        return Command::ReadLocation;
    if (ok && body.size() == 8 && address >= 0x8200 && address <= 0x82FF)
        return Command::WriteData;
    return Command::Unknown;
}

void QbxSimulator::receive(const QByteArray &bytes)
{
    m_pending += bytes;
    qsizetype end;
    while ((end = m_pending.indexOf(Frame::EOT)) >= 0) {
        QByteArray frame = m_pending.left(end + 1);
        m_pending.remove(0, end + 1);
        const qsizetype start = frame.lastIndexOf(Frame::SOH);
        if (start >= 0)
            handleFrame(frame.mid(start));
    }
}

void QbxSimulator::handleFrame(const QByteArray &frame)
{
    // SOH, separator, body, EOT.
    if (frame.size() < 3)
        return;
    const char separator = frame.at(1);
    const QString body = QString::fromLatin1(frame.mid(2, frame.size() - 3));
    received.append(body);
    const Command command = classify(separator, body);

    switch (command) {
    case Command::SearchInterface:
        switch (m_box.mode) {
        case BoxConfig::Mode::Silent:
            return;
        case BoxConfig::Mode::Absent:
            answer(command, QStringLiteral("3F"));
            return;
        case BoxConfig::Mode::KDI3300:
            answer(command, QStringLiteral("0") +
                                QStringLiteral("%1").arg(m_box.serial, 4, 16, QLatin1Char('0')).toUpper());
            return;
        case BoxConfig::Mode::KDI3310:
            answer(command, IntToHexText(m_box.serial));
            return;
        }
        return;
    case Command::InitBus:
        m_stage = body == QLatin1String("5802") ? Stage::Main : Stage::Ext;
        answer(command, QStringLiteral("1"));
        return;
    case Command::SearchDevice:
        if (m_stage == Stage::Main) {
            // The box acknowledges the MAIN search; the EXT search is not acknowledged.
            if (m_announceBeforeAck) {
                announce(0);
                answer(command, QStringLiteral("1"), m_announceGap / 2);
            } else {
                answer(command, QStringLiteral("1"));
                announce(m_announceGap);
            }
        } else if (m_stage == Stage::Ext) {
            announce(m_announceGap);
        }
        return;
    case Command::CheckSeriesType: {
        bool ok = false;
        const quint32 serial = body.mid(1, body.size() - 3).toUInt(&ok, 16);
        const Station *station = ok ? stationBySerial(serial) : nullptr;
        if (!station)
            return;
        answer(command, QStringLiteral("C%1%2%3")
                            .arg(station->type, 3, 16, QLatin1Char('0'))
                            .arg(QLatin1Char('0'))
                            .arg(station->version, 3, 16, QLatin1Char('0'))
                            .toUpper());
        return;
    }
    case Command::SelMemAccess: {
        bool ok = false;
        const quint32 serial = body.mid(3).toUInt(&ok, 16);
        // Only a door station on the bus takes the selection.
        m_selected = ok && stationBySerial(serial) ? serial : 0;
        answer(command, m_selected ? QStringLiteral("1") : QStringLiteral("0"));
        return;
    }
    case Command::ReadLocation:
        answer(command, readMemory(body.toUInt(nullptr, 16)));
        return;
    case Command::WriteData: {
        const Fault fault = takeFault(command);
        if (fault.kind == Fault::Kind::Negative) {
            emitLine(QStringLiteral("0"), fault, 0);
            return;
        }
        const QString reply = writeMemory(body.left(4).toUInt(nullptr, 16), body.mid(4),
                                          fault.kind == Fault::Kind::Corrupt);
        emitLine(reply, fault, 0);
        return;
    }
    case Command::ResetDevice:
        // No answer is awaited; the door station leaves memory access.
        if (m_selected) {
            m_selected = 0;
            emit memoryReleased();
        }
        return;
    default:
        return;
    }
}

Station *QbxSimulator::station(quint32 serial)
{
    for (Station &station : m_stations) {
        if (station.serial == serial)
            return &station;
    }
    return nullptr;
}

QString QbxSimulator::readMemory(quint32 address)
{
    const Station *station = m_selected ? stationBySerial(m_selected) : nullptr;
    if (!station || address < MemoryBase || address + 4 > MemoryBase + MemorySize)
        return QStringLiteral("0");
    return QString::fromLatin1(station->memory.mid(int(address - MemoryBase), 4).toHex().toUpper());
}

QString QbxSimulator::writeMemory(quint32 address, const QString &digits, bool corrupt)
{
    Station *target = m_selected ? station(m_selected) : nullptr;
    const quint32 readAddress = address + WriteOffset;
    if (!target || digits.size() != 4 || !isHexDigits(digits) || readAddress < MemoryBase ||
        readAddress + 2 > MemoryBase + MemorySize)
        return QStringLiteral("0");
    QByteArray bytes = QByteArray::fromHex(digits.toLatin1());
    if (corrupt)
        bytes[0] = char(bytes.at(0) ^ 0x10);
    target->memory.replace(int(readAddress - MemoryBase), 2, bytes);
    return QStringLiteral("1");
}

QString QbxSimulator::memoryText() const
{
    QString text;
    for (const Station &station : m_stations)
        text += QStringLiteral("%1 %2\n")
                    .arg(station.serial)
                    .arg(QString::fromLatin1(station.memory.toHex().toUpper()));
    return text;
}

bool QbxSimulator::loadMemoryText(const QString &text, QString *error)
{
    QMap<quint32, QByteArray> memories;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty())
            continue;
        bool ok = false;
        const quint32 serial = line.section(QLatin1Char(' '), 0, 0).toUInt(&ok);
        const QString digits = line.section(QLatin1Char(' '), 1).trimmed();
        if (!ok || digits.size() != 2 * MemorySize || !isHexDigits(digits)) {
            if (error)
                *error = QStringLiteral("line %1: expected <serial> <%2 hex digits>")
                             .arg(i + 1)
                             .arg(2 * MemorySize);
            return false;
        }
        memories.insert(serial, QByteArray::fromHex(digits.toLatin1()));
    }
    for (Station &station : m_stations) {
        if (memories.contains(station.serial))
            station.memory = memories.value(station.serial);
    }
    return true;
}

QStringList QbxSimulator::dump(quint32 serial) const
{
    QStringList lines;
    const Station *station = stationBySerial(serial);
    if (!station)
        return lines;
    for (int at = 0; at < MemorySize; at += 16)
        lines << QStringLiteral("%1  %2")
                     .arg(MemoryBase + at, 4, 16)
                     .toUpper()
                     .arg(QString::fromLatin1(station->memory.mid(at, 16).toHex(' ').toUpper()));
    return lines;
}

const Station *QbxSimulator::stationBySerial(quint32 serial) const
{
    for (const Station &station : m_stations) {
        if (station.serial == serial)
            return &station;
    }
    return nullptr;
}

void QbxSimulator::announce(int delay)
{
    const bool mainStage = m_stage == Stage::Main;
    for (const Station &station : m_stations) {
        if (station.main != mainStage)
            continue;
        const QByteArray line =
            replyLine(QStringLiteral("5%1").arg(station.serial, 5, 16, QLatin1Char('0')).toUpper() +
                      QLatin1Char('1'));
        emit output(line, m_replyDelay + delay);
        delay += m_announceGap;
        if (station.repeat) {
            emit output(line, m_replyDelay + delay);
            delay += m_announceGap;
        }
    }
}

Fault QbxSimulator::takeFault(Command command)
{
    const int count = ++m_counts[command];
    const auto it = m_faults.find(command);
    if (it == m_faults.end() || it->kind == Fault::Kind::None || it->remaining == 0)
        return Fault();
    if ((it->every > 0 && count % it->every != 0) ||
        (!it->only.isEmpty() && !it->only.contains(count)))
        return Fault();
    if (it->remaining > 0)
        --it->remaining;
    return *it;
}

void QbxSimulator::answer(Command command, const QString &payload, int extraDelay)
{
    emitLine(payload, takeFault(command), extraDelay);
}

void QbxSimulator::emitLine(const QString &payload, const Fault &fault, int extraDelay)
{
    const QByteArray line = replyLine(payload);
    const int delay = m_replyDelay + extraDelay;
    switch (fault.kind) {
    case Fault::Kind::None:
    case Fault::Kind::Corrupt:
        emit output(line, delay);
        break;
    case Fault::Kind::Negative:
        emit output(replyLine(QStringLiteral("0")), delay);
        break;
    case Fault::Kind::Drop:
        break;
    case Fault::Kind::Delay:
        emit output(line, delay + fault.delayMs);
        break;
    case Fault::Kind::Garble:
        emit output(replyLine(fault.garbleText), delay);
        break;
    case Fault::Kind::Split: {
        const qsizetype half = line.size() / 2;
        emit output(line.left(half), delay);
        emit output(line.mid(half), delay + 20);
        break;
    }
    case Fault::Kind::Disconnect:
        emit disconnected();
        break;
    }
}

// --- Key presses on the bus ---

QString QbxSimulator::callTelegram(quint32 serial, int as)
{
    // "0", five hex digits of the called phone, AS address with the call flag 0x80.
    return QStringLiteral("0%1%2")
        .arg(serial, 5, 16, QLatin1Char('0'))
        .arg(as + 0x80, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QString QbxSimulator::lightTelegram(int as)
{
    return IntToHexText(quint32(0x1200 + as));
}

bool QbxSimulator::press(quint32 serial, int as)
{
    if (serial == 0 || serial > 0xFFFFF || as < 0 || as > MaxAsAddress)
        return false;
    const QByteArray line = replyLine(callTelegram(serial, as));
    emit output(line, m_replyDelay);
    emit output(line, m_replyDelay + m_announceGap);
    return true;
}

bool QbxSimulator::light(int as)
{
    if (as < 0 || as > MaxAsAddress)
        return false;
    emit output(replyLine(lightTelegram(as)), m_replyDelay);
    return true;
}

// --- end of key presses ---

} // namespace sim
