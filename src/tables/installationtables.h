#pragma once

#include "devicetable.h"
#include "phonetable.h"

#include <QList>
#include <QObject>

#include <functional>

class Dialogs;

// The two tables of one installation with the rules that tie them together:
// the device grid's editing rules, the buttons under the phone grid and the
// consistency checks run before reading, writing and importing.
class InstallationTables : public QObject
{
    Q_OBJECT
public:
    explicit InstallationTables(Dialogs &dialogs, QObject *parent = nullptr);

    DeviceTable &tblDeviceSerials() { return m_devices; }
    const DeviceTable &tblDeviceSerials() const { return m_devices; }
    PhoneTable &tblPhoneSerials() { return m_phones; }
    const PhoneTable &tblPhoneSerials() const { return m_phones; }

    // The check box "on find device clear table" (`cbClearPhoneTbl`); on
    // when nothing is set.
    void setClearPhoneTblOption(std::function<bool()> isChecked);
    // The setting "Show warnings" (`aWarnings`); on when nothing is set.
    void setShowWarnings(std::function<bool()> isOn);

    // "Clr table": removes every phone row, without a question.
    void clearPhoneTable();
    // "Clr data": empties both serial columns; rows, button numbers and the
    // current row stay.
    void clearPhoneData();
    // "Set test data": creates one row per button when the phone table is
    // empty, then fills PhoneSN1 with 1001... or, when the first row already
    // holds 1001, PhoneSN2 with 2001...
    void setTestData();

    // A click on a device grid cell: toggles a check-box column, then checks
    // the row's button count.
    void deviceCellClicked(int field);
    // The Enter key in the device grid: checks the row's button count.
    void deviceEnterPressed();
    // Toggles `DeviceActive` or `IsVideoMain` of the current row; the video
    // flag only on a MAIN row (error box otherwise). False when nothing changed.
    bool toggleDeviceCheckBox(int field);

    // Choices of the "BtnNo:" column for the current device row.
    QList<int> currentKeyNoChoices() const { return m_devices.keyNoChoices(); }
    // Whether the Parameters button applies to the current device row.
    bool isCurrentDeviceMain() const { return m_devices.isMain(); }

    // True when a consistency rule is broken (its error box has been shown).
    // `aTotalKeyNo` is the button total of the active door stations, handed
    // back whatever the outcome.
    bool CheckDataError(qint32 &aTotalKeyNo);
    // Reverts a button count that the current row's choices do not offer to
    // the highest choice, with a warning; only while "Show warnings" is on.
    void CheckTotalBtnNo();
    // The question asked by "Send serials" when the phone table's length
    // differs from `aTotalKeyNo`. True to go on with the write.
    bool confirmSendLength(qint32 aTotalKeyNo);

signals:
    // The current device row changed, its series changed, or a check box of
    // it was toggled: refill the "BtnNo:" choices, enable Parameters for a
    // MAIN and start `TRefreshScroll`.
    void currentDeviceChanged();
    // The button states need `UpdateBtnState`.
    void updateBtnStateRequested();

private slots:
    void tblDeviceSerialsFieldChange(int field);

private:
    void fillTestSerials();

    Dialogs &m_dialogs;
    DeviceTable m_devices;
    PhoneTable m_phones;
    std::function<bool()> m_clearPhoneTbl;
    std::function<bool()> m_showWarnings;
};
