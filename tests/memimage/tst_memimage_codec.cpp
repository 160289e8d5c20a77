#include "memimagefixture.h"
#include "operationlog.h"
#include "phoneserialcodec.h"
#include "seriestype.h"
#include "slotlayouts.h"

#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>

namespace
{

// Slot expectations "M11=0004D200162E E26=000001FFFFFF": M for the MAIN
// image, E for the EXT image, then the slot's index in that image.
QHash<QString, QString> slotMap(const QString &slotTexts)
{
    QHash<QString, QString> out;
    for (const QString &token : slotTexts.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = token.split(QLatin1Char('='));
        out.insert(parts.at(0), parts.at(1));
    }
    return out;
}

// An image of `length` characters: empty slots except those named for it.
QString buildImage(QChar which, const QString &slotTexts, int length)
{
    QString image = QString::fromLatin1(EmptySlot).repeated(length / SlotChars + 1);
    const QHash<QString, QString> map = slotMap(slotTexts);
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        if (it.key().at(0) == which)
            image.replace(it.key().mid(1).toInt() * SlotChars, SlotChars, it.value());
    }
    return image.left(length);
}

// Rows "ID:/" for the IDs in `ranges` ("1-10,12"), those in `filled`
// ("11:1234/5678") as given.
QStringList expectedRows(const QString &ranges, const QString &filled)
{
    QHash<int, QString> given;
    for (const QString &row : filled.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        given.insert(row.section(QLatin1Char(':'), 0, 0).toInt(), row);
    QStringList out;
    for (const QString &range : ranges.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const int from = range.section(QLatin1Char('-'), 0, 0).toInt();
        const int to =
            range.contains(QLatin1Char('-')) ? range.section(QLatin1Char('-'), 1).toInt() : from;
        for (int id = from; id <= to; ++id)
            out.append(given.value(id, QString::number(id) + QStringLiteral(":/")));
    }
    return out;
}

} // namespace

class TestCodec : public QObject
{
    Q_OBJECT
private slots:
    void layoutsPlaceEveryButtonOnce();
    void slotEntries_data();
    void slotEntries();

    void encode_data();
    void encode();
    void twentyButtonsSameInBothVariants();
    void decode_data();
    void decode();
    void roundTrip_data();
    void roundTrip();

    void devicesWithoutLayout_data();
    void devicesWithoutLayout();
};

void TestCodec::layoutsPlaceEveryButtonOnce()
{
    for (const SlotLayout *layout : AllSlotLayouts()) {
        QVERIFY2(layout->rows.size() <= layout->slotCount, layout->name);
        for (const QVector<int> &row : layout->rows)
            QCOMPARE(row.size(), layout->buttonCounts.size());
        for (int keyNo : layout->buttonCounts) {
            QList<int> placed;
            for (int slot = 0; slot < layout->slotCount; ++slot) {
                if (const int button = layout->buttonIn(slot, keyNo))
                    placed.append(button);
            }
            std::sort(placed.begin(), placed.end());
            QList<int> all;
            for (int b = 1; b <= keyNo; ++b)
                all.append(b);
            QVERIFY2(placed == all,
                     qPrintable(QStringLiteral("%1, %2 buttons").arg(layout->name).arg(keyNo)));
        }
    }
    // The columns are exactly the counts the device grid offers.
    QCOMPARE(KorvelMainPlainLayout().buttonCounts.toList(), ButtonCountChoices(1, 0));
    QCOMPARE(KorvelMainVideoLayout().buttonCounts.toList(), ButtonCountChoices(1, 0));
    QCOMPARE(PentryMainLayout().buttonCounts.toList(), ButtonCountChoices(2, 0));
    QCOMPARE(KorvelExtLayout().buttonCounts.toList(), ButtonCountChoices(1, 1));
}

void TestCodec::slotEntries_data()
{
    QTest::addColumn<int>("serial1");
    QTest::addColumn<int>("serial2");
    QTest::addColumn<QString>("slot");
    QTest::addColumn<QString>("read"); // "SN1/SN2" as decoded

    QTest::newRow("both") << 1234 << 5678 << "0004D200162E"
                          << "1234/5678";
    QTest::newRow("highest") << 1048575 << 0 << "0FFFFFFFFFFF"
                             << "1048575/";
    QTest::newRow("lowest") << 1 << 1 << "000001000001"
                            << "1/1";
    QTest::newRow("second only") << 0 << 5678 << "10FFFFFFFFFF"
                                 << "/";
    QTest::newRow("none") << 0 << 0 << "10FFFFFFFFFF"
                          << "/";
    // Cannot come from the table, which refuses such serials; the slot keeps its size.
    QTest::newRow("too big") << 1048576 << 7 << "10FFFFFFFFFF"
                             << "/";
    QTest::newRow("second too big") << 7 << 1048576 << "000007FFFFFF"
                                    << "7/";
}

