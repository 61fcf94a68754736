#include "counter.h"

#include <algorithm>
#include <cmath>

#include <QCloseEvent>
#include <QCursor>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>

#include "access.h"
#include "clicklabel.h"
#include "launcher.h"
#include "linecanvas.h"
#include "look.h"
#include "minutrexversion.h"
#include "param.h"
#include "services.h"
#include "settingsfile.h"

namespace
{
constexpr quint32 Black = 0x00000000;
constexpr quint32 Red = 0x000000FF;
constexpr quint32 Green = 0x00008000;
constexpr quint32 Blue = 0x00FF0000;
constexpr quint32 DarkBlue = 0x00800000;
constexpr quint32 PanelGrey = 0x00404040;
constexpr quint32 ButtonFace = 0x00C0C0C0;

const QString PauseText = QStringLiteral("EN PAUSE");

int px(int twips)
{
    return qRound(twips / double(TwipsPerPixel));
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

void setTextColor(QWidget *widget, quint32 bgr)
{
    setColour(widget, QPalette::WindowText, fromBgr(bgr));
    setColour(widget, QPalette::ButtonText, fromBgr(bgr));
}

LineObject frameLine(int x1, int y1, int x2, int y2)
{
    return LineObject{x1, y1, x2, y2, Black, 1};
}

// The comment box shows two lines: a comment as long as the file allows would
// only make every repaint lay out a megabyte that nobody can see.
QString shownComment(const QString &comment)
{
    constexpr qsizetype MaxShown = 2000;
    if (comment.size() <= MaxShown)
        return comment;
    return comment.left(comment.at(MaxShown - 1).isHighSurrogate() ? MaxShown - 1 : MaxShown);
}

QString timeText(double hours, double minutes, double seconds)
{
    return twoDigits(hours) + u':' + twoDigits(minutes) + u':' + twoDigits(seconds);
}
}

void installFontSubstitutions()
{
    // The original window font is narrower than the common sans-serif faces:
    // a narrow face keeps the comment line on the two lines it was drawn for.
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Nimbus Sans Narrow"), QStringLiteral("Liberation Sans"),
                                QStringLiteral("Sans Serif")});
    const QStringList sansSerif{QStringLiteral("Liberation Sans"), QStringLiteral("Sans Serif")};
    for (const char *family : {"Small Fonts", "System"})
        QFont::insertSubstitutions(QString::fromLatin1(family), sansSerif);
}

Counter::Counter(Services &services, LignMatArray &LignMat, QWidget *parent)
    : QWidget(parent)
    , m_services(services)
    , m_LignMat(LignMat)
{
    // The artwork is compiled into this static library.
    Q_INIT_RESOURCE(resources);
    buildLayout();
    Timer1.setTimerType(Qt::PreciseTimer);
    connect(&Timer1, &QTimer::timeout, this, &Counter::Timer1_Timer);
    m_deadlineTick.setSingleShot(true);
    m_deadlineTick.setTimerType(Qt::PreciseTimer);
    connect(&m_deadlineTick, &QTimer::timeout, this, [this] {
        if (Timer1.isActive())
            Timer1_Timer();
    });
}

Counter::~Counter()
{
    if (m_sleepInhibited)
        m_services.releaseIdleSleep();
}

