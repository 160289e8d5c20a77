// Key-press monitor: telegram payloads as the dispatcher hands them over
// while the bus is idle. The first byte sets "Show warnings", "Detect double
// key press" and whether a warning lets the next telegram in while it is
// open (as a modal box's event loop does); the rest is split at EOT.
#include "dialogs.h"
#include "fuzzsupport.h"
#include "keynumberlist.h"
#include "keypressmonitor.h"
#include "operationlog.h"
#include "phonetable.h"

#include <QQueue>

#include <functional>
#include <utility>

namespace
{

class ReentrantDialogs : public ScriptedDialogs
{
public:
    std::function<void()> whileOpen;

    Answer message(Kind kind, const QString &text, Buttons buttons) override
    {
        const Answer answer = ScriptedDialogs::message(kind, text, buttons);
        if (whileOpen)
            whileOpen();
        return answer;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::ensureApplication();
    fuzz::Input in{data, size};
    const uint8_t flags = in.byte();

    OperationLog log;
    ReentrantDialogs dialogs;
    PhoneTable phones;
    phones.appendRow(1, 74565, 1001);
    phones.appendRow(2, 703710, std::nullopt);
    SortedStringList keyNumbers;
    KeyPressMonitor monitor(log, dialogs, phones, keyNumbers);
    monitor.setShowWarnings([flags]() { return (flags & 1) != 0; });
    monitor.setDetectDoubleKeyPress([flags]() { return (flags & 2) != 0; });

    QQueue<QString> payloads;
    for (const QByteArray &part : in.rest().split('\x04'))
        payloads.enqueue(QString::fromLatin1(part));
    if (flags & 4) {
        dialogs.whileOpen = [&]() {
            if (!payloads.isEmpty())
                monitor.handleTelegram(payloads.dequeue());
        };
    }
    while (!payloads.isEmpty())
        monitor.handleTelegram(payloads.dequeue());

    // Every call press listed once at most.
    const QStringList &items = keyNumbers.items();
    for (int i = 1; i < items.size(); ++i)
        fuzz::check(items.at(i - 1) != items.at(i), "no serial listed twice");
    return 0;
}
