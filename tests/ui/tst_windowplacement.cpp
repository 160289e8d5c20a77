#include "windowplacement.h"

#include <QtTest>

class TestWindowPlacement : public QObject
{
    Q_OBJECT

private slots:
    void start_data();
    void start();
    void maximized_data();
    void maximized();
};

namespace
{

const QSize Minimum(950, 450);
const QSize Maximum(1050, QWIDGETSIZE_MAX);
const QSize Wanted(1010, 520);
// A desktop's title bar and borders.
const QMargins Frame(8, 31, 8, 8);

QRect frameRect(const WindowPlacement &p, const QMargins &frame)
{
    return QRect(p.framePos,
                 p.client + QSize(frame.left() + frame.right(), frame.top() + frame.bottom()));
}

} // namespace

// Rows: work area, frame margins, the client size and the frame's position.
void TestWindowPlacement::start_data()
{
    QTest::addColumn<QRect>("work");
    QTest::addColumn<QMargins>("frame");
    QTest::addColumn<QSize>("client");
    QTest::addColumn<QPoint>("framePos");

    QTest::newRow("full HD, centred") << QRect(0, 0, 1920, 1040) << Frame << Wanted
                                      << QPoint((1920 - 1026) / 2, (1040 - 559) / 2);
    QTest::newRow("task bar on top and left")
        << QRect(60, 40, 1860, 1040) << Frame << Wanted
        << QPoint(60 + (1860 - 1026) / 2, 40 + (1040 - 559) / 2);
    QTest::newRow("low work area: the frame's height fits, not the client's")
        << QRect(0, 0, 1366, 540) << Frame << QSize(1010, 501) << QPoint((1366 - 1026) / 2, 0);
    QTest::newRow("smaller than the minimum: top left")
        << QRect(10, 20, 800, 400) << Frame << Minimum << QPoint(10, 20);
    QTest::newRow("no frame") << QRect(0, 0, 1200, 520) << QMargins() << QSize(1010, 520)
                              << QPoint(95, 0);
}

void TestWindowPlacement::start()
{
    QFETCH(QRect, work);
    QFETCH(QMargins, frame);
    QFETCH(QSize, client);
    QFETCH(QPoint, framePos);

    const WindowPlacement p = StartPlacement(work, frame, Wanted, Minimum, Maximum);
    QCOMPARE(p.client, client);
    QCOMPARE(p.framePos, framePos);
    const QRect outer = frameRect(p, frame);
    QVERIFY(outer.top() >= work.top() && outer.left() >= work.left());
    if (client != Minimum)
        QVERIFY(work.contains(outer));
}

void TestWindowPlacement::maximized_data()
{
    QTest::addColumn<QRect>("work");
    QTest::addColumn<int>("width");
    QTest::addColumn<QSize>("client");

    QTest::newRow("full HD") << QRect(0, 0, 1920, 1040) << 1000 << QSize(1000, 1040 - 39);
    QTest::newRow("task bar on top, wide window")
        << QRect(0, 48, 1920, 1032) << 1900 << QSize(1050, 1032 - 39);
    QTest::newRow("low screen keeps the minimum height")
        << QRect(0, 0, 1024, 400) << 900 << QSize(950, 450);
}

void TestWindowPlacement::maximized()
{
    QFETCH(QRect, work);
    QFETCH(int, width);
    QFETCH(QSize, client);

    const WindowPlacement p = MaximizedPlacement(work, Frame, width, Minimum, Maximum);
    QCOMPARE(p.framePos, work.topLeft());
    QCOMPARE(p.client, client);
}

QTEST_APPLESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
