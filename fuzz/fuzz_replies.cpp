// Reply cutting and the dispatcher: the engine runs its operations against
// the in-process simulator on virtual time, and the input adds lines of its
// own at any step. Each input is a script of one-byte commands:
//   0 Find devices, 1 Read serials, 2 Send serials, 3 Parameters (each
//   only where the window's button would be enabled: idle, or Abort),
//   4 button count of a device-table row (row and count follow),
//   5 let virtual time pass (a byte of tens of milliseconds follows),
//   6/7 put a line on the bus (length byte and bytes follow; 7 leaves the
//   line end away, so the next line continues it).
// Whatever came in, every operation ends within its time-outs, or by Abort
// where it waits for one.
#include "busengine.h"
#include "devicetable.h"
#include "dialogs.h"
#include "engineclock.h"
#include "fuzzsupport.h"
#include "installationtables.h"
#include "keynumberlist.h"
#include "keypressmonitor.h"
#include "memoryaccess.h"
#include "operationlog.h"
#include "qbxsimulator.h"
#include "simlink.h"

namespace
{

struct Rig {
    FakeClock clock;
    OperationLog log;
    sim::QbxSimulator simulator;
    sim::SimLink port{simulator, clock};
    ScriptedDialogs dialogs;
    InstallationTables tables{dialogs};
    BusEngine engine{log, clock, port, tables};
    MemoryAccess memory{engine, log, port, tables, dialogs, clock};
    SortedStringList keyNumbers;
    KeyPressMonitor monitor{log, dialogs, tables.tblPhoneSerials(), keyNumbers};

    Rig()
    {
        port.setPorts({7}, {7});
        port.setSimulatorPort(7);
        engine.setPortTextSource([]() { return QStringLiteral("7"); });
        memory.setParamsDialog([]() { return true; }, []() {});
        engine.setTelegramHandler(
            [this](int, const QString &payload) { monitor.handleTelegram(payload); });
        for (const char *line :
             {"main 74565 type=A00 version=010", "ext 703710 type=000 version=702"}) {
            sim::Station station;
            sim::Station::parse(QString::fromLatin1(line), station);
            simulator.addStation(station);
        }
    }

    bool idle() const
    {
        return !engine.searchRunning() && !memory.busy() &&
               engine.state().ActiveOperation == BusOperation::None;
    }

    // A button as the window offers it: enabled while the bus is idle, and
    // while its own operation runs, as Abort.
    void press(BusOperation button)
    {
        if (!idle() && !memory.status().showsAbort(button))
            return;
        switch (button) {
        case BusOperation::ReadSerials:
            memory.btnReadSNClick();
            break;
        case BusOperation::SendSerials:
            memory.btnSendSNClick();
            break;
        case BusOperation::ReadParams:
            memory.btnParamsClick();
            break;
        default:
            break;
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::ensureApplication();
    fuzz::Input in{data, size};
    Rig rig;
    // Scripts that only wait would merely test the clock.
    int commands = 0;
    while (!in.empty() && commands++ < 200) {
        const int command = in.byte() % 8;
        switch (command) {
        case 0:
            if (rig.idle())
                rig.engine.btnFindMAINClick();
            break;
        case 1:
            rig.press(BusOperation::ReadSerials);
            break;
        case 2:
            rig.press(BusOperation::SendSerials);
            break;
        case 3:
            rig.press(BusOperation::ReadParams);
            break;
        case 4: {
            DeviceTable &devices = rig.tables.tblDeviceSerials();
            const int row = in.byte();
            const int keys = in.byte() % 40;
            if (row < devices.recordCount()) {
                devices.setCurrentPosition(row);
                SetFieldValue(devices, DeviceTable::DeviceKeyNo, keys);
            }
            break;
        }
        case 5:
            rig.clock.advance(10 * qint64(in.byte()));
            break;
        case 6:
        case 7: {
            QByteArray line = in.bytes(in.byte() % 48);
            if (command == 6)
                line.append('\x04');
            rig.port.inject(line);
            break;
        }
        }
    }
    // No input may leave an operation running for ever: every step has a
    // time-out, and the simulator answers what is asked from now on. A
    // refused bus initialisation waits for the technician's Abort, so the
    // fuzzer presses it as a technician would.
    const auto settles = [&rig](qint64 ms) {
        return rig.clock.advanceUntil([&rig]() { return rig.idle(); }, ms, 50);
    };
    if (!settles(120000)) {
        for (BusOperation button :
             {BusOperation::ReadSerials, BusOperation::SendSerials, BusOperation::ReadParams}) {
            if (rig.memory.status().showsAbort(button))
                rig.press(button);
        }
    }
    if (!settles(900000)) {
        const QStringList lines = rig.log.lines();
        for (const QString &line : lines.mid(qMax(0, int(lines.size()) - 20)))
            std::fprintf(stderr, "%s\n", qPrintable(line));
        std::fprintf(stderr, "step %d, search %d, memory busy %d\n", rig.engine.state().BusStep,
                     int(rig.engine.searchRunning()), int(rig.memory.busy()));
        fuzz::check(false, "every operation ends");
    }
    return 0;
}
