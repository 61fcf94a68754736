#include "counter.h"

#include <algorithm>
#include <cmath>

#include <QCloseEvent>
#include <QCursor>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>

#include "access.h"
#include "classicstyle.h"
#include "clicklabel.h"
#include "counttexts.h"
#include "launcher.h"
#include "linecanvas.h"
#include "look.h"
#include "minutrexversion.h"
#include "param.h"
#include "services.h"
#include "settingsfile.h"
#include "settingslocation.h"

namespace
{
constexpr quint32 Black = 0x00000000;
constexpr quint32 Red = 0x000000FF;
constexpr quint32 Green = 0x00008000;
constexpr quint32 Blue = 0x00FF0000;
constexpr quint32 DarkBlue = 0x00800000;
constexpr quint32 PanelGrey = 0x00404040;
constexpr quint32 ButtonFace = 0x00C0C0C0;


int px(int twips)
{
    return qRound(twips / double(TwipsPerPixel));
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
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
    Q_INIT_RESOURCE(app);
    buildLayout();
    // The main window's own icon, not the application's, which would also
    // reach the settings window: that one carries none.
    QIcon icon;
    // The larger sizes keep the icon sharp on dense screens.
    for (int size : {16, 32, 48, 64, 128})
        icon.addPixmap(pngPicture(QStringLiteral(":/icons/minutrex-%1.png").arg(size)));
    setWindowIcon(icon);
    m_Timer1.setTimerType(Qt::PreciseTimer);
    connect(&m_Timer1, &QTimer::timeout, this, &Counter::Timer1_Timer);
    m_extraTick.setSingleShot(true);
    m_extraTick.setTimerType(Qt::PreciseTimer);
    connect(&m_extraTick, &QTimer::timeout, this, [this] {
        if (m_Timer1.isActive())
            Timer1_Timer();
    });
    m_settleFallback.setSingleShot(true);
    m_settleFallback.setInterval(1000);
    connect(&m_settleFallback, &QTimer::timeout, this, &Counter::settle);
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

    m_About1 = new ClickLabel(this);
    m_About1->setObjectName(QStringLiteral("About1"));
    m_About1->setGeometry(twipsRect(360, 405, 405, 690));
    m_About1->setPixmap(artwork(QStringLiteral(":/images/hourglass.png"), devicePixelRatioF()));
    m_About1->setScaledContents(true);
    m_About1->setToolTip(tr("A propos ..."));
    m_About1->setCursor(hand);
    connect(static_cast<ClickLabel *>(m_About1), &ClickLabel::clicked, this, &Counter::About1_Click);

    auto label = [this](const char *name, const QRect &box, const QString &text, const QFont &f, quint32 color) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(box);
        l->setFont(f);
        l->setAlignment(Qt::AlignCenter);
        // The action name and the comment are shown as stored, never as markup.
        l->setTextFormat(Qt::PlainText);
        setTextColour(l, fromBgr(color));
        return l;
    };
    m_LabelTitre = label("LabelTitre", twipsRect(1200, 360, 1575, 255), tr("Exécution de"),
                       makeFont(QStringLiteral("Times New Roman"), 9.75, true, true), Black);
    // "dans" lies under the action name where the two boxes touch.
    m_CountPause = label("CountPause", twipsRect(1080, 1000, 1455, 255), tr("dans"),
                       makeFont(QStringLiteral("Times New Roman"), 9.75, true, true), Black);
    m_CountAction = label("CountAction", twipsRect(840, 640, 2415, 375), tr("(nom de l'action)"),
                        makeFont(QStringLiteral("Times New Roman"), 14.25, true), Blue);

