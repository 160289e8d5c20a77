#include "qbxsimulator.h"

#include "frames.h"
#include "hexutil.h"

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
        {QStringLiteral("disconnect"), Kind::Disconnect}};
    const auto it = kinds.find(text.toLower());
    if (it == kinds.end())
        return false;
    out = *it;
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
    default:
        // Bus commands reach door stations, which this box does not model yet.
        return;
    }
}

void QbxSimulator::answer(Command command, const QString &payload)
{
    Fault fault = m_faults.value(command);
    if (fault.kind != Fault::Kind::None && fault.remaining != 0) {
        if (fault.remaining > 0)
            --m_faults[command].remaining;
    } else {
        fault.kind = Fault::Kind::None;
    }

    const QByteArray line = replyLine(payload);
    switch (fault.kind) {
    case Fault::Kind::None:
        emit output(line, m_replyDelay);
        break;
    case Fault::Kind::Negative:
        emit output(replyLine(QStringLiteral("0")), m_replyDelay);
        break;
    case Fault::Kind::Drop:
        break;
    case Fault::Kind::Delay:
        emit output(line, m_replyDelay + fault.delayMs);
        break;
    case Fault::Kind::Garble:
        emit output(replyLine(fault.garbleText), m_replyDelay);
        break;
    case Fault::Kind::Split: {
        const qsizetype half = line.size() / 2;
        emit output(line.left(half), m_replyDelay);
        emit output(line.mid(half), m_replyDelay + 20);
        break;
    }
    case Fault::Kind::Disconnect:
        emit disconnected();
        break;
    }
}

} // namespace sim
