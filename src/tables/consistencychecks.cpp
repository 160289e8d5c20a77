#include "installationtables.h"

#include "dialogs.h"

#include <algorithm>
#include <limits>

namespace
{

constexpr QLatin1String LineBreak("\r\n");

// Restricts the device table to its active rows for one walk and puts back
// the previous view, the current row and the notifications afterwards.
class ActiveRowsWalk
{
public:
    explicit ActiveRowsWalk(DeviceTable &table) : m_table(table)
    {
        m_table.post(); // a pending grid edit belongs to the row we return to
        m_wasFiltered = m_table.isFiltered();
        m_original = m_table.bookmark();
        m_table.disableControls();
        m_table.setFiltered(true);
    }
    ~ActiveRowsWalk()
    {
        // Put back what was there: a read or write that restricted the
        // table itself keeps its restriction.
        m_table.setFiltered(m_wasFiltered);
        m_table.gotoBookmark(m_original);
        m_table.enableControls();
    }
    ActiveRowsWalk(const ActiveRowsWalk &) = delete;
    ActiveRowsWalk &operator=(const ActiveRowsWalk &) = delete;

private:
    DeviceTable &m_table;
    bool m_wasFiltered = false;
    MemTable::Bookmark m_original = 0;
};

qint32 saturated(qint64 sum)
{
    return qint32(std::clamp<qint64>(sum, std::numeric_limits<qint32>::min(),
                                     std::numeric_limits<qint32>::max()));
}

} // namespace

bool InstallationTables::CheckDataError(qint32 &aTotalKeyNo)
{
    aTotalKeyNo = 0;
    if (m_devices.totalRecordCount() == 0) {
        m_dialogs.error(QStringLiteral("Devices table is empty!") + LineBreak +
                        QStringLiteral("Please, click on button \"Find devices\""));
        return true;
    }

    int mainCount = 0;
    std::optional<qint32> mainOrder;
    bool mainKeysSet = true;
    qint64 mainSum = 0;
    qint32 position = 1;
    bool extKeysSet = true;
    bool extOrdersOk = true;
    qint64 extSum = 0;
    {
        ActiveRowsWalk walk(m_devices);
        for (m_devices.first(); !m_devices.eof(); m_devices.next()) {
            const qint32 keyNo = m_devices.intValue(DeviceTable::DeviceKeyNo).value_or(0);
            const std::optional<qint32> order = m_devices.intValue(DeviceTable::DeviceOrder);
            if (m_devices.intValue(DeviceTable::DeviceType) == 0) {
                ++mainCount;
                mainOrder = order;
                mainKeysSet = mainKeysSet && keyNo > 0;
                mainSum += keyNo;
            } else {
                extKeysSet = extKeysSet && keyNo > 0;
                extOrdersOk = extOrdersOk && order == position && position < 6;
                ++position;
                extSum += keyNo;
            }
        }
    }
    aTotalKeyNo = saturated(mainSum + extSum);

    QString message;
    if (mainCount > 1)
        message = QStringLiteral("There can not be two or more MAIN devices active!");
    else if (mainCount == 0)
        message = QStringLiteral("There must be one MAIN device active!");
    else if (!mainKeysSet)
        message = QStringLiteral("Number of buttons in MAIN is not set!");
    else if (!extKeysSet)
        message = QStringLiteral("Number of buttons in EXT is not set!");
    else if (mainOrder != 0)
        message = QStringLiteral("Order number of MAIN must be 0!");
    else if (!extOrdersOk)
        message = QStringLiteral("Order numbers for EXT must be in 1..2..3..4..5!");
    else if (const int rows = m_phones.recordCount(); rows != 0 && rows != aTotalKeyNo)
        message = QStringLiteral("Sum of device keys[%1] is not the same as record count[%2] in "
                                 "phone table!")
                      .arg(aTotalKeyNo)
                      .arg(rows);
    if (message.isEmpty())
        return false;
    m_dialogs.error(message);
    return true;
}

void InstallationTables::CheckTotalBtnNo()
{
    if (!m_showWarnings() || !m_devices.hasCurrent())
        return;
    const QList<int> choices = currentKeyNoChoices();
    if (choices.isEmpty())
        return;
    const std::optional<qint32> keyNo = m_devices.intValue(DeviceTable::DeviceKeyNo);
    if (!keyNo || *keyNo == 0 || choices.contains(*keyNo))
        return;
    m_dialogs.warning(
        QStringLiteral("Total BtnNo[%1] in device table is not possible to select!").arg(*keyNo) +
        LineBreak + QStringLiteral("Reverting to highest possible BtnNo!"));
    SetFieldValue(m_devices, DeviceTable::DeviceKeyNo, choices.last());
}

bool InstallationTables::confirmSendLength(qint32 aTotalKeyNo)
{
    const int rows = m_phones.recordCount();
    if (rows == aTotalKeyNo || !m_showWarnings())
        return true;
    const QString question =
        QStringLiteral("Total BtnNo selected in device table [%1] is not same as record count "
                       "of phone table [%2] !")
            .arg(aTotalKeyNo)
            .arg(rows) +
        LineBreak + QStringLiteral("Do you want to continue?");
    return m_dialogs.message(Dialogs::Kind::Warning, question, Dialogs::Buttons::OkCancel) ==
           Dialogs::Answer::Ok;
}
