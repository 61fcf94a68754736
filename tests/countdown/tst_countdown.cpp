#include <QPoint>
#include <QTest>

#include "countdown.h"

namespace
{
// What a count did when driven like the window drives it: regular ticks every
// 333 ms on the clock (shifted from stallTick on by stallMs), a click on the
// time at the start and end of each pause, and the extra tick at the end
// whenever the count asks for one. The count starts at startedMs, as seen at 0
// (the program was launched that long before it was ready).
struct Run
{
    QList<int> beepTicks;
    QList<int> blinkTicks;
    QStringList shown;  // "tick text", for the ticks a row asks about
    int endTick = 0;
    qint64 endMs = -1;
};

Run run(double delay, const QList<QPoint> &pauses, int stallTick, int stallMs, int maxTicks,
        const QList<int> &watched, qint64 startedMs = 0)
{
    Countdown c;
    c.load(0, 0, delay, true, true);
    c.start(startedMs, 0);
    QList<qint64> clicks;
    qint64 extraAt = c.extraTickMs() < 0 ? -1 : c.extraTickMs();
    for (const QPoint &p : pauses)
        clicks << p.x() << p.x() + p.y();

    Run result;
    int regular = 1;
    int ticks = 0;
    while (ticks < maxTicks) {
        const qint64 regularAt = qint64(regular) * 333 + (regular >= stallTick ? stallMs : 0);
        const qint64 clickAt = clicks.isEmpty() ? -1 : clicks.first();
        // A click at the time of a tick comes after it.
        if (clickAt >= 0 && clickAt < regularAt && (extraAt < 0 || clickAt < extraAt)) {
            clicks.removeFirst();
            c.toggle(clickAt);
            extraAt = c.extraTickMs() < 0 ? -1 : clickAt + c.extraTickMs();
            continue;
        }
        qint64 now = regularAt;
        if (extraAt >= 0 && extraAt < regularAt)
            now = extraAt;
        else
            ++regular;
        const Countdown::Tick t = c.tick(now);
        ++ticks;
        if (t.beep)
            result.beepTicks << ticks;
        if (t.blinkName)
            result.blinkTicks << ticks;
        if (watched.contains(ticks))
            result.shown << QString::number(ticks) + u' ' + t.TimeAff;
        if (t.ended) {
            result.endTick = ticks;
            result.endMs = now;
            break;
        }
        extraAt = t.extraTickMs < 0 ? -1 : now + t.extraTickMs;
    }
    return result;
}

QList<int> range(int first, int last)
{
    QList<int> values;
    for (int i = first; first > 0 && i <= last; ++i)
        values << i;
    return values;
}
}

class TestCountdown : public QObject
{
    Q_OBJECT

private slots:
    void counts_data();
    void counts();
    void actionsHoldTheCount();
    void startsAtTheLaunch_data();
    void startsAtTheLaunch();
    void endOfCount_data();
    void endOfCount();
};

