#include "param.h"

#include <algorithm>

#include <QCheckBox>
#include <QCloseEvent>
#include <QCursor>
#include <QGroupBox>
#include <QHelpEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QScreen>
#include <QShowEvent>
#include <QStringList>
#include <QTime>
#include <QTimeEdit>
#include <QToolTip>

#include "aboutbox.h"
#include "access.h"
#include "classicstyle.h"
#include "counterhost.h"
#include "launcher.h"
#include "lineobject.h"
#include "lines.h"
#include "look.h"
#include "services.h"
#include "settingsfile.h"
#include "timepicker.h"

namespace {

constexpr quint32 WindowGrey = 0x00C0C0C0;
constexpr quint32 ButtonGrey = 0x00E0E0E0;
constexpr quint32 CaptionTeal = 0x00808000;
constexpr quint32 White = 0x00FFFFFF;
// The text colour of whatever stands on a background of fixed colour: a
// desktop palette meant for dark backgrounds must not reach it.
constexpr quint32 Black = 0x00000000;

constexpr qreal AppNomDesignSize = 9.75;
constexpr qreal AppDirDesignSize = 8.25;

const QString TimeFormat = QStringLiteral("hh:mm:ss");

template <class W>
W *place(W *widget, const char *name, int x, int y, int width, int height)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, width, height);
    return widget;
}

QGroupBox *makeFrame(QWidget *parent, const char *name, const QString &caption, int x, int y,
                     int width, int height)
{
    auto *frame = place(new QGroupBox(caption, parent), name, x, y, width, height);
    frame->setFont(makeFont(QStringLiteral("Arial"), 6.75, true));
    setColour(frame, QPalette::Window, fromBgr(WindowGrey));
    setColour(frame, QPalette::WindowText, fromBgr(CaptionTeal));
    setColour(frame, QPalette::Text, fromBgr(CaptionTeal));
    frame->setAutoFillBackground(true);
    ClassicStyle::apply(frame);
    return frame;
}

QLabel *makeCaption(QWidget *frame, const char *name, const QString &text, int x, int y, int width,
                    int height)
{
    auto *label = place(new QLabel(text, frame), name, x, y, width, height);
    label->setFont(makeFont(QStringLiteral("Arial"), 8.25, false, true));
    setTextColour(label, fromBgr(Black));
    return label;
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, int x, int y)
{
    auto *button = place(new QPushButton(text, parent), name, x, y, 81, 25);
    button->setFont(makeFont(QStringLiteral("Times New Roman"), 9.75, true));
    setColour(button, QPalette::Button, fromBgr(ButtonGrey));
    setTextColour(button, fromBgr(Black));
    ClassicStyle::apply(button);
    button->setAutoDefault(false);
    return button;
}

// Shows a box's tool tip as plain text: the file boxes' tips are file names,
// which may hold "<" and "&".
class PlainToolTip final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() != QEvent::ToolTip || !widget || widget->toolTip().isEmpty())
            return false;
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(),
                           QStringLiteral("<p style='white-space:pre'>") + widget->toolTip().toHtmlEscaped()
                               + QStringLiteral("</p>"),
                           widget);
        return true;
    }
};

QLineEdit *makeTextBox(QWidget *frame, const char *name, const QString &tooltip, const QFont &font,
                       int x, int y, int width)
{
    auto *box = place(new QLineEdit(frame), name, x, y, width, 25);
    // Whatever a settings file can hold comes back whole: the toolkit's
    // default would cut a value at 32,767 characters.
    box->setMaxLength(int(MaxSettingsFileSize));
    box->setToolTip(tooltip);
    box->installEventFilter(new PlainToolTip(box));
    box->setFont(font);
    useLightField(box);
    return box;
}

QCheckBox *makeOption(QWidget *frame, const char *name, const QString &caption,
                      const QString &tooltip, int y, int width)
{
    auto *box = place(new QCheckBox(caption, frame), name, 24, y, width, 25);
    box->setToolTip(tooltip);
    box->setFont(makeFont(QStringLiteral("Arial"), 8.25));
    useLightField(box);
    // Transparent on the frame, which is painted in the same grey.
    setColour(box, QPalette::Window, fromBgr(WindowGrey));
    box->setChecked(true);
    return box;
}

// Number of characters, a character outside the basic plane counting once.
int characterCount(const QString &text)
{
    return int(text.toUcs4().size());
}

