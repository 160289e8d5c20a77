#include "dialogs.h"
#include "grids.h"
#include "installationtables.h"
#include "mainwindow.h"
#include "operationlog.h"
#include "platformservices.h"
#include "qtseriallink.h"

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

namespace
{

const QString VideoRefusal = QStringLiteral("You can set this value only for MAIN devices!");

struct Fixture {
    ScriptedDialogs dialogs;
    InstallationTables tables{dialogs};
    bool showWarnings = true;

    // The device grid or the phone grid, and the table under it.
    std::unique_ptr<InstallationGrid> makeGrid(bool deviceGrid)
    {
        if (deviceGrid)
            return std::make_unique<DeviceGrid>(tables, dialogs);
        return std::make_unique<PhoneGrid>(tables, dialogs);
    }
    MemTable &table(bool deviceGrid)
    {
        return deviceGrid ? static_cast<MemTable &>(tables.tblDeviceSerials())
                          : tables.tblPhoneSerials();
    }

    Fixture()
    {
        // Keep phone rows when button counts change, so each test sets up
        // both tables independently.
        tables.setClearPhoneTblOption([] { return false; });
        tables.setShowWarnings([this] { return showWarnings; });
    }

    DeviceTable &devices() { return tables.tblDeviceSerials(); }
    PhoneTable &phones() { return tables.tblPhoneSerials(); }

    // One found door station per order number: order 0 is the MAIN.
    void addDevices(int count, const QString &series = QStringLiteral("Korvel"))
    {
        for (int order = 0; order < count; ++order) {
            QVERIFY(devices().appendFoundDevice(70001 + order, order == 0 ? 0 : 1, order));
            QVERIFY(SetFieldValue(devices(), DeviceTable::SeriesTypeStr, series));
        }
    }

