#include <QtTest>

#include "sevensegment.h"

// Digit patterns, timing-free colon animation and the display's fixed geometry.
class TestSevenSegment : public QObject
{
    Q_OBJECT

private slots:
    void designGeometry_data();
    void designGeometry();
    void designInvariants();
    void digits_data();
    void digits();
    void repeatedCalls();
    void colourMembersReset();
    void colonSequence_data();
    void colonSequence();
    void countingReadsNearFromColonOne_data();
    void countingReadsNearFromColonOne();
    void pausedReadsLitFromColonOne_data();
    void pausedReadsLitFromColonOne();
    void badIndexesThrow();
    void linesHoldEveryStroke();
};

namespace {

constexpr double Counting = 0.333333;
constexpr double Paused = 0.0;

// Which segments each digit lights, written independently of the code's table.
const char *const LitRoles[10] = {
    "123456", "12", "13467", "12367", "1257", "23567", "234567", "126", "1234567", "123567",
};

// The digits the six cells show, read back from segment colours; '?' for a
// cell whose colours are no digit or are not exactly the lit/unlit colours.
QString shownDigits(const SevenSegmentDisplay &display)
{
    QString shown;
    for (int cell : SevenSegmentDisplay::Cells) {
        QString lit;
        bool clean = true;
        for (int role = 1; role <= 7; ++role) {
            const quint32 color = display.Segm(role, cell).color;
            if (color == SevenSegmentDisplay::LitColor)
                lit += QChar(u'0' + role);
            else if (color != SevenSegmentDisplay::UnlitColor)
                clean = false;
        }
        QChar digit = u'?';
        for (int d = 0; clean && d < 10; ++d)
            if (lit == QLatin1String(LitRoles[d]))
                digit = QChar(u'0' + d);
        shown += digit;
    }
    return shown;
}

// "near on", "far off", "design on" ... for the two colons, which must agree,
// keep their x and width, and have four dots of one colour.
QString colonState(const SevenSegmentDisplay &display)
{
    const quint32 color = display.SegClig1(1).color;
    QString layouts[2];
    for (int n = 1; n <= 2; ++n) {
        const LineObject &lower = display.SegClig1(n);
        const LineObject &upper = display.SegClig2(n);
        const int x = n == 1 ? 1440 : 2040;
        if (lower.X1 != x || lower.X2 != x || upper.X1 != x || upper.X2 != x)
            return QStringLiteral("moved sideways");
        if (lower.widthPx != 2 || upper.widthPx != 2)
            return QStringLiteral("wrong width");
        if (lower.color != color || upper.color != color)
            return QStringLiteral("dots of different colours");
        const auto is = [&](int upperY1, int lowerY1) {
            return upper.Y1 == upperY1 && upper.Y2 == upperY1 + 30 && lower.Y1 == lowerY1 && lower.Y2 == lowerY1 + 30;
        };
        layouts[n - 1] = is(1655, 1705)   ? QStringLiteral("near")
                         : is(1630, 1730) ? QStringLiteral("far")
                         : is(1720, 1640) ? QStringLiteral("design")
                                          : QStringLiteral("other");
    }
    if (layouts[0] != layouts[1])
        return QStringLiteral("colons differ: %1/%2").arg(layouts[0], layouts[1]);
    const QString look = color == SevenSegmentDisplay::LitColor     ? QStringLiteral("on")
                         : color == SevenSegmentDisplay::UnlitColor ? QStringLiteral("off")
                                                                    : QString::number(color, 16);
    return layouts[0] + u' ' + look;
}

} // namespace

void TestSevenSegment::designGeometry_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("cell");
    QTest::addColumn<QList<int>>("ends");

    QTest::newRow("Segm1(11) upper right") << 1 << 11 << QList<int>{1080, 1590, 1080, 1660};
    QTest::newRow("Segm2(12) lower right") << 2 << 12 << QList<int>{1320, 1710, 1320, 1780};
    QTest::newRow("Segm3(21) bottom") << 3 << 21 << QList<int>{1575, 1815, 1645, 1815};
    QTest::newRow("Segm4(22) lower left") << 4 << 22 << QList<int>{1800, 1710, 1800, 1780};
    QTest::newRow("Segm5(31) upper left") << 5 << 31 << QList<int>{2160, 1590, 2160, 1660};
    QTest::newRow("Segm6(32) top") << 6 << 32 << QList<int>{2415, 1560, 2485, 1560};
    QTest::newRow("Segm7(11) middle") << 7 << 11 << QList<int>{975, 1695, 1045, 1695};
    QTest::newRow("Segm7(12) shifted left") << 7 << 12 << QList<int>{1200, 1695, 1270, 1695};
    QTest::newRow("Segm6(12) not shifted") << 6 << 12 << QList<int>{1215, 1560, 1285, 1560};
    QTest::newRow("Segm7(22) middle") << 7 << 22 << QList<int>{1815, 1695, 1885, 1695};
}