void setFileBoxText(QLineEdit *box, const QString &text, qreal designSize)
{
    QFont font = box->font();
    font.setPointSizeF(Param::fileBoxFontSize(characterCount(text), designSize));
    box->setFont(font);
    box->setText(text);
    box->setToolTip(text);
}

// A line read as one piece of a time of day: written "0#" as the time text is,
// read back, and held inside the picker's range. A hand-edited file may hold
// 30 hours, -5 or text; the picker cannot show those, so each piece is clamped
// on its own (30 hours shows 23, -5 minutes 00, text 00).
int timePiece(const LineValue &line, int maximum)
{
    const double value = numericValue(twoDigits(line.toNumber()));
    return int(std::clamp(value, 0.0, double(maximum)));
}

bool hasLongWord(const QString &text)
{
    constexpr int LongWord = 500;
    int run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > LongWord)
            return true;
    }
    return false;
}

bool optionTicked(const LineValue &line)
{
    return line.toNumber() == 1;
}

LineValue optionLine(const QCheckBox *box)
{
    return LineValue::number(box->isChecked() ? 1 : 0);
}


// The room that the screen showing the window leaves for windows; empty
// when there is no screen at all.
QRect availableArea(const QWidget *window)
{
    QScreen *target = window->screen();
    if (!target)
        target = QGuiApplication::primaryScreen();
    return target ? target->availableGeometry() : QRect();
}
} // namespace

Param::Param(CounterHost &host, Services &services, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowCloseButtonHint)
    , m_host(host)
    , m_services(services)
{
    // The artwork is compiled into this static library.
    Q_INIT_RESOURCE(dialog);
    setObjectName(QStringLiteral("Param"));
    setAttribute(Qt::WA_DeleteOnClose);
    // No title text. Qt puts the application's name in place of an empty
    // title, so the title is a lone space, which shows as nothing.
    setWindowTitle(QStringLiteral(" "));
    // No icon: an explicit empty one, so that the main window's is not inherited.
    setWindowIcon(QIcon());
    setFixedSize(322, 678);
    setColour(this, QPalette::Window, fromBgr(WindowGrey));
    setAutoFillBackground(true);

    buildControls();
    setTabOrderAndFocus();
    applyAccessibility();

    connect(m_ParamParc, &QPushButton::clicked, this, &Param::ParamParc_Click);
    connect(m_ParamOK, &QPushButton::clicked, this, &Param::ParamOK_Click);
    connect(m_ParamAnnul, &QPushButton::clicked, this, &Param::ParamAnnul_Click);
    connect(m_ParamSimul, &QPushButton::clicked, this, &Param::ParamSimul_Click);
    connect(m_About2, &QPushButton::clicked, this, [this] { About2_Click(this, m_services); });
}