    void addPhones(int count)
    {
        for (int id = 1; id <= count; ++id)
            QVERIFY(phones().appendRow(id, 500 + id, std::nullopt));
    }
};

template <typename Grid> void showGrid(Grid &grid)
{
    grid.resize(600, 400);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
}

void clickCell(QTableView &grid, int row, int column)
{
    const QRect rect = grid.visualRect(grid.model()->index(row, column));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

QImage cellImage(QTableView &grid, int row, int column)
{
    return grid.viewport()->grab(grid.visualRect(grid.model()->index(row, column))).toImage();
}

// The editor the grid opened on its current cell.
template <typename Editor> Editor *openEditor(QTableView &grid)
{
    grid.edit(grid.currentIndex());
    return qobject_cast<Editor *>(grid.indexWidget(grid.currentIndex()));
}

} // namespace

class TestGrids : public QObject
{
    Q_OBJECT

private slots:
    void modelsStayConsistent();
    void keyNoEditorClosedUnchangedKeepsPhones_data();
    void keyNoEditorClosedUnchangedKeepsPhones();
    void columns_data();
    void columns();
    void clickTogglesBooleanColumn_data();
    void clickTogglesBooleanColumn();
    void typingNeverEditsBooleanColumn_data();
    void typingNeverEditsBooleanColumn();
    void videoOnExtRowIsRefused();
    void emptyBooleanDrawnUnticked();
    void cellColours_data();
    void cellColours();
    void checkBoxCellBackground_data();
    void checkBoxCellBackground();
    void selectedCellTextIsBold();
    void keyNoChoicesFollowCurrentRow_data();
    void keyNoChoicesFollowCurrentRow();
    void typedKeyNoCheckedOnEnter_data();
    void typedKeyNoCheckedOnEnter();
    void buttonCountCheckedOnClickAndEnter_data();
    void buttonCountCheckedOnClickAndEnter();
    void typingReplacesCellValue_data();
    void typingReplacesCellValue();
    void currentRowSync_data();
    void currentRowSync();
    void appendingFromGrid_data();
    void appendingFromGrid();
    void deleteShortcut_data();
    void deleteShortcut();
    void emptyViewsAreSafe_data();
    void emptyViewsAreSafe();
    void serialEditor_data();
    void serialEditor();
    void mainWindowWiring_data();
    void mainWindowWiring();
};

void TestGrids::modelsStayConsistent()
{
    Fixture f;
    DeviceGrid deviceGrid(f.tables, f.dialogs);
    PhoneGrid phoneGrid(f.tables, f.dialogs);
    QAbstractItemModelTester deviceTester(deviceGrid.model(),
                                          QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModelTester phoneTester(phoneGrid.model(),
                                         QAbstractItemModelTester::FailureReportingMode::QtTest);
    auto sameRows = [&] {
        QCOMPARE(deviceGrid.model()->rowCount(), f.devices().recordCount());
        QCOMPARE(deviceGrid.rowCountText(), QString::number(f.devices().recordCount()));
        QCOMPARE(phoneGrid.model()->rowCount(),
                 f.phones().recordCount() +
                     (f.phones().state() == MemTable::State::Insert ? 1 : 0));
    };

    f.addDevices(4);
    sameRows();
    // A new order number moves the row; a filter hides rows.
    f.devices().first();
    QVERIFY(deviceGrid.model()->setData(deviceGrid.model()->index(0, DeviceTableModel::ColOrder),
                                        QStringLiteral("5")));
    QCOMPARE(f.devices().currentPosition(), 3);
    QCOMPARE(deviceGrid.currentIndex().row(), 3);
    QVERIFY(SetFieldValue(f.devices(), DeviceTable::DeviceActive, false));
    f.devices().setFiltered(true);
    sameRows();
    f.devices().setFiltered(false);
    QVERIFY(SetFieldForAll(f.devices(), DeviceTable::DeviceKeyNo, 4));
    // The filter left the cursor on the first EXT; two active EXT remain.
    QCOMPARE(f.devices().intValue(DeviceTable::DeviceOrder), 1);
    QVERIFY(f.devices().deleteCurrent());
    sameRows();
    f.tables.setTestData();
    sameRows();
    QCOMPARE(f.phones().recordCount(), 8);
    QVERIFY(f.phones().append(MemTable::InsertOrigin::Grid));
    sameRows();
    QVERIFY(phoneGrid.model()->setData(phoneGrid.model()->index(8, PhoneTableModel::ColPhoneSN1),
                                       QStringLiteral("42")));
    sameRows();
    QCOMPARE(f.phones().recordCount(), 9);
    f.tables.clearPhoneData();
    QVERIFY(f.phones().append(MemTable::InsertOrigin::Grid));
    f.phones().cancel();
    f.tables.clearPhoneTable();
    f.devices().clear();
    sameRows();
    QCOMPARE(deviceGrid.rowCountText(), QStringLiteral("0"));
}

void TestGrids::columns_data()
{
    QTest::addColumn<bool>("deviceGrid");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("alignment");
    QTest::addColumn<bool>("editable");

    const int centred = Qt::AlignCenter;
    const int right = Qt::AlignRight | Qt::AlignVCenter;
    const int left = Qt::AlignLeft | Qt::AlignVCenter;
    QTest::newRow("Serial No") << true << 0 << "Serial No:" << 55 << centred << false;
    QTest::newRow("Type") << true << 1 << "Type:" << 44 << centred << false;
    QTest::newRow("Active") << true << 2 << "Active:" << 44 << centred << false;
    QTest::newRow("Order") << true << 3 << "Order:" << 44 << right << true;
    QTest::newRow("BtnNo") << true << 4 << "BtnNo:" << 44 << right << true;
    QTest::newRow("Video") << true << 5 << "Video:" << 44 << centred << false;
    QTest::newRow("Series") << true << 6 << "Series:" << 78 << left << true;
    QTest::newRow("Button") << false << 0 << "Button:" << 45 << right << false;
    QTest::newRow("PhoneSN1") << false << 1 << "PhoneSN1:" << 118 << centred << true;
    QTest::newRow("PhoneSN2") << false << 2 << "PhoneSN2:" << 118 << centred << true;
}

void TestGrids::columns()
{
    QFETCH(bool, deviceGrid);
    QFETCH(int, column);
    QFETCH(QString, caption);
    QFETCH(int, width);
    QFETCH(int, alignment);
    QFETCH(bool, editable);

    Fixture f;
    f.addDevices(1);
    f.addPhones(1);
    std::unique_ptr<QTableView> grid = f.makeGrid(deviceGrid);
    QAbstractItemModel *model = grid->model();
    QCOMPARE(model->columnCount(), deviceGrid ? 7 : 3);
    QCOMPARE(model->headerData(column, Qt::Horizontal).toString(), caption);
    QCOMPARE(grid->columnWidth(column), width);
    const QModelIndex cell = model->index(0, column);
    QCOMPARE(int(cell.data(Qt::TextAlignmentRole).value<Qt::Alignment>()), alignment);
    QCOMPARE(bool(model->flags(cell) & Qt::ItemIsEditable), editable);
}

void TestGrids::clickTogglesBooleanColumn_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QVariant>("before");
    QTest::addColumn<bool>("afterClick");

    QTest::newRow("Active true") << int(DeviceTableModel::ColActive) << QVariant(true) << false;
    QTest::newRow("Active false") << int(DeviceTableModel::ColActive) << QVariant(false) << true;
    QTest::newRow("Active empty") << int(DeviceTableModel::ColActive) << QVariant() << true;
    QTest::newRow("Video false") << int(DeviceTableModel::ColVideo) << QVariant(false) << true;
    QTest::newRow("Video empty") << int(DeviceTableModel::ColVideo) << QVariant() << true;
    QTest::newRow("Video true") << int(DeviceTableModel::ColVideo) << QVariant(true) << false;
}

void TestGrids::clickTogglesBooleanColumn()
{
    QFETCH(int, column);
    QFETCH(QVariant, before);
    QFETCH(bool, afterClick);

    Fixture f;
    f.addDevices(2);
    DeviceGrid grid(f.tables, f.dialogs);
    showGrid(grid);
    const int field = grid.deviceModel()->column(column).field;
    // The MAIN row, not current, so the click must first move the cursor.
    f.devices().first();
    QVERIFY(SetFieldValue(f.devices(), field, before));
    f.devices().last();

    clickCell(grid, 0, column);
    QCOMPARE(f.devices().currentPosition(), 0);
    QCOMPARE(f.devices().valueAt(0, field), QVariant(afterClick));
    QCOMPARE(f.devices().valueAt(1, field).isNull(), field == DeviceTable::IsVideoMain);
    clickCell(grid, 0, column);
    QCOMPARE(f.devices().valueAt(0, field), QVariant(!afterClick));
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestGrids::typingNeverEditsBooleanColumn_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");

    for (const int column : {int(DeviceTableModel::ColActive), int(DeviceTableModel::ColVideo)}) {
        const QByteArray name = column == DeviceTableModel::ColActive ? "Active" : "Video";
        QTest::newRow(name + " space") << column << int(Qt::Key_Space) << " ";
        QTest::newRow(name + " 1") << column << int(Qt::Key_1) << "1";
        QTest::newRow(name + " t") << column << int(Qt::Key_T) << "t";
        QTest::newRow(name + " F2") << column << int(Qt::Key_F2) << "";
    }
}

void TestGrids::typingNeverEditsBooleanColumn()
{
    QFETCH(int, column);
    QFETCH(int, key);
    QFETCH(QString, text);

    Fixture f;
    f.addDevices(1);
    DeviceGrid grid(f.tables, f.dialogs);
    showGrid(grid);
    const int field = grid.deviceModel()->column(column).field;
    const QVariant before = f.devices().value(field);
    grid.setCurrentIndex(grid.model()->index(0, column));
    grid.setFocus();

    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(&grid, &press);
    QVERIFY(!grid.isEditing());
    QCOMPARE(f.devices().value(field), before);
    QCOMPARE(f.devices().state(), MemTable::State::Browse);
}

void TestGrids::videoOnExtRowIsRefused()
{
    Fixture f;
    f.addDevices(2);
    DeviceGrid grid(f.tables, f.dialogs);
    showGrid(grid);

    clickCell(grid, 1, DeviceTableModel::ColVideo);
    QCOMPARE(f.devices().currentPosition(), 1);
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown.at(0).kind, Dialogs::Kind::Error);
    QCOMPARE(f.dialogs.shown.at(0).buttons, Dialogs::Buttons::Ok);
    QCOMPARE(f.dialogs.shown.at(0).text, VideoRefusal);
    QVERIFY(f.devices().value(DeviceTable::IsVideoMain).isNull());
    QCOMPARE(grid.model()->index(1, DeviceTableModel::ColVideo).data(Qt::CheckStateRole),
             QVariant(Qt::Unchecked));
}