void TestCodec::slotEntries()
{
    QFETCH(int, serial1);
    QFETCH(int, serial2);
    QFETCH(QString, slot);
    QFETCH(QString, read);

    QCOMPARE(EncodeSlot(serial1, serial2), slot);
    SlotSerials out;
    QVERIFY(DecodeSlot(QStringLiteral("XX") + slot, 2, out));
    auto text = [](std::optional<qint32> v) { return v ? QString::number(*v) : QString(); };
    QCOMPARE(text(out.serial1) + QLatin1Char('/') + text(out.serial2), read);
}

void TestCodec::encode_data()
{
    QTest::addColumn<QString>("devices");
    QTest::addColumn<QString>("phones");
    QTest::addColumn<QString>("slotTexts"); // every other slot is empty
    QTest::addColumn<int>("mainLength");
    QTest::addColumn<int>("extLength");
    QTest::addColumn<QStringList>("log");

    const QStringList none;
    const QStringList unsupported{QStringLiteral("> Unsupported device")};

    QTest::newRow("empty phone table") << "MK0:20 EK1:16 EK2:26"
                                       << ""
                                       << "" << 240 << 624 << none;
    QTest::newRow("1 button plain") << "MK0:1"
                                    << "1:1234"
                                    << "M11=0004D2FFFFFF" << 240 << 0 << none;
    QTest::newRow("1 button video") << "MKv0:1"
                                    << "1:1234"
                                    << "M13=0004D2FFFFFF" << 240 << 0 << none;
    QTest::newRow("Pentry 4 buttons")
        << "MP0:4"
        << "1:101 2:102 3:103 4:104"
        << "M1=000065FFFFFF M2=000066FFFFFF M3=000067FFFFFF M4=000068FFFFFF" << 240 << 0 << none;
    QTest::newRow("highest and lowest serial")
        << "MK0:2"
        << "1:1048575 2:1"
        << "M11=0FFFFFFFFFFF M10=000001FFFFFF" << 240 << 0 << none;
    QTest::newRow("two serials") << "MK0:1"
                                 << "1:1234/5678"
                                 << "M11=0004D200162E" << 240 << 0 << none;
    QTest::newRow("second serial only") << "MK0:1"
                                        << "1:/5678"
                                        << "" << 240 << 0 << none;
    QTest::newRow("duplicate IDs: first row counts") << "MK0:1"
                                                     << "1:111 1:222"
                                                     << "M11=00006FFFFFFF" << 240 << 0 << none;
    QTest::newRow("row without ID is no button") << "MK0:1"
                                                 << "1:111 :222"
                                                 << "M11=00006FFFFFFF" << 240 << 0 << none;
    QTest::newRow("MAIN 10 + EXT 16") << "MK0:10 EK1:16"
                                      << "11:111 26:126"
                                      << "E0=00006FFFFFFF E15=00007EFFFFFF" << 240 << 312 << none;
    QTest::newRow("second EXT at character 313")
        << "MK0:1 EK1:26 EK2:26"
        << "27:127 28:128"
        << "E25=00007FFFFFFF E26=000080FFFFFF" << 240 << 624 << none;
    QTest::newRow("Pentry MAIN + Korvel EXT")
        << "MP0:4 EK1:16"
        << "4:104 5:105"
        << "M4=000068FFFFFF E0=000069FFFFFF" << 240 << 312 << none;
    QTest::newRow("inactive rows take no part")
        << "mK0:4 MK0:1 eK1:16 EK1:16"
        << "1:101 2:102"
        << "M11=000065FFFFFF E0=000066FFFFFF" << 240 << 312 << none;
    QTest::newRow("unsupported MAIN stops") << "MU0:4 EK1:16"
                                            << "1:101 5:105"
                                            << "" << 0 << 0 << unsupported;
    // No layout: the EXT keeps its place, the next one is not moved.
    QTest::newRow("Pentry EXT keeps its place") << "MK0:1 EP1:4 EK2:16"
                                                << "2:102 6:106"
                                                << "E26=00006AFFFFFF" << 240 << 624 << unsupported;
    QTest::newRow("EXT count without column keeps its place")
        << "MK0:1 EK1:4 EK2:16"
        << "2:102 6:106"
        << "E26=00006AFFFFFF" << 240 << 624 << none;
    QTest::newRow("MAIN count without column") << "MK0:5 EK1:16"
                                               << "1:101 6:106"
                                               << "E0=00006AFFFFFF" << 0 << 312 << none;
}

