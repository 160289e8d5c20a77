#include "dialogs.h"
#include "memimagefixture.h"
#include "paramblock.h"
#include "paramsdialog.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

namespace
{

// The dialog with the engine fields it works on and a write hook that
// records what it was started with.
struct Form {
    ScriptedDialogs dialogs;
    QString ParamImage;
    bool InitMemoryMode = false;
    TForm2 form{dialogs, ParamImage, InitMemoryMode};
    struct Write {
        QString block;
        bool initMemoryMode;
        bool dialogVisible;
    };
    QList<Write> writes;

    Form()
    {
        form.setStartParamWrite([this] {
            writes.append({ParamImage, InitMemoryMode, form.isVisible()});
        });
    }

    bool show(const QString &block)
    {
        ParamImage = block;
        if (!form.FillParamsDialog())
            return false;
        form.open();
        return QTest::qWaitForWindowExposed(&form);
    }

    // "AS fixed R T light", as the controls show them: "5 fixed 7 2,5 light",
    // "0 - 4 4 -"; "?" for a list without selection.
    QString shown() const
    {
        auto text = [](const QComboBox *box) {
            return box->currentIndex() < 0 ? QStringLiteral("?") : box->currentText();
        };
        return QStringList{
            text(form.cbASAddress),
            form.chkASFix->isChecked() ? QStringLiteral("fixed") : QStringLiteral("-"),
            text(form.cbRTime), text(form.cbDevAudioTime),
            form.chkUseAsLight->isChecked() ? QStringLiteral("light") : QStringLiteral("-")}
            .join(QLatin1Char(' '));
    }

    // Chooses the entries the technician would, in the format of shown().
    bool choose(const QString &settings)
    {
        const QStringList s = settings.split(QLatin1Char(' '));
        auto pick = [](QComboBox *box, const QString &entry) {
            box->setCurrentIndex(box->findText(entry));
            return box->currentText() == entry;
        };
        form.chkASFix->setChecked(s.at(1) == QLatin1String("fixed"));
        form.chkUseAsLight->setChecked(s.at(4) == QLatin1String("light"));
        return pick(form.cbASAddress, s.at(0)) && pick(form.cbRTime, s.at(2)) &&
               pick(form.cbDevAudioTime, s.at(3));
    }
};

QString hex(int value, int width)
{
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

QString halfSeconds(int value)
{
    return QString::number(value / 2) + (value % 2 ? QStringLiteral(",5") : QString());
}

} // namespace

class TestParamsDialog : public QObject
{
    Q_OBJECT
private slots:
    void controls();
    void paramCases_data();
    void paramCases();
    void everyEntryShownAndRebuilt();
    void rContactTimeBeyondList();
    void invalidBlock_data();
    void invalidBlock();
    void closing_data();
    void closing();
    void initMenu_data();
    void initMenu();
};

void TestParamsDialog::controls()
{
    Form f;
    TForm2 &form = f.form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Parameters"));
    QCOMPARE(form.gbSettings->title(), QStringLiteral("Settings"));
    QCOMPARE(form.chkASFix->text(), QStringLiteral("Fixed AS Address"));
    QCOMPARE(form.chkUseAsLight->text(), QStringLiteral("Use door opener protocol as Light"));
    QCOMPARE(form.btnSendParams->text(), QStringLiteral("Send parameters"));
    QVERIFY(form.btnSendParams->isDefault());
    QCOMPARE(form.btnCancel->text(), QStringLiteral("Cancel"));
    QCOMPARE(form.InitParams1->text(), QStringLiteral("Init memory"));
    QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));

    auto entries = [](const QComboBox *box) {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out.append(box->itemText(i));
        return out;
    };
    auto labelOf = [&form](QWidget *buddy) {
        for (const QLabel *label : form.findChildren<QLabel *>()) {
            if (label->buddy() == buddy)
                return label->text();
        }
        return QString();
    };
    const QList<QComboBox *> lists{form.cbASAddress, form.cbRTime, form.cbDevAudioTime};
    const QStringList labels{QStringLiteral("AS Address:"), QStringLiteral("R Contact time (s):"),
                             QStringLiteral("Indoor device time (s):")};
    const QList<int> sizes{64, 8, 16};
    for (int i = 0; i < lists.size(); ++i) {
        QVERIFY(!lists.at(i)->isEditable());
        QCOMPARE(labelOf(lists.at(i)), labels.at(i));
        QStringList expected;
        for (int v = 0; v < sizes.at(i); ++v)
            expected.append(lists.at(i) == form.cbDevAudioTime ? halfSeconds(v)
                                                               : QString::number(v));
        QCOMPARE(entries(lists.at(i)), expected);
    }
}

