#include "dialogs.h"
#include "grids.h"
#include "installationtables.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

#include <memory>

namespace
{

const QString VideoRefusal = QStringLiteral("You can set this value only for MAIN devices!");

struct Fixture {
    ScriptedDialogs dialogs;
    InstallationTables tables{dialogs};

    Fixture()
    {
        // Keep phone rows when button counts change, so each test sets up
        // both tables independently.
        tables.setClearPhoneTblOption([] { return false; });
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
    void keyNoChoicesFollowCurrentRow_data();
    void keyNoChoicesFollowCurrentRow();
    void typedKeyNoCheckedOnEnter();
    void currentRowSync_data();
    void currentRowSync();
    void appendingFromGrid_data();
    void appendingFromGrid();
    void deleteShortcut_data();
    void deleteShortcut();
    void serialEditor_data();
    void serialEditor();
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
    std::unique_ptr<QTableView> grid;
    if (deviceGrid)
        grid = std::make_unique<DeviceGrid>(f.tables, f.dialogs);
    else
        grid = std::make_unique<PhoneGrid>(f.tables, f.dialogs);
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

void TestGrids::typedKeyNoCheckedOnEnter()
{
    Fixture f;
    f.addDevices(1, QStringLiteral("Pentry"));
    DeviceGrid grid(f.tables, f.dialogs);
    showGrid(grid);
    grid.setCurrentIndex(grid.model()->index(0, DeviceTableModel::ColKeyNo));
    grid.setFocus();

    QTest::keyClick(&grid, Qt::Key_5);
    QVERIFY(grid.isEditing());
    auto *editor = qobject_cast<QComboBox *>(grid.indexWidget(grid.currentIndex()));
    QVERIFY(editor);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown.at(0).kind, Dialogs::Kind::Warning);
    QVERIFY(f.dialogs.shown.at(0).text.startsWith(
        QStringLiteral("Total BtnNo[5] in device table is not possible to select!")));
    QCOMPARE(f.devices().value(DeviceTable::DeviceKeyNo), QVariant(4));
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
    MemTable &table = deviceGrid ? static_cast<MemTable &>(f.devices()) : f.phones();
    std::unique_ptr<QTableView> grid;
    if (deviceGrid)
        grid = std::make_unique<DeviceGrid>(f.tables, f.dialogs);
    else
        grid = std::make_unique<PhoneGrid>(f.tables, f.dialogs);
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
    MemTable &table = deviceGrid ? static_cast<MemTable &>(f.devices()) : f.phones();
    std::unique_ptr<InstallationGrid> grid;
    if (deviceGrid)
        grid = std::make_unique<DeviceGrid>(f.tables, f.dialogs);
    else
        grid = std::make_unique<PhoneGrid>(f.tables, f.dialogs);
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
    MemTable &table = deviceGrid ? static_cast<MemTable &>(f.devices()) : f.phones();
    const int idField = deviceGrid ? int(DeviceTable::SerialNo) : int(PhoneTable::ID);
    const QVariant middle = table.valueAt(1, idField);
    std::unique_ptr<QTableView> grid;
    if (deviceGrid)
        grid = std::make_unique<DeviceGrid>(f.tables, f.dialogs);
    else
        grid = std::make_unique<PhoneGrid>(f.tables, f.dialogs);
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

QTEST_MAIN(TestGrids)
#include "tst_grids.moc"
