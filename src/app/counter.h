#pragma once

#include <functional>
#include <optional>

#include <QPixmap>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include "counterhost.h"
#include "countdown.h"
#include "dockprogress.h"
#include "lineobject.h"
#include "lines.h"
#include "sevensegment.h"

class QLabel;
class QPushButton;
class ClickLabel;
class LineCanvas;
class Param;
class Services;

// The main window: owns the countdown model, its timers, the settings file
// path and the display. Each tick hands the clock's time to the model and
// applies its answer to the widgets: display, title, beep, blinking name,
// pause label, and at zero the action and the close. The action's outcome
// comes back later, while the window goes on painting and obeying; what
// follows it (the notice, a message, the close) waits for it. The arithmetic
// of the count is the model's; this window knows nothing of the settings
// window's controls, which it opens on a double-click.
class Counter : public QWidget, public CounterHost
{
    Q_OBJECT

public:
    Counter(Services &services, LignMatArray &LignMat, QWidget *parent = nullptr);
    ~Counter() override;

    // Start-up: title, settings file path, first-run file, timer, first load.
    // False when the settings file could not be created or read; the user has
    // been told and the program should end with a failure status.
    bool Form_Initialize();
    // Before Form_Initialize: this absolute path instead of "Minutrex.ini"
    // found beside the program or in the user's configuration folder. The
    // window's title then names the file, so that timers side by side are
    // told apart.
    void useSettingsFile(const QString &absolutePath);
    // Before Form_Initialize: the moment the program was started, on the
    // services' clock. The first count runs from then, not from when the
    // window is ready, so a delay of N seconds acts N seconds after the launch.
    // Later counts (settings confirmed) run from their own start.
    void countFromLaunch(qint64 launchMs) { m_launchMs = launchMs; }
    // Reads the settings file and restarts the count from the full delay.
    // False when the file could not be read (already reported).
    bool FormLoad();

    void Timer1_Timer();
    void ProcedFin();
    // Starts the action; then runs once its outcome is known and ActError
    // says it, before any failure message is shown. Never runs after the
    // window has been unloaded.
    void ProcedAct(std::function<void()> then);

    void BoutonOk_Click();
    void BoutonNon_Click();
    void LabelAff_Click();
    void LabelAff_DblClick();
    void About1_Click();

    // CounterHost
    const LignMatArray &lines() const override { return m_LignMat; }
    LignMatArray linesOnFile() override;
    Commit commitLines(const LignMatArray &lines, const LignMatArray *basis, QWidget *owner) override;
    void adoptFileLines() override;
    void resumeCount() override;
    void showCounter() override { show(); }

    // Read-only views for tests and for the settings window's owner.
    const Countdown &countdown() const { return m_countdown; }
    const SevenSegmentDisplay &display() const { return m_display; }
    const QTimer &tickTimer() const { return m_Timer1; }
    qint16 actionError() const { return m_ActError; }
    QString settingsPath() const { return m_CountRepFic; }
    bool isUnloaded() const { return m_unloaded; }
    // The start-up's deferred work (start beep, hold on idle suspend) is done:
    // the window has been painted once, or it was shown and waited long enough.
    bool isSettled() const { return m_settled; }
    // Milliseconds until the extra tick at the end of the count, -1 when none is due.
    int extraTickMs() const { return m_extraTick.isActive() ? m_extraTick.interval() : -1; }

signals:
    // The settings file could not be used at start-up and the user has
    // closed the message that says why: the program should end, with a failure.
    void startFailed();

protected:
    void paintEvent(QPaintEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildLayout();
    // Names and roles for screen readers; nothing visible changes.
    void applyAccessibility();
    // The time panel tells screen readers the time the title shows.
    void announceTime(const QString &TimeAff);
    void Afficheur(const QString &TimeAff);
    bool FicLect();
    bool FicEcrit(const LignMatArray &lines, QWidget *owner);
    // Switches the extra end tick on or off as the model asks.
    void scheduleExtraTick(int ms);
    void showPauseLabel(bool ended);
    // Stops everything and deletes the window, which ends the program.
    void unload();
    void reportFileFailure(QWidget *owner, const QString &what, const QString &reason);
    // After the count was paused, resumed or set acting: the extra end tick
    // and the hold on idle suspend follow the new phase.
    void phaseChanged();
    // Holds off the session's idle suspend exactly while the count runs.
    void updateSleepInhibition();
    // The count's progress on the program's dock entry while a count is
    // under way (at most once a second); nothing once it has ended.
    void updateProgress();
    // "Minutrex", followed by the settings file's name when it was given.
    QString programTitle() const;
    QString titleSuffix() const;
    // The pause label's blinking text.
    static QString pauseText();
    // Line 4 and line 7 as the user reads them: their first-run values in
    // the user's language, anything else as stored.
    QString actionName() const;
    QString storedComment() const;
    // What follows the end of the count once its action's outcome is known:
    // the notice, then the close when it is asked for and nothing stands in
    // its way.
    void countEnded();
    // Tells the desktop how the count ended; closing says whether the window
    // is about to go.
    void announceEnd(bool closing);
    void reportReadFailure(const QString &reason);
    // Shows the lines just read and starts the count from the full delay.
    void showLines();
    // Once the window is on screen: what start-up put off so as not to delay
    // the first paint (the sound server's connection for the start beep, the
    // desktop session's hold on idle suspend).
    void settle();
    // Sets the pause label's text, italics and colour, each only when it
    // changes: every change repaints the label and tells screen readers.
    void setPauseLook(const QString &text, bool italic, quint32 color);

    Services &m_services;
    LignMatArray &m_LignMat;
    QString m_settingsFile;
    Countdown m_countdown;
    SevenSegmentDisplay m_display;

    // The settings file's path, found at start-up.
    QString m_CountRepFic;

    // Options read by each load; the model holds those the tick needs.
    double m_OptBipDem = 1;
    double m_Opt5Bips = 1;
    double m_OptExec = 1;
    qint16 m_OptFerm = 1;
    qint16 m_ActError = 0;

    QTimer m_Timer1;
    // One extra tick at the exact end of the count when it falls between two
    // regular ticks, so the action comes on time rather than up to a tick late.
    QTimer m_extraTick;
    LineObject m_Line1, m_Line2, m_Line3, m_Line4;
    QPixmap m_background;
    bool m_loadedOnce = false;
    bool m_unloaded = false;
    bool m_sleepInhibited = false;
    DockProgress m_dockProgress;
    // The launch moment, until the first count has started from it.
    std::optional<qint64> m_launchMs;
    bool m_settled = false;
    // Settles a window that is shown but never painted (kept off screen).
    QTimer m_settleFallback;

    QLabel *m_About1 = nullptr;
    QLabel *m_LabelTitre = nullptr;
    QLabel *m_CountAction = nullptr;
    QLabel *m_CountPause = nullptr;
    ClickLabel *m_LabelAff = nullptr;
    QLabel *m_CountObs = nullptr;
    QPushButton *m_BoutonNon = nullptr;
    QPushButton *m_BoutonOk = nullptr;
    QPushButton *m_BoutonPourPointilles = nullptr;
    LineCanvas *m_canvas = nullptr;
    QPointer<Param> m_param; // the settings window, while it is open
};

// Font families of the original design that Linux lacks, mapped once at start.
void installFontSubstitutions();
