#include "installationtables.h"

#include "dialogs.h"
#include "seriestype.h"

namespace
{

std::function<bool()> orAlwaysOn(std::function<bool()> f)
{
    return f ? std::move(f) : [] { return true; };
}

} // namespace

InstallationTables::InstallationTables(Dialogs &dialogs, QObject *parent)
    : QObject(parent), m_dialogs(dialogs), m_clearPhoneTbl(orAlwaysOn({})),
      m_showWarnings(orAlwaysOn({}))
{
    // tblDeviceSerialsAfterScroll
    connect(&m_devices, &MemTable::currentRowChanged, this,
            &InstallationTables::currentDeviceChanged);
    connect(&m_devices, &MemTable::fieldChanged, this,
            &InstallationTables::tblDeviceSerialsFieldChange);
    // Only a real change of the button count starts a new phone list: an
    // editor closed on the same value must not empty the table.
    connect(&m_devices, &MemTable::fieldValueChanged, this, [this](int field) {
        if (field == DeviceTable::DeviceKeyNo && m_clearPhoneTbl())
            clearPhoneTable();
    });
}

void InstallationTables::setClearPhoneTblOption(std::function<bool()> isChecked)
{
    m_clearPhoneTbl = orAlwaysOn(std::move(isChecked));
}

void InstallationTables::setShowWarnings(std::function<bool()> isOn)
{
    m_showWarnings = orAlwaysOn(std::move(isOn));
}

void InstallationTables::tblDeviceSerialsFieldChange(int field)
{
    if (field == DeviceTable::SeriesTypeStr) {
        // tblDeviceSerialsSeriesTypeStrChange: the choices follow the series.
        emit currentDeviceChanged();
    }
}

void InstallationTables::clearPhoneTable()
{
    if (m_phones.totalRecordCount() > 0 || m_phones.state() != MemTable::State::Browse)
        m_phones.clear();
}

void InstallationTables::clearPhoneData()
{
    SetFieldForAll(m_phones, PhoneTable::SerialNoRead1, QVariant());
    SetFieldForAll(m_phones, PhoneTable::SerialNoRead2, QVariant());
}

void InstallationTables::setTestData()
{
    m_phones.post();
    const bool created = m_phones.totalRecordCount() == 0;
    if (created) {
        qint32 total = 0;
        CheckDataError(total); // only the total matters; its message shows as usual
        // A mistyped button count must not make us append millions of rows.
        if (total <= 0 || total > MaxTestDataButtons)
            return;
        m_phones.disableControls();
        for (qint32 id = 1; id <= total; ++id)
            m_phones.appendRow(id, std::nullopt, std::nullopt);
        m_phones.enableControls();
    }
    fillTestSerials();
    if (created)
        emit updateBtnStateRequested();
}

void InstallationTables::fillTestSerials()
{
    qint32 n = 1001;
    m_phones.first();
    m_phones.disableControls();
    // A second press finds the first column filled and goes on with the second.
    if (m_phones.intValue(PhoneTable::SerialNoRead1) == 1001)
        n = 2001;
    while (!m_phones.eof()) {
        const int field = QString::number(n).startsWith(QLatin1Char('1'))
                              ? PhoneTable::SerialNoRead1
                              : PhoneTable::SerialNoRead2;
        SetFieldValue(m_phones, field, n);
        ++n;
        m_phones.next();
    }
    m_phones.enableControls();
}

void InstallationTables::deviceCellClicked(int field)
{
    if (DeviceTable::isCheckBoxField(field))
        toggleDeviceCheckBox(field);
    CheckTotalBtnNo();
}

void InstallationTables::deviceEnterPressed()
{
    CheckTotalBtnNo();
}

bool InstallationTables::toggleDeviceCheckBox(int field)
{
    if (!DeviceTable::isCheckBoxField(field) || !m_devices.hasCurrent() ||
        m_devices.state() == MemTable::State::Insert)
        return false;
    if (field == DeviceTable::IsVideoMain && m_devices.intValue(DeviceTable::DeviceType) == 1) {
        m_dialogs.error(QStringLiteral("You can set this value only for MAIN devices!"));
        return false;
    }
    if (!SetFieldValue(m_devices, field, !m_devices.boolValue(field)))
        return false;
    emit currentDeviceChanged();
    return true;
}
