#include <QLabel>
#include <QPaintEvent>
#include <QRegularExpression>
#include <QPushButton>
#include <QSignalSpy>

#include "clicklabel.h"
#include "counterfixture.h"
#include "minutrexversion.h"
#include "language.h"

namespace
{
// The six digits that the segments show, "?" where no pattern matches.
QString shownDigits(const SevenSegmentDisplay &display)
{
    QString digits;
    for (int cell : SevenSegmentDisplay::Cells) {
        QByteArray pattern;
        for (int role = 1; role <= 7; ++role)
            pattern += display.Segm(role, cell).color == SevenSegmentDisplay::LitColor ? '1' : '0';
        const int index = [&] {
            for (int d = 0; d <= 9; ++d) {
                if (pattern == SevenSegmentDisplay::Patterns[d])
                    return d;
            }
            return -1;
        }();
        digits += index < 0 ? QChar(u'?') : QChar(u'0' + index);
    }
    return digits;
}

QColor textColor(const QWidget *w)
{
    return w->palette().color(QPalette::WindowText);
}

// Records, for a window and its children, what was repainted (in the
// window's coordinates) and which looks were set again.
class RepaintRecorder : public QObject
{
public:
    explicit RepaintRecorder(QWidget *window)
        : m_window(window)
    {
        window->installEventFilter(this);
        for (QWidget *w : window->findChildren<QWidget *>())
            w->installEventFilter(this);
    }

    QRegion painted;
    QSet<QString> paintedWidgets;
    QStringList lookChanges; // "object event"

protected:
    bool eventFilter(QObject *object, QEvent *event) override
    {
        auto *widget = static_cast<QWidget *>(object);
        if (event->type() == QEvent::Paint) {
            const QRect rect = static_cast<QPaintEvent *>(event)->rect();
            painted += QRect(widget->mapTo(m_window, rect.topLeft()), rect.size());
            paintedWidgets << widget->objectName();
        } else if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange) {
            lookChanges << widget->objectName()
                    + (event->type() == QEvent::FontChange ? QStringLiteral(" font") : QStringLiteral(" palette"));
        }
        return false;
    }

private:
    QWidget *m_window;
};

// Runs the repaints that updates asked for.
void paintNow()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}
}

class TestCounter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    // Start-up
    void firstRunCreatesFileAndShowsDelay();
    void secondStartWritesNothing();
    void startupState_data();
    void startupState();
    void anyFileContentStarts_data();
    void anyFileContentStarts();
    void unusableSettingsFileEndsStartup_data();
    void unusableSettingsFileEndsStartup();
    void installedOrReadOnlyCopyUsesUserDirectory_data();
    void installedOrReadOnlyCopyUsesUserDirectory();
    void layout();
    void storedTextsShowAsTyped_data();
    void storedTextsShowAsTyped();

    // Tick
    void thirtySecondsRunToTheAction();
    void optionsAtZero_data();
    void optionsAtZero();
    void pauseLabelBlinks();
    void annulationDuringBeepEvents();
    void firstCountRunsFromTheLaunch();
    void startBeepAndSleepHoldWaitForTheScreen();
    void ticksRepaintOnlyTheDisplay();

    // Commands
    void clickPausesAndResumes();
    void executerRunsAction_data();
    void executerRunsAction();
    void annulationEndsWithoutAction();
    void executerWhileZeroDelayEnds();
    void endAwaitsTheOutcome_data();
    void endAwaitsTheOutcome();
    void progressOnTheDock();
    void closeControlEndsWithoutAction();
    void languageFollowsTheLocale_data();
    void languageFollowsTheLocale();
    void aboutFromMainWindow();
    void toolkitDialogsSpeakFrench();
};

void TestCounter::initTestCase()
{
    installFontSubstitutions();
}