void TestSevenSegment::designGeometry()
{
    QFETCH(int, role);
    QFETCH(int, cell);
    QFETCH(QList<int>, ends);

    const SevenSegmentDisplay display;
    const LineObject &line = display.Segm(role, cell);
    QCOMPARE((QList<int>{line.X1, line.Y1, line.X2, line.Y2}), ends);
}

void TestSevenSegment::designInvariants()
{
    const SevenSegmentDisplay display;
    for (int cell : SevenSegmentDisplay::Cells) {
        for (int role = 1; role <= 7; ++role) {
            const LineObject &line = display.Segm(role, cell);
            const bool vertical = role == 1 || role == 2 || role == 4 || role == 5;
            QVERIFY2(vertical ? line.X1 == line.X2 && line.Y2 - line.Y1 == 70
                              : line.Y1 == line.Y2 && line.X2 - line.X1 == 70,
                     qPrintable(QStringLiteral("Segm%1(%2)").arg(role).arg(cell)));
            QCOMPARE(line.widthPx, 2);
            QCOMPARE(line.color, quint32(0x0000FF00));
        }
    }
    QCOMPARE(colonState(display), QStringLiteral("design on"));
}

void TestSevenSegment::digits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("all zero") << "00:00:00" << "000000";
    QTest::newRow("ascending") << "12:34:56" << "123456";
    QTest::newRow("descending") << "98:76:54" << "987654";
    QTest::newRow("remaining digits") << "07:89:01" << "078901";
    QTest::newRow("letters") << "a1:B2:c3" << "010203";
    QTest::newRow("spaces") << "  : 5:4 " << "000540";
    QTest::newRow("colons and signs") << ":::+:-.:" << "000000";
    QTest::newRow("digits of another script") << QString::fromUtf8("\u0661\u0662:34:56") << "003456";
    QTest::newRow("separators ignored") << "12x34y56" << "123456";
    QTest::newRow("short") << "12:3" << "123000";
    QTest::newRow("one character") << "7" << "700000";
    QTest::newRow("empty") << "" << "000000";
    QTest::newRow("trailing text") << "12:34:56 " << "123456";
    QTest::newRow("100 hours") << "100:00:00" << "990000";
    QTest::newRow("1234 hours") << "1234:56:07" << "995607";
    QTest::newRow("negative hours") << "-01:30:00" << "003000";
    QTest::newRow("long without a time ending") << "123456789" << "124578";
}

void TestSevenSegment::digits()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);

    SevenSegmentDisplay display;
    const SevenSegmentDisplay design;
    display.Afficheur(text, Counting);
    QCOMPARE(shownDigits(display), shown);

    // Only colours change: every segment keeps its end points and width.
    for (int cell : SevenSegmentDisplay::Cells) {
        for (int role = 1; role <= 7; ++role) {
            LineObject line = display.Segm(role, cell);
            line.color = design.Segm(role, cell).color;
            QCOMPARE(line, design.Segm(role, cell));
        }
    }
}

void TestSevenSegment::repeatedCalls()
{
    SevenSegmentDisplay display;
    display.Afficheur("88:88:88", Counting);
    QCOMPARE(shownDigits(display), QStringLiteral("888888"));
    display.Afficheur("11:11:11", Counting);
    QCOMPARE(shownDigits(display), QStringLiteral("111111"));
    display.Afficheur("11:11:11", Counting);
    QCOMPARE(shownDigits(display), QStringLiteral("111111"));
    display.Afficheur("40:20:00", Paused);
    QCOMPARE(shownDigits(display), QStringLiteral("402000"));
}

void TestSevenSegment::colourMembersReset()
{
    SevenSegmentDisplay display;
    display.Afficheur("10:00:00", Paused);
    QCOMPARE(display.Segm(1, 11).color, quint32(0x0000FF00));
    QCOMPARE(display.Segm(5, 11).color, quint32(0x00005400));
    QCOMPARE(colonState(display), QStringLiteral("far off"));
    // Colours given for one call are used for that call alone.
    display.Afficheur("10:00:00", Paused, {0x00123456, 0x00FFFFFF});
    QCOMPARE(display.Segm(1, 11).color, quint32(0x00123456));
    QCOMPARE(display.Segm(5, 11).color, quint32(0x00FFFFFF));
    display.Afficheur("10:00:00", Paused);
    QCOMPARE(display.Segm(1, 11).color, quint32(0x0000FF00));
}

