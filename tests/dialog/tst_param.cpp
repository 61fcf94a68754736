#include <ctime>
#include <memory>

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHelpEvent>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QTest>
#include <QTextDocument>
#include <QTimeEdit>
#include <QToolTip>

#include "counterhost.h"
#include "fakeservices.h"
#include "lines.h"
#include "minutrexversion.h"
#include "param.h"
#include "testsupport.h"

namespace {

// Stands in for the countdown window: holds the lines and records the calls
// the dialog makes, with whether the dialog was on screen at that moment.
class RecordingHost final : public CounterHost
{
public:
    LignMatArray held;
    QStringList calls;
    QList<bool> dialogShownAt;
    QList<LignMatArray> written;
    QList<QWidget *> writeOwners;
    bool writeResult = true;
    QPointer<QWidget> dialog;

    const LignMatArray &lines() const override { return held; }
    LignMatArray linesOnFile() override { return held; }
    Commit commitLines(const LignMatArray &values, const LignMatArray *, QWidget *owner) override
    {
        record(QStringLiteral("commitLines"));
        written.append(values);
        writeOwners.append(owner);
        if (writeResult)
            held = values;
        return writeResult ? Commit::Written : Commit::Failed;
    }
    void adoptFileLines() override { record(QStringLiteral("adoptFileLines")); }
    void resumeCount() override { record(QStringLiteral("resumeCount")); }
    void showCounter() override { record(QStringLiteral("showCounter")); }

private:
    void record(const QString &call)
    {
        calls.append(call);
        dialogShownAt.append(dialog && dialog->isVisible());
    }
};

LignMatArray fileLines(const QStringList &texts)
{
    LignMatArray lines;
    for (int i = 0; i < texts.size(); ++i)
        lines.atPosition(i) = LineValue::text(texts[i]);
    return lines;
}

const Slot DelaySlots[] = {Slot::Hours, Slot::Minutes, Slot::Seconds};

// As the file holds them after a first run; line 10 edited to 0 by hand.
LignMatArray handEditedFirstRunLines()
{
    return fileLines({descriptionLine(), " 0 ", " 0 ", " 30 ", defaultActionName(), "rapport.txt",
                      "/home/u/Docs/", defaultComment(), " 1 ", " 1 ", " 0 ", " 1 "});
}

LignMatArray storedLines()
{
    return fileLines({descriptionLine(), " 1 ", " 2 ", " 3 ", "rapport", "rapport.txt", "/home/u/Docs/",
                      "Mon commentaire", " 1 ", " 0 ", " 1 ", " 0 "});
}

const QString FileHint = QStringLiteral("Cliquer sur Parcourir pour sélectionner un fichier");
const QString DirHint = QStringLiteral("Cliquer sur Parcourir pour sélectionner un emplacement");

QString shownText(const QWidget *w)
{
    for (const char *property : {"title", "plainText", "text"}) {
        const QVariant value = w->property(property);
        if (value.isValid())
            return value.toString();
    }
    return {};
}

QStringList listOf(const LignMatArray &lines, int from, int to)
{
    QStringList out;
    for (int i = from; i <= to; ++i)
        out << lines.atPosition(i).toText();
    return out;
}

} // namespace

// Readable failures for compared slots; found by QTest through argument lookup.
char *toString(const LineValue &value)
{
    const char *kind = value.kind() == LineValue::Kind::Number ? "number"
        : value.kind() == LineValue::Kind::Text                 ? "text"
                                                                : "empty";
    return QTest::toString(QStringLiteral("%1 \"%2\"").arg(QLatin1String(kind), value.toText()));
}

class TestParam : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void window();
    void controls_data();
    void controls();
    void colours();
    void cursors();
    void tabOrderAndFocus();

    void firstRunKeepsDesignState();
    void populatesEveryField_data();
    void populatesEveryField();
    void fileBoxFontSizes_data();
    void fileBoxFontSizes();
    void comment_data();
    void comment();
    void options_data();
    void options();
    void timeOutOfRange_data();
    void timeOutOfRange();
    void populatesOnlyOnFirstShow();

    void okAfterFirstRun();
    void okStoresPicker_data();
    void okStoresPicker();
    void okStoresWhatTheControlsHold();
    void clickAndType_data();
    void clickAndType();
    void failedWriteKeepsDialogOpen();
    void cancelWritesNothing();
    void closeButtonActsAsCancel();

    void fileSelection_data();
    void fileSelection();
    void fileDialogStartsFromStoredDirectory_data();
    void fileDialogStartsFromStoredDirectory();
    void cancelledFileDialogChangesNothing();

    void simulationReports_data();
    void simulationReports();
    void simulationOpensTarget();

    void aboutBox();
    void aboutBoxWithoutDialog();
    void longCommentOpensQuickly();
    void fileNameTipIsPlainText();

private:
    Param *open(const LignMatArray &lines);

    std::unique_ptr<RecordingHost> m_host;
    std::unique_ptr<FakeServices> m_services;
    QPointer<Param> m_dialog;
};

void TestParam::init()
{
    m_host = std::make_unique<RecordingHost>();
    m_services = std::make_unique<FakeServices>();
}

void TestParam::cleanup()
{
    delete m_dialog.data();
    runDeferredDeletes();
}

Param *TestParam::open(const LignMatArray &lines)
{
    m_host->held = lines;
    m_dialog = new Param(*m_host, *m_services);
    m_host->dialog = m_dialog.data();
    m_dialog->show();
    if (!QTest::qWaitForWindowExposed(m_dialog))
        qWarning("settings window not exposed");
    return m_dialog;
}

