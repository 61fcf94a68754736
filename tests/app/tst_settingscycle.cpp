#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimeEdit>

#include "clicklabel.h"
#include "counterfixture.h"
#include "param.h"

// The settings cycle through the real main window and settings window, driven
// by mouse events: open with a double-click, then OK or Annulation.
class TestSettingsCycle : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { installFontSubstitutions(); }
    void doubleClickOpensSettings();
    void annulationResumes_data();
    void annulationResumes();
    void okRestartsFromNewDelay();
    void okAfterFirstRunWritesItsLines();
    void okWithUnwritableFileKeepsEverything_data();
    void okWithUnwritableFileKeepsEverything();
    void okAfterCountEndedStartsAgain();
    void okStoresEveryBoxInItsLine();
    void settingsShowTheFileAsItIsNow();
    void okAfterAnotherCopySaved_data();
    void okAfterAnotherCopySaved();

private:
    static Param *openSettings(CounterFixture &f);
};

Param *TestSettingsCycle::openSettings(CounterFixture &f)
{
    QTest::mouseDClick(child<ClickLabel>(f.counter, "LabelAff"), Qt::LeftButton);
    Param *param = f.counter->findChild<Param *>();
    if (param && !QTest::qWaitForWindowExposed(param))
        return nullptr;
    return param;
}

void TestSettingsCycle::doubleClickOpensSettings()
{
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 2, 0));
    QVERIFY(f.start());
    f.showOnScreen();
    f.tick();
    Param *param = openSettings(f);
    QVERIFY(param);
    QVERIFY(param->isVisible());
    QVERIFY(!f.counter->isVisible());
    QCOMPARE(f.counter->countdown().TimDecr(), 0.0);
    QCOMPARE(child<QTimeEdit>(param, "ParamTime")->time(), QTime(0, 2, 0));
    // The hidden window keeps ticking, paused.
    const double left = f.counter->countdown().TimeNum();
    f.tick();
    f.tick();
    QCOMPARE(f.counter->countdown().TimeNum(), left);
}

void TestSettingsCycle::annulationResumes_data()
{
    QTest::addColumn<bool>("pausedBefore");
    QTest::newRow("running") << false;
    QTest::newRow("paused before") << true;
}

void TestSettingsCycle::annulationResumes()
{
    QFETCH(bool, pausedBefore);
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 40));
    QVERIFY(f.start());
    QFile file(f.iniPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    f.showOnScreen();
    for (int i = 0; i < 6; ++i)
        f.tick();
    if (pausedBefore)
        QTest::mouseClick(child<ClickLabel>(f.counter, "LabelAff"), Qt::LeftButton);
    const double left = f.counter->countdown().TimeNum();
    Param *param = openSettings(f);
    QVERIFY(param);
    child<QLineEdit>(param, "ParamActNom")->setText(QStringLiteral("changed"));
    QTest::mouseClick(child<QPushButton>(param, "ParamAnnul"), Qt::LeftButton);
    runDeferredDeletes();
    QVERIFY(!f.counter->findChild<Param *>());
    QVERIFY(f.counter->isVisible());
    QVERIFY(f.counter->countdown().TimDecr() > 0);
    QCOMPARE(f.counter->countdown().TimeNum(), left);
    f.tick();
    QCOMPARE(f.counter->countdown().TimeNum(), left - 0.333);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), before);
    QCOMPARE(f.LignMat[Slot::ActionName].toText(), QStringLiteral("Rapport"));
}

void TestSettingsCycle::okRestartsFromNewDelay()
{
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 40));
    QVERIFY(f.start());
    f.showOnScreen();
    for (int i = 0; i < 6; ++i)
        f.tick();
    Param *param = openSettings(f);
    QVERIFY(param);
    child<QTimeEdit>(param, "ParamTime")->setTime(QTime(0, 0, 5));
    const int beeps = f.services.beeps;
    QTest::mouseClick(child<QPushButton>(param, "ParamOK"), Qt::LeftButton);
    runDeferredDeletes();
    QCOMPARE(f.services.beeps, beeps + 1);
    QVERIFY(f.counter->isVisible());
    QVERIFY(!f.counter->findChild<Param *>());
    QCOMPARE(f.counter->countdown().TimeNum(), 5.0);
    QVERIFY(f.counter->countdown().TimDecr() > 0);
    // Resumed before the reload: the colons already move.
    QCOMPARE(f.counter->display().SegClig1(1).color, SevenSegmentDisplay::LitColor);
    f.tick();
    QCOMPARE(f.counter->windowTitle(), QStringLiteral("00:00:04  Minutrex"));
    QFile file(f.iniPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("\r\n 0 \r\n 0 \r\n 5 \r\nRapport\r\n"));
}

