#pragma once

#include <QQueue>
#include <QString>

#include <functional>

class Dialogs;
class OperationLog;
class PhoneTable;
class SortedStringList;

// Decodes the telegrams the interface box reports while the bus is idle:
// light keys and call keys go to the log, called serials are looked up in
// the phone table and, in double-press mode, checked against earlier presses.
class KeyPressMonitor
{
public:
    KeyPressMonitor(OperationLog &log, Dialogs &dialogs, PhoneTable &phones,
                    SortedStringList &keyNumberList);

    // "Show warnings", read at every call press; on when nothing is set.
    void setShowWarnings(std::function<bool()> isOn);
    // The check box "Detect double key press"; off when nothing is set.
    void setDetectDoubleKeyPress(std::function<bool()> isOn);

    // One telegram payload, as the dispatcher hands it over at step 99.
    void handleTelegram(const QString &payload);

    // The box reports each call telegram twice: every second "0" telegram
    // is the repeat. Kept across operations.
    bool SkipNextKeyTelegram = false;

private:
    void handleOne(const QString &payload);
    void callKey(const QString &payload, int asAddress);

    OperationLog &m_log;
    Dialogs &m_dialogs;
    PhoneTable &m_phones;
    SortedStringList &m_keyNumberList;
    std::function<bool()> m_showWarnings;
    std::function<bool()> m_detectDoubleKeyPress;
    // A warning's event loop delivers further lines; they wait here so that
    // the skip flag and the list see them in arrival order.
    QQueue<QString> m_waiting;
    bool m_handling = false;
};