void TestCounter::firstRunCreatesFileAndShowsDelay()
{
    CounterFixture f;
    QVERIFY(f.start());
    QFile file(f.iniPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QCOMPARE(bytes.size(), 230);
    QVERIFY(bytes.startsWith("Descrip.Lignes : 1-Heures"));
    QVERIFY(bytes.endsWith(" 1 \r\n 1 \r\n 1 \r\n 1 \r\n"));

    Counter &c = *f.counter;
    QCOMPARE(shownDigits(c.display()), QStringLiteral("000030"));
    QCOMPARE(child<QLabel>(&c, "CountAction")->text(), QStringLiteral("(aucune action)"));
    QCOMPARE(textColor(child<QLabel>(&c, "CountAction")), QColor(0, 128, 0));
    QCOMPARE(child<QLabel>(&c, "CountAction")->font().pointSizeF(), 14.0);
    QVERIFY(!child<QLabel>(&c, "CountAction")->font().italic());
    // Shown as read, apart from the invisible joiner that keeps "DOUBLE-CLIC" whole.
    QCOMPARE(child<QLabel>(&c, "CountObs")->text().remove(QChar(0x2060)), defaultComment());
    // The start beep waits for the window on screen.
    QCOMPARE(f.services.beeps, 0);
    QCOMPARE(c.windowTitle(), QStringLiteral("Minutrex v" MINUTREX_VERSION "  "));
    QVERIFY(c.tickTimer().isActive());
    QCOMPARE(c.tickTimer().interval(), 333);
    QCOMPARE(c.tickTimer().timerType(), Qt::PreciseTimer);
    QCOMPARE(c.countdown().TimeNum(), 30.0);
    QCOMPARE(c.countdown().BipsSon(), 5.0);
    QVERIFY(qAbs(c.countdown().TimDecr() - 0.333333) < 1e-9);
    // The lines come back from the file as texts.
    QCOMPARE(f.LignMat[Slot::Seconds], LineValue::text(QStringLiteral(" 30 ")));
    // Drawn while not yet counting: the colons are far apart and dark.
    QCOMPARE(c.display().SegClig1(1).color, SevenSegmentDisplay::UnlitColor);
    QCOMPARE(c.display().SegClig1(1).Y2, 1695 + 65);

    f.tick();
    QCOMPARE(c.windowTitle(), QStringLiteral("00:00:29  Minutrex"));
    QCOMPARE(shownDigits(c.display()), QStringLiteral("000029"));
    QCOMPARE(c.display().SegClig1(1).color, SevenSegmentDisplay::LitColor);
    QCOMPARE(c.display().SegClig1(1).Y2, 1695 + 40);
    f.showOnScreen();
    QCOMPARE(f.services.beeps, 1);
}

void TestCounter::secondStartWritesNothing()
{
    QByteArray first;
    {
        CounterFixture f;
        QVERIFY(f.start());
        QFile file(f.iniPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        first = file.readAll();
    }
    CounterFixture f;
    f.writeFile(first);
    const QDateTime before = QFileInfo(f.iniPath()).lastModified();
    QVERIFY(f.start());
    QFile file(f.iniPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), first);
    QCOMPARE(QFileInfo(f.iniPath()).lastModified(), before);
}

void TestCounter::startupState_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("action");
    QTest::addColumn<double>("actionSize");
    QTest::addColumn<bool>("italic");
    QTest::addColumn<QColor>("actionColor");
    QTest::addColumn<int>("beeps");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<double>("bipsSon");

    const QColor green(0, 128, 0), blue(0, 0, 255);
    QTest::newRow("execution off")
        << CounterFixture::file({"d", " 0 ", " 1 ", " 0 ", "Sauvegarde", "save.sh", "/x/", "c", " 1 ", " 1 ", " 0 ", " 1 "})
        << "000100" << "Exécution désactivée" << 12.0 << true << blue << 1 << true << 5.0;
    QTest::newRow("execution off, no target")
        << CounterFixture::file({"d", " 0 ", " 1 ", " 0 ", "Sauvegarde", "", "/x/", "c", " 1 ", " 1 ", " 0 ", " 1 "})
        << "000100" << "Exécution désactivée" << 12.0 << true << green << 1 << true << 5.0;
    QTest::newRow("1.4 rounds for closing only")
        << CounterFixture::file({"d", " 0 ", " 0 ", " 3 ", "A", "", "", "c", "1.4", " 1 ", " 0 ", "1.4"})
        << "000003" << "Exécution désactivée" << 12.0 << true << green << 0 << true << 2.0;
    QTest::newRow("ninety seconds unnormalised")
        << CounterFixture::file({"d", " 0 ", " 0 ", " 90 ", "A", "", "", "c", " 1 ", " 1 ", " 1 ", " 1 "})
        << "000090" << "A" << 14.0 << false << green << 1 << false << 5.0;
    QTest::newRow("empty action name")
        << CounterFixture::file({"d", " 0 ", " 0 ", " 5 ", "", "", "", "c", " 1 ", " 1 ", " 1 ", " 1 "})
        << "000005" << "" << 14.0 << false << green << 1 << false << 4.0;
    QTest::newRow("thirteen lines")
        << CounterFixture::file({"d", " 0 ", " 0 ", " 6 ", "A", "", "", "c", " 1 ", " 1 ", " 1 ", " 1 ", "extra"})
        << "000006" << "A" << 14.0 << false << green << 1 << false << 5.0;
    QTest::newRow("options 2, -1 and empty are off")
        << CounterFixture::file({"d", " 0 ", " 0 ", " 0 ", "A", "", "", "c", " 2 ", "-1", "", ""})
        << "000000" << "Exécution désactivée" << 12.0 << true << green << 0 << false << -1.0;
}

void TestCounter::startupState()
{
    QFETCH(QByteArray, bytes);
    CounterFixture f;
    f.writeFile(bytes);
    QVERIFY(f.start());
    Counter &c = *f.counter;
    const QLabel *action = child<QLabel>(&c, "CountAction");
    QTEST(shownDigits(c.display()), "digits");
    QTEST(action->text(), "action");
    QTEST(action->font().pointSizeF(), "actionSize");
    QTEST(action->font().italic(), "italic");
    QTEST(textColor(action), "actionColor");
    f.showOnScreen();
    QTEST(f.services.beeps, "beeps");
    QTEST(c.countdown().BipsSon(), "bipsSon");
    // Closing is decided after rounding, so 1.4 closes.
    f.tickToTheEnd();
    QTEST(c.isUnloaded(), "closes");
}