void TestParam::window()
{
    Param *d = open(storedLines());
    QCOMPARE(d->windowType(), Qt::Tool);
    QVERIFY(!(d->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QVERIFY(d->windowTitle().trimmed().isEmpty());
    QCOMPARE(d->size(), QSize(322, 678));
    QCOMPARE(d->minimumSize(), QSize(322, 678));
    QCOMPARE(d->maximumSize(), QSize(322, 678));
    QVERIFY(d->testAttribute(Qt::WA_DeleteOnClose));
    QCOMPARE(d->palette().color(QPalette::Window), QColor(192, 192, 192));
    const QPoint centre = d->screen()->availableGeometry().center();
    QVERIFY2((d->geometry().center() - centre).manhattanLength() <= 2, "not centred on the screen");
    QCOMPARE(d->fileDialog().title, QStringLiteral("Choisissez un fichier ..."));
    QCOMPARE(child<QTimeEdit>(d, "ParamTime")->displayFormat(), QStringLiteral("hh:mm:ss"));
    QCOMPARE(child<QTimeEdit>(d, "ParamTime")->minimumTime(), QTime(0, 0, 0));
    QCOMPARE(child<QTimeEdit>(d, "ParamTime")->maximumTime(), QTime(23, 59, 59));
    QVERIFY(child<QPushButton>(d, "About2")->isFlat());
    QCOMPARE(child<QPushButton>(d, "About2")->iconSize(), QSize(32, 32));
    QVERIFY(!child<QPushButton>(d, "About2")->icon().pixmap(32, 32).isNull());
    // No icon of its own, and none inherited from the window that opens it.
    QWidget owner;
    owner.setWindowIcon(QIcon(QStringLiteral(":/images/gears.png")));
    Param opened(*m_host, *m_services, &owner);
    QVERIFY(opened.windowIcon().isNull());
    // The white title lies over the dark one.
    QVERIFY(d->children().indexOf(child<QLabel>(d, "Label8")) > d->children().indexOf(child<QLabel>(d, "Label7")));
}

void TestParam::controls_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tooltip");
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("size");
    QTest::addColumn<QString>("style");  // b bold, i italic, u underlined

    const QString beeps = QStringLiteral("Décocher pour désactiver les bips sonores des 5 dernières secondes");
    auto row = [](const char *name, const char *kind, const char *parent, QRect geometry, const QString &text,
                  const QString &tooltip, const char *family, double size, const char *style) {
        QTest::newRow(name) << kind << parent << geometry << text << tooltip << family << size << style;
    };
    row("Label7", "QLabel", "Param", {88, 8, 140, 25}, "PARAMETRAGES", "", "Bookman Old Style", 11.25, "bu");
    row("Label8", "QLabel", "Param", {90, 9, 141, 23}, "PARAMETRAGES", "", "Bookman Old Style", 11.25, "bu");
    row("Frame1", "QGroupBox", "Param", {16, 40, 153, 81}, "  DECOMPTEUR ", "", "Arial", 6.75, "b");
    row("About2", "QPushButton", "Param", {208, 56, 57, 57}, "", "A propos ...", "", 0, "");
    row("Frame2", "QGroupBox", "Param", {16, 136, 289, 241}, "  ACTION ", "", "Arial", 6.75, "b");
    row("Frame3", "QGroupBox", "Param", {16, 392, 289, 97}, "  COMMENTAIRES  ", "", "Arial", 6.75, "b");
    row("Frame4", "QGroupBox", "Param", {16, 504, 289, 121}, "  OPTIONS  ", "", "Arial", 6.75, "b");
    row("ParamAnnul", "QPushButton", "Param", {16, 640, 81, 25}, "Annulation", "", "Times New Roman", 9.75, "b");
    row("ParamSimul", "QPushButton", "Param", {120, 640, 81, 25}, "Simulation", "", "Times New Roman", 9.75, "b");
    row("ParamOK", "QPushButton", "Param", {224, 640, 81, 25}, "OK", "", "Times New Roman", 9.75, "b");
    row("Label9", "QLabel", "Frame1", {8, 24, 137, 17}, "Heures:Minutes:Secondes", "", "Arial", 8.25, "i");
    row("ParamTime", "QTimeEdit", "Frame1", {32, 40, 89, 25}, "00:00:00",
        "Choisisser le délai du décompteur", "System", 9.75, "b");
    row("Label2", "QLabel", "Frame2", {24, 24, 137, 17}, "Nom de l'action", "", "Arial", 8.25, "i");
    row("ParamActNom", "QLineEdit", "Frame2", {24, 40, 137, 25}, "", "Entrer le nom de l'action",
        "Times New Roman", 11.25, "b");
    row("Label11", "QLabel", "Frame2", {24, 80, 233, 17}, "Sélection du fichier à éxécuter", "", "Arial", 8.25, "i");
    row("ParamParc", "QPushButton", "Frame2", {24, 96, 81, 25}, "Parcourir ...",
        "Cliquer pou afficher l'arborescence des répertoires, puis sélectionner le fichier cible",
        "Times New Roman", 9.75, "b");
    row("Label10", "QLabel", "Frame2", {24, 136, 137, 17}, "Nom du fichier à éxécuter", "", "Arial", 8.25, "i");
    row("ParamAppNom", "QLineEdit", "Frame2", {24, 152, 241, 25}, "", FileHint, "Arial", 9.75, "");
    row("Label4", "QLabel", "Frame2", {24, 184, 241, 17}, "Emplacement du fichier à éxécuter", "", "Arial", 8.25, "i");
    row("ParamAppDir", "QLineEdit", "Frame2", {24, 201, 241, 25}, "", DirHint, "Arial", 8.25, "");
    row("Label5", "QLabel", "Frame3", {24, 24, 241, 17}, "Vos commentaires (facultatif)", "", "Arial", 8.25, "i");
    row("ParamObs", "QPlainTextEdit", "Frame3", {24, 40, 241, 41}, "", "Entrer vos commentaires ...",
        "Times New Roman", 9.75, "");
    row("ParamBoxBipDem", "QCheckBox", "Frame4", {24, 16, 241, 25}, "  Bip sonore au démarrage", beeps, "Arial", 8.25, "");
    row("ParamBoxBips", "QCheckBox", "Frame4", {24, 40, 241, 25}, "  Bips sonores sur les 5 dernières secondes", beeps,
        "Arial", 8.25, "");
    row("ParamBoxExec", "QCheckBox", "Frame4", {24, 64, 257, 25}, "  Exécution de l'action à terme",
        "Décocher pour désactiver l'éxécution du fichier cible", "Arial", 8.25, "");
    row("ParamBoxFerm", "QCheckBox", "Frame4", {24, 88, 257, 25}, "  Fermeture de Minutrex à terme",
        "Décocher pour garder Minutrex ouvert pour une éxécution ultérieure de l'action", "Arial", 8.25, "");
}

// Design-time state, checked on a window that is created but not yet shown.
void TestParam::controls()
{
    QFETCH(QString, kind);
    QFETCH(QString, parent);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    QFETCH(QString, tooltip);
    QFETCH(QString, family);
    QFETCH(double, size);
    QFETCH(QString, style);

    m_dialog = new Param(*m_host, *m_services);
    auto *w = m_dialog->findChild<QWidget *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(w);
    QVERIFY(w->inherits(kind.toLatin1()));
    QCOMPARE(w->parentWidget()->objectName(), parent);
    QCOMPARE(w->geometry(), geometry);
    QCOMPARE(shownText(w), text);
    QCOMPARE(w->toolTip(), tooltip);
    if (!family.isEmpty()) {
        QCOMPARE(w->font().family(), family);
        QCOMPARE(w->font().pointSizeF(), size);
        QCOMPARE(w->font().bold(), style.contains(u'b'));
        QCOMPARE(w->font().italic(), style.contains(u'i'));
        QCOMPARE(w->font().underline(), style.contains(u'u'));
    }
    if (auto *box = qobject_cast<QCheckBox *>(w))
        QVERIFY(box->isChecked());
}

void TestParam::colours()
{
    // Under a dark desktop palette, where the fixed greys matter.
    const QPalette desktop = QGuiApplication::palette();
    QPalette dark(QColor(53, 53, 53), QColor(36, 36, 36));
    dark.setColor(QPalette::Base, QColor(36, 36, 36));
    dark.setColor(QPalette::Text, QColor(255, 255, 255));
    QApplication::setPalette(dark);
    const auto restore = qScopeGuard([&] { QApplication::setPalette(desktop); });
    m_dialog = new Param(*m_host, *m_services);
    const Param *d = m_dialog.data();
    const QColor grey(192, 192, 192), teal(0, 128, 128), white(255, 255, 255), black(0, 0, 0);
    QCOMPARE(child<QLabel>(d, "Label8")->palette().color(QPalette::WindowText), white);
    // Text on a fixed background is fixed too, whatever the desktop palette.
    QCOMPARE(child<QLabel>(d, "Label7")->palette().color(QPalette::WindowText), black);
    for (QGroupBox *frame : childrenNamed<QGroupBox>(d, {"Frame1", "Frame2", "Frame3", "Frame4"})) {
        QCOMPARE(frame->palette().color(QPalette::WindowText), teal);
        QCOMPARE(frame->palette().color(QPalette::Window), grey);
    }
    // The frames' caption colour stays on the captions.
    QCOMPARE(child<QLabel>(d, "Label9")->palette().color(QPalette::WindowText), black);
    // Every field, check boxes included, in one light scheme: black marks
    // and text on white boxes.
    QList<QWidget *> fields = childrenNamed<QWidget>(d, {"ParamTime", "ParamActNom", "ParamAppNom", "ParamAppDir",
                                                         "ParamObs"});
    for (QCheckBox *box : child<QGroupBox>(d, "Frame4")->findChildren<QCheckBox *>()) {
        QCOMPARE(box->palette().color(QPalette::WindowText), black);
        QCOMPARE(box->palette().color(QPalette::Window), grey);
        fields << box;
    }
    QCOMPARE(fields.size(), 9);
    for (const QWidget *field : fields) {
        QCOMPARE(field->palette().color(QPalette::Base), white);
        QCOMPARE(field->palette().color(QPalette::Text), black);
    }
    for (QPushButton *button : childrenNamed<QPushButton>(d, {"ParamAnnul", "ParamSimul", "ParamOK", "ParamParc"}))
        QCOMPARE(button->palette().color(QPalette::Button), QColor(224, 224, 224));
}

void TestParam::cursors()
{
    m_dialog = new Param(*m_host, *m_services);
    const QStringList hand{"About2", "ParamParc", "ParamOK", "ParamAnnul", "ParamSimul",
                           "ParamBoxBipDem", "ParamBoxBips", "ParamBoxFerm"};
    for (QWidget *w : m_dialog->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)
                          + child<QGroupBox>(m_dialog.data(), "Frame2")->findChildren<QWidget *>()
                          + child<QGroupBox>(m_dialog.data(), "Frame4")->findChildren<QWidget *>()) {
        const QCursor cursor = w->cursor();
        const bool isHand = cursor.shape() == Qt::BitmapCursor && cursor.hotSpot() == QPoint(12, 1)
            && cursor.pixmap().size() == QSize(32, 32);
        QVERIFY2(isHand == hand.contains(w->objectName()), qPrintable(w->objectName()));
    }
    QCOMPARE(child<QCheckBox>(m_dialog.data(), "ParamBoxExec")->cursor().shape(), Qt::ArrowCursor);
}