void TestGrids::emptyBooleanDrawnUnticked()
{
    Fixture f;
    f.addDevices(5);
    // Rows 1, 3 and 5 share the white band: empty, false and true.
    f.devices().setCurrentPosition(0);
    QVERIFY(SetFieldValue(f.devices(), DeviceTable::DeviceActive, QVariant()));
    f.devices().setCurrentPosition(2);
    QVERIFY(SetFieldValue(f.devices(), DeviceTable::DeviceActive, false));
    f.devices().setCurrentPosition(1);
    DeviceGrid grid(f.tables, f.dialogs);
    showGrid(grid);
    grid.setCurrentIndex(grid.model()->index(1, DeviceTableModel::ColSerialNo));

    const int active = DeviceTableModel::ColActive;
    const QImage empty = cellImage(grid, 0, active);
    QCOMPARE(empty, cellImage(grid, 2, active));
    QVERIFY(empty != cellImage(grid, 4, active));

    clickCell(grid, 0, active);
    QCOMPARE(f.devices().valueAt(0, DeviceTable::DeviceActive), QVariant(true));
    QCOMPARE(grid.model()->index(0, active).data(Qt::CheckStateRole), QVariant(Qt::Checked));
}

void TestGrids::cellColours_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QColor>("colour");

    // The current cell is row 2, "PhoneSN1:".
    QTest::newRow("selected") << 1 << 1 << QColor(192, 220, 192);
    QTest::newRow("selected row, other cell") << 1 << 2 << QColor(255, 251, 240);
    QTest::newRow("first row") << 0 << 1 << QColor(255, 255, 255);
    QTest::newRow("third row") << 2 << 0 << QColor(255, 255, 255);
    QTest::newRow("fourth row") << 3 << 2 << QColor(255, 251, 240);
}

void TestGrids::cellColours()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QColor, colour);

    Fixture f;
    f.addPhones(4);
    PhoneGrid grid(f.tables, f.dialogs);
    showGrid(grid);
    grid.setCurrentIndex(grid.model()->index(1, PhoneTableModel::ColPhoneSN1));
    const QImage image = cellImage(grid, row, column);
    // A corner inside the cell: the text is centred and never reaches it.
    QCOMPARE(image.pixelColor(2, 2).rgb(), colour.rgb());
}

void TestGrids::checkBoxCellBackground_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QColor>("colour");

    // The current cell is row 2, "Active:".
    QTest::newRow("selected") << 1 << int(DeviceTableModel::ColActive) << QColor(192, 220, 192);
    QTest::newRow("selected row, Video")
        << 1 << int(DeviceTableModel::ColVideo) << QColor(255, 251, 240);
    QTest::newRow("first row") << 0 << int(DeviceTableModel::ColVideo) << QColor(255, 255, 255);
    QTest::newRow("third row") << 2 << int(DeviceTableModel::ColActive) << QColor(255, 255, 255);
}

void TestGrids::checkBoxCellBackground()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QColor, colour);

    Fixture f;
    f.addDevices(3);
    DeviceGrid grid(f.tables, f.dialogs);
    showGrid(grid);
    grid.setCurrentIndex(grid.model()->index(1, DeviceTableModel::ColActive));
    const QImage image = cellImage(grid, row, column);
    // The frame is one pixel smaller than the cell: its edge shows the band.
    QCOMPARE(image.pixelColor(0, 0).rgb(), colour.rgb());
    QCOMPARE(image.pixelColor(image.width() - 1, image.height() / 2).rgb(), colour.rgb());
    // Something other than the band is drawn inside: the check-box frame.
    bool framed = false;
    for (int x = 1; x < image.width() - 1 && !framed; ++x)
        framed = image.pixelColor(x, image.height() / 2).rgb() != colour.rgb();
    QVERIFY(framed);
}

