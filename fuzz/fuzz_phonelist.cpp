// Phone-list import: the file's bytes are imported into a phone table with
// a button count from the first byte. The table gets one row per line (at
// least the button count), every serial in it is a valid phone serial, and
// exporting and importing again gives the same table.
#include "fuzzsupport.h"
#include "phonelistfile.h"
#include "phonelistio.h"
#include "phonetable.h"

#include <QTemporaryDir>

namespace
{

bool sameLines(const QVector<PhoneListLine> &a, const QVector<PhoneListLine> &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (a[i].serial1 != b[i].serial1 || a[i].serial2 != b[i].serial2)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::ensureApplication();
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.txt"));
    const QString copy = dir.filePath(QStringLiteral("copy.txt"));

    fuzz::Input in{data, size};
    const int keys = in.byte() % 40;
    const QByteArray bytes = in.rest();
    QString error;
    fuzz::check(WritePhoneListFile(path, bytes, error), "temporary file written");

    PhoneTable table;
    ImportResult result;
    fuzz::check(aImportFromTXT(table, keys, path, error, &result), "import reads the file");
    const qsizetype lines = SplitPhoneListLines(bytes).size();
    fuzz::check(result.rows == qMax<qsizetype>(lines, keys), "one row per line");
    fuzz::check(table.recordCount() == result.rows, "rows counted");

    const QVector<PhoneListLine> imported = PhoneTableLines(table);
    for (const PhoneListLine &line : imported) {
        for (const auto &serial : {line.serial1, line.serial2})
            fuzz::check(!serial || PhoneTable::isValidPhoneSerial(*serial), "valid serials only");
    }

    fuzz::check(aExportToTXT(table, copy, error), "export writes the file");
    PhoneTable again;
    fuzz::check(aImportFromTXT(again, 0, copy, error), "import reads the export");
    fuzz::check(sameLines(PhoneTableLines(again), imported), "export and import keep the table");
    return 0;
}