void TestParam::tabOrderAndFocus()
{
    Param *d = open(storedLines());
    QVERIFY(QTest::qWaitForWindowActive(d));
    QCOMPARE(QApplication::focusWidget(), child<QPushButton>(d, "ParamSimul"));
    QTest::keyClick(child<QPushButton>(d, "ParamSimul"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), child<QPushButton>(d, "ParamAnnul"));

    const QStringList expected{"ParamSimul",   "ParamAnnul",   "ParamOK",      "ParamParc",  "ParamAppDir",
                               "ParamAppNom",  "ParamTime",    "ParamObs",     "ParamBoxExec", "ParamActNom",
                               "ParamBoxFerm", "ParamBoxBips", "About2",       "ParamBoxBipDem"};
    QStringList chain;
    QWidget *w = child<QPushButton>(d, "ParamSimul");
    do {
        if ((w->focusPolicy() & Qt::TabFocus) && !w->objectName().startsWith(QLatin1String("qt_")))
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != child<QPushButton>(d, "ParamSimul"));
    QCOMPARE(chain, expected);

    // The time picker is a single stop; the arrow keys reach its fields.
    child<QLineEdit>(d, "ParamAppNom")->setFocus();
    QTest::keyClick(child<QLineEdit>(d, "ParamAppNom"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), child<QTimeEdit>(d, "ParamTime"));
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(child<QTimeEdit>(d, "ParamTime"), Qt::Key_Right);
    QTest::keyClick(child<QTimeEdit>(d, "ParamTime"), Qt::Key_Up);
    QCOMPARE(child<QTimeEdit>(d, "ParamTime")->time(), QTime(1, 3, 3));
    QTest::keyClick(child<QTimeEdit>(d, "ParamTime"), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), child<QPlainTextEdit>(d, "ParamObs"));
    QTest::keyClick(child<QPlainTextEdit>(d, "ParamObs"), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), child<QTimeEdit>(d, "ParamTime"));
    QTest::keyClick(child<QTimeEdit>(d, "ParamTime"), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), child<QLineEdit>(d, "ParamAppNom"));
}

