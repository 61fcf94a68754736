// The program's changes to the toolkit's own dialogs.

#include <QApplication>
#include <QFontMetrics>
#include <QMessageBox>
#include <QScreen>
#include <QTest>

#include "toolkitdialogs.h"

class TestToolkitDialogs : public QObject
{
    Q_OBJECT

private slots:
    void boxHoldsItsTitle_data();
    void boxHoldsItsTitle();
};

void TestToolkitDialogs::boxHoldsItsTitle_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("short text") << QStringLiteral("Minutrex - Simulation") << QStringLiteral("Aucun fichier cible !");
    QTest::newRow("one word") << QStringLiteral("Minutrex - Action") << QStringLiteral("OK");
    QTest::newRow("text wider than the title")
        << QStringLiteral("Minutrex - Action")
        << QStringLiteral("Le fichier /home/claire/Documents/Rapports/2026/rapport-annuel-definitif.odt est introuvable");
}

void TestToolkitDialogs::boxHoldsItsTitle()
{
    QFETCH(QString, title);
    QFETCH(QString, text);
    QMessageBox plain(QMessageBox::Warning, title, text, QMessageBox::Ok);
    plain.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plain));

    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok);
    widenForTitle(&box);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));

    // A title bar holds the title, in bold, beside an icon and up to three
    // buttons: the toolkit's own allowance of 50 pixels leaves titles cut.
    QFont bold = QApplication::font("QMdiSubWindowTitleBar");
    bold.setBold(true);
    const int titleWidth = QFontMetrics(bold).horizontalAdvance(title);
    QVERIFY2(box.width() >= titleWidth + 100,
             qPrintable(QStringLiteral("%1 px for a title of %2 px").arg(box.width()).arg(titleWidth)));
    QVERIFY(box.width() >= plain.width());
    QVERIFY(box.width() <= box.screen()->availableGeometry().width());
    // Still one box sized to its content: the text keeps its height.
    QVERIFY(box.height() <= plain.height());
}

QTEST_MAIN(TestToolkitDialogs)
#include "tst_toolkitdialogs.moc"
