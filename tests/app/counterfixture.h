#pragma once

#include <memory>
#include <optional>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include "counter.h"
#include "fakeservices.h"
#include "testsupport.h"

// A main window over a real settings file in a temporary program directory,
// with a fake clock that moves 333 ms per tick.
struct CounterFixture
{
    QTemporaryDir dir;
    FakeServices services;
    LignMatArray LignMat;
    QPointer<Counter> counter;
    int ticks = 0;

    CounterFixture()
    {
        services.programDir = dir.path();
        services.now = 1'000'000;
    }

    ~CounterFixture() { delete counter.data(); }

    QString iniPath() const { return dir.filePath(QStringLiteral("Minutrex.ini")); }

    // Writes the settings file as given (lines joined with CRLF) and makes it known.
    void writeFile(const QByteArray &bytes)
    {
        QVERIFY(writeBytes(iniPath(), bytes));
        services.regularFiles.insert(iniPath());
    }

    static QByteArray file(const QList<QByteArray> &lines)
    {
        QByteArray bytes;
        for (const QByteArray &line : lines)
            bytes += line + "\r\n";
        return bytes;
    }

    // A file with the given delay, target and options (1 = on).
    static QByteArray settings(int h, int m, int s, const QByteArray &action = "Rapport",
                               const QByteArray &target = "", const QByteArray &directory = "",
                               const QByteArray &options = "1111")
    {
        QList<QByteArray> lines{"Descrip", " " + QByteArray::number(h) + " ", " " + QByteArray::number(m) + " ",
                                " " + QByteArray::number(s) + " ", action, target, directory, "comment"};
        for (char o : options)
            lines << (o == '1' ? QByteArray(" 1 ") : QByteArray(" 0 "));
        return file(lines);
    }

    // launchMs: when the program was launched, on the fake clock.
    bool start(std::optional<qint64> launchMs = std::nullopt)
    {
        counter = new Counter(services, LignMat);
        if (launchMs)
            counter->countFromLaunch(*launchMs);
        return counter->Form_Initialize();
    }

    // Shows the window and waits until it has been painted and has done what
    // start-up puts off until then (the start beep, the hold on idle suspend).
    void showOnScreen()
    {
        counter->show();
        QVERIFY(QTest::qWaitForWindowExposed(counter));
        QTRY_VERIFY(counter->isSettled());
    }

    void tick()
    {
        services.now += 333;
        ++ticks;
        counter->Timer1_Timer();
    }

    // One tick after the clock has jumped far past any delay a test uses.
    void tickToTheEnd()
    {
        services.now += 1'000'000'000;
        tick();
    }

};