void TestCounter::anyFileContentStarts_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("lf only") << QByteArray("a\n 0 \n 0 \n 5 \n");
    QTest::newRow("cr only") << QByteArray("a\r 0 \r 0 \r 5 \rX\r\r\r\r 1 \r 1 \r 1 \r 1 \r");
    QTest::newRow("nul bytes") << QByteArray("\0\0\r\n\0 5\0\r\n", 10);
    QTest::newRow("huge hours") << CounterFixture::file({"d", "1e300", "1e300", "1e300"});
    QTest::newRow("overflowing number") << CounterFixture::file({"d", "1e999", " 0 ", " 3 "});
    QTest::newRow("negative delay") << CounterFixture::file({"d", "-1", " 0 ", " 0 "});
    QTest::newRow("opposite huge delays") << CounterFixture::file({"d", "1e308", "-1e308", " 3 "});
    QTest::newRow("fractional seconds") << CounterFixture::file({"d", " 0 ", " 0 ", "2.7"});
    QTest::newRow("texts for numbers") << CounterFixture::file({"d", "abc", "x", "y", "", "", "", "", "z", "z", "z", "1e40"});
    QTest::newRow("forty lines") << QByteArray(40 * 4, 'x').replace("xxxx", " 1 \r");
    QByteArray random(4096, '\0');
    quint32 seed = 12345;
    for (char &b : random) {
        seed = seed * 1103515245 + 12345;
        b = char(seed >> 16);
    }
    QTest::newRow("random bytes") << random;
    QTest::newRow("long line") << QByteArray(900 * 1024, '7');
}

void TestCounter::anyFileContentStarts()
{
    QFETCH(QByteArray, bytes);
    CounterFixture f;
    f.writeFile(bytes);
    f.services.openResult = true;
    QVERIFY(f.start());
    for (int i = 0; i < 20 && f.counter && !f.counter->isUnloaded(); ++i)
        f.tick();
    // Either the count ended and the window went as a window goes, or it
    // still shows a time.
    const bool unloaded = f.counter->isUnloaded();
    const QString title = f.counter->windowTitle();
    runDeferredDeletes();
    QCOMPARE(f.counter.isNull(), unloaded);
    if (!unloaded)
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{2,}:\\d\\d:\\d\\d  Minutrex$")).match(title).hasMatch(),
                 qPrintable(title));
}

void TestCounter::unusableSettingsFileEndsStartup_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("file is a directory") << "directory";
    QTest::newRow("file too large") << "large";
    QTest::newRow("no directory accepts it") << "nowhere";
}

void TestCounter::unusableSettingsFileEndsStartup()
{
    QFETCH(QString, how);
    CounterFixture f;
    if (how == "directory") {
        QVERIFY(QDir(f.dir.path()).mkdir(QStringLiteral("Minutrex.ini")));
    } else if (how == "large") {
        f.writeFile(QByteArray(2 * 1024 * 1024, 'x'));
    } else {
        f.services.programDir = f.dir.filePath(QStringLiteral("gone"));
        f.services.programDirWritable = false;
        f.services.userConfigDir.clear();
    }
    QVERIFY(!f.start());
    QCOMPARE(f.services.messages.size(), 1);
    QVERIFY2(f.services.messages[0].text.contains(QStringLiteral("Minutrex.ini")),
             qPrintable(f.services.messages[0].text));
    QVERIFY(f.services.messages[0].text.contains(u'\n'));
    QVERIFY(!f.counter->tickTimer().isActive());
    if (how == "large")
        QCOMPARE(QFileInfo(f.iniPath()).size(), 2 * 1024 * 1024);
}

void TestCounter::installedOrReadOnlyCopyUsesUserDirectory_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("writable");
    QTest::newRow("read-only folder") << false << false;
    QTest::newRow("installed, writable folder") << true << true;
}

void TestCounter::installedOrReadOnlyCopyUsesUserDirectory()
{
    QFETCH(bool, installed);
    QFETCH(bool, writable);
    CounterFixture f;
    QTemporaryDir user;
    f.services.programDirWritable = writable;
    f.services.userConfigDir = user.path();
    if (installed)
        f.services.regularFiles.insert(f.dir.path() + QStringLiteral("/" MINUTREX_INSTALL_MARKER));
    QVERIFY(f.start());
    QCOMPARE(f.counter->settingsPath(), user.filePath(QStringLiteral("Minutrex.ini")));
    QCOMPARE(QFileInfo(user.filePath(QStringLiteral("Minutrex.ini"))).size(), 230);
    QVERIFY(!QFileInfo::exists(f.iniPath()));
    // An installed copy does not even try to write beside itself.
    QCOMPARE(f.services.creationTests.isEmpty(), installed);
}

void TestCounter::layout()
{
    CounterFixture f;
    QVERIFY(f.start());
    Counter &c = *f.counter;
    f.showOnScreen();
    QCOMPARE(c.size(), QSize(234, 224));
    const ClickLabel *panel = child<ClickLabel>(&c, "LabelAff");
    QPushButton *non = child<QPushButton>(&c, "BoutonNon");
    QPushButton *ok = child<QPushButton>(&c, "BoutonOk");
    QPushButton *hidden = child<QPushButton>(&c, "BoutonPourPointillés");
    QCOMPARE(panel->geometry(), QRect(48, 96, 137, 33));
    QCOMPARE(non->geometry(), QRect(20, 176, 89, 25));
    QCOMPARE(ok->geometry(), QRect(123, 176, 89, 25));
    QCOMPARE(ok->text(), QStringLiteral("EXECUTER"));
    QCOMPARE(non->text(), QStringLiteral("ANNULATION"));
    QCOMPARE(panel->toolTip(), QStringLiteral("CLic : Pause - DoubleClick : Réglages paramétres"));
    QCOMPARE(non->toolTip(), QStringLiteral("Annule l'éxécution de l'action et quitte Minutrex"));
    QCOMPARE(ok->toolTip(), QStringLiteral("Force l'éxécution de l'action avant le terme"));
    QCOMPARE(child<QLabel>(&c, "About1")->toolTip(), QStringLiteral("A propos ..."));
    // Neither visible button holds the focus, and Space on the focused one does nothing.
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(hidden));
    QVERIFY(!c.rect().intersects(hidden->geometry()));
    QTest::keyClick(&c, Qt::Key_Space);
    QVERIFY(!c.isUnloaded());
    QVERIFY(f.services.opened.isEmpty() && f.services.messages.isEmpty());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(non));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(ok));
    // Tab never brings the focus back to the button nobody can see.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget *>(non));
    // The panel's own text never shows: it has the panel's colour.
    QCOMPARE(panel->palette().color(QPalette::WindowText), panel->palette().color(QPalette::Window));
    QCOMPARE(panel->cursor().hotSpot(), QPoint(12, 1));
    QCOMPARE(ok->cursor().hotSpot(), QPoint(12, 1));
}