void TestGrids::selectedCellTextIsBold()
{
    // Rows 1 and 3 share the white band and their PhoneSN1 text.
    Fixture f;
    for (int id = 1; id <= 3; ++id)
        QVERIFY(f.phones().appendRow(id, 888888, std::nullopt));
    PhoneGrid grid(f.tables, f.dialogs);
    showGrid(grid);
    grid.setCurrentIndex(grid.model()->index(0, PhoneTableModel::ColPhoneSN1));

    // Ink of the text, each pixel weighed by how far it is from the cell's
    // background, so that the two bands compare fairly; bold takes more.
    auto ink = [](const QImage &image, int &darkest) {
        const double background = qGray(image.pixel(0, 0));
        double sum = 0;
        darkest = 255;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const int gray = qGray(image.pixel(x, y));
                darkest = qMin(darkest, gray);
                sum += qMax(0.0, (background - gray) / background);
            }
        }
        return sum;
    };
    int selectedDarkest = 0;
    int plainDarkest = 0;
    const double selected = ink(cellImage(grid, 0, PhoneTableModel::ColPhoneSN1), selectedDarkest);
    const double plain = ink(cellImage(grid, 2, PhoneTableModel::ColPhoneSN1), plainDarkest);
    QVERIFY(plain > 0);
    QVERIFY2(selected > plain * 1.2,
             qPrintable(QStringLiteral("%1 against %2").arg(selected).arg(plain)));
    QCOMPARE(selectedDarkest, 0); // black text
}

void TestGrids::keyNoChoicesFollowCurrentRow_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("series");
    QTest::addColumn<QStringList>("choices");

    QTest::newRow("Korvel MAIN") << 0 << "Korvel"
                                 << QStringList{"1", "2", "3", "4", "6", "10", "12", "16", "20"};
    QTest::newRow("Korvel EXT") << 1 << "Korvel" << QStringList{"16", "20", "26"};
    QTest::newRow("Pentry MAIN") << 0 << "Pentry" << QStringList{"1", "2", "3", "4"};
    QTest::newRow("Pentry EXT") << 1 << "Pentry" << QStringList{"1", "2", "3", "4"};
    QTest::newRow("Unsupported EXT") << 1 << "Unsupported" << QStringList{"0"};
}

void TestGrids::keyNoChoicesFollowCurrentRow()
{
    QFETCH(int, row);
    QFETCH(QString, series);
    QFETCH(QStringList, choices);

    Fixture f;
    f.addDevices(2, QStringLiteral("Unsupported"));
    DeviceGrid grid(f.tables, f.dialogs);
    showGrid(grid);
    grid.setCurrentIndex(grid.model()->index(row, DeviceTableModel::ColSeries));
    QCOMPARE(grid.keyNoPickList(), QStringList{"0"});

    // Picking the series in its column changes the choices at once.
    auto *seriesEditor = openEditor<QComboBox>(grid);
    QVERIFY(seriesEditor);
    QCOMPARE(seriesEditor->count(), 3);
    seriesEditor->setCurrentText(series);
    QTest::keyClick(seriesEditor, Qt::Key_Return);
    QTRY_COMPARE(f.devices().valueAt(row, DeviceTable::SeriesTypeStr).toString(), series);
    QCOMPARE(grid.keyNoPickList(), choices);

    grid.setCurrentIndex(grid.model()->index(row, DeviceTableModel::ColKeyNo));
    auto *keyNoEditor = openEditor<QComboBox>(grid);
    QVERIFY(keyNoEditor);
    QStringList offered;
    for (int i = 0; i < keyNoEditor->count(); ++i)
        offered.append(keyNoEditor->itemText(i));
    QCOMPARE(offered, choices);
    QTest::keyClick(keyNoEditor, Qt::Key_Escape);

    // The other row, still Unsupported, offers its own choice again.
    grid.setCurrentIndex(grid.model()->index(1 - row, DeviceTableModel::ColKeyNo));
    QCOMPARE(f.devices().currentPosition(), 1 - row);
    QCOMPARE(grid.keyNoPickList(), QStringList{"0"});
}

void TestGrids::typedKeyNoCheckedOnEnter_data()
{
    QTest::addColumn<QVariant>("before");
    QTest::addColumn<bool>("warnings");
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QVariant>("after");

    const QStringList revert{QStringLiteral("Total BtnNo[5] in device table is not possible to "
                                            "select!\r\nReverting to highest possible BtnNo!")};
    QTest::newRow("5 on a Pentry reverts to 4")
        << QVariant(0) << true << int(Qt::Key_5) << revert << QVariant(4);
    QTest::newRow("warnings off keeps 5")
        << QVariant(0) << false << int(Qt::Key_5) << QStringList{} << QVariant(5);
    // Only the committed value is checked, never the one it replaces.
    QTest::newRow("a choice typed over a count left from before")
        << QVariant(6) << true << int(Qt::Key_3) << QStringList{} << QVariant(3);
}

void TestGrids::typedKeyNoCheckedOnEnter()
{
    QFETCH(QVariant, before);
    QFETCH(bool, warnings);
    QFETCH(int, key);
    QFETCH(QStringList, shown);
    QFETCH(QVariant, after);

    Fixture f;
    f.addDevices(1, QStringLiteral("Pentry"));
    QVERIFY(SetFieldValue(f.devices(), DeviceTable::DeviceKeyNo, before));
    f.showWarnings = warnings;
    DeviceGrid grid(f.tables, f.dialogs);
    showGrid(grid);
    grid.setCurrentIndex(grid.model()->index(0, DeviceTableModel::ColKeyNo));
    grid.setFocus();

    QTest::keyClick(&grid, Qt::Key(key));
    QVERIFY(grid.isEditing());
    auto *editor = qobject_cast<QComboBox *>(grid.indexWidget(grid.currentIndex()));
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!grid.isEditing());
    QCoreApplication::processEvents();
    QCOMPARE(f.dialogs.shownTexts(), shown);
    for (const auto &box : f.dialogs.shown)
        QCOMPARE(box.kind, Dialogs::Kind::Warning);
    QCOMPARE(f.devices().value(DeviceTable::DeviceKeyNo), after);
}