void Counter::buildLayout()
{
    setObjectName(QStringLiteral("Counter"));
    setFixedSize(px(3510), px(3360));
    setFont(makeFont(QStringLiteral("MS Sans Serif"), 8, false));
    m_background = artwork(QStringLiteral(":/images/background.png"), devicePixelRatioF());
    const QCursor hand = handCursor();

    About1 = new ClickLabel(this);
    About1->setObjectName(QStringLiteral("About1"));
    About1->setGeometry(twipsRect(360, 405, 405, 690));
    About1->setPixmap(artwork(QStringLiteral(":/images/hourglass.png"), devicePixelRatioF()));
    About1->setScaledContents(true);
    About1->setToolTip(QStringLiteral("A propos ..."));
    About1->setCursor(hand);
    connect(static_cast<ClickLabel *>(About1), &ClickLabel::clicked, this, &Counter::About1_Click);

    auto label = [this](const char *name, const QRect &box, const QString &text, const QFont &f, quint32 color) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(box);
        l->setFont(f);
        l->setAlignment(Qt::AlignCenter);
        // The action name and the comment are shown as stored, never as markup.
        l->setTextFormat(Qt::PlainText);
        setTextColor(l, color);
        return l;
    };
    LabelTitre = label("LabelTitre", twipsRect(1200, 360, 1575, 255), QStringLiteral("Exécution de"),
                       makeFont(QStringLiteral("Times New Roman"), 9.75, true, true), Black);
    // "dans" lies under the action name where the two boxes touch.
    CountPause = label("CountPause", twipsRect(1080, 1000, 1455, 255), QStringLiteral("dans"),
                       makeFont(QStringLiteral("Times New Roman"), 9.75, true, true), Black);
    CountAction = label("CountAction", twipsRect(840, 640, 2415, 375), QStringLiteral("(nom de l'action)"),
                        makeFont(QStringLiteral("Times New Roman"), 14.25, true), Blue);

    LabelAff = new ClickLabel(this);
    LabelAff->setObjectName(QStringLiteral("LabelAff"));
    LabelAff->setGeometry(twipsRect(720, 1440, 2055, 495));
    LabelAff->setText(QStringLiteral("00:00:00"));
    LabelAff->setFont(makeFont(QStringLiteral("Arial Narrow"), 20.25, true));
    LabelAff->setAlignment(Qt::AlignCenter);
    LabelAff->setToolTip(QStringLiteral("CLic : Pause - DoubleClick : Réglages paramétres"));
    LabelAff->setCursor(hand);
    LabelAff->setAutoFillBackground(true);
    // The panel's text has the panel's colour: the digits are drawn by the segments.
    setColour(LabelAff, QPalette::Window, fromBgr(PanelGrey));
    setColour(LabelAff, QPalette::WindowText, fromBgr(PanelGrey));
    connect(LabelAff, &ClickLabel::clicked, this, &Counter::LabelAff_Click);
    connect(LabelAff, &ClickLabel::doubleClicked, this, &Counter::LabelAff_DblClick);

    Line2 = frameLine(600, 1320, 2880, 1320);
    Line3 = frameLine(600, 1320, 600, 2040);
    Line4 = frameLine(2880, 1320, 2880, 2040);
    Line1 = frameLine(600, 2040, 2880, 2040);
    canvas = new LineCanvas(this);
    canvas->setObjectName(QStringLiteral("Segments"));
    canvas->setGeometry(rect());
    std::vector<const LineObject *> lines{&Line2, &Line3, &Line4, &Line1};
    for (const LineObject *line : display.lines())
        lines.push_back(line);
    canvas->setLines(std::move(lines));

    CountObs = label("CountObs", twipsRect(345, 2160, 2820, 495),
                     QString(14, u' ') + QStringLiteral("CLIC sur l'heure : Pause") + QString(11, u' ')
                         + QStringLiteral("DOUBLE-CLIC : Réglages Paramètres"),
                     font(), DarkBlue);
    CountObs->setWordWrap(true);

    auto button = [this, &hand](const char *name, const QRect &box, const QString &text, const QString &tip) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(box);
        b->setToolTip(tip);
        b->setFont(makeFont(QStringLiteral("Small Fonts"), 6.75, true));
        b->setCursor(hand);
        setColour(b, QPalette::Button, fromBgr(ButtonFace));
        // A fixed face: a dark desktop palette's light text would vanish on it.
        setTextColor(b, Black);
        return b;
    };
    BoutonNon = button("BoutonNon", twipsRect(300, 2640, 1335, 375), QStringLiteral("ANNULATION"),
                       QStringLiteral("Annule l'éxécution de l'action et quitte Minutrex"));
    BoutonOk = button("BoutonOk", twipsRect(1845, 2640, 1335, 375), QStringLiteral("EXECUTER"),
                      QStringLiteral("Force l'éxécution de l'action avant le terme"));
    connect(BoutonNon, &QPushButton::clicked, this, &Counter::BoutonNon_Click);
    connect(BoutonOk, &QPushButton::clicked, this, &Counter::BoutonOk_Click);

    // Lies outside the client area: it takes the focus so that neither visible
    // button shows a focus mark, and it does nothing when pressed.
    BoutonPourPointilles = new QPushButton(this);
    BoutonPourPointilles->setObjectName(QStringLiteral("BoutonPourPointillés"));
    BoutonPourPointilles->setGeometry(twipsRect(3800, 435, 285, 300));
    BoutonPourPointilles->setToolTip(
        QStringLiteral("Ne sert qu'a éviter les pointillés sur les boutons Anulation et Execution"));
    BoutonPourPointilles->setAutoDefault(false);
    BoutonNon->setAutoDefault(false);
    BoutonOk->setAutoDefault(false);

    setTabOrder(BoutonPourPointilles, BoutonNon);
    setTabOrder(BoutonNon, BoutonOk);
    // It holds the first focus, but Tab never brings the keyboard back to a
    // button nobody can see.
    BoutonPourPointilles->setFocusPolicy(Qt::ClickFocus);
    BoutonPourPointilles->setFocus();
    applyAccessibility();
}