void TestParam::firstRunKeepsDesignState()
{
    Param *d = open(handEditedFirstRunLines());
    QCOMPARE(child<QTimeEdit>(d, "ParamTime")->time(), QTime(0, 0, 0));
    for (QLineEdit *box : childrenNamed<QLineEdit>(d, {"ParamActNom", "ParamAppNom", "ParamAppDir"}))
        QVERIFY(box->text().isEmpty());
    QVERIFY(child<QPlainTextEdit>(d, "ParamObs")->toPlainText().isEmpty());
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->toolTip(), FileHint);
    QCOMPARE(child<QLineEdit>(d, "ParamAppDir")->toolTip(), DirHint);
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->font().pointSizeF(), 9.75);
    for (QCheckBox *box : childrenNamed<QCheckBox>(d, {"ParamBoxBipDem", "ParamBoxBips", "ParamBoxExec", "ParamBoxFerm"}))
        QVERIFY(box->isChecked());
}

void TestParam::populatesEveryField_data()
{
    QTest::addColumn<QString>("actionName");
    QTest::newRow("named action") << "rapport";
    QTest::newRow("default name in another case") << "(Aucune action)";
    QTest::newRow("default name with a trailing space") << "(aucune action) ";
}

void TestParam::populatesEveryField()
{
    QFETCH(QString, actionName);
    LignMatArray lines = storedLines();
    lines[Slot::ActionName] = LineValue::text(actionName);
    Param *d = open(lines);
    QCOMPARE(child<QTimeEdit>(d, "ParamTime")->time(), QTime(1, 2, 3));
    QCOMPARE(child<QLineEdit>(d, "ParamActNom")->text(), actionName);
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->text(), QStringLiteral("rapport.txt"));
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->toolTip(), QStringLiteral("rapport.txt"));
    QCOMPARE(child<QLineEdit>(d, "ParamAppDir")->text(), QStringLiteral("/home/u/Docs/"));
    QCOMPARE(child<QLineEdit>(d, "ParamAppDir")->toolTip(), QStringLiteral("/home/u/Docs/"));
    QCOMPARE(child<QPlainTextEdit>(d, "ParamObs")->toPlainText(), QStringLiteral("Mon commentaire"));
    QVERIFY(child<QCheckBox>(d, "ParamBoxBipDem")->isChecked());
    QVERIFY(!child<QCheckBox>(d, "ParamBoxBips")->isChecked());
    QVERIFY(child<QCheckBox>(d, "ParamBoxExec")->isChecked());
    QVERIFY(!child<QCheckBox>(d, "ParamBoxFerm")->isChecked());
}

void TestParam::fileBoxFontSizes_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<double>("nameSize");
    QTest::addColumn<double>("dirSize");
    QTest::newRow("1") << 1 << 9.0 << 9.0;
    QTest::newRow("33") << 33 << 9.0 << 9.0;
    QTest::newRow("34") << 34 << 8.0 << 8.0;
    QTest::newRow("43") << 43 << 8.0 << 8.0;
    QTest::newRow("44") << 44 << 7.0 << 7.0;
    QTest::newRow("200") << 200 << 7.0 << 7.0;
    QTest::newRow("empty keeps the design size") << 0 << 9.75 << 8.25;
}

void TestParam::fileBoxFontSizes()
{
    QFETCH(int, length);
    QFETCH(double, nameSize);
    QFETCH(double, dirSize);
    LignMatArray lines = storedLines();
    lines[Slot::TargetFile] = LineValue::text(QString(length, u'n'));
    lines[Slot::TargetDirectory] = LineValue::text(QString(length, u'd'));
    Param *d = open(lines);
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->font().pointSizeF(), nameSize);
    QCOMPARE(child<QLineEdit>(d, "ParamAppDir")->font().pointSizeF(), dirSize);
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->font().family(), QStringLiteral("Arial"));
    QVERIFY(!child<QLineEdit>(d, "ParamAppNom")->font().italic());
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->text().size(), length);
}

