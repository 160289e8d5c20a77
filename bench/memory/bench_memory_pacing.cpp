// Writes and reads a 150-button installation (a Korvel MAIN of 20 buttons and
// five Korvel EXT stations of 26) on the in-process simulator with the real
// clock, and prints how much longer each operation took than the sum of the
// timer intervals that pace it. Every frame but an operation's first one
// waits exactly one interval of the timer that sends it, so that sum is the
// interval times (frames - 1).
//
//   bench_memory_pacing [interval-ms]   (default 10)
#include "busengine.h"
#include "dialogs.h"
#include "installationtables.h"
#include "memoryaccess.h"
#include "operationlog.h"
#include "qbxsimulator.h"
#include "simlink.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <functional>

namespace {

struct Result {
    qint64 wallMs = 0;
    int frames = 0;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int interval = argc > 1 ? qMax(1, atoi(argv[1])) : 10;

    RealClock clock;
    OperationLog log;
    sim::QbxSimulator simulator;
    simulator.setReplyDelay(0);
    sim::SimLink port(simulator, clock);
    port.setPorts({7}, {7});
    port.setSimulatorPort(7);
    ScriptedDialogs dialogs;
    InstallationTables tables(dialogs);
    BusEngine engine(log, clock, port, tables);
    MemoryAccess memory(engine, log, port, tables, dialogs, clock);
    engine.setPortTextSource([]() { return QStringLiteral("7"); });

    QStringList stations{QStringLiteral("main 74565 type=A00 version=010")};
    for (int i = 0; i < 5; ++i)
        stations << QStringLiteral("ext %1 type=000 version=702").arg(703710 + i);
    for (const QString &line : stations) {
        sim::Station s;
        sim::Station::parse(line, s);
        simulator.addStation(s);
    }

    auto waitUntil = [&](const std::function<bool()> &done) {
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&]() {
            if (done())
                loop.quit();
        });
        QObject::connect(&memory, &MemoryAccess::buttonStatesChanged, &loop, [&]() {
            if (done())
                loop.quit();
        });
        poll.start(50);
        loop.exec();
    };

    engine.btnFindMAINClick();
    waitUntil([&]() { return !engine.searchRunning(); });
    DeviceTable &devices = tables.tblDeviceSerials();
    if (devices.recordCount() != 6) {
        std::printf("search found %d door stations, expected 6\n", devices.recordCount());
        return 1;
    }
    for (int i = 0; i < 6; ++i) {
        devices.setCurrentPosition(i);
        SetFieldValue(devices, DeviceTable::DeviceKeyNo, i == 0 ? 20 : 26);
    }
    devices.first();
    tables.setTestData();
    tables.setTestData();
    for (EngineTimer *timer : engine.timers()) {
        if (timer->name().startsWith(QLatin1String("TRead")) ||
            timer->name().startsWith(QLatin1String("TWrite")) ||
            timer->name().startsWith(QLatin1String("TSelMem")) ||
            timer->name() == QLatin1String("TReset"))
            timer->setInterval(interval);
    }
    QStringList written;
    const PhoneTable &phones = tables.tblPhoneSerials();
    for (int i = 0; i < phones.recordCount(); ++i)
        written << phones.valueAt(i, PhoneTable::SerialNoRead1).toString() + "|" +
                       phones.valueAt(i, PhoneTable::SerialNoRead2).toString();

    auto run = [&](const std::function<void()> &press) {
        Result r;
        const int before = int(simulator.received.size());
        QElapsedTimer wall;
        wall.start();
        press();
        waitUntil([&]() { return !memory.busy(); });
        r.wallMs = wall.elapsed();
        r.frames = int(simulator.received.size()) - before;
        return r;
    };
    const Result write = run([&]() { memory.btnSendSNClick(); });
    tables.clearPhoneData();
    const Result read = run([&]() { memory.btnReadSNClick(); });

    QStringList back;
    for (int i = 0; i < phones.recordCount(); ++i)
        back << phones.valueAt(i, PhoneTable::SerialNoRead1).toString() + "|" +
                    phones.valueAt(i, PhoneTable::SerialNoRead2).toString();
    const bool same = back == written && phones.recordCount() == 150;

    std::printf("installation: 150 buttons (MAIN 20 + 5 x EXT 26), timer interval %d ms\n",
                interval);
    auto print = [interval](const char *name, const Result &r) {
        const qint64 scheduled = qint64(interval) * (r.frames - 1);
        std::printf("%-6s frames %4d  scheduled %7lld ms  wall %7lld ms  wall/scheduled %.4f\n",
                    name, r.frames, static_cast<long long>(scheduled),
                    static_cast<long long>(r.wallMs), double(r.wallMs) / double(scheduled));
    };
    print("write", write);
    print("read", read);
    const qint64 wallTotal = write.wallMs + read.wallMs;
    const qint64 scheduled = qint64(interval) * (write.frames - 1 + read.frames - 1);
    std::printf("total  scheduled %lld ms  wall %lld ms  wall/scheduled %.4f (goal: at most 1.02)\n",
                static_cast<long long>(scheduled), static_cast<long long>(wallTotal),
                double(wallTotal) / double(scheduled));

    // The platform's own share: the same number of steps, each an interval
    // on the same clock plus the hop a reply takes, with no engine at all.
    const int steps = write.frames - 1 + read.frames - 1;
    int left = steps;
    QEventLoop baselineLoop;
    std::function<void()> step = [&]() {
        if (--left < 0) {
            baselineLoop.quit();
            return;
        }
        clock.callAfter(interval, [&]() { clock.callAfter(0, step); });
    };
    QElapsedTimer baselineWall;
    baselineWall.start();
    step();
    baselineLoop.exec();
    const qint64 baselineMs = baselineWall.elapsed();
    std::printf("timers alone (%d steps, no engine): wall %lld ms  wall/scheduled %.4f\n", steps,
                static_cast<long long>(baselineMs), double(baselineMs) / double(scheduled));
    std::printf("engine against timers alone: %.4f\n", double(wallTotal) / double(baselineMs));
    std::printf("read back equals written: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