void TestGrids::keyNoEditorClosedUnchangedKeepsPhones_data()
{
    QTest::addColumn<bool>("change");
    QTest::addColumn<bool>("byClick");
    QTest::newRow("Enter, same count") << false << false;
    QTest::newRow("click elsewhere, same count") << false << true;
    QTest::newRow("Enter, new count") << true << false;
}

void TestGrids::keyNoEditorClosedUnchangedKeepsPhones()
{
    QFETCH(bool, change);
    QFETCH(bool, byClick);
    Fixture f;
    f.addDevices(1);
    QVERIFY(SetFieldValue(f.devices(), DeviceTable::DeviceKeyNo, 4));
    f.addPhones(4);
    f.tables.setClearPhoneTblOption([] { return true; });
    DeviceGrid grid(f.tables, f.dialogs);
    showGrid(grid);
    grid.setCurrentIndex(grid.model()->index(0, DeviceTableModel::ColKeyNo));
    auto *editor = openEditor<QComboBox>(grid);
    QVERIFY(editor);
    if (change)
        editor->setCurrentIndex(editor->findText(QStringLiteral("6")));
    if (byClick)
        clickCell(grid, 0, DeviceTableModel::ColSerialNo);
    else
        QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!grid.isEditing());
    QCOMPARE(f.devices().intValue(DeviceTable::DeviceKeyNo), change ? 6 : 4);
    // Only a new button count starts a new phone list.
    QCOMPARE(f.phones().recordCount(), change ? 0 : 4);
}

void TestGrids::buttonCountCheckedOnClickAndEnter_data()
{
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("active");

    QTest::newRow("click on a read-only cell")
        << "click" << int(DeviceTableModel::ColSerialNo) << true;
    QTest::newRow("click toggling Active") << "click" << int(DeviceTableModel::ColActive) << false;
    QTest::newRow("click on Video of the EXT")
        << "click" << int(DeviceTableModel::ColVideo) << true;
    QTest::newRow("Enter without an editor") << "enter" << int(DeviceTableModel::ColOrder) << true;
}

void TestGrids::buttonCountCheckedOnClickAndEnter()
{
    QFETCH(QString, trigger);
    QFETCH(int, column);
    QFETCH(bool, active);

    // A Korvel EXT with 4 buttons, a count its series does not offer.
    Fixture f;
    f.addDevices(2);
    QVERIFY(SetFieldValue(f.devices(), DeviceTable::DeviceKeyNo, 4));
    f.devices().first();
    DeviceGrid grid(f.tables, f.dialogs);
    showGrid(grid);
    grid.setFocus();

    if (trigger == QLatin1String("click")) {
        clickCell(grid, 1, column);
    } else {
        grid.setCurrentIndex(grid.model()->index(1, column));
        QTest::keyClick(&grid, Qt::Key_Return);
    }
    QVERIFY(!grid.isEditing());
    QCOMPARE(f.devices().currentPosition(), 1);
    QCOMPARE(f.devices().value(DeviceTable::DeviceActive), QVariant(active));
    const QString warning = QStringLiteral("Total BtnNo[4] in device table is not possible to "
                                           "select!\r\nReverting to highest possible BtnNo!");
    // The refusal of the video flag comes first; the check runs after any click.
    const QStringList expected = column == DeviceTableModel::ColVideo
                                     ? QStringList{VideoRefusal, warning}
                                     : QStringList{warning};
    QCOMPARE(f.dialogs.shownTexts(), expected);
    QCOMPARE(f.dialogs.shown.last().kind, Dialogs::Kind::Warning);
    QCOMPARE(f.devices().value(DeviceTable::DeviceKeyNo), QVariant(26));
}

void TestGrids::typingReplacesCellValue_data()
{
    QTest::addColumn<bool>("deviceGrid");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QVariant>("stored");

    // The EXT row: order 1, Pentry, 2 buttons; the phone row: PhoneSN1 501.
    QTest::newRow("Order") << true << int(DeviceTableModel::ColOrder) << "3" << QVariant(3);
    QTest::newRow("Order, not a number")
        << true << int(DeviceTableModel::ColOrder) << "x" << QVariant(1);
    QTest::newRow("BtnNo") << true << int(DeviceTableModel::ColKeyNo) << "4" << QVariant(4);
    QTest::newRow("BtnNo, not a number")
        << true << int(DeviceTableModel::ColKeyNo) << "-" << QVariant(2);
    QTest::newRow("Series, completed from the list")
        << true << int(DeviceTableModel::ColSeries) << "K" << QVariant(QStringLiteral("Korvel"));
    // The series code is case-sensitive: the list gives the text its case.
    QTest::newRow("Series, lower case")
        << true << int(DeviceTableModel::ColSeries) << "k" << QVariant(QStringLiteral("Korvel"));
    // Only the list's entries: other text would count as no series at all.
    QTest::newRow("Series, text of no entry")
        << true << int(DeviceTableModel::ColSeries) << "x" << QVariant(QStringLiteral("Pentry"));
    QTest::newRow("Series, entry and more") << true << int(DeviceTableModel::ColSeries) << "Korvell"
                                            << QVariant(QStringLiteral("Korvel"));
    // Only the list's entries: other text would count as no series at all.
    QTest::newRow("Series, text of no entry")
        << true << int(DeviceTableModel::ColSeries) << "x" << QVariant(QStringLiteral("Pentry"));
    QTest::newRow("Series, entry and more") << true << int(DeviceTableModel::ColSeries) << "Korvell"
                                            << QVariant(QStringLiteral("Korvel"));
    QTest::newRow("PhoneSN1") << false << int(PhoneTableModel::ColPhoneSN1) << "7" << QVariant(7);
    QTest::newRow("PhoneSN1, not a number")
        << false << int(PhoneTableModel::ColPhoneSN1) << "a" << QVariant(501);
}