void Param::buildControls()
{
    const QFont titleFont = makeFont(QStringLiteral("Bookman Old Style"), 11.25, true, false, true);
    m_Label7 = place(new QLabel(tr("PARAMETRAGES"), this), "Label7", 88, 8, 140, 25);
    m_Label7->setFont(titleFont);
    setTextColour(m_Label7, fromBgr(Black));
    // The white copy on top, one pixel lower and two to the right: the dark
    // copy shows as an edge above and left of it.
    m_Label8 = place(new QLabel(tr("PARAMETRAGES"), this), "Label8", 90, 9, 141, 23);
    m_Label8->setFont(titleFont);
    setColour(m_Label8, QPalette::WindowText, fromBgr(White));
    m_Label8->raise();

    m_Frame1 = makeFrame(this, "Frame1", tr("  DECOMPTEUR "), 16, 40, 153, 81);
    m_Label9 = makeCaption(m_Frame1, "Label9", tr("Heures:Minutes:Secondes"), 8, 24, 137, 17);
    m_Label9->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_ParamTime = place(new TimePicker(m_Frame1), "ParamTime", 32, 40, 89, 25);
    m_ParamTime->setDisplayFormat(TimeFormat);
    m_ParamTime->setTimeRange(QTime(0, 0, 0), QTime(23, 59, 59));
    m_ParamTime->setTime(QTime(0, 0, 0));
    m_ParamTime->setToolTip(tr("Choisisser le délai du décompteur"));
    m_ParamTime->setFont(makeFont(QStringLiteral("System"), 9.75, true));
    useLightField(m_ParamTime);
    keepTextWhole(m_ParamTime, QStringLiteral("00:00:00"));

    m_About2 = place(new QPushButton(this), "About2", 208, 56, 57, 57);
    m_About2->setFlat(true);
    m_About2->setAutoDefault(false);
    m_About2->setToolTip(tr("A propos ..."));
    m_About2->setIcon(pngIcon(QStringLiteral(":/images/gears.png")));
    m_About2->setIconSize(QSize(32, 32));
    setColour(m_About2, QPalette::Button, fromBgr(WindowGrey));

    m_Frame2 = makeFrame(this, "Frame2", tr("  ACTION "), 16, 136, 289, 241);
    m_Label2 = makeCaption(m_Frame2, "Label2", tr("Nom de l'action"), 24, 24, 137, 17);
    m_ParamActNom = makeTextBox(m_Frame2, "ParamActNom", tr("Entrer le nom de l'action"),
                              makeFont(QStringLiteral("Times New Roman"), 11.25, true), 24, 40, 137);
    m_Label11 = makeCaption(m_Frame2, "Label11", tr("Sélection du fichier à éxécuter"), 24, 80,
                          233, 17);
    m_ParamParc = makeButton(m_Frame2, "ParamParc", tr("Parcourir ..."), 24, 96);
    m_ParamParc->setToolTip(QStringLiteral(
        "Cliquer pou afficher l'arborescence des répertoires, puis sélectionner le fichier cible"));
    m_Label10 = makeCaption(m_Frame2, "Label10", tr("Nom du fichier à éxécuter"), 24, 136, 137, 17);
    m_ParamAppNom = makeTextBox(m_Frame2, "ParamAppNom",
                              tr("Cliquer sur Parcourir pour sélectionner un fichier"),
                              makeFont(QStringLiteral("Arial"), AppNomDesignSize), 24, 152, 241);
    m_Label4 = makeCaption(m_Frame2, "Label4", tr("Emplacement du fichier à éxécuter"), 24, 184,
                         241, 17);
    m_ParamAppDir = makeTextBox(m_Frame2, "ParamAppDir",
                              tr("Cliquer sur Parcourir pour sélectionner un emplacement"),
                              makeFont(QStringLiteral("Arial"), AppDirDesignSize), 24, 201, 241);

    m_Frame3 = makeFrame(this, "Frame3", tr("  COMMENTAIRES  "), 16, 392, 289, 97);
    m_Label5 = makeCaption(m_Frame3, "Label5", tr("Vos commentaires (facultatif)"), 24, 24, 241, 17);
    m_ParamObs = place(new QPlainTextEdit(m_Frame3), "ParamObs", 24, 40, 241, 41);
    m_ParamObs->setToolTip(tr("Entrer vos commentaires ..."));
    m_ParamObs->setFont(makeFont(QStringLiteral("Times New Roman"), 9.75));
    // Tab moves on to the next control, as in the other boxes.
    m_ParamObs->setTabChangesFocus(true);

    useLightField(m_ParamObs);

    m_Frame4 = makeFrame(this, "Frame4", tr("  OPTIONS  "), 16, 504, 289, 121);
    const QString lastSecondsBeeps =
        tr("Décocher pour désactiver les bips sonores des 5 dernières secondes");
    m_ParamBoxBipDem = makeOption(m_Frame4, "ParamBoxBipDem", tr("  Bip sonore au démarrage"),
                                lastSecondsBeeps, 16, 241);
    m_ParamBoxBips = makeOption(m_Frame4, "ParamBoxBips",
                              tr("  Bips sonores sur les 5 dernières secondes"),
                              lastSecondsBeeps, 40, 241);
    m_ParamBoxExec = makeOption(m_Frame4, "ParamBoxExec", tr("  Exécution de l'action à terme"),
                              tr("Décocher pour désactiver l'éxécution du fichier cible"), 64, 257);
    m_ParamBoxFerm = makeOption(
        m_Frame4, "ParamBoxFerm", tr("  Fermeture de Minutrex à terme"),
        tr("Décocher pour garder Minutrex ouvert pour une éxécution ultérieure de l'action"),
        88, 257);

    m_ParamAnnul = makeButton(this, "ParamAnnul", tr("Annulation"), 16, 640);
    m_ParamSimul = makeButton(this, "ParamSimul", tr("Simulation"), 120, 640);
    m_ParamOK = makeButton(this, "ParamOK", tr("OK"), 224, 640);

    m_CommDial.title = tr("Choisissez un fichier ...");

    const QCursor hand = handCursor();
    for (QWidget *widget : {static_cast<QWidget *>(m_About2), static_cast<QWidget *>(m_ParamParc),
                            static_cast<QWidget *>(m_ParamOK), static_cast<QWidget *>(m_ParamAnnul),
                            static_cast<QWidget *>(m_ParamSimul), static_cast<QWidget *>(m_ParamBoxBipDem),
                            static_cast<QWidget *>(m_ParamBoxBips), static_cast<QWidget *>(m_ParamBoxFerm)})
        widget->setCursor(hand);
}