void TestCountdown::counts_data()
{
    QTest::addColumn<double>("delay");
    QTest::addColumn<QList<QPoint>>("pauses");  // (start, length) in ms from the start
    QTest::addColumn<int>("stallTick");
    QTest::addColumn<int>("stallMs");
    QTest::addColumn<int>("maxTicks");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QList<int>>("beepTicks");
    QTest::addColumn<int>("firstBlink");  // then every tick to the end; 0 for none
    QTest::addColumn<int>("endTick");     // 0 when the count has not ended
    QTest::addColumn<qint64>("endMs");

    const QList<QPoint> none;
    QTest::newRow("30 s") << 30.0 << none << 0 << 0 << 200 << QStringList{"1 00:00:29", "4 00:00:28"}
                          << QList<int>{73, 76, 79, 82, 85, 88} << 76 << 91 << qint64(30000);
    QTest::newRow("0 s") << 0.0 << none << 0 << 0 << 200 << QStringList{"1 00:00:00"} << QList<int>{} << 1
                         << 1 << qint64(333);
    QTest::newRow("1 s") << 1.0 << none << 0 << 0 << 200 << QStringList{"1 00:00:00"} << QList<int>{1} << 1
                         << 4 << qint64(1000);
    QTest::newRow("3 s") << 3.0 << none << 0 << 0 << 200 << QStringList{"1 00:00:02"} << QList<int>{1, 4, 7}
                         << 1 << 10 << qint64(3000);
    QTest::newRow("5 s") << 5.0 << none << 0 << 0 << 200 << QStringList{"1 00:00:04"}
                         << QList<int>{1, 4, 7, 10, 13} << 1 << 16 << qint64(5000);
    QTest::newRow("6 s") << 6.0 << none << 0 << 0 << 200 << QStringList{"1 00:00:05"}
                         << QList<int>{1, 4, 7, 10, 13, 16} << 4 << 19 << qint64(6000);
    QTest::newRow("negative") << -7.0 << none << 0 << 0 << 200 << QStringList{"1 00:00:00"} << QList<int>{}
                              << 1 << 1 << qint64(333);
    // Paused right after the beep for 3, for 30 ticks: no beep while paused,
    // then 2, 1 and 0, and the end comes exactly the pause later.
    QTest::newRow("pause at 3 after its beep")
        << 6.0 << QList<QPoint>{{2331, 9990}} << 0 << 0 << 200 << QStringList{"7 00:00:03", "37 00:00:03"}
        << QList<int>{1, 4, 7, 40, 43, 46} << 4 << 49 << qint64(15990);
    // Tick 14 comes 2.5 s late and lands on 1: one beep for the skipped
    // values, then the beep for 0.
    QTest::newRow("late by 2.5 s at 4") << 9.0 << none << 14 << 2500 << 200
                                        << QStringList{"13 00:00:04", "14 00:00:01"}
                                        << QList<int>{10, 13, 14, 17} << 13 << 20 << qint64(9000);
    QTest::newRow("late by 12.5 s") << 60.0 << none << 2 << 12167 << 400
                                    << QStringList{"1 00:00:59", "2 00:00:47"}
                                    << QList<int>{126, 129, 132, 135, 138, 141} << 129 << 144 << qint64(60000);
    QTest::newRow("late past the end") << 10.0 << none << 2 << 100000 << 200 << QStringList{"2 00:00:00"}
                                       << QList<int>{2} << 2 << 2 << qint64(100666);
    QTest::newRow("123 hours") << 123 * 3600.0 + 4 * 60 + 5 << none << 0 << 0 << 1
                               << QStringList{"1 123:04:04"} << QList<int>{} << 0 << 0 << qint64(-1);
    QList<QPoint> tenPauses;
    for (int i = 0; i < 10; ++i)
        tenPauses << QPoint(500 + 1000 * i, 700);
    QTest::newRow("10 pauses") << 10.0 << tenPauses << 0 << 0 << 200 << QStringList{}
                               << QList<int>{34, 37, 40, 43, 46, 49} << 37 << 52 << qint64(17000);
    // Paused while the extra tick of the end was due: it must not come.
    QTest::newRow("pause cancels the extra tick") << 1.0 << QList<QPoint>{{999, 5000}} << 0 << 0 << 200
                                                  << QStringList{"3 00:00:00", "18 00:00:00"} << QList<int>{1}
                                                  << 1 << 19 << qint64(6000);
}

void TestCountdown::counts()
{
    QFETCH(double, delay);
    QFETCH(QList<QPoint>, pauses);
    QFETCH(int, stallTick);
    QFETCH(int, stallMs);
    QFETCH(int, maxTicks);
    QFETCH(QStringList, shown);
    QFETCH(int, firstBlink);
    QFETCH(int, endTick);

    QList<int> watched;
    for (const QString &s : shown)
        watched << s.section(u' ', 0, 0).toInt();
    const Run r = run(delay, pauses, stallTick, stallMs, maxTicks, watched);
    QCOMPARE(r.shown, shown);
    QTEST(r.beepTicks, "beepTicks");
    QCOMPARE(r.blinkTicks, range(firstBlink, endTick ? endTick : maxTicks));
    QCOMPARE(r.endTick, endTick);
    QTEST(r.endMs, "endMs");
}

void TestCountdown::actionsHoldTheCount()
{
    Countdown c;
    c.load(0, 0, 30, true, true);
    c.start(0);
    c.tick(333);
    c.beginAction(400);
    QCOMPARE(c.phase(), Countdown::Phase::Acting);
    QCOMPARE(c.TimeNum(), 29.6);  // counted up to the click
    QCOMPARE(c.TimDecr(), 0.0);
    QCOMPARE(c.extraTickMs(), -1);
    c.toggle(500);  // a click on the time changes nothing meanwhile
    const Countdown::Tick t = c.tick(733);
    QVERIFY(!t.ended && !t.beep);
    QCOMPARE(c.TimeNum(), 29.6);
    c.endAction(1000);
    QCOMPARE(c.phase(), Countdown::Phase::Counting);
    c.tick(1333);
    QCOMPARE(c.TimeNum(), 29.267);

    // The settings window opened while the action was on its way: the count
    // comes back paused; closed again before the action came back, it runs.
    for (bool stillOpen : {true, false}) {
        c.beginAction(1400);
        c.pause(1500);
        if (!stillOpen)
            c.resume(1600);
        c.endAction(1700);
        QCOMPARE(c.phase(), stillOpen ? Countdown::Phase::Paused : Countdown::Phase::Counting);
        c.resume(1700);
    }

    // An action started on a count that had already ended leaves it ended.
    Countdown ended;
    ended.load(0, 0, 0, true, false);
    ended.start(0);
    QVERIFY(ended.tick(333).ended);
    QCOMPARE(ended.phase(), Countdown::Phase::Ended);
    ended.beginAction(400);
    ended.endAction(500);
    QCOMPARE(ended.phase(), Countdown::Phase::Ended);
    ended.toggle(600);
    QCOMPARE(ended.phase(), Countdown::Phase::Ended);
}

