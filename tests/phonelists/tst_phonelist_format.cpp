#include "fieldutil.h"
#include "phonelistfile.h"
#include "phonelistio.h"
#include "phonetable.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

// Rows written compactly: "1001,2001", "1002," (second empty), ",2001", ",".
bool fillTable(PhoneTable &table, const QStringList &rows)
{
    table.clear();
    int id = 1;
    for (const QString &row : rows) {
        const QString a = row.section(QLatin1Char(','), 0, 0);
        const QString b = row.section(QLatin1Char(','), 1, 1);
        auto serial = [](const QString &t) {
            return t.isEmpty() ? std::nullopt : std::optional<qint32>(t.toInt());
        };
        if (!table.appendRow(id++, serial(a), serial(b)))
            return false;
    }
    return true;
}

// The table in the same compact form, with a check that IDs run 1..n.
QStringList tableRows(const PhoneTable &table)
{
    QStringList rows;
    for (int i = 0; i < table.recordCount(); ++i) {
        if (table.valueAt(i, PhoneTable::ID).toInt() != i + 1)
            return {QStringLiteral("ID %1 at row %2")
                        .arg(table.valueAt(i, PhoneTable::ID).toInt())
                        .arg(i)};
        const QVariant a = table.valueAt(i, PhoneTable::SerialNoRead1);
        const QVariant b = table.valueAt(i, PhoneTable::SerialNoRead2);
        rows << (a.isNull() ? QString() : QString::number(a.toInt())) + QLatin1Char(',') +
                    (b.isNull() ? QString() : QString::number(b.toInt()));
    }
    return rows;
}

QByteArray utf16(const QString &text, QStringConverter::Encoding encoding)
{
    QStringEncoder encode(encoding, QStringConverter::Flag::WriteBom);
    return encode(text);
}

} // namespace

class TestPhoneListFormat : public QObject
{
    Q_OBJECT
private slots:
    void getField_data();
    void getField();
    void exportBytes_data();
    void exportBytes();
    void import_data();
    void import();
    void roundTrip_data();
    void roundTrip();
    void unreadableFileLeavesTable();
    void failedWriteKeepsOldFileAndCurrentRow();
};

void TestPhoneListFormat::getField_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a;b field 1") << "a;b"
                                 << ";" << 1 << "a";
    QTest::newRow("a;b field 2") << "a;b"
                                 << ";" << 2 << "b";
    QTest::newRow("a;b field 3 empty") << "a;b"
                                       << ";" << 3 << "";
    QTest::newRow("a; field 2 empty") << "a;"
                                      << ";" << 2 << "";
    QTest::newRow("a field 1") << "a"
                               << ";" << 1 << "a";
    QTest::newRow("empty text") << ""
                                << ";" << 1 << "";
    QTest::newRow("middle field stops at next") << "1001|2001|3001"
                                                << "|" << 2 << "2001";
    QTest::newRow("last field to the end") << "x;2.9;;123"
                                           << ";" << 4 << "123";
    QTest::newRow("empty first field") << "|2001"
                                       << "|" << 1 << "";
    QTest::newRow("two-character delimiter") << "a::b::c"
                                             << "::" << 2 << "b";
    QTest::newRow("field 0") << "a;b"
                             << ";" << 0 << "";
    QTest::newRow("field 256") << "a;b"
                               << ";" << 256 << "";
}

void TestPhoneListFormat::getField()
{
    QFETCH(QString, text);
    QFETCH(QString, delimiter);
    QFETCH(int, n);
    QFETCH(QString, expected);
    QCOMPARE(GetField(text, delimiter, n), expected);
}

void TestPhoneListFormat::exportBytes_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("both, first only, none")
        << QStringList{"1001,2001", "1002,", ","} << QByteArray("1001|2001\r\n1002\r\n\r\n");
    QTest::newRow("second only") << QStringList{",2001"} << QByteArray("|2001\r\n");
    QTest::newRow("empty table: zero bytes") << QStringList{} << QByteArray();
    QTest::newRow("zero and the highest serial")
        << QStringList{"0,1048575"} << QByteArray("0|1048575\r\n");
}

void TestPhoneListFormat::exportBytes()
{
    QFETCH(QStringList, rows);
    QFETCH(QByteArray, bytes);
    PhoneTable table;
    QVERIFY(fillTable(table, rows));
    QTemporaryDir dir;
    const QString path = dir.filePath("out.txt");
    QString error;
    QVERIFY2(aExportToTXT(table, path, error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), bytes);
}