void TestParam::comment_data()
{
    QTest::addColumn<QString>("line7");
    QTest::addColumn<QString>("shown");
    QTest::newRow("default") << defaultComment() << "";
    QTest::newRow("default with one more space") << defaultComment() + " " << defaultComment() + " ";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("own") << "Penser au four" << "Penser au four";
}

void TestParam::comment()
{
    QFETCH(QString, line7);
    QFETCH(QString, shown);
    LignMatArray lines = storedLines();
    lines[Slot::Comment] = LineValue::text(line7);
    QCOMPARE(child<QPlainTextEdit>(open(lines), "ParamObs")->toPlainText(), shown);
}

void TestParam::options_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("blanks around 1") << " 1 " << true;
    QTest::newRow("bare 1") << "1" << true;
    QTest::newRow("1.0") << "1.0" << true;
    QTest::newRow("0") << " 0 " << false;
    QTest::newRow("2") << "2" << false;
    QTest::newRow("-1") << "-1" << false;
    QTest::newRow("text") << "abc" << false;
    QTest::newRow("empty") << "" << false;
}

void TestParam::options()
{
    QFETCH(QString, line);
    QFETCH(bool, ticked);
    LignMatArray lines = storedLines();
    for (int i = 8; i <= 11; ++i)
        lines.atPosition(i) = LineValue::text(line);
    Param *d = open(lines);
    for (QCheckBox *box : childrenNamed<QCheckBox>(d, {"ParamBoxBipDem", "ParamBoxBips", "ParamBoxExec", "ParamBoxFerm"}))
        QCOMPARE(box->isChecked(), ticked);
}

void TestParam::timeOutOfRange_data()
{
    QTest::addColumn<QStringList>("hms");
    QTest::addColumn<QTime>("shown");
    QTest::newRow("30 hours") << QStringList{" 30 ", " 5 ", " 6 "} << QTime(23, 5, 6);
    QTest::newRow("75 minutes, 99 seconds") << QStringList{" 1 ", " 75 ", " 99 "} << QTime(1, 59, 59);
    QTest::newRow("negative") << QStringList{"-5", " 2 ", " 3 "} << QTime(0, 2, 3);
    QTest::newRow("text") << QStringList{"abc", "x", ""} << QTime(0, 0, 0);
    QTest::newRow("fraction rounds") << QStringList{" 1.6 ", " 0 ", " 0 "} << QTime(2, 0, 0);
    QTest::newRow("huge") << QStringList{"1e300", "0", "0"} << QTime(23, 0, 0);
}

void TestParam::timeOutOfRange()
{
    QFETCH(QStringList, hms);
    QFETCH(QTime, shown);
    LignMatArray lines = storedLines();
    for (int i = 0; i < 3; ++i)
        lines[DelaySlots[i]] = LineValue::text(hms[i]);
    Param *d = open(lines);
    QVERIFY(d->isVisible());
    QCOMPARE(child<QTimeEdit>(d, "ParamTime")->time(), shown);
    QCOMPARE(child<QLineEdit>(d, "ParamActNom")->text(), QStringLiteral("rapport"));
}

void TestParam::populatesOnlyOnFirstShow()
{
    Param *d = open(storedLines());
    child<QLineEdit>(d, "ParamActNom")->setText(QStringLiteral("tapé"));
    child<QCheckBox>(d, "ParamBoxBips")->setChecked(true);
    m_host->held[Slot::ActionName] = LineValue::text(QStringLiteral("autre"));
    d->hide();
    d->show();
    QVERIFY(QTest::qWaitForWindowExposed(d));
    QCOMPARE(child<QLineEdit>(d, "ParamActNom")->text(), QStringLiteral("tapé"));
    QVERIFY(child<QCheckBox>(d, "ParamBoxBips")->isChecked());
}

void TestParam::okAfterFirstRun()
{
    Param *d = open(handEditedFirstRunLines());
    QTest::mouseClick(child<QPushButton>(d, "ParamOK"), Qt::LeftButton);

    QCOMPARE(m_host->calls, (QStringList{"commitLines", "showCounter"}));
    // Shown while the file is written (a failure is reported over it), hidden after.
    QCOMPARE(m_host->dialogShownAt, (QList<bool>{true, false}));
    QCOMPARE(m_host->writeOwners.value(0), d);
    const LignMatArray &w = m_host->written.value(0);
    QCOMPARE(w[Slot::Description].toText(), descriptionLine());
    for (int i : {1, 2, 3})
        QCOMPARE(w.atPosition(i), LineValue::number(0));
    for (int i : {4, 5, 6, 7})
        QCOMPARE(w.atPosition(i), LineValue::text(QString()));
    for (int i : {8, 9, 10, 11})
        QCOMPARE(w.atPosition(i), LineValue::number(1));
    QCOMPARE(m_host->held, w);

    runDeferredDeletes();
    QVERIFY(m_dialog.isNull());
}

void TestParam::okStoresPicker_data()
{
    QTest::addColumn<QTime>("time");
    QTest::addColumn<QList<double>>("stored");
    QTest::newRow("01:02:03") << QTime(1, 2, 3) << QList<double>{1, 2, 3};
    QTest::newRow("23:59:59") << QTime(23, 59, 59) << QList<double>{23, 59, 59};
    QTest::newRow("00:00:00") << QTime(0, 0, 0) << QList<double>{0, 0, 0};
}

void TestParam::okStoresPicker()
{
    QFETCH(QTime, time);
    QFETCH(QList<double>, stored);
    Param *d = open(storedLines());
    child<QTimeEdit>(d, "ParamTime")->setTime(time);
    QTest::mouseClick(child<QPushButton>(d, "ParamOK"), Qt::LeftButton);
    QCOMPARE(m_host->written.size(), 1);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_host->written[0][DelaySlots[i]], LineValue::number(stored[i]));
}