void TestCodec::encode()
{
    QFETCH(QString, devices);
    QFETCH(QString, phones);
    QFETCH(QString, slotTexts);
    QFETCH(int, mainLength);
    QFETCH(int, extLength);
    QFETCH(QStringList, log);

    DeviceTable deviceTable;
    PhoneTable phoneTable;
    OperationLog operationLog;
    QVERIFY(addDevices(deviceTable, devices));
    QVERIFY(addPhones(phoneTable, phones));
    deviceTable.first();
    const MemTable::Bookmark current = deviceTable.bookmark();

    QString mainImage = QStringLiteral("stale");
    QString extImage = QStringLiteral("stale");
    EncodePhoneSerials(deviceTable, phoneTable, mainImage, extImage, operationLog);

    QCOMPARE(mainImage.size(), mainLength);
    QCOMPARE(extImage.size(), extLength);
    const QHash<QString, QString> expected = slotMap(slotTexts);
    for (int i = 0; i * SlotChars < mainImage.size(); ++i) {
        const QString name = QStringLiteral("M%1").arg(i);
        QCOMPARE(mainImage.mid(i * SlotChars, SlotChars),
                 expected.value(name, QString::fromLatin1(EmptySlot)));
    }
    for (int i = 0; i * SlotChars < extImage.size(); ++i) {
        const QString name = QStringLiteral("E%1").arg(i);
        QCOMPARE(extImage.mid(i * SlotChars, SlotChars),
                 expected.value(name, QString::fromLatin1(EmptySlot)));
    }
    QCOMPARE(operationLog.lines(), log);
    // The tables are left as they were: same current row, views attached.
    QCOMPARE(deviceTable.bookmark(), current);
    QVERIFY(!phoneTable.controlsDisabled());
}

void TestCodec::twentyButtonsSameInBothVariants()
{
    DeviceTable plain;
    DeviceTable video;
    PhoneTable phones;
    OperationLog log;
    QVERIFY(addDevices(plain, QStringLiteral("MK0:20")));
    QVERIFY(addDevices(video, QStringLiteral("MKv0:20")));
    for (int id = 1; id <= 20; ++id)
        QVERIFY(phones.appendRow(id, 1000 + id, 2000 + id));

    QString plainImage, videoImage, ext;
    EncodePhoneSerials(plain, phones, plainImage, ext, log);
    EncodePhoneSerials(video, phones, videoImage, ext, log);
    QCOMPARE(plainImage.size(), MainImageChars);
    QCOMPARE(videoImage, plainImage);
    QVERIFY(!plainImage.contains(QLatin1String(EmptySlot)));
}