void TestPhoneListFormat::import_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("total");
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<int>("badFields");

    QTest::newRow("short file filled up to the total")
        << QByteArray("1001|2001\r\n1002\r\n") << 4 << QStringList{"1001,2001", "1002,", ",", ","}
        << 0;
    QTest::newRow("longer file keeps its lines")
        << QByteArray("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n") << 4
        << QStringList{"1,", "2,", "3,", "4,", "5,", "6,"} << 0;
    QTest::newRow("seven digits and text are no serial")
        << QByteArray("1234567|2001\r\n1001|abc\r\n") << 2 << QStringList{",2001", "1001,"} << 2;
    QTest::newRow("third field ignored")
        << QByteArray("1001|2001|3001\r\n") << 1 << QStringList{"1001,2001"} << 0;
    QTest::newRow("empty file, no buttons") << QByteArray() << 0 << QStringList{} << 0;
    QTest::newRow("empty file, two buttons") << QByteArray() << 2 << QStringList{",", ","} << 0;
    QTest::newRow("LF, CR and no last line end")
        << QByteArray("1\n2\r3") << 0 << QStringList{"1,", "2,", "3,"} << 0;
    QTest::newRow("empty line keeps its button")
        << QByteArray("1\r\n\r\n3\r\n") << 0 << QStringList{"1,", ",", "3,"} << 0;
    QTest::newRow("UTF-8 byte-order mark") << QByteArray("\xEF\xBB\xBF"
                                                         "1001|2001\r\n")
                                           << 1 << QStringList{"1001,2001"} << 0;
    QTest::newRow("UTF-16 LE byte-order mark")
        << utf16("1001|2001\r\n1002", QStringConverter::Utf16LE) << 0
        << QStringList{"1001,2001", "1002,"} << 0;
    QTest::newRow("UTF-16 BE byte-order mark")
        << utf16("1001\r\n|2002\r\n", QStringConverter::Utf16BE) << 0
        << QStringList{"1001,", ",2002"} << 0;
    QTest::newRow("Windows-1252 byte in a field") << QByteArray("10\x80"
                                                                "01|2001\r\n1002\r\n")
                                                  << 0 << QStringList{",2001", "1002,"} << 1;
    QTest::newRow("negative number is no serial")
        << QByteArray("-5|7\r\n") << 0 << QStringList{",7"} << 1;
    QTest::newRow("blanks, sign and leading zeros")
        << QByteArray(" 1001 |+12\r\n001002|999999\r\n") << 0
        << QStringList{"1001,12", "1002,999999"} << 0;
    QTest::newRow("very long line") << (QByteArray("1001|") + QByteArray(200000, 'x') + "\r\n2001")
                                    << 0 << QStringList{"1001,", "2001,"} << 1;
    QTest::newRow("binary garbage")
        << QByteArray("\x00\x01\xff|\x00\x00\r\n\x7f", 9) << 0 << QStringList{",", ","} << 3;
}

void TestPhoneListFormat::import()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, total);
    QFETCH(QStringList, rows);
    QFETCH(int, badFields);
    QTemporaryDir dir;
    const QString path = dir.filePath("in.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    PhoneTable table;
    QVERIFY(fillTable(table, {"9,9", "9,9", "9,9", "9,9", "9,9", "9,9", "9,9", "9,9"}));
    QString error;
    ImportResult result;
    QVERIFY2(aImportFromTXT(table, total, path, error, &result), qPrintable(error));
    QCOMPARE(tableRows(table), rows);
    QCOMPARE(result.badFields, badFields);
}

void TestPhoneListFormat::roundTrip_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("both serials") << QStringList{"1001,2001"};
    QTest::newRow("first only") << QStringList{"1001,"};
    QTest::newRow("second only") << QStringList{",2001"};
    QTest::newRow("none") << QStringList{","};
    QTest::newRow("mixed, empty last") << QStringList{",2001", "0,5", "999999,", ","};
}

void TestPhoneListFormat::roundTrip()
{
    QFETCH(QStringList, rows);
    PhoneTable table;
    QVERIFY(fillTable(table, rows));
    QTemporaryDir dir;
    const QString path = dir.filePath("trip.txt");
    QString error;
    QVERIFY(aExportToTXT(table, path, error));
    PhoneTable back;
    QVERIFY(aImportFromTXT(back, int(rows.size()), path, error));
    QCOMPARE(tableRows(back), rows);
}

void TestPhoneListFormat::unreadableFileLeavesTable()
{
    QTemporaryDir dir;
    PhoneTable table;
    const QStringList rows{"1001,2001", "1002,"};
    QVERIFY(fillTable(table, rows));
    QVERIFY(table.setCurrentPosition(1));
    QString error;
    // Gone since it was listed.
    QVERIFY(!aImportFromTXT(table, 2, dir.filePath("gone.txt"), error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(tableRows(table), rows);
    QCOMPARE(table.currentPosition(), 1);

    // Far too large to be a phone list.
    QFile big(dir.filePath("big.txt"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(MaxPhoneListFileSize + 1));
    big.close();
    error.clear();
    QVERIFY(!aImportFromTXT(table, 2, big.fileName(), error));
    QVERIFY(error.contains(QStringLiteral("too large")));
    QCOMPARE(tableRows(table), rows);
}

void TestPhoneListFormat::failedWriteKeepsOldFileAndCurrentRow()
{
    QTemporaryDir dir;
    PhoneTable table;
    QVERIFY(fillTable(table, {"1001,2001", "1002,", "1003,"}));
    QVERIFY(table.setCurrentPosition(2));
    QString error;
    // A folder that does not exist.
    QVERIFY(!aExportToTXT(table, dir.filePath("missing/out.txt"), error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(table.currentPosition(), 2);
    QVERIFY(!QFileInfo::exists(dir.filePath("missing")));

    // A good export does not move the current row either.
    QVERIFY(aExportToTXT(table, dir.filePath("out.txt"), error));
    QCOMPARE(table.currentPosition(), 2);
}

QTEST_GUILESS_MAIN(TestPhoneListFormat)
#include "tst_phonelist_format.moc"