void TestCounter::thirtySecondsRunToTheAction()
{
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 30, "Rapport", "doc.txt", "/d/"));
    f.services.regularFiles.insert(QStringLiteral("/d/doc.txt"));
    QVERIFY(f.start());
    Counter &c = *f.counter;
    QCOMPARE(f.services.beeps, 0); // the start beep waits for the window on screen

    QList<int> beepTicks;
    int lastDeadline = -1;
    while (f.counter && !c.isUnloaded() && f.ticks < 200) {
        const int before = f.services.beeps;
        f.tick();
        if (f.services.beeps != before)
            beepTicks << f.ticks;
        if (f.ticks == 1)
            QCOMPARE(c.windowTitle(), QStringLiteral("00:00:29  Minutrex"));
        if (f.ticks == 4)
            QCOMPARE(c.windowTitle(), QStringLiteral("00:00:28  Minutrex"));
        if (!c.isUnloaded())
            QCOMPARE(child<QLabel>(&c, "CountPause")->text(), QStringLiteral("dans"));
        if (c.extraTickMs() >= 0)
            lastDeadline = c.extraTickMs();
    }
    QCOMPARE(f.ticks, 91);
    // 30 - 90 x 0.333 s were left after tick 90, rounded up to whole milliseconds.
    QVERIFY2(lastDeadline == 30 || lastDeadline == 31, qPrintable(QString::number(lastDeadline)));
    QCOMPARE(beepTicks, (QList<int>{73, 76, 79, 82, 85, 88}));
    QCOMPARE(f.services.opened.size(), 1);
    QCOMPARE(f.services.opened[0].path, QStringLiteral("/d/doc.txt"));
    QCOMPARE(f.services.opened[0].owner, static_cast<QWidget *>(f.counter.data()));
    QVERIFY(f.services.messages.isEmpty());
    QVERIFY(c.isUnloaded());
    QVERIFY(!c.tickTimer().isActive());
    runDeferredDeletes();
    QVERIFY(!f.counter);
}

void TestCounter::optionsAtZero_data()
{
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<bool>("targetWorks");
    QTest::addColumn<int>("beeps");        // after the start
    QTest::addColumn<bool>("launched");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<bool>("blinked");

    QTest::newRow("all on, working") << QByteArray("1111") << true << 3 << true << true << true;
    QTest::newRow("all on, failing") << QByteArray("1111") << false << 3 << true << false << true;
    QTest::newRow("no final beeps") << QByteArray("1011") << true << 0 << true << true << true;
    QTest::newRow("no execution, closing") << QByteArray("1101") << true << 3 << false << true << false;
    QTest::newRow("no execution, staying") << QByteArray("1100") << true << 3 << false << false << false;
    QTest::newRow("staying, working") << QByteArray("1110") << true << 3 << true << false << true;
    QTest::newRow("staying, failing") << QByteArray("1110") << false << 3 << true << false << true;
}

void TestCounter::optionsAtZero()
{
    QFETCH(QByteArray, options);
    QFETCH(bool, targetWorks);
    QFETCH(bool, closed);
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 3, "Nom", "doc.txt", "/d/", options));
    if (targetWorks)
        f.services.regularFiles.insert(QStringLiteral("/d/doc.txt"));
    QVERIFY(f.start());
    Counter &c = *f.counter;
    const int startBeeps = f.services.beeps;
    bool blinked = false;
    while (!c.isUnloaded() && c.tickTimer().isActive()) {
        f.tick();
        blinked = blinked || (!c.isUnloaded() && child<QLabel>(&c, "CountAction")->text().isEmpty());
    }
    QCOMPARE(f.ticks, 10);
    QTEST(f.services.beeps - startBeeps, "beeps");
    QTEST(!f.services.opened.isEmpty() || !f.services.messages.isEmpty(), "launched");
    QCOMPARE(c.isUnloaded(), closed);
    QTEST(blinked, "blinked");
    // One notice of the end, which can bring forward only a window that stays.
    QVERIFY(!f.services.idleSleepInhibited);
    QCOMPARE(f.services.notifications.size(), 1);
    QVERIFY(f.services.notifications[0].body.contains(QStringLiteral("« Nom »")));
    QCOMPARE(bool(f.services.notifications[0].onActivated), !closed);
    if (!targetWorks && !f.services.messages.isEmpty()) {
        QCOMPARE(f.services.messages[0].title, QStringLiteral("Minutrex - Action"));
        QCOMPARE(c.actionError(), qint16(1));
    }
    if (!closed) {
        QCOMPARE(c.windowTitle(), QStringLiteral("00:00:00  Minutrex"));
        QCOMPARE(child<QLabel>(&c, "CountPause")->text(), QStringLiteral("dans"));
        QVERIFY(!c.tickTimer().isActive());
        QCOMPARE(shownDigits(c.display()), QStringLiteral("000000"));
    }
}