    m_LabelAff = new ClickLabel(this);
    m_LabelAff->setObjectName(QStringLiteral("LabelAff"));
    m_LabelAff->setGeometry(twipsRect(720, 1440, 2055, 495));
    m_LabelAff->setText(QStringLiteral("00:00:00"));
    m_LabelAff->setFont(makeFont(QStringLiteral("Arial Narrow"), 20.25, true));
    m_LabelAff->setAlignment(Qt::AlignCenter);
    m_LabelAff->setToolTip(tr("CLic : Pause - DoubleClick : Réglages paramétres"));
    m_LabelAff->setCursor(hand);
    m_LabelAff->setAutoFillBackground(true);
    // The panel's text has the panel's colour: the digits are drawn by the
    // segments. Being invisible, it is not painted at all.
    setColour(m_LabelAff, QPalette::Window, fromBgr(PanelGrey));
    setColour(m_LabelAff, QPalette::WindowText, fromBgr(PanelGrey));
    m_LabelAff->setTextPainted(false);
    connect(m_LabelAff, &ClickLabel::clicked, this, &Counter::LabelAff_Click);
    connect(m_LabelAff, &ClickLabel::doubleClicked, this, &Counter::LabelAff_DblClick);

    m_Line2 = frameLine(600, 1320, 2880, 1320);
    m_Line3 = frameLine(600, 1320, 600, 2040);
    m_Line4 = frameLine(2880, 1320, 2880, 2040);
    m_Line1 = frameLine(600, 2040, 2880, 2040);
    // The digits and colons lie on the panel, and their layer paints the
    // panel's grey between them itself: a tick repaints the strokes it
    // changes and nothing else. The frame, which never changes, is painted
    // with the window's background.
    m_canvas = new LineCanvas(this);
    m_canvas->setObjectName(QStringLiteral("Segments"));
    m_canvas->setLines(m_display.lines());
    m_canvas->setBackground(fromBgr(PanelGrey));

    m_CountObs = label("CountObs", twipsRect(345, 2160, 2820, 495),
                     QString(14, u' ') + tr("CLIC sur l'heure : Pause") + QString(11, u' ')
                         + tr("DOUBLE-CLIC : Réglages Paramètres"),
                     font(), DarkBlue);
    m_CountObs->setWordWrap(true);

    auto button = [this, &hand](const char *name, const QRect &box, const QString &text, const QString &tip) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(box);
        b->setToolTip(tip);
        b->setFont(makeFont(QStringLiteral("Small Fonts"), 6.75, true));
        b->setCursor(hand);
        setColour(b, QPalette::Button, fromBgr(ButtonFace));
        // A fixed face: a dark desktop palette's light text would vanish on it.
        setTextColour(b, fromBgr(Black));
        ClassicStyle::apply(b);
        return b;
    };
    m_BoutonNon = button("BoutonNon", twipsRect(300, 2640, 1335, 375), tr("ANNULATION"),
                       tr("Annule l'éxécution de l'action et quitte Minutrex"));
    m_BoutonOk = button("BoutonOk", twipsRect(1845, 2640, 1335, 375), tr("EXECUTER"),
                      tr("Force l'éxécution de l'action avant le terme"));
    connect(m_BoutonNon, &QPushButton::clicked, this, &Counter::BoutonNon_Click);
    connect(m_BoutonOk, &QPushButton::clicked, this, &Counter::BoutonOk_Click);

    // Lies outside the client area: it takes the focus so that neither visible
    // button shows a focus mark, and it does nothing when pressed.
    m_BoutonPourPointilles = new QPushButton(this);
    m_BoutonPourPointilles->setObjectName(QStringLiteral("BoutonPourPointillés"));
    m_BoutonPourPointilles->setGeometry(twipsRect(3800, 435, 285, 300));
    m_BoutonPourPointilles->setToolTip(
        tr("Ne sert qu'a éviter les pointillés sur les boutons Anulation et Execution"));
    m_BoutonPourPointilles->setAutoDefault(false);
    m_BoutonNon->setAutoDefault(false);
    m_BoutonOk->setAutoDefault(false);

    setTabOrder(m_BoutonPourPointilles, m_BoutonNon);
    setTabOrder(m_BoutonNon, m_BoutonOk);
    // It holds the first focus, but Tab never brings the keyboard back to a
    // button nobody can see.
    m_BoutonPourPointilles->setFocusPolicy(Qt::ClickFocus);
    m_BoutonPourPointilles->setFocus();
    applyAccessibility();
}

void Counter::applyAccessibility()
{
    exposeAsWindow(this);
    m_About1->setAccessibleName(m_About1->toolTip());
    exposeTime(m_LabelAff, m_LabelAff->text(), 0);
    // The segments and the frame repeat the panel's time for the eye; the
    // off-screen button exists only to hold the first focus.
    hideFromAccessibility(m_canvas);
    hideFromAccessibility(m_BoutonPourPointilles);
}