void TestParamsDialog::paramCases_data()
{
    QTest::addColumn<QString>("readBlock");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("chosen"); // empty: sent without a change
    QTest::addColumn<QString>("sent");

    QTest::newRow("default block") << "0040778000010200"
                                   << "0 - 4 4 -"
                                   << ""
                                   << "0040778000010200";
    QTest::newRow("byte 0 0xBF") << "BF40778000010200"
                                 << "63 fixed 4 4 -"
                                 << ""
                                 << "BF40778000010200";
    QTest::newRow("byte 0 0x7F comes back 0x3F") << "7F40778000010200"
                                                 << "63 - 4 4 -"
                                                 << ""
                                                 << "3F40778000010200";
    QTest::newRow("all changed") << "0040778000010200"
                                 << "0 - 4 4 -"
                                 << "5 fixed 7 2,5 light"
                                 << "8570775004010200";
    QTest::newRow("byte 4 0xAB, light on") << "00407780AB010200"
                                           << "0 - 4 4 -"
                                           << "5 fixed 7 2,5 light"
                                           << "85707750AF010200";
    QTest::newRow("byte 4 0xAB, light off") << "00407780AB010200"
                                            << "0 - 4 4 -"
                                            << "5 fixed 7 2,5 -"
                                            << "85707750AB010200";
    QTest::newRow("light read from bit 2 only") << "00407780A4010200"
                                                << "0 - 4 4 light"
                                                << ""
                                                << "00407780A4010200";
    QTest::newRow("low digits written as 0") << "004F778D00010200"
                                             << "0 - 4 4 -"
                                             << ""
                                             << "0040778000010200";
    QTest::newRow("uninterpreted bytes carried") << "2A30C4F0FBA5B6C7"
                                                 << "42 - 3 7,5 -"
                                                 << ""
                                                 << "2A30C4F0FBA5B6C7";
}

void TestParamsDialog::paramCases()
{
    QFETCH(QString, readBlock);
    QFETCH(QString, shown);
    QFETCH(QString, chosen);
    QFETCH(QString, sent);

    Form f;
    QVERIFY(f.show(readBlock));
    QCOMPARE(f.shown(), shown);
    if (!chosen.isEmpty())
        QVERIFY(f.choose(chosen));
    QCOMPARE(f.form.CreateParamsStr(), sent);
    QCOMPARE(f.ParamImage, readBlock); // building alone writes nothing

    f.form.btnSendParams->click();
    QCOMPARE(f.form.result(), int(QDialog::Accepted));
    QVERIFY(!f.form.isVisible());
    QCOMPARE(f.ParamImage, sent);
    QCOMPARE(f.writes.size(), 1);
    QCOMPARE(f.writes.at(0).block, sent);
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestParamsDialog::everyEntryShownAndRebuilt()
{
    const QString base = QString::fromLatin1(DefaultParamBlock);
    struct Case {
        QString block;
        QString shown;
    };
    QList<Case> cases;
    for (int as = 0; as < 64; ++as) {
        cases.append({hex(as, 2) + base.mid(2), QString::number(as) + QStringLiteral(" - 4 4 -")});
        cases.append({hex(0x80 | as, 2) + base.mid(2),
                      QString::number(as) + QStringLiteral(" fixed 4 4 -")});
    }
    for (int r = 0; r < 8; ++r)
        cases.append({base.left(2) + hex(r, 1) + base.mid(3), QStringLiteral("0 - %1 4 -").arg(r)});
    for (int t = 0; t < 16; ++t)
        cases.append({base.left(6) + hex(t, 1) + base.mid(7),
                      QStringLiteral("0 - 4 %1 -").arg(halfSeconds(t))});
    for (int d = 0; d < 16; ++d)
        cases.append({base.left(9) + hex(d, 1) + base.mid(10),
                      QStringLiteral("0 - 4 4 ") +
                          ((d & 4) ? QStringLiteral("light") : QStringLiteral("-"))});

    Form f;
    for (const Case &c : cases) {
        QVERIFY(f.show(c.block));
        QVERIFY(f.form.isVisible());
        QVERIFY2(f.shown() == c.shown, qPrintable(c.block + QLatin1String(": ") + f.shown()));
        QCOMPARE(f.form.CreateParamsStr(), c.block);
        f.form.reject();
    }
    QVERIFY(f.writes.isEmpty());
    QVERIFY(f.dialogs.shown.isEmpty());
}

void TestParamsDialog::rContactTimeBeyondList()
{
    Form f;
    QVERIFY(f.show(QStringLiteral("0080778000010200")));
    QCOMPARE(f.form.cbRTime->currentIndex(), -1);
    QCOMPARE(f.form.CreateParamsStr(), QString());

    // Refused with an error box; the dialog stays open and nothing is written.
    f.form.btnSendParams->click();
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown.at(0).kind, Dialogs::Kind::Error);
    QVERIFY(f.form.isVisible());
    QVERIFY(f.writes.isEmpty());
    QCOMPARE(f.ParamImage, QStringLiteral("0080778000010200"));

    f.form.cbRTime->setCurrentIndex(3);
    f.form.btnSendParams->click();
    QVERIFY(!f.form.isVisible());
    QCOMPARE(f.ParamImage, QStringLiteral("0030778000010200"));
    QCOMPARE(f.writes.size(), 1);
}