void TestCountdown::startsAtTheLaunch_data()
{
    QTest::addColumn<double>("delay");
    QTest::addColumn<qint64>("launchedMs");  // before the count was started at 0
    QTest::addColumn<double>("leftAtStart");
    QTest::addColumn<int>("extraAtStart");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QList<int>>("beepTicks");
    QTest::addColumn<int>("endTick");
    QTest::addColumn<qint64>("endMs");

    // The action comes the delay after the launch, on an extra tick.
    QTest::newRow("3 s, launched 300 ms before") << 3.0 << qint64(300) << 2.7 << -1 << QStringList{"1 00:00:02"}
                                                  << QList<int>{1, 3, 6} << 9 << qint64(2700);
    QTest::newRow("30 s, launched 450 ms before") << 30.0 << qint64(450) << 29.55 << -1
                                                   << QStringList{"1 00:00:29", "3 00:00:28"}
                                                   << QList<int>{71, 74, 77, 80, 83, 86} << 89 << qint64(29550);
    // Less than a tick left when the window is ready: the end is due at once.
    QTest::newRow("1 s, launched 800 ms before") << 1.0 << qint64(800) << 0.2 << 200 << QStringList{"1 00:00:00"}
                                                  << QList<int>{1} << 1 << qint64(200);
    // The start-up took longer than the delay: the first tick ends it.
    QTest::newRow("1 s, launched 1.5 s before") << 1.0 << qint64(1500) << 0.0 << -1 << QStringList{"1 00:00:00"}
                                                 << QList<int>{1} << 1 << qint64(333);
    // A launch time after the start (a clock read in the wrong order) counts from the start.
    QTest::newRow("launch after the start") << 3.0 << qint64(-500) << 3.0 << -1 << QStringList{"1 00:00:02"}
                                            << QList<int>{1, 4, 7} << 10 << qint64(3000);
}

void TestCountdown::startsAtTheLaunch()
{
    QFETCH(double, delay);
    QFETCH(qint64, launchedMs);
    QFETCH(QStringList, shown);

    Countdown c;
    c.load(0, 0, delay, true, true);
    c.start(-launchedMs, 0);
    QCOMPARE(c.phase(), Countdown::Phase::Counting);
    QTEST(c.TimeNum(), "leftAtStart");
    QTEST(c.extraTickMs(), "extraAtStart");

    QList<int> watched;
    for (const QString &text : shown)
        watched << text.section(u' ', 0, 0).toInt();
    const Run r = run(delay, {}, 0, 0, 200, watched, -launchedMs);
    QCOMPARE(r.shown, shown);
    QTEST(r.beepTicks, "beepTicks");
    QTEST(r.endTick, "endTick");
    QTEST(r.endMs, "endMs");
}

void TestCountdown::endOfCount_data()
{
    QTest::addColumn<bool>("actionEnabled");
    QTest::addColumn<bool>("acting");  // "EXECUTER" is carrying out the action
    QTest::addColumn<bool>("finish");
    QTest::addColumn<bool>("launch");
    QTest::addColumn<Countdown::Phase>("phase");

    QTest::newRow("action on") << true << false << true << true << Countdown::Phase::Acting;
    QTest::newRow("action off") << false << false << true << false << Countdown::Phase::Ended;
    // A zero delay ends while the command's action runs: that action decides.
    QTest::newRow("during an action") << true << true << false << false << Countdown::Phase::Acting;
}

void TestCountdown::endOfCount()
{
    QFETCH(bool, actionEnabled);
    QFETCH(bool, acting);
    Countdown c;
    c.load(0, 0, 0, true, actionEnabled);
    c.start(0);
    if (acting)
        c.beginAction(100);
    const Countdown::Tick t = c.tick(333);
    QVERIFY(t.ended);
    QTEST(t.finish, "finish");
    QTEST(t.launch, "launch");
    QTEST(c.phase(), "phase");
    c.endAction(400);
    QCOMPARE(c.phase(), Countdown::Phase::Ended);
    QCOMPARE(c.extraTickMs(), -1);
}

QTEST_APPLESS_MAIN(TestCountdown)
#include "tst_countdown.moc"