void Counter::announceTime(const QString &TimeAff)
{
    exposeTime(m_LabelAff, m_countdown.TimDecr() == 0 ? TimeAff + u' ' + pauseText() : TimeAff,
               std::floor(m_countdown.TimeNum()));
}

void Counter::keyPressEvent(QKeyEvent *event)
{
    // The mouse commands from the keyboard. Return opens the settings only
    // while no visible button has the focus: there it stays the button's key.
    const QWidget *focus = focusWidget();
    const bool onVisibleButton = focus == m_BoutonNon || focus == m_BoutonOk;
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
        m_About1->setPixmap(artwork(QStringLiteral(":/images/hourglass.png"), ratio));
    }
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const LineObject *line : {&m_Line2, &m_Line3, &m_Line4, &m_Line1})
        LineCanvas::paintLine(painter, *line);
    // Whatever start-up put off comes once this first picture is on screen.
    if (!m_settled)
        QTimer::singleShot(0, this, &Counter::settle);
}

void Counter::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (!m_settled && !m_settleFallback.isActive())
        m_settleFallback.start();
}

void Counter::settle()
{
    m_settleFallback.stop();
    if (m_settled || m_unloaded)
        return;
    m_settled = true;
    // The start beep of the first count, which waited for this moment.
    if (m_OptBipDem == 1)
        m_services.beep();
    updateSleepInhibition();
    updateProgress();
}

void Counter::closeEvent(QCloseEvent *event)
{
    // The window's own close control: the program ends without the action.
    event->accept();
    unload();
}

void Counter::useSettingsFile(const QString &absolutePath)
{
    m_settingsFile = absolutePath;
}

QString Counter::titleSuffix() const
{
    // The file's name, when one was given, tells timers side by side apart.
    if (m_settingsFile.isEmpty())
        return QString();
    const QFileInfo file(m_settingsFile);
    return QStringLiteral(" – ") + (file.completeBaseName().isEmpty() ? file.fileName() : file.completeBaseName());
}

QString Counter::pauseText()
{
    return tr("EN PAUSE");
}

QString Counter::actionName() const
{
    // The file keeps its first-run name as written; the user reads it in
    // their language.
    const QString stored = m_LignMat[Slot::ActionName].toText();
    return stored == defaultActionName() ? tr("(aucune action)") : stored;
}

QString Counter::storedComment() const
{
    const QString stored = m_LignMat[Slot::Comment].toText();
    return stored == defaultComment() ? tr("         CLIC sur l'heure : Pause       DOUBLE-CLIC : Réglages Paramètres")
                                      : stored;
}

QString Counter::programTitle() const
{
    return QStringLiteral("Minutrex") + titleSuffix();
}

bool Counter::Form_Initialize()
{
    setWindowTitle(QStringLiteral("Minutrex v" MINUTREX_VERSION) + titleSuffix() + QStringLiteral("  "));

    const SettingsLocation location =
        settingsLocation(m_settingsFile, QStringLiteral(MINUTREX_INSTALL_MARKER), m_services);
    if (!location.ok()) {
        reportFileFailure(nullptr, tr("Le fichier de paramètres %1 ne peut pas être créé").arg(location.fileName),
                          location.reason);
        return false;
    }
    m_CountRepFic = location.path();

    m_OptBipDem = 1;
    m_Opt5Bips = 1;
    m_OptExec = 1;
    m_OptFerm = 1;
    m_ActError = 0;

    // One look at the file: what the reading finds decides between a first
    // run and a start, so nothing can change in between.
    removeStaleTemporaries(m_CountRepFic);
    m_Timer1.setInterval(Countdown::intervalMs());
    const SettingsRead read = readSettingsFile(m_CountRepFic, m_LignMat);
    if (read.ok()) {
        m_loadedOnce = true;
        showLines();
        return true;
    }
    if (read.status != SettingsRead::Status::Missing) {
        reportReadFailure(read.reason);
        return false;
    }

    // First run: the options' start values are all on, as the first-run lines have them.
    m_LignMat = firstRunLines();
    if (!FicEcrit(m_LignMat, nullptr))
        return false;
    return FormLoad();
}