void TestCounter::pauseLabelBlinks()
{
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 30));
    QVERIFY(f.start());
    Counter &c = *f.counter;
    f.tick();
    c.LabelAff_Click();
    QStringList seen;
    for (int i = 0; i < 4; ++i) {
        f.tick();
        seen << child<QLabel>(&c, "CountPause")->text();
        QCOMPARE(textColor(child<QLabel>(&c, "CountPause")), QColor(255, 0, 0));
        QVERIFY(!child<QLabel>(&c, "CountPause")->font().italic());
    }
    QCOMPARE(seen, (QStringList{"EN PAUSE", "   ", "EN PAUSE", "   "}));
    c.LabelAff_Click();
    f.tick();
    QCOMPARE(child<QLabel>(&c, "CountPause")->text(), QStringLiteral("dans"));
    QVERIFY(child<QLabel>(&c, "CountPause")->font().italic());
    QCOMPARE(textColor(child<QLabel>(&c, "CountPause")), QColor(0, 0, 0));
}

void TestCounter::annulationDuringBeepEvents()
{
    // A click on "ANNULATION" is handled inside the events run after a final
    // beep, and the window is destroyed there: the tick must stop touching it
    // and must not carry out the action.
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 1, "A", "doc.txt", "/d/"));
    f.services.regularFiles.insert(QStringLiteral("/d/doc.txt"));
    QVERIFY(f.start());
    f.showOnScreen();
    bool clicked = false;
    f.services.onProcessEvents = [&] {
        if (clicked || !f.counter)
            return;
        clicked = true;
        QTest::mouseClick(child<QPushButton>(f.counter, "BoutonNon"), Qt::LeftButton);
        runDeferredDeletes();
    };
    while (f.counter && f.ticks < 10)
        f.tick();
    QVERIFY(clicked);
    QVERIFY(!f.counter);
    QCOMPARE(f.ticks, 1); // the first tick already shows 0 seconds and beeps
    QVERIFY(f.services.opened.isEmpty());
    QVERIFY(f.services.messages.isEmpty());
}

void TestCounter::firstCountRunsFromTheLaunch()
{
    // Launched 400 ms before the window was ready: the ticks keep the pace of
    // the launch, and the action comes 3 s after it, to the millisecond.
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 3, "Rapport", "doc.txt", "/d/"));
    f.services.regularFiles.insert(QStringLiteral("/d/doc.txt"));
    const qint64 launch = f.services.now - 400;
    QVERIFY(f.start(launch));
    Counter &c = *f.counter;
    QCOMPARE(c.countdown().TimeNum(), 2.6);
    // Until the first tick the display shows the delay as loaded.
    QCOMPARE(shownDigits(c.display()), QStringLiteral("000003"));
    QCOMPARE(c.tickTimer().interval(), 266); // at launch + 666 ms
    f.services.now += 266;
    c.Timer1_Timer();
    QCOMPARE(c.windowTitle(), QStringLiteral("00:00:02  Minutrex"));
    QCOMPARE(c.tickTimer().interval(), 333);
    int ticks = 1;
    while (f.services.opened.isEmpty() && ticks < 20) {
        QVERIFY(f.services.now - launch < 3000);
        f.services.now += c.extraTickMs() >= 0 ? c.extraTickMs() : 333;
        ++ticks;
        c.Timer1_Timer();
    }
    QCOMPARE(f.services.opened.size(), 1);
    QCOMPARE(f.services.now - launch, qint64(3000));
    QCOMPARE(ticks, 9); // at launch + 333 ms x 2 to 9, then the one at the end

    // A count started later runs from its own start.
    CounterFixture g;
    g.writeFile(CounterFixture::settings(0, 0, 30));
    QVERIFY(g.start(g.services.now - 400));
    QCOMPARE(g.counter->countdown().TimeNum(), 29.6);
    g.services.now += 5000;
    QVERIFY(g.counter->commitLines(g.LignMat, nullptr, g.counter) == CounterHost::Commit::Written);
    QCOMPARE(g.counter->countdown().TimeNum(), 30.0);
    QCOMPARE(g.counter->tickTimer().interval(), 333);
}

void TestCounter::startBeepAndSleepHoldWaitForTheScreen()
{
    // Neither the sound server nor the desktop session is asked before the
    // window is on screen; both are as soon as it is.
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 30));
    QVERIFY(f.start());
    QCOMPARE(f.services.beeps, 0);
    QVERIFY(f.services.sleepInhibitions.isEmpty());
    QVERIFY(!f.counter->isSettled());
    f.showOnScreen();
    QCOMPARE(f.services.beeps, 1);
    QCOMPARE(f.services.sleepInhibitions.size(), 1);
    QVERIFY(f.services.idleSleepInhibited);
    // Once on screen, a confirmed delay beeps at once.
    QVERIFY(f.counter->commitLines(f.LignMat, nullptr, f.counter) == CounterHost::Commit::Written);
    QCOMPARE(f.services.beeps, 2);
}