void Param::setTabOrderAndFocus()
{
    const QList<QWidget *> order{m_ParamSimul,   m_ParamAnnul,  m_ParamOK,      m_ParamParc,   m_ParamAppDir,
                                 m_ParamAppNom,  m_ParamTime,   m_ParamObs,     m_ParamBoxExec, m_ParamActNom,
                                 m_ParamBoxFerm, m_ParamBoxBips, m_About2,      m_ParamBoxBipDem};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    // Taken when the window first becomes active.
    m_ParamSimul->setFocus(Qt::OtherFocusReason);
}

void Param::applyAccessibility()
{
    exposeAsWindow(this);
    // The dark copy of the title is only its edge.
    hideFromAccessibility(m_Label7);
    m_About2->setAccessibleName(m_About2->toolTip());
    // Each box is named by its own caption, not by the frame around it.
    const std::pair<QLabel *, QWidget *> captions[] = {{m_Label9, m_ParamTime},   {m_Label2, m_ParamActNom},
                                                       {m_Label10, m_ParamAppNom}, {m_Label4, m_ParamAppDir},
                                                       {m_Label5, m_ParamObs}};
    for (const auto &[caption, control] : captions) {
        caption->setBuddy(control);
        control->setAccessibleName(caption->text().trimmed());
    }
    for (QCheckBox *box : {m_ParamBoxBipDem, m_ParamBoxBips, m_ParamBoxExec, m_ParamBoxFerm})
        box->setAccessibleName(box->text().trimmed());
    // Its tooltip is the last seconds' one; a screen reader says what it does.
    m_ParamBoxBipDem->setAccessibleDescription(tr("Décocher pour désactiver le bip sonore au démarrage"));
}

void Param::keyPressEvent(QKeyEvent *event)
{
    // Keys the focused control leaves alone: Return confirms, Escape cancels.
    if (!(event->modifiers() & ~Qt::KeypadModifier)) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            ParamOK_Click();
            return;
        case Qt::Key_Escape:
            event->accept();
            ParamAnnul_Click();
            return;
        default:
            break;
        }
    }
    QWidget::keyPressEvent(event);
}

void Param::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // The window asks for no minimise button, but a plain window manager may
    // offer one anyway. Minimised, it would leave the program without any
    // window to come back to, since the countdown window is hidden meanwhile:
    // it shows itself again instead, once the manager is done.
    if (event->type() == QEvent::WindowStateChange && isMinimized() && !m_leaving)
        QMetaObject::invokeMethod(this, &QWidget::showNormal, Qt::QueuedConnection);
}