void TestSettingsCycle::okAfterFirstRunWritesItsLines()
{
    CounterFixture f;
    QVERIFY(f.start());
    f.services.regularFiles.insert(f.iniPath());
    f.showOnScreen();
    Param *param = openSettings(f);
    QVERIFY(param);
    QTest::mouseClick(child<QPushButton>(param, "ParamOK"), Qt::LeftButton);
    QFile file(f.iniPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("Descrip.Lignes : 1-Heures,2-Minutes,3-Secondes,4-Action,5-Fichier,6-Path,7-Observ,8/9/10-Options\r\n"
                        " 0 \r\n 0 \r\n 0 \r\n\r\n\r\n\r\n\r\n 1 \r\n 1 \r\n 1 \r\n 1 \r\n"));
    QCOMPARE(child<QLabel>(f.counter, "CountAction")->text(), QString());
    QCOMPARE(child<QLabel>(f.counter, "CountObs")->text(), QString());
    QCOMPARE(f.counter->countdown().TimeNum(), 0.0);
    // A zero delay ends on the next tick; with no target the launcher says so.
    f.tick();
    QVERIFY(!f.counter->tickTimer().isActive());
    QCOMPARE(f.services.messages.size(), 1);
    QCOMPARE(f.services.messages[0].text, QStringLiteral("Aucun fichier cible !"));
    QVERIFY(!f.counter->isUnloaded());
}

void TestSettingsCycle::okWithUnwritableFileKeepsEverything_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("says");
    QTest::newRow("a folder in its place") << "folder" << "n'est pas un fichier ordinaire";
    QTest::newRow("read-only file") << "read-only" << "lecture seule";
    QTest::newRow("comment past the size limit") << "size" << "1 Mio";
}

void TestSettingsCycle::okWithUnwritableFileKeepsEverything()
{
    QFETCH(QString, how);
    QFETCH(QString, says);
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 40));
    QVERIFY(f.start());
    f.showOnScreen();
    Param *param = openSettings(f);
    QVERIFY(param);
    if (how == "folder") {
        // The file's place is taken by a directory: the save cannot replace it.
        QVERIFY(QFile::remove(f.iniPath()));
        QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("Minutrex.ini")));
    } else if (how == "read-only") {
        QVERIFY(QFile::setPermissions(f.iniPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    } else {
        child<QPlainTextEdit>(param, "ParamObs")->setPlainText(QStringLiteral("mot ").repeated(300 * 1000));
    }
    const LignMatArray before = f.LignMat;
    child<QLineEdit>(param, "ParamActNom")->setText(QStringLiteral("typed"));
    QTest::mouseClick(child<QPushButton>(param, "ParamOK"), Qt::LeftButton);
    QCOMPARE(f.services.messages.size(), 1);
    QVERIFY(f.services.messages[0].text.contains(f.iniPath()));
    QVERIFY2(f.services.messages[0].text.contains(says), qPrintable(f.services.messages[0].text));
    QCOMPARE(f.services.messages[0].owner, static_cast<QWidget *>(param));
    QVERIFY(param->isVisible());
    QCOMPARE(child<QLineEdit>(param, "ParamActNom")->text(), QStringLiteral("typed"));
    QVERIFY(!f.counter->isVisible());
    QVERIFY(f.LignMat == before);
    QVERIFY(!f.counter->isUnloaded());
    if (how != "folder") {
        QFile file(f.iniPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), CounterFixture::settings(0, 0, 40));
    }
}

void TestSettingsCycle::okAfterCountEndedStartsAgain()
{
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 1, "A", "doc.txt", "/d/", "1110"));
    f.services.regularFiles.insert(QStringLiteral("/d/doc.txt"));
    QVERIFY(f.start());
    f.showOnScreen();
    while (f.counter->tickTimer().isActive())
        f.tick();
    Param *param = openSettings(f);
    QVERIFY(param);
    QTest::mouseClick(child<QPushButton>(param, "ParamOK"), Qt::LeftButton);
    QVERIFY(f.counter->tickTimer().isActive());
    QCOMPARE(f.counter->countdown().TimeNum(), 1.0);
}