void TestCounter::ticksRepaintOnlyTheDisplay()
{
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 30));
    QVERIFY(f.start());
    Counter &c = *f.counter;
    f.showOnScreen();
    paintNow();
    // The strokes' layer lies on the panel, whose grey it paints itself.
    const QWidget *canvas = child<QWidget>(&c, "Segments");
    QVERIFY(child<QWidget>(&c, "LabelAff")->geometry().contains(canvas->geometry()));

    RepaintRecorder recorder(&c);
    QSignalSpy titles(&c, &QWidget::windowTitleChanged);
    for (int i = 0; i < 6; ++i) {
        f.tick();
        paintNow();
    }
    // Two seconds went by: two titles, and only the display was repainted.
    QCOMPARE(titles.count(), 2);
    QVERIFY(!recorder.painted.isEmpty());
    QVERIFY2(canvas->geometry().contains(recorder.painted.boundingRect()),
             qPrintable(QStringLiteral("repainted %1,%2 %3x%4")
                            .arg(recorder.painted.boundingRect().x())
                            .arg(recorder.painted.boundingRect().y())
                            .arg(recorder.painted.boundingRect().width())
                            .arg(recorder.painted.boundingRect().height())));
    QCOMPARE(recorder.paintedWidgets, QSet<QString>{QStringLiteral("Segments")});
    QCOMPARE(recorder.lookChanges, QStringList());

    // Paused, the label blinks: it alone changes with the display.
    c.LabelAff_Click();
    recorder.painted = QRegion();
    recorder.paintedWidgets.clear();
    for (int i = 0; i < 2; ++i) {
        f.tick();
        paintNow();
    }
    QVERIFY(recorder.paintedWidgets.contains(QStringLiteral("CountPause")));
    QVERIFY(!recorder.paintedWidgets.contains(QStringLiteral("BoutonOk")));
    QVERIFY(!recorder.paintedWidgets.contains(QStringLiteral("CountObs")));
}

void TestCounter::clickPausesAndResumes()
{
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 30));
    QVERIFY(f.start());
    Counter &c = *f.counter;
    f.showOnScreen();
    f.tick();
    f.tick();
    const double before = c.countdown().TimeNum();
    QTest::mouseClick(child<ClickLabel>(&c, "LabelAff"), Qt::LeftButton);
    QCOMPARE(c.countdown().TimDecr(), 0.0);
    for (int i = 0; i < 6; ++i)
        f.tick();
    QCOMPARE(c.countdown().TimeNum(), before);
    QCOMPARE(c.display().SegClig1(1).Y2, 1695 + 65);
    QTest::mouseClick(child<ClickLabel>(&c, "LabelAff"), Qt::LeftButton);
    QVERIFY(c.countdown().TimDecr() > 0);
    f.tick();
    QCOMPARE(c.countdown().TimeNum(), before - 0.333);

    // Idle suspend is held off exactly while the count runs.
    QVERIFY(f.services.idleSleepInhibited);
    QCOMPARE(f.services.sleepInhibitions.size(), 2);
    QCOMPARE(f.services.sleepInhibitions[0], QStringLiteral("Exécution de « Rapport » prévue à 09:30:30"));
    QCOMPARE(f.services.sleepReleases, 1);
    c.LabelAff_DblClick();
    QVERIFY(!f.services.idleSleepInhibited);
}

void TestCounter::executerRunsAction_data()
{
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<bool>("opened"); // the opener's verdict
    QTest::addColumn<bool>("pausedBefore");
    QTest::addColumn<bool>("closed");

    QTest::newRow("execution off still runs") << QByteArray("1100") << true << false << true;
    QTest::newRow("closing off still closes") << QByteArray("1110") << true << false << true;
    QTest::newRow("failing resumes") << QByteArray("1111") << false << false << false;
    QTest::newRow("failing resumes a paused count") << QByteArray("1111") << false << true << false;
}

void TestCounter::executerRunsAction()
{
    QFETCH(QByteArray, options);
    QFETCH(bool, opened);
    QFETCH(bool, pausedBefore);
    QFETCH(bool, closed);
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 30, "A", "doc.txt", "/d/", options));
    f.services.regularFiles.insert(QStringLiteral("/d/doc.txt"));
    f.services.holdOpenVerdicts = true;
    QVERIFY(f.start());
    Counter &c = *f.counter;
    f.showOnScreen();
    f.tick();
    if (pausedBefore)
        c.LabelAff_Click();
    QTest::mouseClick(child<QPushButton>(&c, "BoutonOk"), Qt::LeftButton);

    // While the opener works, the count stands still and the window obeys.
    QCOMPARE(f.services.opened.size(), 1);
    QVERIFY(!c.isUnloaded());
    QCOMPARE(c.countdown().TimDecr(), 0.0);
    const double waiting = c.countdown().TimeNum();
    f.tick();
    QCOMPARE(c.countdown().TimeNum(), waiting);
    QTest::mouseClick(child<QPushButton>(&c, "BoutonOk"), Qt::LeftButton);
    QCOMPARE(f.services.opened.size(), 1); // no second action inside the first

    QVERIFY(f.services.releaseOpen(0, opened));
    QCOMPARE(c.isUnloaded(), closed);
    if (!opened) {
        QCOMPARE(f.services.messages.size(), 1);
        QCOMPARE(c.actionError(), qint16(1));
        // The count runs again behind the message, even if it was paused before.
        QVERIFY(c.countdown().TimDecr() > 0);
        const double before = c.countdown().TimeNum();
        f.tick();
        QVERIFY(c.countdown().TimeNum() < before);
    }
}