void TestParam::clickAndType_data()
{
    QTest::addColumn<int>("character");
    QTest::addColumn<QTime>("expected");
    // Clicked on either digit of a section, or just past its end.
    QTest::newRow("hours") << 0 << QTime(7, 2, 3);
    QTest::newRow("minutes") << 4 << QTime(1, 7, 3);
    QTest::newRow("seconds, end") << 8 << QTime(1, 2, 7);
}

void TestParam::clickAndType()
{
    QFETCH(int, character);
    QFETCH(QTime, expected);
    Param *d = open(storedLines());
    auto *picker = child<QTimeEdit>(d, "ParamTime");
    QCOMPARE(picker->time(), QTime(1, 2, 3));
    auto *edit = picker->findChild<QLineEdit *>();
    QVERIFY(edit);
    // A point of the text that puts the cursor before the given character.
    const int middle = edit->height() / 2;
    int x = 0;
    while (x < edit->width() && edit->cursorPositionAt(QPoint(x, middle)) != character)
        ++x;
    QVERIFY2(x < edit->width(), "no point of the field reaches that character");
    QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(x, middle));
    QTest::keyClicks(picker, QStringLiteral("07"));
    QCOMPARE(picker->time(), expected);
    QTest::mouseClick(child<QPushButton>(d, "ParamOK"), Qt::LeftButton);
    QCOMPARE(m_host->written.size(), 1);
    QCOMPARE(m_host->written[0][Slot::Hours], LineValue::number(expected.hour()));
    QCOMPARE(m_host->written[0][Slot::Minutes], LineValue::number(expected.minute()));
    QCOMPARE(m_host->written[0][Slot::Seconds], LineValue::number(expected.second()));
}

void TestParam::okStoresWhatTheControlsHold()
{
    LignMatArray lines = handEditedFirstRunLines();
    lines.atPosition(12) = LineValue::text(QStringLiteral("ligne en trop"));
    Param *d = open(lines);
    QTest::keyClicks(child<QLineEdit>(d, "ParamActNom"), QStringLiteral("Sauvegarde"));
    child<QPlainTextEdit>(d, "ParamObs")->setPlainText(QStringLiteral("ligne 1\nligne 2"));
    QTest::mouseClick(child<QCheckBox>(d, "ParamBoxFerm"), Qt::LeftButton);
    QVERIFY(!child<QCheckBox>(d, "ParamBoxFerm")->isChecked());
    QTest::mouseClick(child<QPushButton>(d, "ParamOK"), Qt::LeftButton);

    QCOMPARE(m_host->written.size(), 1);
    const LignMatArray &w = m_host->written[0];
    QCOMPARE(listOf(w, 4, 7), (QStringList{"Sauvegarde", "", "", "ligne 1 ligne 2"}));
    QCOMPARE(w[Slot::ActionName].kind(), LineValue::Kind::Text);
    QCOMPARE(w[Slot::StartBeep], LineValue::number(1));
    QCOMPARE(w[Slot::FinalBeeps], LineValue::number(1));
    QCOMPARE(w[Slot::RunAction], LineValue::number(1));
    QCOMPARE(w[Slot::CloseAtEnd], LineValue::number(0));
    QCOMPARE(w.atPosition(12), lines.atPosition(12));
}

void TestParam::failedWriteKeepsDialogOpen()
{
    m_host->writeResult = false;
    const LignMatArray before = storedLines();
    Param *d = open(before);
    child<QLineEdit>(d, "ParamActNom")->setText(QStringLiteral("Nouveau nom"));
    child<QTimeEdit>(d, "ParamTime")->setTime(QTime(4, 5, 6));
    QTest::mouseClick(child<QPushButton>(d, "ParamOK"), Qt::LeftButton);

    QCOMPARE(m_host->calls, QStringList{"commitLines"});
    runDeferredDeletes();
    QVERIFY(!m_dialog.isNull());
    QVERIFY(d->isVisible());
    QCOMPARE(m_host->held, before);
    QCOMPARE(child<QLineEdit>(d, "ParamActNom")->text(), QStringLiteral("Nouveau nom"));
    QCOMPARE(child<QTimeEdit>(d, "ParamTime")->time(), QTime(4, 5, 6));

    // Once the file can be written again, OK goes through.
    m_host->writeResult = true;
    QTest::mouseClick(child<QPushButton>(d, "ParamOK"), Qt::LeftButton);
    QCOMPARE(m_host->calls, (QStringList{"commitLines", "commitLines", "showCounter"}));
    QCOMPARE(m_host->held[Slot::ActionName].toText(), QStringLiteral("Nouveau nom"));
    runDeferredDeletes();
    QVERIFY(m_dialog.isNull());
}

void TestParam::cancelWritesNothing()
{
    const LignMatArray before = storedLines();
    Param *d = open(before);
    m_services->fileDialogResult = QStringLiteral("/tmp/autre.txt");
    QTest::mouseClick(child<QPushButton>(d, "ParamParc"), Qt::LeftButton);
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->text(), QStringLiteral("autre.txt"));
    QTest::mouseClick(child<QPushButton>(d, "ParamAnnul"), Qt::LeftButton);

    QCOMPARE(m_host->calls, (QStringList{"resumeCount", "showCounter"}));
    QCOMPARE(m_host->dialogShownAt.value(1), false);
    QVERIFY(m_host->written.isEmpty());
    QCOMPARE(m_host->held, before);
    runDeferredDeletes();
    QVERIFY(m_dialog.isNull());
}

void TestParam::closeButtonActsAsCancel()
{
    Param *d = open(storedLines());
    child<QLineEdit>(d, "ParamActNom")->setText(QStringLiteral("jeté"));
    QVERIFY(d->close());
    QCOMPARE(m_host->calls, (QStringList{"resumeCount", "showCounter"}));
    QVERIFY(m_host->written.isEmpty());
    QCOMPARE(m_host->held, storedLines());
    runDeferredDeletes();
    QVERIFY(m_dialog.isNull());
}

