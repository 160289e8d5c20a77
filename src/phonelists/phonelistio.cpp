#include "phonelistio.h"

#include "phonetable.h"

namespace
{

std::optional<qint32> toSerial(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    return value.toInt();
}

} // namespace

QVector<PhoneListLine> PhoneTableLines(const PhoneTable &table)
{
    QVector<PhoneListLine> lines;
    lines.reserve(table.recordCount());
    for (int row = 0; row < table.recordCount(); ++row) {
        lines.append({toSerial(table.valueAt(row, PhoneTable::SerialNoRead1)),
                      toSerial(table.valueAt(row, PhoneTable::SerialNoRead2))});
    }
    return lines;
}

bool aImportFromTXT(PhoneTable &table, int aTotalKeyNo, const QString &aFilePName, QString &error,
                    ImportResult *result)
{
    QStringList lines;
    if (!ReadPhoneListFile(aFilePName, lines, error))
        return false;
    while (lines.size() < aTotalKeyNo)
        lines.append(QString());

    ImportResult done;
    QVector<PhoneListLine> parsed;
    parsed.reserve(lines.size());
    for (int i = 0; i < lines.size(); ++i) {
        int bad = 0;
        PhoneListLine line = ParsePhoneListLine(lines.at(i), &bad);
        // A number the door-station memory cannot hold (a negative one) is
        // no serial either; the line still gives its row.
        for (std::optional<qint32> *serial : {&line.serial1, &line.serial2}) {
            if (*serial && !PhoneTable::isValidPhoneSerial(**serial)) {
                serial->reset();
                ++bad;
            }
        }
        if (bad > 0 && done.badFields == 0)
            done.firstBadLine = i + 1;
        done.badFields += bad;
        parsed.append(line);
    }

    if (table.state() != PhoneTable::State::Browse)
        table.cancel();
    table.disableControls();
    table.clear();
    for (int i = 0; i < parsed.size(); ++i)
        table.appendRow(i + 1, parsed.at(i).serial1, parsed.at(i).serial2);
    table.first();
    table.enableControls();
    done.rows = table.recordCount();
    if (result)
        *result = done;
    return true;
}

bool aExportToTXT(PhoneTable &table, const QString &fileName, QString &error)
{
    // A value still being typed belongs in the file.
    if (table.state() != PhoneTable::State::Browse)
        table.post();
    // Rows are read by position: the current row never moves.
    return WritePhoneListFile(fileName, FormatPhoneListFile(PhoneTableLines(table)), error);
}