void Param::fitIntoScreen()
{
    const QRect area = availableArea(this);
    if (area.isEmpty())
        return;
    // Room for a title bar, which the window manager adds outside the window.
    constexpr int TitleBarAllowance = 32;
    const QSize page = size();
    const int roomHeight = area.height() - TitleBarAllowance;
    if (page.height() <= roomHeight && page.width() <= area.width())
        return;

    // The controls move onto a page inside a scroll area; the tab order and
    // the focus stay as they are, since the window stays the same.
    const QList<QWidget *> controls = findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("ParamScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    auto *content = new QWidget;
    content->setObjectName(QStringLiteral("ParamPage"));
    content->setAutoFillBackground(true);
    content->setFixedSize(page);
    scroll->setWidget(content);
    for (QWidget *control : controls) {
        const bool shown = !control->isHidden();
        control->setParent(content);
        control->setVisible(shown);
    }
    m_Label8->raise();

    const int bar = scroll->verticalScrollBar()->sizeHint().width();
    const int width = std::min(page.width() + bar, area.width());
    const int height = std::min(page.height(), std::max(roomHeight, 100));
    setFixedSize(width, height);
    scroll->setGeometry(rect());
    // Made while the window is being shown: new children need showing too.
    content->show();
    scroll->show();
    // The buttons hold the first focus: the window opens on them.
    scroll->ensureWidgetVisible(m_ParamSimul);
}

void Param::centreOnScreen()
{
    const QRect area = availableArea(this);
    if (area.isEmpty())
        return;
    move(area.center() - QPoint(width() / 2, height() / 2));
}

qreal Param::fileBoxFontSize(int length, qreal designSize)
{
    if (length <= 0)
        return designSize;
    if (length <= 33)
        return 9;
    if (length <= 43)
        return 8;
    return 7;
}

void Param::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Only the first showing fills the controls: coming back from a file
    // dialog, a message box or another application keeps what the user typed.
    if (m_activated)
        return;
    m_activated = true;
    fitIntoScreen();
    centreOnScreen();
    Form_Activate();
}

void Param::Form_Activate()
{
    // The file as it is now: another copy of the program may have saved it
    // since this one started.
    m_shown = m_host.linesOnFile();
    const LignMatArray &lines = m_shown;

    // The settings have never been confirmed: the window keeps its design-time
    // state, whatever the other lines hold.
    if (lines[Slot::ActionName].toText() == defaultActionName())
        return;

    m_ParamTime->setTime(QTime(timePiece(lines[Slot::Hours], 23), timePiece(lines[Slot::Minutes], 59), timePiece(lines[Slot::Seconds], 59)));
    m_ParamActNom->setText(lines[Slot::ActionName].toText());
    setFileBoxText(m_ParamAppNom, lines[Slot::TargetFile].toText(), AppNomDesignSize);
    setFileBoxText(m_ParamAppDir, lines[Slot::TargetDirectory].toText(), AppDirDesignSize);
    if (lines[Slot::Comment].toText() != defaultComment()) {
        // Wrapping at word boundaries searches each line's word to its end: a
        // comment with a very long word would take minutes to lay out, so it
        // wraps anywhere instead.
        const QString comment = lines[Slot::Comment].toText();
        if (hasLongWord(comment))
            m_ParamObs->setWordWrapMode(QTextOption::WrapAnywhere);
        m_ParamObs->setPlainText(comment);
    }
    m_ParamBoxBipDem->setChecked(optionTicked(lines[Slot::StartBeep]));
    m_ParamBoxBips->setChecked(optionTicked(lines[Slot::FinalBeeps]));
    m_ParamBoxExec->setChecked(optionTicked(lines[Slot::RunAction]));
    m_ParamBoxFerm->setChecked(optionTicked(lines[Slot::CloseAtEnd]));
}

void Param::ParamParc_Click()
{
    const LignMatArray &lines = m_shown;
    // The filter matches every file, names without a dot included.
    m_CommDial.filter = tr("Tous les Fichiers(*.*) (*)");
    // The stored directory, so a second choice starts from the same place.
    const QString storedDirectory = lines[Slot::TargetDirectory].toText();
    m_CommDial.initialDirectory = storedDirectory.isEmpty() ? QStringLiteral("/") : storedDirectory;
    m_services.openFileName(this, m_CommDial.title, m_CommDial.filter, m_CommDial.initialDirectory,
                            [this](const QString &chosen) { fileChosen(chosen); });
}

void Param::fileChosen(const QString &chosen)
{
    m_CommDial.fileName = chosen;
    if (chosen.isEmpty())
        return;

    const LignMatArray &lines = m_shown;
    const QString FicRepNom = chosen;
    const qsizetype p = FicRepNom.lastIndexOf(QLatin1Char('/')) + 1;
    const QString fileName = FicRepNom.mid(p);
    const QString directory = FicRepNom.left(p);
    const qsizetype dot = fileName.indexOf(QLatin1Char('.'));
    const QString ActNom = dot < 0 ? fileName : fileName.left(dot);

    // Proposed only while the user has not typed a name of their own.
    if (m_ParamActNom->text().isEmpty() || m_ParamActNom->text() == lines[Slot::ActionName].toText())
        m_ParamActNom->setText(ActNom);
    setFileBoxText(m_ParamAppNom, fileName, AppNomDesignSize);
    setFileBoxText(m_ParamAppDir, directory, AppDirDesignSize);
}

