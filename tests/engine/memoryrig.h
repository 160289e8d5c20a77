#pragma once

// The engine with its memory operations on the in-process simulator, on
// virtual time: a whole installation is written and read in milliseconds.
#include "busengine.h"
#include "dialogs.h"
#include "frames.h"
#include "installationtables.h"
#include "memoryaccess.h"
#include "operationlog.h"
#include "qbxsimulator.h"
#include "simlink.h"

#include <QtTest>

struct MemoryRig {
    FakeClock clock;
    OperationLog log;
    sim::QbxSimulator simulator;
    sim::SimLink port{simulator, clock};
    ScriptedDialogs dialogs;
    InstallationTables tables{dialogs};
    BusEngine engine{log, clock, port, tables};
    MemoryAccess memory{engine, log, port, tables, dialogs, clock};
    bool verifyOn = false;
    int paramsShown = 0;
    QString paramsFilledWith;

    MemoryRig()
    {
        port.setPorts({7}, {7});
        port.setSimulatorPort(7);
        engine.setPortTextSource([]() { return QStringLiteral("7"); });
        memory.setVerifyAfterWrite([this]() { return verifyOn; });
        memory.setParamsDialog(
            [this]() {
                paramsFilledWith = engine.state().ParamImage;
                return true;
            },
            [this]() { ++paramsShown; });
    }

    // Door stations as simulator lines, each with its button count; the
    // search finds them and the counts go into the device table.
    bool install(const QStringList &stations, const QList<int> &keys)
    {
        for (const QString &line : stations) {
            sim::Station s;
            if (!sim::Station::parse(line, s))
                return false;
            simulator.addStation(s);
        }
        engine.btnFindMAINClick();
        if (!clock.advanceUntil([this]() { return !engine.searchRunning(); }, 30000))
            return false;
        DeviceTable &devices = tables.tblDeviceSerials();
        if (devices.recordCount() != keys.size())
            return false;
        for (int i = 0; i < keys.size(); ++i) {
            devices.setCurrentPosition(i);
            if (!SetFieldValue(devices, DeviceTable::DeviceKeyNo, keys.at(i)))
                return false;
        }
        devices.first();
        return true;
    }

    void setSeries(int position, const QString &series)
    {
        DeviceTable &devices = tables.tblDeviceSerials();
        devices.setCurrentPosition(position);
        SetFieldValue(devices, DeviceTable::SeriesTypeStr, series);
    }

    bool idle() const { return !memory.busy() && engine.state().ActiveOperation == BusOperation::None; }
    // Runs virtual time until the memory operations are idle.
    bool runToIdle(qint64 limitMs = 300000)
    {
        return clock.advanceUntil([this]() { return idle(); }, limitMs, 5);
    }

    // The phone table as "ID:serial1|serial2" lines.
    QStringList phoneRows()
    {
        QStringList rows;
        const PhoneTable &phones = tables.tblPhoneSerials();
        for (int i = 0; i < phones.recordCount(); ++i) {
            rows << QStringLiteral("%1:%2|%3")
                        .arg(phones.valueAt(i, PhoneTable::ID).toString(),
                             phones.valueAt(i, PhoneTable::SerialNoRead1).toString(),
                             phones.valueAt(i, PhoneTable::SerialNoRead2).toString());
        }
        return rows;
    }

    // A door station's memory from `from` (read address), `chars` hex digits.
    QString memoryOf(quint32 serial, quint32 from = 0x8400, int chars = 512)
    {
        const sim::Station *s = simulator.station(serial);
        if (!s)
            return QString();
        return QString::fromLatin1(s->memory.mid(int(from - 0x8400), chars / 2).toHex().toUpper());
    }

    // Frame bodies received by the simulator since `from`.
    QStringList framesSince(int from) const { return simulator.received.mid(from); }

    static QStringList matching(const QStringList &frames, const QString &prefix, int length)
    {
        QStringList out;
        for (const QString &f : frames) {
            if (f.startsWith(prefix) && f.size() == length)
                out << f;
        }
        return out;
    }

    QStringList tail(int n) const { return log.lines().mid(qMax(0, log.count() - n)); }
};