void TestCodec::decode_data()
{
    QTest::addColumn<QString>("devices");
    QTest::addColumn<QString>("slotTexts"); // every other slot is empty
    QTest::addColumn<int>("mainLength");
    QTest::addColumn<int>("extLength");
    QTest::addColumn<QString>("ids");    // rows expected, in order
    QTest::addColumn<QString>("filled"); // rows with serials; the others are empty
    QTest::addColumn<QStringList>("log");

    const QStringList none;
    const QStringList unsupported{QStringLiteral("> Unsupported device")};

    QTest::newRow("two serials") << "MK0:1"
                                 << "M11=0004D200162E" << 240 << 0 << "1"
                                 << "1:1234/5678" << none;
    QTest::newRow("first entry flagged empty") << "MK0:1"
                                               << "M11=10FFFF00162E" << 240 << 0 << "1"
                                               << "" << none;
    QTest::newRow("first serial only") << "MKv0:1"
                                       << "M13=0FFFFFFFFFFF" << 240 << 0 << "1"
                                       << "1:1048575/" << none;
    QTest::newRow("Pentry 4 buttons from 64 characters")
        << "MP0:4"
        << "M0=000001FFFFFF M1=000065FFFFFF M4=000068000001" << 64 << 0 << "1-4"
        << "1:101/ 4:104/1" << none;
    QTest::newRow("MAIN 10 + EXT 16")
        << "MK0:10 EK1:16"
        << "M5=00000AFFFFFF E0=00006FFFFFFF E15=00007EFFFFFF" << 240 << 312 << "1-26"
        << "1:10/ 11:111/ 26:126/" << none;
    QTest::newRow("second EXT from character 313")
        << "MK0:1 EK1:26 EK2:26"
        << "E25=00007FFFFFFF E26=000080FFFFFF" << 240 << 624 << "1-53"
        << "27:127/ 28:128/" << none;
    QTest::newRow("Pentry MAIN + Korvel EXT")
        << "MP0:4 EK1:16"
        << "M4=000068FFFFFF E0=000069FFFFFF" << 64 << 312 << "1-20"
        << "4:104/ 5:105/" << none;
    QTest::newRow("unsupported MAIN") << "MU0:4 EK1:16"
                                      << "E0=000065FFFFFF" << 0 << 312 << "1-16"
                                      << "1:101/" << unsupported;
    QTest::newRow("Pentry EXT") << "MK0:1 EP1:4 EK2:16"
                                << "E26=000066FFFFFF" << 240 << 624 << "1-17"
                                << "2:102/" << unsupported;
    QTest::newRow("EXT count without column") << "MK0:1 EK1:4 EK2:16"
                                              << "E26=00006AFFFFFF" << 240 << 624 << "1,6-21"
                                              << "6:106/" << none;
    QTest::newRow("images shorter than the tables") << "MK0:10 EK1:16"
                                                    << "M5=00000AFFFFFF" << 72 << 0 << "1-26"
                                                    << "1:10/" << none;
    QTest::newRow("image ends after a first entry") << "MK0:1"
                                                    << "M11=0004D2" << 138 << 0 << "1"
                                                    << "1:1234/" << none;
    QTest::newRow("image ends inside a field")
        << "MK0:1"
        << "M11=0004D20016" << 142 << 0 << "1"
        << ""
        << QStringList{QStringLiteral("> Invalid phone serial in memory of button 1: 0004D20016")};
    QTest::newRow("garbage in first field, decoding goes on")
        << "MK0:2"
        << "M10=000001FFFFFF M11=00G00100162E" << 240 << 0 << "1-2"
        << "2:1/"
        << QStringList{
               QStringLiteral("> Invalid phone serial in memory of button 1: 00G00100162E")};
    QTest::newRow("garbage in second field of an EXT button")
        << "MK0:1 EK1:16"
        << "M11=000001FFFFFF E2=0004D20-162E E4=000003FFFFFF" << 240 << 312 << "1-17"
        << "1:1/ 4:3/"
        << QStringList{
               QStringLiteral("> Invalid phone serial in memory of button 3: 0004D20-162E")};
}

void TestCodec::decode()
{
    QFETCH(QString, devices);
    QFETCH(QString, slotTexts);
    QFETCH(int, mainLength);
    QFETCH(int, extLength);
    QFETCH(QString, ids);
    QFETCH(QString, filled);
    QFETCH(QStringList, log);

    DeviceTable deviceTable;
    PhoneTable phoneTable;
    OperationLog operationLog;
    QVERIFY(addDevices(deviceTable, devices));
    QVERIFY(addPhones(phoneTable, QStringLiteral("1:9 2:8"))); // replaced by the read
    deviceTable.setFiltered(true);

    DecodePhoneSerials(deviceTable, phoneTable, buildImage(QLatin1Char('M'), slotTexts, mainLength),
                       buildImage(QLatin1Char('E'), slotTexts, extLength), operationLog);

    QCOMPARE(phoneRows(phoneTable), expectedRows(ids, filled));
    QCOMPARE(operationLog.lines(), log);
    QVERIFY(!phoneTable.controlsDisabled());
}

void TestCodec::roundTrip_data()
{
    QTest::addColumn<QString>("mainToken"); // MAIN with "%1" for its button count
    QTest::addColumn<QString>("extToken");  // EXT devices with "%1", or empty
    QTest::addColumn<QList<int>>("counts");

    QTest::newRow("Korvel MAIN plain") << "MK0:%1"
                                       << "" << ButtonCountChoices(1, 0);
    QTest::newRow("Korvel MAIN video") << "MKv0:%1"
                                       << "" << ButtonCountChoices(1, 0);
    QTest::newRow("Pentry MAIN") << "MP0:%1"
                                 << "" << ButtonCountChoices(2, 0);
    QTest::newRow("Korvel EXT behind a Korvel MAIN")
        << "MK0:12"
        << "EK1:%1 EK2:%1 EK3:%1 EK4:%1 EK5:%1" << ButtonCountChoices(1, 1);
    QTest::newRow("Korvel EXT behind a Pentry MAIN")
        << "MP0:3"
        << "EK1:%1 EK2:26 EK3:%1" << ButtonCountChoices(1, 1);
}