LignMatArray Param::linesShown() const
{
    LignMatArray lines = m_shown;
    const QString time = m_ParamTime->time().toString(TimeFormat);
    lines[Slot::Hours] = LineValue::number(numericValue(time.mid(0, 2)));
    lines[Slot::Minutes] = LineValue::number(numericValue(time.mid(3, 2)));
    lines[Slot::Seconds] = LineValue::number(numericValue(time.mid(6, 2)));
    lines[Slot::ActionName] = LineValue::text(m_ParamActNom->text());
    lines[Slot::TargetFile] = LineValue::text(m_ParamAppNom->text());
    lines[Slot::TargetDirectory] = LineValue::text(m_ParamAppDir->text());
    // The file holds one line per value: the comment's line breaks become spaces.
    QString comment = m_ParamObs->toPlainText();
    comment.replace(QLatin1String("\r\n"), QLatin1String(" "));
    comment.replace(u'\r', u' ');
    comment.replace(u'\n', u' ');
    lines[Slot::Comment] = LineValue::text(comment);
    lines[Slot::StartBeep] = optionLine(m_ParamBoxBipDem);
    lines[Slot::FinalBeeps] = optionLine(m_ParamBoxBips);
    lines[Slot::RunAction] = optionLine(m_ParamBoxExec);
    lines[Slot::CloseAtEnd] = optionLine(m_ParamBoxFerm);
    return lines;
}

void Param::ParamOK_Click()
{
    if (m_leaving || m_busy)
        return;

    // Built aside: the settings lines change only once the file holds them.
    const LignMatArray lines = linesShown();
    // A failed write has been reported by the countdown window; the dialog
    // stays open with everything the user entered, so nothing is lost.
    const CounterHost::Commit result = m_host.commitLines(lines, &m_shown, this);
    switch (result) {
    case CounterHost::Commit::Written:
        leaveAfterOk();
        return;
    case CounterHost::Commit::Failed:
        return;
    case CounterHost::Commit::ChangedMeanwhile:
        askWhoseSettings(lines);
        return;
    }
}

void Param::askWhoseSettings(const LignMatArray &lines)
{
    m_busy = true;
    const QPointer<Param> self(this);
    m_services.question(
        this,
        tr("Les paramètres ont été modifiés par une autre copie de Minutrex pendant que cette "
           "fenêtre était ouverte.\n\nGarder les vôtres remplace les siens ; prendre les siens "
           "abandonne ce que vous avez saisi ici."),
        QStringLiteral("Minutrex"),
        {tr("Garder les miens"), tr("Prendre les siens")}, [self, lines](int answer) {
            if (!self)
                return;
            self->m_busy = false;
            if (answer == 0) {
                if (self->m_host.commitLines(lines, nullptr, self) == CounterHost::Commit::Written)
                    self->leaveAfterOk();
            } else if (answer == 1) {
                self->m_host.adoptFileLines();
                self->leaveAfterOk();
            }
            // Closed without an answer: the window stays as the user left it.
        });
}

void Param::leaveAfterOk()
{
    m_leaving = true;
    hide();
    unload();
    m_host.showCounter();
}

void Param::ParamAnnul_Click()
{
    if (m_leaving || m_busy)
        return;
    m_leaving = true;
    m_host.resumeCount();
    hide();
    unload();
    m_host.showCounter();
}

void Param::ParamSimul_Click()
{
    // The window stays usable while the target is tried; an outcome that
    // comes after the window has closed is dropped.
    launchAction(m_ParamAppNom->text(), m_ParamAppDir->text(), this, LaunchTexts::simulation(), m_services,
                 [this](const LaunchOutcome &outcome) { showLaunchFailure(this, outcome, m_services); });
}

void Param::About2_Click(QWidget *owner, Services &services)
{
    showAboutBox(owner, services);
}

void Param::unload()
{
    close();
}

void Param::closeEvent(QCloseEvent *event)
{
    if (m_busy) {
        // The settings file is being written; OK decides what happens next.
        event->ignore();
        return;
    }
    // The window's own close button: the same as "Annulation", so the count
    // resumes and the countdown window comes back.
    if (!m_leaving)
        ParamAnnul_Click();
    event->accept();
}
