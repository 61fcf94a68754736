#include <cmath>

#include <QTest>

#include "lines.h"

class TestLines : public QObject
{
    Q_OBJECT

private slots:
    void numericValue_data();
    void numericValue();
    void displayForm_data();
    void displayForm();
    void twoDigits_data();
    void twoDigits();
    void roundToInt16_data();
    void roundToInt16();
    void slotReadings();
    void defaults();
};

void TestLines::numericValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");

    QTest::newRow("written number") << " 30 " << 30.0;
    QTest::newRow("fraction") << "1.4" << 1.4;
    QTest::newRow("negative") << "-1" << -1.0;
    QTest::newRow("plus sign") << "+7" << 7.0;
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("exponent") << "1e3" << 1000.0;
    QTest::newRow("exponent with sign") << "25E-1" << 2.5;
    QTest::newRow("exponent without digits") << "2e" << 2.0;
    QTest::newRow("blanks inside are dropped") << " 1 2" << 12.0;
    QTest::newRow("tab and line feed dropped") << "\t4\n2" << 42.0;
    QTest::newRow("beyond a double") << "1e999" << 0.0;
    QTest::newRow("huge but finite") << "1e300" << 1e300;
    QTest::newRow("leading point") << ".5" << 0.5;
    QTest::newRow("trailing point") << "3." << 3.0;
    QTest::newRow("number then text") << "12abc" << 12.0;
    QTest::newRow("comma is not a point") << "1,5" << 1.0;
    QTest::newRow("sign alone") << "-" << 0.0;
    QTest::newRow("point alone") << "." << 0.0;
    QTest::newRow("two points") << "1.2.3" << 1.2;
    QTest::newRow("carriage return is not a blank") << "\r5" << 0.0;
    QTest::newRow("non-ascii digits do not count") << QString::fromUtf8("٣") << 0.0;
    QTest::newRow("nul byte ends it") << QString::fromLatin1("4\0" "5", 3) << 4.0;
}

void TestLines::numericValue()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    const double value = ::numericValue(text);
    QVERIFY(std::isfinite(value));
    QCOMPARE(value, expected);
}

void TestLines::displayForm_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("zero") << 0.0 << " 0 ";
    QTest::newRow("thirty") << 30.0 << " 30 ";
    QTest::newRow("one") << 1.0 << " 1 ";
    QTest::newRow("negative") << -5.0 << "-5 ";
    QTest::newRow("fraction") << 1.5 << " 1.5 ";
    QTest::newRow("large whole") << 86399.0 << " 86399 ";
}

void TestLines::displayForm()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(::displayForm(value), expected);
}

void TestLines::twoDigits_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("0") << 0.0 << "00";
    QTest::newRow("7") << 7.0 << "07";
    QTest::newRow("23") << 23.0 << "23";
    QTest::newRow("100") << 100.0 << "100";
    QTest::newRow("90") << 90.0 << "90";
    QTest::newRow("rounds") << 1.6 << "02";
    QTest::newRow("negative") << -5.0 << "-05";
    QTest::newRow("infinite") << qInf() << "00";
}

void TestLines::twoDigits()
{
    QFETCH(double, value);
    QFETCH(QString, expected);
    QCOMPARE(::twoDigits(value), expected);
}

void TestLines::roundToInt16_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("expected");

    QTest::newRow("one") << 1.0 << 1;
    QTest::newRow("1.4 rounds to 1") << 1.4 << 1;
    QTest::newRow("half to even down") << 0.5 << 0;
    QTest::newRow("half to even up") << 1.5 << 2;
    QTest::newRow("2.5 to 2") << 2.5 << 2;
    QTest::newRow("negative") << -1.0 << -1;
    QTest::newRow("largest") << 32767.0 << 32767;
    QTest::newRow("too large is off") << 40000.0 << 0;
    QTest::newRow("too small is off") << -40000.0 << 0;
    QTest::newRow("huge is off") << 1e300 << 0;
}

void TestLines::roundToInt16()
{
    QFETCH(double, value);
    QFETCH(int, expected);
    QCOMPARE(int(::roundToInt16(value)), expected);
}

void TestLines::slotReadings()
{
    const LineValue empty;
    QCOMPARE(empty.toText(), QString());
    QCOMPARE(empty.toNumber(), 0.0);

    const LineValue number = LineValue::number(30);
    QCOMPARE(number.toText(), QStringLiteral(" 30 "));
    QCOMPARE(number.toNumber(), 30.0);

    const LineValue text = LineValue::text(QStringLiteral(" 30 "));
    QCOMPARE(text.toText(), QStringLiteral(" 30 "));
    QCOMPARE(text.toNumber(), 30.0);
    QVERIFY(text != number);
}

void TestLines::defaults()
{
    QCOMPARE(defaultComment().size(), 73);
    QVERIFY(defaultComment().startsWith(QString(9, u' ') + u'C'));
    QCOMPARE(descriptionLine().size(), 96);
    QCOMPARE(defaultActionName(), QStringLiteral("(aucune action)"));
}

QTEST_APPLESS_MAIN(TestLines)
#include "tst_lines.moc"