void TestGrids::typingReplacesCellValue()
{
    QFETCH(bool, deviceGrid);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QVariant, stored);

    Fixture f;
    f.showWarnings = false;
    f.addDevices(2, QStringLiteral("Pentry"));
    QVERIFY(SetFieldValue(f.devices(), DeviceTable::DeviceKeyNo, 2));
    f.addPhones(1);
    std::unique_ptr<InstallationGrid> grid = f.makeGrid(deviceGrid);
    showGrid(*grid);
    const int row = deviceGrid ? 1 : 0;
    grid->setCurrentIndex(grid->model()->index(row, column));
    grid->setFocus();

    // A key typed on a cell opens its editor with that key as the new text.
    QTest::keyClicks(grid.get(), typed);
    QVERIFY(grid->isEditing());
    QWidget *editor = grid->indexWidget(grid->currentIndex());
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    grid->setCurrentIndex(grid->model()->index(row, 0)); // leaving the cell commits as well
    MemTable &table = f.table(deviceGrid);
    QCOMPARE(table.valueAt(row, grid->tableModel()->column(column).field), stored);
}

void TestGrids::currentRowSync_data()
{
    QTest::addColumn<bool>("deviceGrid");
    QTest::newRow("device grid") << true;
    QTest::newRow("phone grid") << false;
}

void TestGrids::currentRowSync()
{
    QFETCH(bool, deviceGrid);

    Fixture f;
    f.addDevices(4);
    f.addPhones(4);
    MemTable &table = f.table(deviceGrid);
    std::unique_ptr<QTableView> grid = f.makeGrid(deviceGrid);
    showGrid(*grid);
    QCOMPARE(grid->currentIndex().row(), table.currentPosition());

    // Grid to table: a click, then the keyboard.
    clickCell(*grid, 1, 0);
    QCOMPARE(table.currentPosition(), 1);
    grid->setFocus();
    QTest::keyClick(grid.get(), Qt::Key_Down);
    QCOMPARE(table.currentPosition(), 2);
    QTest::keyClick(grid.get(), Qt::Key_Up);
    QTest::keyClick(grid.get(), Qt::Key_Up);
    QCOMPARE(table.currentPosition(), 0);

    // Table to grid: cursor moves from code, the column stays.
    grid->setCurrentIndex(grid->model()->index(0, 1));
    table.last();
    QCOMPARE(grid->currentIndex(), grid->model()->index(3, 1));
    QVERIFY(table.locate(deviceGrid ? int(DeviceTable::SerialNo) : int(PhoneTable::ID),
                         deviceGrid ? 70002 : 2));
    QCOMPARE(grid->currentIndex(), grid->model()->index(1, 1));
    // A removed row leaves the grid on the table's new current row.
    QVERIFY(table.deleteCurrent());
    QCOMPARE(grid->currentIndex().row(), table.currentPosition());
    QCOMPARE(grid->selectionModel()->selectedIndexes(), QModelIndexList{grid->currentIndex()});
}

void TestGrids::appendingFromGrid_data()
{
    QTest::addColumn<bool>("deviceGrid");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("rowsAfter");

    QTest::newRow("device grid, Insert") << true << int(Qt::Key_Insert) << 2;
    QTest::newRow("device grid, Down on last row") << true << int(Qt::Key_Down) << 2;
    QTest::newRow("phone grid, Insert") << false << int(Qt::Key_Insert) << 3;
    QTest::newRow("phone grid, Down on last row") << false << int(Qt::Key_Down) << 3;
}

void TestGrids::appendingFromGrid()
{
    QFETCH(bool, deviceGrid);
    QFETCH(int, key);
    QFETCH(int, rowsAfter);

    Fixture f;
    f.addDevices(2);
    f.addPhones(2);
    MemTable &table = f.table(deviceGrid);
    std::unique_ptr<InstallationGrid> grid = f.makeGrid(deviceGrid);
    showGrid(*grid);
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(1, 1));
    QCOMPARE(grid->model()->headerData(1, Qt::Vertical).toString(), QStringLiteral("\u25B6"));
    QCOMPARE(grid->model()->headerData(0, Qt::Vertical).toString(), QString());

    QTest::keyClick(grid.get(), Qt::Key(key));
    QCOMPARE(grid->model()->rowCount(), rowsAfter);
    QCOMPARE(grid->rowCountText(), QString::number(rowsAfter));
    QCOMPARE(grid->currentIndex().row(), rowsAfter - 1);
    QCOMPARE(table.state(), deviceGrid ? MemTable::State::Browse : MemTable::State::Insert);
    if (deviceGrid)
        return;
    QCOMPARE(grid->model()->headerData(2, Qt::Vertical).toString(), QStringLiteral("*"));
    // An appended row left without a value is dropped again.
    QTest::keyClick(grid.get(), Qt::Key_Up);
    QCOMPARE(table.state(), MemTable::State::Browse);
    QCOMPARE(table.recordCount(), 2);
    QCOMPARE(grid->model()->rowCount(), 2);
    QCOMPARE(table.currentPosition(), 1);
}