void TestParam::fileSelection_data()
{
    QTest::addColumn<bool>("firstRun");
    QTest::addColumn<QString>("typedName");  // null: the action box as filled on opening
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("action");
    QTest::addColumn<double>("fileSize");
    QTest::addColumn<double>("dirSize");

    const QString asFilled;
    QTest::newRow("two dots, first run") << true << asFilled << "/home/u/Docs/rapport.final.doc"
                                         << "/home/u/Docs/" << "rapport.final.doc" << "rapport" << 9.0 << 9.0;
    QTest::newRow("root") << true << asFilled << "/x.txt" << "/" << "x.txt" << "x" << 9.0 << 9.0;
    QTest::newRow("stored name replaced") << false << asFilled << "/srv/backup" << "/srv/" << "backup"
                                          << "backup" << 9.0 << 9.0;
    QTest::newRow("emptied box gets the name") << false << "" << "/srv/a.b" << "/srv/" << "a.b" << "a" << 9.0 << 9.0;
    QTest::newRow("typed name stays") << false << "Mon action" << "/srv/a.b" << "/srv/" << "a.b" << "Mon action"
                                      << 9.0 << 9.0;
    QTest::newRow("leading dot") << false << asFilled << "/home/u/.bashrc" << "/home/u/" << ".bashrc" << ""
                                 << 9.0 << 9.0;
    QTest::newRow("40-character name") << true << asFilled << "/home/user/Docs/abc/" + QString(36, u'f') + ".txt"
                                       << "/home/user/Docs/abc/" << QString(36, u'f') + ".txt" << QString(36, u'f')
                                       << 8.0 << 9.0;
    QTest::newRow("no directory") << false << asFilled << "x.txt" << "" << "x.txt" << "x" << 9.0 << 8.25;
}

void TestParam::fileSelection()
{
    QFETCH(bool, firstRun);
    QFETCH(QString, typedName);
    QFETCH(QString, chosen);
    QFETCH(QString, directory);
    QFETCH(QString, file);
    QFETCH(QString, action);
    QFETCH(double, fileSize);
    QFETCH(double, dirSize);

    LignMatArray lines = firstRun ? handEditedFirstRunLines() : storedLines();
    lines[Slot::TargetDirectory] = LineValue::text(QString(50, u'd'));  // the directory box starts at size 7
    Param *d = open(lines);
    if (!typedName.isNull())
        child<QLineEdit>(d, "ParamActNom")->setText(typedName);
    m_services->fileDialogResult = chosen;
    QTest::mouseClick(child<QPushButton>(d, "ParamParc"), Qt::LeftButton);

    QCOMPARE(m_services->fileDialogs.size(), 1);
    const FakeServices::FileDialog &dialog = m_services->fileDialogs[0];
    QCOMPARE(dialog.owner, d);
    QCOMPARE(dialog.title, QStringLiteral("Choisissez un fichier ..."));
    QCOMPARE(dialog.filter, QStringLiteral("Tous les Fichiers(*.*) (*)"));
    QCOMPARE(child<QLineEdit>(d, "ParamAppDir")->text(), directory);
    QCOMPARE(child<QLineEdit>(d, "ParamAppDir")->toolTip(), directory);
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->text(), file);
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->toolTip(), file);
    QCOMPARE(child<QLineEdit>(d, "ParamActNom")->text(), action);
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->font().pointSizeF(), fileSize);
    QCOMPARE(child<QLineEdit>(d, "ParamAppDir")->font().pointSizeF(), dirSize);
    QVERIFY(m_host->calls.isEmpty());
    QCOMPARE(m_host->held[Slot::TargetFile], lines[Slot::TargetFile]);
}

void TestParam::fileDialogStartsFromStoredDirectory_data()
{
    QTest::addColumn<QString>("line6");
    QTest::addColumn<QString>("initial");
    QTest::newRow("no stored directory") << "" << "/";
    QTest::newRow("stored directory") << "/home/u/Docs/" << "/home/u/Docs/";
}

void TestParam::fileDialogStartsFromStoredDirectory()
{
    QFETCH(QString, line6);
    QFETCH(QString, initial);
    LignMatArray lines = storedLines();
    lines[Slot::TargetDirectory] = LineValue::text(line6);
    Param *d = open(lines);
    child<QLineEdit>(d, "ParamAppDir")->setText(QStringLiteral("/ailleurs/"));
    m_services->fileDialogResult = QStringLiteral("/srv/data/a.txt");
    QTest::mouseClick(child<QPushButton>(d, "ParamParc"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(d, "ParamParc"), Qt::LeftButton);
    QCOMPARE(m_services->fileDialogs.size(), 2);
    QCOMPARE(m_services->fileDialogs[0].initialDirectory, initial);
    QCOMPARE(m_services->fileDialogs[1].initialDirectory, initial);
}

void TestParam::cancelledFileDialogChangesNothing()
{
    Param *d = open(storedLines());
    m_services->fileDialogResult.clear();
    QTest::mouseClick(child<QPushButton>(d, "ParamParc"), Qt::LeftButton);
    QCOMPARE(m_services->fileDialogs.size(), 1);
    QCOMPARE(child<QLineEdit>(d, "ParamActNom")->text(), QStringLiteral("rapport"));
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->text(), QStringLiteral("rapport.txt"));
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->toolTip(), QStringLiteral("rapport.txt"));
    QCOMPARE(child<QLineEdit>(d, "ParamAppDir")->text(), QStringLiteral("/home/u/Docs/"));
    QCOMPARE(child<QLineEdit>(d, "ParamAppDir")->toolTip(), QStringLiteral("/home/u/Docs/"));
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->font().pointSizeF(), 9.0);
}