bool Counter::FicLect()
{
    const SettingsRead read = readSettingsFile(m_CountRepFic, m_LignMat);
    if (read.ok())
        return true;
    reportReadFailure(read.reason);
    return false;
}

void Counter::reportReadFailure(const QString &reason)
{
    reportFileFailure(isVisible() ? this : nullptr,
                      tr("Le fichier de paramètres %1 ne peut pas être lu").arg(m_CountRepFic), reason);
}

bool Counter::FicEcrit(const LignMatArray &lines, QWidget *owner)
{
    const SettingsWrite written = writeSettingsFile(m_CountRepFic, lines);
    if (written.ok())
        return true;
    reportFileFailure(owner,
                      tr("Le fichier de paramètres %1 ne peut pas être enregistré").arg(m_CountRepFic),
                      written.reason);
    return false;
}

LignMatArray Counter::linesOnFile()
{
    LignMatArray fresh;
    if (readSettingsFile(m_CountRepFic, fresh).ok())
        return fresh;
    return m_LignMat;
}

CounterHost::Commit Counter::commitLines(const LignMatArray &lines, const LignMatArray *basis, QWidget *owner)
{
    if (basis) {
        // Another copy of the program on the same file may have saved since
        // the settings window was filled: its change is not undone unasked.
        LignMatArray now;
        if (readSettingsFile(m_CountRepFic, now).ok() && !sameStoredLines(now, *basis))
            return Commit::ChangedMeanwhile;
    }
    if (!FicEcrit(lines, owner))
        return Commit::Failed;
    m_LignMat = lines;
    // Resumed first, so the reload draws the display of a running count.
    resumeCount();
    FormLoad();
    return Commit::Written;
}

void Counter::adoptFileLines()
{
    resumeCount();
    FormLoad();
}

void Counter::reportFileFailure(QWidget *owner, const QString &what, const QString &reason)
{
    // Before the first load there is no count to go on with: the program ends
    // once the message has been read.
    std::function<void()> onClosed;
    if (!m_loadedOnce) {
        onClosed = [self = QPointer<Counter>(this)] {
            if (self)
                emit self->startFailed();
        };
    }
    m_services.messageBox(owner, what + QStringLiteral(" :\n") + reason, Services::Icon::Exclamation,
                          QStringLiteral("Minutrex"), std::move(onClosed));
}

bool Counter::FormLoad()
{
    // No tick may end the old count while a read failure is being reported.
    m_Timer1.stop();
    m_extraTick.stop();
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
    setTextColour(m_CountAction, fromBgr(m_LignMat[Slot::TargetFile].toText().isEmpty() ? Green : Blue));
    m_CountObs->setText(withUnbreakableHyphens(shownComment(storedComment())));

    m_OptBipDem = m_LignMat[Slot::StartBeep].toNumber();
    m_Opt5Bips = m_LignMat[Slot::FinalBeeps].toNumber();
    m_OptExec = m_LignMat[Slot::RunAction].toNumber();
    m_OptFerm = roundToInt16(m_LignMat[Slot::CloseAtEnd].toNumber());

    // Before the window is on screen the start beep waits for it: connecting
    // to the sound server would hold back the first paint.
    if (m_OptBipDem == 1 && m_settled)
        m_services.beep();

    QFont actionFont = m_CountAction->font();
    if (m_OptExec != 1) {
        m_CountAction->setText(tr("Exécution désactivée"));
        actionFont.setPointSizeF(12);
        actionFont.setItalic(true);
    } else {
        m_CountAction->setText(actionName());
        actionFont.setPointSizeF(14);
        actionFont.setItalic(false);
    }
    m_CountAction->setFont(actionFont);

    const QString initial = m_countdown.load(m_LignMat[Slot::Hours].toNumber(), m_LignMat[Slot::Minutes].toNumber(),
                                             m_LignMat[Slot::Seconds].toNumber(), m_Opt5Bips == 1, m_OptExec == 1);
    const double loadedSeconds = m_countdown.TimeNum();
    // Drawn before the count starts: at start-up the colons show it paused.
    Afficheur(initial);
    // The first count runs from the launch: the time the program took to get
    // here is already counted. Any later one runs from now.
    const qint64 now = m_services.clockMs();
    const qint64 start = std::min(m_launchMs.value_or(now), now);
    m_countdown.start(start, now);
    m_launchMs.reset();
    // Until the first tick the panel reads the delay as loaded.
    exposeTime(m_LabelAff, initial, std::floor(loadedSeconds));
    // The ticks keep the pace of the count's start: each comes when it would
    // have come had the window been ready at once, so the seconds shown and
    // the beeps of the last ones fall where they always did. The regular
    // interval takes over at the first tick.
    const int interval = Countdown::intervalMs();
    m_Timer1.start(interval - int((now - start) % interval));
    phaseChanged();
    // A new count shows its own progress at once.
    m_dockProgress.restart();
    updateProgress();
}