void TestGrids::deleteShortcut_data()
{
    QTest::addColumn<bool>("deviceGrid");
    QTest::addColumn<QList<Dialogs::Answer>>("answers");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<int>("rowsAfter");

    const QStringList question{QStringLiteral("Delete record?")};
    QTest::newRow("device grid, no question")
        << true << QList<Dialogs::Answer>{} << QStringList{} << 2;
    QTest::newRow("phone grid, OK")
        << false << QList<Dialogs::Answer>{Dialogs::Answer::Ok} << question << 2;
    QTest::newRow("phone grid, Cancel")
        << false << QList<Dialogs::Answer>{Dialogs::Answer::Cancel} << question << 3;
}

void TestGrids::deleteShortcut()
{
    QFETCH(bool, deviceGrid);
    QFETCH(QList<Dialogs::Answer>, answers);
    QFETCH(QStringList, questions);
    QFETCH(int, rowsAfter);

    Fixture f;
    f.addDevices(3);
    f.addPhones(3);
    f.dialogs.answers = answers;
    MemTable &table = f.table(deviceGrid);
    const int idField = deviceGrid ? int(DeviceTable::SerialNo) : int(PhoneTable::ID);
    const QVariant middle = table.valueAt(1, idField);
    std::unique_ptr<QTableView> grid = f.makeGrid(deviceGrid);
    showGrid(*grid);
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(1, 1));

    QTest::keyClick(grid.get(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(f.dialogs.shownTexts(), questions);
    if (!questions.isEmpty()) {
        QCOMPARE(f.dialogs.shown.at(0).kind, Dialogs::Kind::Confirmation);
        QCOMPARE(f.dialogs.shown.at(0).buttons, Dialogs::Buttons::OkCancel);
    }
    QCOMPARE(table.recordCount(), rowsAfter);
    QCOMPARE(grid->model()->rowCount(), rowsAfter);
    QCOMPARE(table.valueAt(1, idField) == middle, rowsAfter == 3);
}

void TestGrids::emptyViewsAreSafe_data()
{
    QTest::addColumn<bool>("deviceGrid");
    QTest::addColumn<QString>("how");

    for (const bool deviceGrid : {true, false}) {
        const QByteArray grid = deviceGrid ? "device grid, " : "phone grid, ";
        QTest::newRow(grid + "empty table") << deviceGrid << "empty";
        QTest::newRow(grid + "last row deleted") << deviceGrid << "delete";
    }
    QTest::newRow("device grid, filter leaves no rows") << true << "filter";
}

void TestGrids::emptyViewsAreSafe()
{
    QFETCH(bool, deviceGrid);
    QFETCH(QString, how);

    Fixture f;
    MemTable &table = f.table(deviceGrid);
    if (how != QLatin1String("empty")) {
        if (deviceGrid)
            f.addDevices(1);
        else
            f.addPhones(1);
    }
    if (how == QLatin1String("filter")) {
        QVERIFY(SetFieldValue(f.devices(), DeviceTable::DeviceActive, false));
        f.devices().setFiltered(true);
    }
    std::unique_ptr<InstallationGrid> grid = f.makeGrid(deviceGrid);
    QAbstractItemModelTester tester(grid->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    showGrid(*grid);
    grid->setFocus();
    if (how == QLatin1String("delete")) {
        f.dialogs.answers = {Dialogs::Answer::Ok};
        grid->setCurrentIndex(grid->model()->index(0, 2));
        QTest::keyClick(grid.get(), Qt::Key_Delete, Qt::ControlModifier);
        QCOMPARE(table.totalRecordCount(), 0);
        f.dialogs.shown.clear();
    }

    // Nothing to click, toggle, check, delete or paint, and nothing breaks.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_Up, Qt::Key_Escape})
        QTest::keyClick(grid.get(), key);
    QTest::keyClick(grid.get(), Qt::Key_Delete, Qt::ControlModifier);
    QVERIFY(!grid->grab().isNull());
    QVERIFY(f.dialogs.shown.isEmpty());
    QCOMPARE(grid->model()->rowCount(), 0);
    QCOMPARE(grid->rowCountText(), QStringLiteral("0"));
    QVERIFY(!grid->currentIndex().isValid());
    QVERIFY(!table.hasCurrent());
    if (auto *devices = qobject_cast<DeviceGrid *>(grid.get()))
        QCOMPARE(devices->keyNoPickList(), QStringList{});
}

void TestGrids::serialEditor_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QVariant>("stored");

    QTest::newRow("one above the highest") << "1048576" << QVariant(501);
    QTest::newRow("not a number") << "abc" << QVariant(501);
    QTest::newRow("negative") << "-1" << QVariant(501);
    QTest::newRow("highest") << "1048575" << QVariant(1048575);
    QTest::newRow("zero") << "0" << QVariant(0);
    QTest::newRow("empty clears") << "" << QVariant();
}

void TestGrids::serialEditor()
{
    QFETCH(QString, typed);
    QFETCH(QVariant, stored);

    Fixture f;
    f.addPhones(1);
    PhoneGrid grid(f.tables, f.dialogs);
    showGrid(grid);
    grid.setCurrentIndex(grid.model()->index(0, PhoneTableModel::ColPhoneSN1));
    auto *editor = openEditor<QLineEdit>(grid);
    QVERIFY(editor);
    QVERIFY(editor->validator());
    QString text = typed;
    int pos = 0;
    QCOMPARE(editor->validator()->validate(text, pos) == QValidator::Acceptable,
             stored.toInt() != 501);

    // A text that reaches the editor without being typed stays out as well:
    // Enter does not end the edit, and a commit (as on leaving the cell)
    // leaves the table alone.
    const bool accepted = stored.toInt() != 501;
    editor->setText(typed);
    QTest::keyClick(editor, Qt::Key_Return);
    if (accepted) {
        QTRY_VERIFY(!grid.isEditing());
    } else {
        QCoreApplication::processEvents();
        QVERIFY(grid.isEditing());
        grid.itemDelegate()->setModelData(editor, grid.model(), grid.currentIndex());
    }
    QCOMPARE(f.phones().value(PhoneTable::SerialNoRead1), stored);
    QCOMPARE(grid.model()->setData(grid.currentIndex(), typed), accepted);
}

void TestGrids::mainWindowWiring_data()
{
    QTest::addColumn<bool>("clearOption");
    QTest::newRow("on find device clear table") << true;
    QTest::newRow("box unchecked") << false;
}

void TestGrids::mainWindowWiring()
{
    QFETCH(bool, clearOption);

    FakeClock clock;
    OperationLog log;
    QtSerialLink port;
    QtSerialLink scanPort;
    ScriptedDialogs dialogs;
    RecordingPlatformServices platform;
    TForm1 form({log, clock, port, scanPort, dialogs, platform, QString()});
    InstallationTables &tables = form.tables();
    QCOMPARE(&form.CRDBGrid2->tableModel()->table(),
             static_cast<MemTable *>(&tables.tblDeviceSerials()));
    QCOMPARE(&form.CRDBGrid1->tableModel()->table(),
             static_cast<MemTable *>(&tables.tblPhoneSerials()));

    QCOMPARE(form.cbClearPhoneTbl->text(), QStringLiteral("on find device clear table"));
    QCOMPARE(form.cbClearPhoneTbl->toolTip(),
             QStringLiteral("usefull when you have multiple entrances"));
    QVERIFY(form.cbClearPhoneTbl->isChecked());
    QCOMPARE(form.btnSetTestData->toolTip(), QStringLiteral("Click twice to populate SN2 column!"));
    form.cbClearPhoneTbl->setChecked(clearOption);

    // Two presses of "Set test data" fill both serial columns.
    QVERIFY(tables.tblPhoneSerials().appendRow(1, std::nullopt, std::nullopt));
    form.btnSetTestData->click();
    form.btnSetTestData->click();
    QCOMPARE(tables.tblPhoneSerials().valueAt(0, PhoneTable::SerialNoRead1), QVariant(1001));
    QCOMPARE(tables.tblPhoneSerials().valueAt(0, PhoneTable::SerialNoRead2), QVariant(2001));

    // A found door station assigns its button count: the box decides.
    QVERIFY(!form.TRefreshScroll.enabled());
    QVERIFY(tables.tblDeviceSerials().appendFoundDevice(70001, 0, 0));
    QCOMPARE(tables.tblPhoneSerials().recordCount(), clearOption ? 0 : 1);

    // The current row decides Parameters and starts the scroll-bar refresh.
    QVERIFY(form.btnParams->isEnabled());
    QVERIFY(form.TRefreshScroll.enabled());
    clock.advance(100);
    QVERIFY(!form.TRefreshScroll.enabled());
    QVERIFY(tables.tblDeviceSerials().appendFoundDevice(70002, 1, 1));
    QVERIFY(!form.btnParams->isEnabled());
    QVERIFY(form.TRefreshScroll.enabled());
    clock.advance(100);
    QVERIFY(tables.tblDeviceSerials().locate(DeviceTable::SerialNo, 70001));
    QVERIFY(form.btnParams->isEnabled());
    QVERIFY(form.TRefreshScroll.enabled());

    // While a bus operation walks the table, the button keeps its state:
    // off during a read, on while it is the Abort of a parameter read.
    QVERIFY(tables.tblDeviceSerials().locate(DeviceTable::SerialNo, 70002));
    form.engine().state().ActiveOperation = BusOperation::ReadSerials;
    QVERIFY(tables.tblDeviceSerials().locate(DeviceTable::SerialNo, 70001));
    QVERIFY(!form.btnParams->isEnabled());
    form.btnParams->setEnabled(true);
    form.engine().state().ActiveOperation = BusOperation::ReadParams;
    QVERIFY(tables.tblDeviceSerials().locate(DeviceTable::SerialNo, 70002));
    QVERIFY(form.btnParams->isEnabled());
    form.engine().state().ActiveOperation = BusOperation::None;
    QVERIFY(tables.tblDeviceSerials().locate(DeviceTable::SerialNo, 70001));

    // "Clr data" keeps the rows, "Clr table" removes them.
    QVERIFY(tables.tblPhoneSerials().appendRow(2, 5, 6));
    form.btnClearData->click();
    QCOMPARE(tables.tblPhoneSerials().value(PhoneTable::SerialNoRead1), QVariant());
    QVERIFY(tables.tblPhoneSerials().recordCount() > 0);
    form.btnClearTbl->click();
    QCOMPARE(tables.tblPhoneSerials().recordCount(), 0);
    QVERIFY(dialogs.shown.isEmpty());
}

QTEST_MAIN(TestGrids)
#include "tst_grids.moc"