void TestCodec::roundTrip()
{
    QFETCH(QString, mainToken);
    QFETCH(QString, extToken);
    QFETCH(QList<int>, counts);

    const quint32 draw = QRandomGenerator::global()->generate();
    QRandomGenerator random(draw);
    const QByteArray drawText = "random draw " + QByteArray::number(draw);

    for (int count : counts) {
        DeviceTable devices;
        PhoneTable phones;
        OperationLog log;
        QVERIFY(addDevices(devices, mainToken.arg(count) + QLatin1Char(' ') +
                                        (extToken.isEmpty() ? QString() : extToken.arg(count))));
        devices.setFiltered(true);
        qint32 total = 0;
        for (int p = 0; p < devices.recordCount(); ++p)
            total += devices.valueAt(p, DeviceTable::DeviceKeyNo).toInt();

        // Each button: both serials, a first only, a second only or none.
        QStringList expected;
        for (qint32 id = 1; id <= total; ++id) {
            const int kind = random.bounded(4);
            const qint32 s1 = kind <= 1 ? random.bounded(1, PhoneTable::MaxPhoneSerial + 1) : 0;
            const qint32 s2 = kind == 0 || kind == 2 ? random.bounded(1, 1048576) : 0;
            QVERIFY(phones.appendRow(id, s1 ? std::optional<qint32>(s1) : std::nullopt,
                                     s2 ? std::optional<qint32>(s2) : std::nullopt));
            expected.append(QString::number(id) + QLatin1Char(':') +
                            (s1 ? QString::number(s1) + QLatin1Char('/') +
                                      (s2 ? QString::number(s2) : QString())
                                : QStringLiteral("/")));
        }

        QString mainImage, extImage;
        EncodePhoneSerials(devices, phones, mainImage, extImage, log);
        QCOMPARE(mainImage.size(), MainImageChars);
        QCOMPARE(extImage.size(), (devices.recordCount() - 1) * ExtTableChars);
        DecodePhoneSerials(devices, phones, mainImage, extImage, log);
        QVERIFY2(phoneRows(phones) == expected, drawText + " count " + QByteArray::number(count));
        QVERIFY(log.lines().isEmpty());
    }
}

void TestCodec::devicesWithoutLayout_data()
{
    QTest::addColumn<QString>("devices");
    QTest::addColumn<QList<int>>("missing"); // serials

    QTest::newRow("all Korvel counts") << "MK0:20 EK1:16 EK2:20 EK3:26" << QList<int>{};
    QTest::newRow("Pentry MAIN") << "MP0:4 EK1:16" << QList<int>{};
    QTest::newRow("unsupported MAIN") << "MU0:4 EK1:16" << QList<int>{70001};
    QTest::newRow("Korvel MAIN of 5") << "MK0:5" << QList<int>{70001};
    QTest::newRow("Pentry MAIN of 6") << "MP0:6" << QList<int>{70001};
    QTest::newRow("Pentry EXT") << "MK0:4 EP1:4 EK2:16" << QList<int>{70002};
    QTest::newRow("unsupported EXT") << "MK0:4 EU1:16" << QList<int>{70002};
    QTest::newRow("Korvel EXT of 4") << "MK0:4 EK1:16 EK2:4" << QList<int>{70003};
    QTest::newRow("inactive rows do not count") << "MK0:4 eU1:4 EK1:16" << QList<int>{};
    QTest::newRow("several") << "MU0:4 EK1:4 EK2:26" << QList<int>{70001, 70002};
}

void TestCodec::devicesWithoutLayout()
{
    QFETCH(QString, devices);
    QFETCH(QList<int>, missing);

    DeviceTable table;
    QVERIFY(addDevices(table, devices));
    QList<int> serials;
    for (const DeviceWithoutLayout &d : DevicesWithoutLayout(table))
        serials.append(d.serialNo);
    QCOMPARE(serials, missing);

    const QString message = MissingLayoutMessage(table);
    QCOMPARE(message.isEmpty(), missing.isEmpty());
    if (!missing.isEmpty())
        QVERIFY2(message.contains(QString::number(missing.first())), qPrintable(message));
}

QTEST_GUILESS_MAIN(TestCodec)
#include "tst_memimage_codec.moc"