void TestSettingsCycle::okStoresEveryBoxInItsLine()
{
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 40));
    QVERIFY(f.start());
    f.counter->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.counter));
    Param *param = openSettings(f);
    QVERIFY(param);
    // A value of its own in every box: a box written to another's line shows.
    child<QTimeEdit>(param, "ParamTime")->setTime(QTime(1, 2, 3));
    child<QLineEdit>(param, "ParamActNom")->setText(QStringLiteral("Nom"));
    child<QLineEdit>(param, "ParamAppNom")->setText(QStringLiteral("fichier.txt"));
    child<QLineEdit>(param, "ParamAppDir")->setText(QStringLiteral("/dossier/"));
    child<QPlainTextEdit>(param, "ParamObs")->setPlainText(QStringLiteral("Commentaire"));
    const QList<QCheckBox *> options =
        childrenNamed<QCheckBox>(param, {"ParamBoxBipDem", "ParamBoxBips", "ParamBoxExec", "ParamBoxFerm"});
    for (int i = 0; i < 4; ++i)
        options[i]->setChecked(i % 2 == 1);
    QTest::mouseClick(child<QPushButton>(param, "ParamOK"), Qt::LeftButton);
    QCOMPARE(readBytes(f.iniPath()).split('\n'),
             CounterFixture::file({"Descrip", " 1 ", " 2 ", " 3 ", "Nom", "fichier.txt", "/dossier/", "Commentaire",
                                   " 0 ", " 1 ", " 0 ", " 1 "})
                 .split('\n'));
}

void TestSettingsCycle::settingsShowTheFileAsItIsNow()
{
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 40, "Thé"));
    QVERIFY(f.start());
    f.counter->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.counter));
    // Another copy of the program on the same file saves its own settings.
    QVERIFY(writeBytes(f.iniPath(), CounterFixture::settings(0, 3, 0, "Autre")));
    f.tick();
    // This copy keeps its own count until its settings are confirmed.
    QCOMPARE(f.counter->countdown().TimeNum(), 40.0 - 0.333);
    Param *param = openSettings(f);
    QVERIFY(param);
    QCOMPARE(child<QLineEdit>(param, "ParamActNom")->text(), QStringLiteral("Autre"));
    QCOMPARE(child<QTimeEdit>(param, "ParamTime")->time(), QTime(0, 3, 0));
}

void TestSettingsCycle::okAfterAnotherCopySaved_data()
{
    QTest::addColumn<int>("answer"); // -1: the question closed without an answer
    QTest::addColumn<QByteArray>("actionOnFile");
    QTest::addColumn<bool>("stillOpen");
    QTest::newRow("keep mine") << 0 << QByteArray("Mien") << false;
    QTest::newRow("take the other copy's") << 1 << QByteArray("Autre") << false;
    QTest::newRow("no answer") << -1 << QByteArray("Autre") << true;
}

void TestSettingsCycle::okAfterAnotherCopySaved()
{
    QFETCH(int, answer);
    QFETCH(QByteArray, actionOnFile);
    QFETCH(bool, stillOpen);
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 40, "Thé"));
    QVERIFY(f.start());
    f.counter->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.counter));
    Param *param = openSettings(f);
    QVERIFY(param);
    child<QLineEdit>(param, "ParamActNom")->setText(QStringLiteral("Mien"));
    // Another copy saves while this window is open.
    const QByteArray other = CounterFixture::settings(0, 3, 0, "Autre");
    QVERIFY(writeBytes(f.iniPath(), other));
    QTest::mouseClick(child<QPushButton>(param, "ParamOK"), Qt::LeftButton);

    // Nothing written unasked; the user is asked.
    QCOMPARE(readBytes(f.iniPath()), other);
    QCOMPARE(f.services.questions.size(), 1);
    QCOMPARE(f.services.questions[0].owner, static_cast<QWidget *>(param));
    QCOMPARE(f.services.questions[0].answers.size(), 2);
    f.services.answerQuestion(0, answer);
    runDeferredDeletes();
    QCOMPARE(readBytes(f.iniPath()).split('\n').value(4), actionOnFile + '\r');
    QCOMPARE(bool(f.counter->findChild<Param *>()), stillOpen);
    QCOMPARE(f.counter->isVisible(), !stillOpen);
    if (!stillOpen) {
        // The count restarts from what the file now holds.
        QCOMPARE(f.LignMat[Slot::ActionName].toText(), QString::fromLatin1(actionOnFile));
        QCOMPARE(f.counter->countdown().TimeNum(), answer == 0 ? 40.0 : 180.0);
    }
}

QTEST_MAIN(TestSettingsCycle)
#include "tst_settingscycle.moc"