void TestParam::simulationReports_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("message");

    const QString browseAgain = QStringLiteral("\n\nCliquer sur \"Parcourir ...\" pour sélectionner un fichier valide");
    QTest::newRow("no target") << "" << "/home/u/Docs/" << ""
                               << "Aucun fichier cible !\n\nCliquer sur \"Parcourir ...\" pour sélectionner un fichier";
    QTest::newRow("missing") << "rapport.doc" << "/home/u/Docs/" << ""
                             << "Le fichier rapport.doc n'existe pas dans le dossier /home/u/Docs/" + browseAgain;
    QTest::newRow("directory without final slash")
        << "rapport.txt" << "/home/u/Docs" << "/home/u/Docs/rapport.txt"
        << "Le fichier rapport.txt n'existe pas dans le dossier /home/u/Docs" + browseAgain;
    QTest::newRow("start failed") << "prog.sh list.txt" << "/home/u/Docs/" << "/home/u/Docs/prog.sh"
                                  << "L'éxécution de prog.sh list.txt a provoqué une erreur !\n\n"
                                     "Reconsidérer votre action ...";
}

void TestParam::simulationReports()
{
    QFETCH(QString, target);
    QFETCH(QString, directory);
    QFETCH(QString, existing);
    QFETCH(QString, message);
    if (!existing.isEmpty())
        m_services->regularFiles.insert(existing);
    m_services->startResult = false;
    Param *d = open(handEditedFirstRunLines());
    child<QLineEdit>(d, "ParamAppNom")->setText(target);
    child<QLineEdit>(d, "ParamAppDir")->setText(directory);
    QTest::mouseClick(child<QPushButton>(d, "ParamSimul"), Qt::LeftButton);

    QCOMPARE(m_services->messages.size(), 1);
    const FakeServices::Message &shown = m_services->messages[0];
    QCOMPARE(shown.text, message);
    QCOMPARE(shown.title, QStringLiteral("Minutrex - Simulation"));
    QCOMPARE(shown.icon, Services::Icon::Exclamation);
    QCOMPARE(shown.owner, d);
    QVERIFY(d->isVisible());
    QVERIFY(m_host->calls.isEmpty());
    QCOMPARE(m_host->held, handEditedFirstRunLines());
    QCOMPARE(child<QLineEdit>(d, "ParamAppNom")->text(), target);
}

void TestParam::simulationOpensTarget()
{
    m_services->regularFiles.insert(QStringLiteral("/home/u/Docs/rapport.txt"));
    Param *d = open(storedLines());
    QTest::mouseClick(child<QPushButton>(d, "ParamSimul"), Qt::LeftButton);

    QVERIFY(m_services->messages.isEmpty());
    QCOMPARE(m_services->opened.size(), 1);
    QCOMPARE(m_services->opened[0].owner, d);
    QCOMPARE(m_services->opened[0].path, QStringLiteral("/home/u/Docs/rapport.txt"));
    QVERIFY(d->isVisible());
    QVERIFY(m_host->calls.isEmpty());
    QCOMPARE(m_host->held, storedLines());
}

void TestParam::aboutBox()
{
    Param *d = open(storedLines());
    child<QLineEdit>(d, "ParamActNom")->setText(QStringLiteral("tapé"));
    QTest::mouseClick(child<QPushButton>(d, "About2"), Qt::LeftButton);

    QCOMPARE(m_services->messages.size(), 1);
    const FakeServices::Message &shown = m_services->messages[0];
    QCOMPARE(shown.text, QStringLiteral("Minutrex v" MINUTREX_VERSION "\nDécembre 2006\nAuteur : l'équipe Minutrex\n"
                                        "https://minutrex.example.org"));
    QCOMPARE(shown.icon, Services::Icon::Information);
    QCOMPARE(shown.title, QStringLiteral("About"));
    QCOMPARE(shown.owner, d);
    QCOMPARE(child<QLineEdit>(d, "ParamActNom")->text(), QStringLiteral("tapé"));
    QVERIFY(m_host->calls.isEmpty());
}

void TestParam::aboutBoxWithoutDialog()
{
    QWidget mainWindow;
    Param::About2_Click(&mainWindow, *m_services);
    QCOMPARE(m_services->messages.size(), 1);
    QCOMPARE(m_services->messages[0].owner, &mainWindow);
    QCOMPARE(m_services->messages[0].title, QStringLiteral("About"));
}

void TestParam::longCommentOpensQuickly()
{
    // The longest comment a file can hold, with no place to break a line.
    LignMatArray lines = storedLines();
    lines[Slot::Comment] = LineValue::text(QString(1000 * 1000, u'x'));
    // Processor time: other work on the machine does not count against it.
    const qint64 started = processCpuMs();
    Param *d = open(lines);
    d->repaint();
    QCoreApplication::processEvents();
#ifndef __SANITIZE_ADDRESS__ // the sanitizers slow every allocation down
    QVERIFY2(processCpuMs() - started < 1000, qPrintable(QString::number(processCpuMs() - started)));
#endif
    QCOMPARE(child<QPlainTextEdit>(d, "ParamObs")->toPlainText().size(), 1000 * 1000);
}

void TestParam::fileNameTipIsPlainText()
{
    LignMatArray lines = storedLines();
    lines[Slot::TargetFile] = LineValue::text(QStringLiteral("notes <b>bold</b> &amp; x.txt"));
    Param *d = open(lines);
    QLineEdit *box = child<QLineEdit>(d, "ParamAppNom");
    QHelpEvent tip(QEvent::ToolTip, QPoint(2, 2), box->mapToGlobal(QPoint(2, 2)));
    QCoreApplication::sendEvent(box, &tip);
    QVERIFY(QToolTip::isVisible());
    QTextDocument shown;
    shown.setHtml(QToolTip::text());
    QCOMPARE(shown.toPlainText(), lines[Slot::TargetFile].toText());
    QToolTip::hideText();
}

QTEST_MAIN(TestParam)
#include "tst_param.moc"
