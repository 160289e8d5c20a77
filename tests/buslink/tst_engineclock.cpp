#include "engineclock.h"

#include <QtTest>

class TestEngineClock : public QObject
{
    Q_OBJECT
private slots:
    void firesAfterInterval();
    void enablingRunningTimerDoesNotRestart();
    void changingIntervalRestarts();
    void repeatsUntilHandlerDisables();
    void handlerMayRestartItself();
    void deadlineOrderAndTies();
    void nestedWaitInsideHandler();
    void realClockWait();
};

void TestEngineClock::firesAfterInterval()
{
    FakeClock clock;
    EngineTimer timer(QStringLiteral("T"), clock, 300);
    QList<qint64> fired;
    timer.setHandler([&]() { fired.append(clock.nowMs()); timer.stop(); });
    timer.start();
    clock.advance(299);
    QVERIFY(fired.isEmpty());
    clock.advance(1);
    QCOMPARE(fired, QList<qint64>{300});
    QVERIFY(!timer.enabled());
    clock.advance(1000);
    QCOMPARE(fired.size(), 1);
}

void TestEngineClock::enablingRunningTimerDoesNotRestart()
{
    FakeClock clock;
    EngineTimer timer(QStringLiteral("T"), clock, 300);
    QList<qint64> fired;
    timer.setHandler([&]() { fired.append(clock.nowMs()); timer.stop(); });
    timer.start();
    clock.advance(200);
    timer.start();
    clock.advance(100);
    QCOMPARE(fired, QList<qint64>{300});
}

void TestEngineClock::changingIntervalRestarts()
{
    FakeClock clock;
    EngineTimer timer(QStringLiteral("T"), clock, 1250);
    QList<qint64> fired;
    timer.setHandler([&]() { fired.append(clock.nowMs()); timer.stop(); });
    timer.start();
    clock.advance(1000);
    timer.setInterval(1800);
    clock.advance(1799);
    QVERIFY(fired.isEmpty());
    clock.advance(1);
    QCOMPARE(fired, QList<qint64>{2800});

    // The same interval again is no change and does not restart.
    fired.clear();
    timer.start();
    clock.advance(1000);
    timer.setInterval(1800);
    clock.advance(800);
    QCOMPARE(fired, QList<qint64>{4600});

    // Setting an interval on a stopped timer does not start it.
    timer.setInterval(100);
    clock.advance(1000);
    QCOMPARE(fired.size(), 1);
}

void TestEngineClock::repeatsUntilHandlerDisables()
{
    FakeClock clock;
    EngineTimer timer(QStringLiteral("TReadSerials"), clock, 100);
    QList<qint64> fired;
    timer.setHandler([&]() {
        fired.append(clock.nowMs());
        if (fired.size() == 3)
            timer.stop();
    });
    timer.start();
    clock.advance(1000);
    QCOMPARE(fired, (QList<qint64>{100, 200, 300}));
}

void TestEngineClock::handlerMayRestartItself()
{
    FakeClock clock;
    EngineTimer timer(QStringLiteral("T"), clock, 100);
    QList<qint64> fired;
    timer.setHandler([&]() {
        fired.append(clock.nowMs());
        timer.stop();
        if (fired.size() < 2)
            timer.start();
    });
    timer.start();
    clock.advance(1000);
    QCOMPARE(fired, (QList<qint64>{100, 200}));
}

void TestEngineClock::deadlineOrderAndTies()
{
    FakeClock clock;
    EngineTimer a(QStringLiteral("A"), clock, 300);
    EngineTimer b(QStringLiteral("B"), clock, 300);
    EngineTimer c(QStringLiteral("C"), clock, 100);
    QStringList order;
    a.setHandler([&]() { order << "A"; a.stop(); });
    b.setHandler([&]() { order << "B"; b.stop(); });
    c.setHandler([&]() { order << "C"; c.stop(); });
    b.start();
    a.start();
    c.start();
    clock.advance(300);
    QCOMPARE(order, (QStringList{"C", "B", "A"}));
}

void TestEngineClock::nestedWaitInsideHandler()
{
    FakeClock clock;
    EngineTimer outer(QStringLiteral("outer"), clock, 100);
    EngineTimer inner(QStringLiteral("inner"), clock, 150);
    QList<QPair<QString, qint64>> events;
    inner.setHandler([&]() { events.append({"inner", clock.nowMs()}); inner.stop(); });
    outer.setHandler([&]() {
        outer.stop();
        events.append({"outer", clock.nowMs()});
        clock.wait(250); // a handler that waits lets other timers run
        events.append({"outer done", clock.nowMs()});
    });
    outer.start();
    inner.start();
    clock.advance(200);
    QCOMPARE(events.size(), 3);
    QCOMPARE(events.at(1), qMakePair(QStringLiteral("inner"), qint64(150)));
    QCOMPARE(events.at(2).second, qint64(350));
    // Time never runs backwards after a nested wait.
    QCOMPARE(clock.nowMs(), qint64(350));
}

void TestEngineClock::realClockWait()
{
    RealClock clock;
    EngineTimer timer(QStringLiteral("T"), clock, 20);
    int fired = 0;
    timer.setHandler([&]() { ++fired; timer.stop(); });
    timer.start();
    QTRY_COMPARE_WITH_TIMEOUT(fired, 1, 5000);
    clock.wait(50);
    QCOMPARE(fired, 1);
}

QTEST_GUILESS_MAIN(TestEngineClock)
#include "tst_engineclock.moc"