void TestCounter::annulationEndsWithoutAction()
{
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 30, "A", "doc.txt", "/d/"));
    f.services.regularFiles.insert(QStringLiteral("/d/doc.txt"));
    QVERIFY(f.start());
    f.showOnScreen();
    QTest::mouseClick(child<QPushButton>(f.counter, "BoutonNon"), Qt::LeftButton);
    QVERIFY(f.counter->isUnloaded());
    QVERIFY(!f.counter->isVisible());
    runDeferredDeletes();
    QVERIFY(!f.counter);
    QVERIFY(f.services.opened.isEmpty());
}

void TestCounter::executerWhileZeroDelayEnds()
{
    // The first tick of a zero delay arrives while "EXECUTER" shows its
    // failure: the count ends, but the failed action must keep the window open.
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 0, "A", "gone.txt", "/d/"));
    QVERIFY(f.start());
    f.showOnScreen();
    f.services.onMessageBox = [&](const FakeServices::Message &) {
        if (f.ticks == 0)
            f.tick();
    };
    QTest::mouseClick(child<QPushButton>(f.counter, "BoutonOk"), Qt::LeftButton);
    QCOMPARE(f.ticks, 1);
    QCOMPARE(f.services.messages.size(), 1);
    QVERIFY(!f.counter->isUnloaded());
    QVERIFY(!f.counter->tickTimer().isActive());
    QCOMPARE(f.counter->actionError(), qint16(1));
}

void TestCounter::endAwaitsTheOutcome_data()
{
    QTest::addColumn<QString>("meanwhile"); // what the user does while the opener works
    QTest::addColumn<bool>("verdict");
    QTest::addColumn<bool>("unloaded");
    QTest::addColumn<int>("notices");
    QTest::addColumn<int>("messages");

    QTest::newRow("opened: notice, close") << "" << true << true << 1 << 0;
    QTest::newRow("failed: notice, then message") << "" << false << false << 1 << 1;
    QTest::newRow("ANNULATION: ends at once, outcome dropped") << "annulation" << false << true << 0 << 0;
    QTest::newRow("about box meanwhile") << "about" << true << true << 1 << 1;
    QTest::newRow("settings opened meanwhile stay open") << "settings" << true << false << 1 << 0;
}

void TestCounter::endAwaitsTheOutcome()
{
    QFETCH(QString, meanwhile);
    QFETCH(bool, verdict);
    QFETCH(int, messages);
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 3, "Nom", "doc.txt", "/d/"));
    f.services.regularFiles.insert(QStringLiteral("/d/doc.txt"));
    f.services.holdOpenVerdicts = true;
    QVERIFY(f.start());
    Counter &c = *f.counter;
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    while (c.tickTimer().isActive())
        f.tick();

    // Zero is shown and the opener asked; nothing else happens until it answers.
    QCOMPARE(f.services.opened.size(), 1);
    QVERIFY(!c.isUnloaded());
    QCOMPARE(c.windowTitle(), QStringLiteral("00:00:00  Minutrex"));
    QCOMPARE(child<QLabel>(&c, "CountPause")->text(), QStringLiteral("dans"));
    QVERIFY(f.services.notifications.isEmpty());
    if (meanwhile == "annulation")
        QTest::mouseClick(child<QPushButton>(&c, "BoutonNon"), Qt::LeftButton);
    else if (meanwhile == "about")
        QTest::mouseClick(child<QLabel>(&c, "About1"), Qt::LeftButton);
    else if (meanwhile == "settings")
        c.LabelAff_DblClick();
    QCOMPARE(c.isUnloaded(), meanwhile == "annulation");

    qsizetype noticesAtMessage = -1;
    f.services.onMessageBox = [&](const FakeServices::Message &) {
        noticesAtMessage = f.services.notifications.size();
    };
    QVERIFY(f.services.releaseOpen(0, verdict));
    QTEST(c.isUnloaded(), "unloaded");
    QTEST(int(f.services.notifications.size()), "notices");
    QCOMPARE(f.services.messages.size(), messages);
    if (!verdict && messages > 0) {
        // The notice leaves first: a user who is away learns the failure.
        QCOMPARE(noticesAtMessage, 1);
        QCOMPARE(f.services.messages.last().title, QStringLiteral("Minutrex - Action"));
        QCOMPARE(c.actionError(), qint16(1));
    }
}

void TestCounter::progressOnTheDock()
{
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 9, "A", "", "", "1110"));
    QVERIFY(f.start());
    Counter &c = *f.counter;
    const auto &shown = f.services.progress;
    // Once the window is on screen, then rising, at most once a second.
    QVERIFY(shown.isEmpty());
    f.showOnScreen();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].fraction, 0.0);
    QCOMPARE(shown[0].secondsLeft, 9);
    for (int i = 0; i < 12; ++i)
        f.tick();
    QVERIFY(shown.size() >= 3);
    for (qsizetype i = 1; i < shown.size(); ++i) {
        QVERIFY(shown[i].atMs - shown[i - 1].atMs >= 1000);
        QVERIFY(shown[i].fraction > shown[i - 1].fraction);
        QVERIFY(shown[i].secondsLeft <= shown[i - 1].secondsLeft);
    }
    // Paused: what it stands at, once, and nothing while it stands.
    c.LabelAff_Click();
    const qsizetype beforePause = shown.size();
    for (int i = 0; i < 12; ++i)
        f.tick();
    QVERIFY(shown.size() <= beforePause + 1);
    const double standing = shown.last().fraction;
    c.LabelAff_Click();
    for (int i = 0; i < 6; ++i)
        f.tick();
    QVERIFY(shown.last().fraction > standing);
    // Taken away at the end, once.
    QCOMPARE(f.services.progressClears, 0);
    while (c.tickTimer().isActive())
        f.tick();
    QCOMPARE(f.services.progressClears, 1);
    QVERIFY(shown.last().fraction < 1.0);
}