void Counter::scheduleExtraTick(int ms)
{
    if (ms < 0)
        m_extraTick.stop();
    else
        m_extraTick.start(ms);
}

void Counter::Afficheur(const QString &TimeAff)
{
    m_display.Afficheur(TimeAff, m_countdown.TimDecr());
    m_canvas->refresh();
}

void Counter::Timer1_Timer()
{
    if (m_unloaded)
        return;

    if (m_Timer1.interval() != Countdown::intervalMs())
        m_Timer1.setInterval(Countdown::intervalMs());
    const Countdown::Tick tick = m_countdown.tick(m_services.clockMs());
    Afficheur(tick.TimeAff);

    int extraTickMs = tick.extraTickMs;
    if (tick.beep) {
        m_services.beep();
        // A click may run here, "ANNULATION" included, which unloads this
        // window: the rest of the tick then leaves it alone.
        QPointer<Counter> self(this);
        m_services.processEvents();
        if (!self || m_unloaded)
            return;
        // A click on the time may have paused the count meanwhile.
        extraTickMs = m_countdown.extraTickMs();
    }

    if (tick.blinkName) {
        const QString name = actionName();
        m_CountAction->setText(m_CountAction->text() == name ? QString() : name);
    }

    if (tick.ended) {
        m_Timer1.stop();
        updateSleepInhibition();
        updateProgress();
        extraTickMs = -1;
        if (tick.finish) {
            m_ActError = 0;
            QPointer<Counter> self(this);
            if (tick.launch)
                ProcedAct([this] { countEnded(); });
            else
                countEnded();
            // An outcome known at once may have closed the window already.
            if (!self || m_unloaded)
                return;
        }
    }

    // A count that has ended reads "dans", also while its action is on its way.
    showPauseLabel(tick.ended);
    // Set only when it changes: once a second, not at every tick.
    const QString title = tick.TimeAff + QStringLiteral("  ") + programTitle();
    if (windowTitle() != title)
        setWindowTitle(title);
    announceTime(tick.TimeAff);
    scheduleExtraTick(extraTickMs);
    updateProgress();
}

void Counter::showPauseLabel(bool ended)
{
    if (ended || m_countdown.TimDecr() != 0)
        setPauseLook(tr("dans"), true, Black);
    else
        setPauseLook(m_CountPause->text() == pauseText() ? QStringLiteral("   ") : pauseText(), false, Red);
}

void Counter::setPauseLook(const QString &text, bool italic, quint32 color)
{
    // Each property set only when it changes: setting one repaints the label.
    if (m_CountPause->text() != text)
        m_CountPause->setText(text);
    if (m_CountPause->font().italic() != italic) {
        QFont f = m_CountPause->font();
        f.setItalic(italic);
        m_CountPause->setFont(f);
    }
    if (m_CountPause->palette().color(QPalette::WindowText) != fromBgr(color))
        setTextColour(m_CountPause, fromBgr(color));
}

void Counter::ProcedFin()
{
    hide();
    unload();
}

void Counter::unload()
{
    m_countdown.stop();
    m_Timer1.stop();
    m_extraTick.stop();
    m_unloaded = true;
    updateSleepInhibition();
    updateProgress();
    deleteLater();
}