void TestParamsDialog::invalidBlock_data()
{
    QTest::addColumn<QString>("block");

    QTest::newRow("letter beyond F") << "0040778000G10200";
    QTest::newRow("blank") << "0040 78000010200";
    QTest::newRow("15 digits") << "004077800001020";
    QTest::newRow("empty") << "";
}

void TestParamsDialog::invalidBlock()
{
    QFETCH(QString, block);

    Form f;
    QVERIFY(f.show(QStringLiteral("BF70775004010200")));
    const QString before = f.shown();
    f.form.reject();

    QVERIFY(!f.show(block));
    QVERIFY(!f.form.isVisible());
    QCOMPARE(f.dialogs.shown.size(), 1);
    QCOMPARE(f.dialogs.shown.at(0).kind, Dialogs::Kind::Error);
    QVERIFY(f.dialogs.shown.at(0).text.contains(block));
    QCOMPARE(f.shown(), before);
    QVERIFY(f.writes.isEmpty());
}

void TestParamsDialog::closing_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("sends");

    QTest::newRow("Enter presses the default button") << "enter" << true;
    QTest::newRow("Cancel") << "cancel" << false;
    QTest::newRow("Escape") << "escape" << false;
    QTest::newRow("close box") << "close" << false;
}

void TestParamsDialog::closing()
{
    QFETCH(QString, how);
    QFETCH(bool, sends);

    Form f;
    f.InitMemoryMode = true; // left over from an "Init memory" that never reached its reset
    QVERIFY(f.show(QStringLiteral("0040778000010200")));
    QVERIFY(f.choose(QStringLiteral("9 - 1 1,5 -")));
    if (how == QLatin1String("enter"))
        QTest::keyClick(&f.form, Qt::Key_Return);
    else if (how == QLatin1String("cancel"))
        f.form.btnCancel->click();
    else if (how == QLatin1String("escape"))
        QTest::keyClick(&f.form, Qt::Key_Escape);
    else
        f.form.close();

    QVERIFY(!f.form.isVisible());
    QCOMPARE(f.form.result(), int(sends ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(f.writes.size(), sends ? 1 : 0);
    QCOMPARE(f.ParamImage,
             sends ? QStringLiteral("0910773000010200") : QStringLiteral("0040778000010200"));
    if (sends) {
        // The write started by "Send parameters" is not an "Init memory" one.
        QVERIFY(!f.writes.at(0).initMemoryMode);
        QCOMPARE(f.writes.at(0).block, f.ParamImage);
    } else {
        QVERIFY(f.InitMemoryMode);
    }
}

void TestParamsDialog::initMenu_data()
{
    QTest::addColumn<QString>("devices");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("Pentry MAIN") << "MP0:4" << true;
    QTest::newRow("Korvel MAIN") << "MK0:4" << false;
    QTest::newRow("Unsupported MAIN") << "MU0:4" << false;
    QTest::newRow("no device row") << "" << false;
}

void TestParamsDialog::initMenu()
{
    QFETCH(QString, devices);
    QFETCH(bool, enabled);

    Form f;
    f.ParamImage = QStringLiteral("BF70775004010200");
    DeviceTable table;
    QVERIFY(addDevices(table, devices));
    QWidget window;
    window.move(40, 40);
    auto *btnOption = new QPushButton(QStringLiteral("+"), &window);
    btnOption->move(10, 20);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    // Whatever a previous press left, the current row decides.
    f.form.InitParams1->setEnabled(!enabled);
    f.form.btnOptionClick(btnOption, table);
    QVERIFY(f.form.InitMenu->isVisible());
    QCOMPARE(f.form.InitMenu->pos(), btnOption->mapToGlobal(QPoint(0, btnOption->height())));
    QCOMPARE(f.form.InitParams1->isEnabled(), enabled);
    QVERIFY(f.writes.isEmpty());

    if (enabled) {
        f.form.InitParams1->trigger();
        QCOMPARE(f.ParamImage, QString::fromLatin1(DefaultParamBlock));
        QVERIFY(f.InitMemoryMode);
        QCOMPARE(f.writes.size(), 1);
        QVERIFY(f.writes.at(0).initMemoryMode);
        QCOMPARE(f.writes.at(0).block, QStringLiteral("0040778000010200"));
        QVERIFY(!f.writes.at(0).dialogVisible); // the dialog itself is not shown
    }
    f.form.InitMenu->close();
}

QTEST_MAIN(TestParamsDialog)
#include "tst_memimage_paramsdialog.moc"