void TestCounter::closeControlEndsWithoutAction()
{
    CounterFixture f;
    f.writeFile(CounterFixture::settings(0, 0, 3, "A", "doc.txt", "/d/"));
    f.services.regularFiles.insert(QStringLiteral("/d/doc.txt"));
    QVERIFY(f.start());
    f.counter->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.counter));
    f.tick();
    // The window manager's close button.
    QVERIFY(f.counter->close());
    QVERIFY(f.counter->isUnloaded());
    QVERIFY(!f.counter->tickTimer().isActive());
    QVERIFY(!f.services.idleSleepInhibited);
    runDeferredDeletes();
    QVERIFY(f.counter.isNull());
    QVERIFY(f.services.opened.isEmpty() && f.services.started.isEmpty());
}

void TestCounter::aboutFromMainWindow()
{
    CounterFixture f;
    QVERIFY(f.start());
    Counter &c = *f.counter;
    f.showOnScreen();
    const double decr = c.countdown().TimDecr();
    QTest::mouseClick(child<QLabel>(&c, "About1"), Qt::LeftButton);
    QCOMPARE(f.services.messages.size(), 1);
    const auto &m = f.services.messages[0];
    QCOMPARE(m.title, QStringLiteral("About"));
    QCOMPARE(m.icon, Services::Icon::Information);
    QCOMPARE(m.text.split(u'\n').size(), 4);
    QVERIFY(m.text.startsWith(QStringLiteral("Minutrex v" MINUTREX_VERSION "\nDécembre 2006\n")));
    QCOMPARE(m.owner, static_cast<QWidget *>(&c));
    QCOMPARE(c.countdown().TimDecr(), decr);
    for (QWidget *w : QApplication::topLevelWidgets())
        QVERIFY(w == &c || !w->isVisible());
}

void TestCounter::storedTextsShowAsTyped_data()
{
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<QByteArray>("comment");
    QTest::newRow("markup") << QByteArray("<u>Rapport</u>") << QByteArray("a<br>b &amp; <b>c</b>");
    // The longest comment a file holds, with no place to break a line.
    QTest::newRow("1 MB comment") << QByteArray("Rapport") << QByteArray(1000 * 1000, 'x');
}

void TestCounter::storedTextsShowAsTyped()
{
    QFETCH(QByteArray, action);
    QFETCH(QByteArray, comment);
    CounterFixture f;
    f.writeFile(CounterFixture::file({"Descrip", " 0 ", " 0 ", " 30 ", action, "", "", comment, " 1 ", " 1 ", " 1 ", " 1 "}));
    // Processor time: other work on the machine does not count against it.
    const qint64 started = processCpuMs();
    QVERIFY(f.start());
    f.showOnScreen();
    f.counter->repaint();
    f.tick();
    f.counter->repaint();
    QVERIFY2(processCpuMs() - started < 1000, qPrintable(QString::number(processCpuMs() - started)));
    const QLabel *shownAction = child<QLabel>(f.counter, "CountAction");
    const QLabel *shownComment = child<QLabel>(f.counter, "CountObs");
    for (const QLabel *label : {shownAction, shownComment})
        QCOMPARE(label->textFormat(), Qt::PlainText);
    QCOMPARE(shownAction->text(), QString::fromLatin1(action));
    QVERIFY(QString::fromLatin1(comment).startsWith(shownComment->text()));
    QVERIFY(shownComment->text().size() >= qMin(comment.size(), 2000));
}


void TestCounter::languageFollowsTheLocale_data()
{
    QTest::addColumn<QStringList>("uiLanguages");
    QTest::addColumn<QString>("chosen");
    QTest::newRow("C") << QStringList{"C"} << "fr";
    QTest::newRow("English") << QStringList{"en-US", "en-Latn-US", "en"} << "en";
    QTest::newRow("French") << QStringList{"fr-FR", "fr-Latn-FR", "fr"} << "fr";
    QTest::newRow("German alone") << QStringList{"de-DE", "de-Latn-DE", "de"} << "fr";
    QTest::newRow("German, then English") << QStringList{"de", "de-DE", "en", "en-US"} << "en";
    QTest::newRow("French, then English") << QStringList{"fr", "en"} << "fr";
    QTest::newRow("none") << QStringList{} << "fr";
}

void TestCounter::languageFollowsTheLocale()
{
    QFETCH(QStringList, uiLanguages);
    const QStringList available = availableLanguages();
    QVERIFY(available.contains("fr") && available.contains("en"));
    QTEST(chooseLanguage(uiLanguages, available), "chosen");
}

void TestCounter::toolkitDialogsSpeakFrench()
{
    installLanguage(QStringLiteral("fr"), programTranslator(QStringLiteral("fr")));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "Look in:"), QStringLiteral("Voir dans :"));
    QCOMPARE(QCoreApplication::translate("QFileDialog", "&Open"), QStringLiteral("&Ouvrir"));
}

QTEST_MAIN(TestCounter)
#include "tst_counter.moc"