void Counter::ProcedAct(std::function<void()> then)
{
    const QString RepAction = m_LignMat[Slot::TargetDirectory].toText();
    launchAction(m_LignMat[Slot::TargetFile].toText(), RepAction, this, LaunchTexts::action(), m_services,
                 [this, then = std::move(then)](const LaunchOutcome &outcome) {
                     if (m_unloaded)
                         return; // quit meanwhile: the outcome is dropped
                     if (!outcome.started)
                         m_ActError = 1;
                     QPointer<Counter> self(this);
                     then();
                     if (!self || m_unloaded)
                         return;
                     // Shown on the window the user can see: the settings
                     // window while it is open.
                     QWidget *owner = isVisible() ? static_cast<QWidget *>(this) : m_param.data();
                     showLaunchFailure(owner, outcome, m_services);
                 });
}

void Counter::countEnded()
{
    if (m_unloaded)
        return;
    // Settings confirmed while the action was on its way started a new
    // count: that count decides what follows.
    m_countdown.endAction(m_services.clockMs());
    if (m_countdown.phase() != Countdown::Phase::Ended)
        return;
    // Nothing closes under a settings window the user is filling in.
    const bool closing = m_OptFerm == 1 && m_ActError == 0 && !m_param;
    announceEnd(closing);
    if (closing)
        ProcedFin();
}

void Counter::phaseChanged()
{
    scheduleExtraTick(m_countdown.extraTickMs());
    updateSleepInhibition();
}

void Counter::resumeCount()
{
    m_countdown.resume(m_services.clockMs());
    phaseChanged();
}

void Counter::LabelAff_Click()
{
    m_countdown.toggle(m_services.clockMs());
    phaseChanged();
}

void Counter::LabelAff_DblClick()
{
    if (m_unloaded)
        return;
    m_countdown.pause(m_services.clockMs());
    phaseChanged();
    hide();
    if (!m_param)
        m_param = new Param(*this, m_services, this);
    m_param->show();
}

void Counter::BoutonOk_Click()
{
    // A second action must not start while the first is on its way.
    if (m_unloaded || m_countdown.phase() == Countdown::Phase::Acting)
        return;
    m_countdown.beginAction(m_services.clockMs());
    phaseChanged();
    m_ActError = 0;
    ProcedAct([this] {
        if (m_ActError == 0 && !m_param) {
            ProcedFin();
            return;
        }
        m_countdown.endAction(m_services.clockMs());
        phaseChanged();
    });
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
    // The desktop session is not asked before the window is on screen.
    if (!m_settled)
        return;
    const bool counting =
        !m_unloaded && m_Timer1.isActive() && m_countdown.phase() == Countdown::Phase::Counting;
    if (counting == m_sleepInhibited)
        return;
    m_sleepInhibited = counting;
    if (!counting) {
        m_services.releaseIdleSleep();
        return;
    }
    m_services.inhibitIdleSleep(
        idleHoldReason(m_OptExec == 1, actionName(), m_services.localDateTime(), m_countdown.TimeNum()));
}

void Counter::updateProgress()
{
    // Nor is the dock told anything before then.
    if (!m_settled)
        return;
    const bool underWay = !m_unloaded && m_Timer1.isActive() && m_countdown.phase() != Countdown::Phase::Ended;
    const DockProgress::Step step = m_dockProgress.next(underWay, m_services.clockMs(), m_countdown);
    if (step.kind == DockProgress::Step::Kind::Show)
        m_services.showProgress(step.fraction, step.secondsLeft);
    else if (step.kind == DockProgress::Step::Kind::Clear)
        m_services.clearProgress();
}

void Counter::announceEnd(bool closing)
{
    const CountEnd end = m_OptExec != 1 ? CountEnd::ActionDisabled
        : m_ActError != 0               ? CountEnd::ActionFailed
                                        : CountEnd::ActionStarted;

    std::function<void()> bringForward;
    if (!closing) {
        // The window stays open: activating the notice brings forward the
        // program's window on screen (the settings window while it is open).
        QPointer<Counter> self(this);
        bringForward = [self] {
            if (!self || self->m_unloaded)
                return;
            QWidget *window = self->isVisible() ? static_cast<QWidget *>(self.data()) : self->m_param.data();
            if (!window || !window->isVisible())
                return;
            if (window->isMinimized())
                window->showNormal();
            window->raise();
            window->activateWindow();
        };
    }
    m_services.notify(endNotice(end, actionName()), std::move(bringForward));
}