void Counter::applyAccessibility()
{
    About1->setAccessibleName(About1->toolTip());
    exposeTime(LabelAff, LabelAff->text(), 0);
    // The segments and the frame repeat the panel's time for the eye; the
    // off-screen button exists only to hold the first focus.
    hideFromAccessibility(canvas);
    hideFromAccessibility(BoutonPourPointilles);
}

void Counter::announceTime(const QString &TimeAff)
{
    exposeTime(LabelAff, TimDecr == 0 ? TimeAff + u' ' + PauseText : TimeAff, std::floor(TimeNum));
}

void Counter::keyPressEvent(QKeyEvent *event)
{
    // The mouse commands from the keyboard. Return opens the settings only
    // while no visible button has the focus: there it stays the button's key.
    const QWidget *focus = focusWidget();
    const bool onVisibleButton = focus == BoutonNon || focus == BoutonOk;
    if (event->modifiers() & ~Qt::KeypadModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_P:
    case Qt::Key_Pause:
        LabelAff_Click();
        break;
    case Qt::Key_F2:
        LabelAff_DblClick();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (onVisibleButton) {
            QWidget::keyPressEvent(event);
            return;
        }
        LabelAff_DblClick();
        break;
    case Qt::Key_F1:
        About1_Click();
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void Counter::paintEvent(QPaintEvent *)
{
    // On a screen of another pixel ratio, the drawings made for it.
    const qreal ratio = devicePixelRatioF();
    if (!qFuzzyCompare(m_background.devicePixelRatio(), std::max(ratio, 1.0))) {
        m_background = artwork(QStringLiteral(":/images/background.png"), ratio);
        About1->setPixmap(artwork(QStringLiteral(":/images/hourglass.png"), ratio));
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
}

void Counter::closeEvent(QCloseEvent *event)
{
    // The window's own close control: the program ends without the action.
    TimDecr = 0;
    Timer1.stop();
    m_deadlineTick.stop();
    m_unloaded = true;
    updateSleepInhibition();
    event->accept();
    deleteLater();
}

bool Counter::Form_Initialize()
{
    setWindowTitle(QStringLiteral("Minutrex v" MINUTREX_VERSION "  "));

    CountFic = QStringLiteral("Minutrex.ini");
    QString directory = m_services.programDirectory();
    if (!m_settingsFile.isEmpty()) {
        // Named on the command line: that file, wherever it is.
        const int slash = m_settingsFile.lastIndexOf(u'/');
        directory = m_settingsFile.left(slash);
        CountFic = m_settingsFile.mid(slash + 1);
    } else if (m_services.isRegularFile(directory + QStringLiteral("/" MINUTREX_INSTALL_MARKER))
               || (!m_services.isRegularFile(directory + u'/' + CountFic) && !m_services.canCreateFileIn(directory))) {
        // An installed copy keeps each user's settings apart, even when it
        // could write beside itself (root); so does one that cannot write there.
        QString reason;
        const QString userDirectory = m_services.userConfigDirectory(&reason);
        if (userDirectory.isEmpty()) {
            reportFileFailure(nullptr, QStringLiteral("Le fichier de paramètres %1 ne peut pas être créé").arg(CountFic),
                              reason);
            return false;
        }
        directory = userDirectory;
    }
    CountRep = directory + u'/';
    CountRepFic = CountRep + CountFic;

    TimInterv = 333.333;
    LastBips = 5;
    OptBipDem = 1;
    Opt5Bips = 1;
    OptExec = 1;
    OptFerm = 1;
    ActError = 0;
    TimDecr = 0;

    // One look at the file: what the reading finds decides between a first
    // run and a start, so nothing can change in between.
    removeStaleTemporaries(CountRepFic);
    Timer1.setInterval(int(std::lround(TimInterv)));
    const SettingsRead read = readSettingsFile(CountRepFic, m_LignMat);
    if (read.ok()) {
        m_loadedOnce = true;
        showLines();
        return true;
    }
    if (read.status != SettingsRead::Status::Missing) {
        reportReadFailure(read.reason);
        return false;
    }

    m_LignMat[0] = LineValue::text(descriptionLine());
    m_LignMat[1] = LineValue::number(0);
    m_LignMat[2] = LineValue::number(0);
    m_LignMat[3] = LineValue::number(30);
    m_LignMat[4] = LineValue::text(defaultActionName());
    m_LignMat[5] = LineValue::text(QString());
    m_LignMat[6] = LineValue::text(QString());
    m_LignMat[7] = LineValue::text(defaultComment());
    m_LignMat[8] = LineValue::number(OptBipDem);
    m_LignMat[9] = LineValue::number(Opt5Bips);
    m_LignMat[10] = LineValue::number(OptExec);
    m_LignMat[11] = LineValue::number(OptFerm);
    if (!FicEcrit(m_LignMat, nullptr))
        return false;
    return load();
}

bool Counter::FicLect()
{
    const SettingsRead read = readSettingsFile(CountRepFic, m_LignMat);
    if (read.ok())
        return true;
    reportReadFailure(read.reason);
    return false;
}

void Counter::reportReadFailure(const QString &reason)
{
    reportFileFailure(isVisible() ? this : nullptr,
                      QStringLiteral("Le fichier de paramètres %1 ne peut pas être lu").arg(CountRepFic), reason);
}

bool Counter::FicEcrit(const LignMatArray &lines, QWidget *owner)
{
    QString error;
    if (writeSettingsFile(CountRepFic, lines, &error))
        return true;
    reportFileFailure(owner,
                      QStringLiteral("Le fichier de paramètres %1 ne peut pas être enregistré").arg(CountRepFic),
                      error);
    return false;
}

void Counter::reportFileFailure(QWidget *owner, const QString &what, const QString &reason)
{
    m_services.messageBox(owner, what + QStringLiteral(" :\n") + reason, Services::Icon::Exclamation,
                          QStringLiteral("Minutrex"));
}

bool Counter::load()
{
    // No tick may end the old count while a read failure is being reported.
    Timer1.stop();
    m_deadlineTick.stop();
    updateSleepInhibition();
    // At start-up an unreadable file ends the program; after a confirmed
    // dialog the lines just written are still in memory and the count goes on.
    if (!FicLect() && !m_loadedOnce)
        return false;
    m_loadedOnce = true;
    showLines();
    return true;
}

void Counter::showLines()
{
    setTextColor(CountAction, m_LignMat[5].toText().isEmpty() ? Green : Blue);
    CountObs->setText(shownComment(m_LignMat[7].toText()));

    OptBipDem = m_LignMat[8].toNumber();
    Opt5Bips = m_LignMat[9].toNumber();
    OptExec = m_LignMat[10].toNumber();
    OptFerm = roundToInt16(m_LignMat[11].toNumber());

    if (OptBipDem == 1)
        m_services.beep();

    QFont actionFont = CountAction->font();
    if (OptExec != 1) {
        CountAction->setText(QStringLiteral("Exécution désactivée"));
        actionFont.setPointSizeF(12);
        actionFont.setItalic(true);
    } else {
        CountAction->setText(m_LignMat[4].toText());
        actionFont.setPointSizeF(14);
        actionFont.setItalic(false);
    }
    CountAction->setFont(actionFont);

    const double hours = m_LignMat[1].toNumber();
    const double minutes = m_LignMat[2].toNumber();
    const double seconds = m_LignMat[3].toNumber();
    const QString initial = timeText(hours, minutes, seconds);
    TimeNum = hours * 3600 + minutes * 60 + seconds;

    BipsSon = LastBips;
    if (TimeNum <= LastBips)
        BipsSon = TimeNum - 1;

    Afficheur(initial);
    TimDecr = TimInterv / 1000;
    announceTime(initial);
    m_lastTickMs = m_services.clockMs();
    Timer1.start();
    scheduleDeadlineTick();
    updateSleepInhibition();
}

void Counter::scheduleDeadlineTick()
{
    m_deadlineTick.stop();
    const double remainingMs = TimeNum * 1000;
    // Written so that a remaining time that is not a number schedules nothing.
    if (TimDecr == 0 || !Timer1.isActive() || !(remainingMs > 0 && remainingMs < Timer1.interval()))
        return;
    // Whole milliseconds rounded up: the tick never comes before the end.
    m_deadlineTick.start(int(std::ceil(remainingMs)));
}

void Counter::Afficheur(const QString &TimeAff)
{
    display.Afficheur(TimeAff, TimDecr);
    canvas->update();
}

void Counter::Timer1_Timer()
{
    if (m_unloaded)
        return;

    // The time taken off is the time that really passed while counting, so a
    // late tick (a busy or sleeping machine) neither loses nor gains time.
    const qint64 now = m_services.clockMs();
    const double elapsed = double(now - m_lastTickMs) / 1000.0;
    m_lastTickMs = now;
    const double d = TimeNum - (TimDecr != 0 ? elapsed : 0.0);
    TimeNum = d >= 0 ? d : 0;

    const double hours = std::floor(TimeNum / 3600);
    const double minutes = std::floor((TimeNum - 3600 * hours) / 60);
    const double seconds = std::floor((TimeNum - 3600 * hours) - 60 * minutes);
    const QString TimeAff = timeText(hours, minutes, seconds);

    Afficheur(TimeAff);

    const bool finalPhase = hours == 0 && minutes == 0;
    if (finalPhase && seconds == BipsSon && Opt5Bips == 1) {
        m_services.beep();
        BipsSon = BipsSon - 1;
        // A click may run here, "ANNULATION" included, which unloads this
        // window: the rest of the tick then leaves it alone.
        QPointer<Counter> self(this);
        m_services.processEvents();
        if (!self || m_unloaded)
            return;
    }

    if (finalPhase && seconds < LastBips && OptExec == 1) {
        const QString name = m_LignMat[4].toText();
        CountAction->setText(CountAction->text() == name ? QString() : name);
    }

    // A zero delay can end while "EXECUTER" waits in its action: that command
    // decides between closing and resuming, so the end of the count only stops.
    if (TimeNum <= 0) {
        Timer1.stop();
        updateSleepInhibition();
        if (!m_acting) {
            ActError = 0;
            if (OptExec == 1) {
                QPointer<Counter> self(this);
                ProcedAct();
                if (!self || m_unloaded)
                    return;
            }
            announceEnd();
            if (OptFerm == 1 && ActError == 0) {
                ProcedFin();
                return;
            }
        }
    }

    if (TimDecr != 0) {
        CountPause->setText(QStringLiteral("dans"));
        QFont f = CountPause->font();
        f.setItalic(true);
        CountPause->setFont(f);
        setTextColor(CountPause, Black);
    } else {
        CountPause->setText(CountPause->text() == PauseText ? QStringLiteral("   ") : PauseText);
        QFont f = CountPause->font();
        f.setItalic(false);
        CountPause->setFont(f);
        setTextColor(CountPause, Red);
    }

    setWindowTitle(TimeAff + QStringLiteral("  Minutrex"));
    announceTime(TimeAff);
    scheduleDeadlineTick();
}

void Counter::ProcedFin()
{
    TimDecr = 0;
    Timer1.stop();
    m_deadlineTick.stop();
    hide();
    m_unloaded = true;
    updateSleepInhibition();
    deleteLater();
}

void Counter::ProcedAct()
{
    // The opener is watched while window events run; a second action must not
    // start inside the first.
    if (m_acting)
        return;
    m_acting = true;
    QPointer<Counter> self(this);
    RepAction = m_LignMat[6].toText();
    const bool ok = launchAction(m_LignMat[5].toText(), RepAction, this, LaunchTexts::action(), m_services);
    if (!self)
        return;
    m_acting = false;
    if (!ok)
        ActError = 1;
}

void Counter::resume()
{
    TimDecr = TimInterv / 1000;
    // The pause ends now: the next tick takes off only the time since.
    m_lastTickMs = m_services.clockMs();
    scheduleDeadlineTick();
    updateSleepInhibition();
}

void Counter::LabelAff_Click()
{
    if (TimDecr == 0) {
        resume();
    } else {
        TimDecr = 0;
        m_deadlineTick.stop();
        updateSleepInhibition();
    }
}

void Counter::LabelAff_DblClick()
{
    if (m_unloaded)
        return;
    TimDecr = 0;
    m_deadlineTick.stop();
    updateSleepInhibition();
    hide();
    auto *param = new Param(*this, m_services, this);
    param->show();
}

void Counter::BoutonOk_Click()
{
    if (m_acting || m_unloaded)
        return;
    TimDecr = 0;
    updateSleepInhibition();
    ActError = 0;
    QPointer<Counter> self(this);
    ProcedAct();
    if (!self || m_unloaded)
        return;
    if (ActError == 0) {
        ProcedFin();
        return;
    }
    resume();
}

void Counter::BoutonNon_Click()
{
    if (!m_unloaded)
        ProcedFin();
}

void Counter::About1_Click()
{
    Param::About2_Click(this, m_services);
}

void Counter::updateSleepInhibition()
{
    const bool counting = !m_unloaded && Timer1.isActive() && TimDecr != 0;
    if (counting == m_sleepInhibited)
        return;
    m_sleepInhibited = counting;
    if (!counting) {
        m_services.releaseIdleSleep();
        return;
    }
    // The reason names when the action is due; a hand-edited delay too large
    // for a date names none.
    const QDateTime now = m_services.localDateTime();
    const double remainingMs = std::ceil(TimeNum * 1000);
    QString when;
    if (remainingMs >= 0 && remainingMs < 1e14) {
        const QDateTime due = now.addMSecs(qint64(remainingMs));
        when = due.date() == now.date()
            ? QStringLiteral(" prévue à %1").arg(due.toString(QStringLiteral("HH:mm:ss")))
            : QStringLiteral(" prévue le %1").arg(due.toString(QStringLiteral("dd/MM/yyyy à HH:mm:ss")));
    }
    const QString name = m_LignMat[4].toText();
    m_services.inhibitIdleSleep(OptExec == 1
                                    ? QStringLiteral("Exécution de « %1 »%2").arg(name, when)
                                    : QStringLiteral("Fin du décompte de « %1 » (exécution désactivée)%2").arg(name, when));
}

void Counter::announceEnd()
{
    const QString name = m_LignMat[4].toText();
    QString body;
    if (OptExec != 1)
        body = QStringLiteral("Fin du décompte : action « %1 » non lancée, exécution désactivée.").arg(name);
    else if (ActError != 0)
        body = QStringLiteral("Fin du décompte : échec de l'action « %1 ».").arg(name);
    else
        body = QStringLiteral("Fin du décompte : action « %1 » lancée.").arg(name);

    std::function<void()> bringForward;
    if (!(OptFerm == 1 && ActError == 0)) {
        // The window stays open: activating the notice brings forward the
        // program's window on screen (the settings window while it is open).
        QPointer<Counter> self(this);
        bringForward = [self] {
            if (!self || self->m_unloaded)
                return;
            QWidget *window = self->isVisible() ? static_cast<QWidget *>(self.data()) : self->findChild<Param *>();
            if (!window || !window->isVisible())
                return;
            if (window->isMinimized())
                window->showNormal();
            window->raise();
            window->activateWindow();
        };
    }
    m_services.notify(body, std::move(bringForward));
}