void TestSevenSegment::colonSequence_data()
{
    QTest::addColumn<QList<double>>("steps");
    QTest::addColumn<QStringList>("states");

    const double C = Counting;
    const double P = Paused;
    QTest::newRow("start-up then counting")
        << QList<double>{P, C, C, C, C}
        << QStringList{"far off", "near on", "far on", "near on", "far on"};
    QTest::newRow("paused from the start")
        << QList<double>{P, P, P, P} << QStringList{"far off", "far on", "far off", "far on"};
    QTest::newRow("first call already counting")
        << QList<double>{C, C} << QStringList{"near on", "far on"};
    QTest::newRow("pause while near")
        << QList<double>{P, C, P, P} << QStringList{"far off", "near on", "far off", "far on"};
    QTest::newRow("pause while far")
        << QList<double>{P, C, C, P, P} << QStringList{"far off", "near on", "far on", "far off", "far on"};
    QTest::newRow("resume after an unlit step")
        << QList<double>{P, C, P, C, C} << QStringList{"far off", "near on", "far off", "near on", "far on"};
    QTest::newRow("resume after a lit step")
        << QList<double>{P, C, P, P, C} << QStringList{"far off", "near on", "far off", "far on", "near on"};
    QTest::newRow("any non-zero step counts")
        << QList<double>{P, -1.0, 1e-9} << QStringList{"far off", "near on", "far on"};
}

void TestSevenSegment::colonSequence()
{
    QFETCH(QList<double>, steps);
    QFETCH(QStringList, states);

    SevenSegmentDisplay display;
    QStringList seen;
    for (double step : steps) {
        display.Afficheur("00:00:30", step);
        seen << colonState(display);
    }
    QCOMPARE(seen, states);
}

void TestSevenSegment::countingReadsNearFromColonOne_data()
{
    QTest::addColumn<int>("lowerY2");
    QTest::addColumn<QString>("state");

    QTest::newRow("near: M + 40") << 1735 << "far on";
    QTest::newRow("one twip above") << 1734 << "near on";
    QTest::newRow("one twip below") << 1736 << "near on";
    QTest::newRow("far: M + 65") << 1760 << "near on";
}

void TestSevenSegment::countingReadsNearFromColonOne()
{
    QFETCH(int, lowerY2);
    QFETCH(QString, state);

    SevenSegmentDisplay display;
    // Colon 2 disagrees on purpose: only the lower dot of colon 1 is read.
    display.SegClig1(2).Y2 = lowerY2 == 1735 ? 1760 : 1735;
    display.SegClig1(1).Y2 = lowerY2;
    display.ProcedClig(Counting);
    QCOMPARE(colonState(display), state);
}

void TestSevenSegment::pausedReadsLitFromColonOne_data()
{
    QTest::addColumn<quint32>("color");
    QTest::addColumn<QString>("state");

    QTest::newRow("lit") << quint32(0x0000FF00) << "far off";
    QTest::newRow("unlit") << quint32(0x00005400) << "far on";
    QTest::newRow("black") << quint32(0) << "far on";
    QTest::newRow("other colour") << quint32(0x00123456) << "far on";
}

void TestSevenSegment::pausedReadsLitFromColonOne()
{
    QFETCH(quint32, color);
    QFETCH(QString, state);

    SevenSegmentDisplay display;
    display.Afficheur("00:00:00", Counting);
    display.SegClig2(1).color = color == SevenSegmentDisplay::LitColor ? 0 : SevenSegmentDisplay::LitColor;
    display.SegClig1(2).color = display.SegClig2(1).color;
    display.SegClig1(1).color = color;
    display.ProcedClig(Paused);
    QCOMPARE(colonState(display), state);
}

void TestSevenSegment::badIndexesThrow()
{
    SevenSegmentDisplay display;
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, display.Segm(0, 11));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, display.Segm(8, 11));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, display.Segm(1, 13));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, display.SegClig1(0));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, display.SegClig2(3));
}

void TestSevenSegment::linesHoldEveryStroke()
{
    SevenSegmentDisplay display;
    const std::vector<const LineObject *> lines = display.lines();
    const QSet<const LineObject *> distinct(lines.begin(), lines.end());
    QCOMPARE(distinct.size(), 46);
    QVERIFY(distinct.contains(&display.Segm(7, 12)));
    QVERIFY(distinct.contains(&display.Segm(1, 32)));
    QVERIFY(distinct.contains(&display.SegClig1(2)));
    QVERIFY(distinct.contains(&display.SegClig2(1)));
}

QTEST_APPLESS_MAIN(TestSevenSegment)
#include "tst_sevensegment.moc"
