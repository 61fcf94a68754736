#pragma once

#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include "counterhost.h"
#include "lineobject.h"
#include "lines.h"
#include "sevensegment.h"

class QLabel;
class QPushButton;
class ClickLabel;
class LineCanvas;
class Services;

// The main window: owns the countdown, its settings file path and the display.
// It counts the delay down on each tick, beeps, blinks, and at zero carries out
// the action and closes or stays open. It opens the settings window on a
// double-click but knows nothing of that window's controls.
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
    // found beside the program or in the user's configuration folder.
    void useSettingsFile(const QString &absolutePath) { m_settingsFile = absolutePath; }
    // Reads the settings file and restarts the count from the full delay.
    // False when the file could not be read (already reported).
    bool load();

    void Timer1_Timer();
    void ProcedFin();
    void ProcedAct();
    void Afficheur(const QString &TimeAff);

    void BoutonOk_Click();
    void BoutonNon_Click();
    void LabelAff_DblClick();
    void About1_Click();

    // CounterHost
    LignMatArray &LignMat() override { return m_LignMat; }
    bool FicEcrit(const LignMatArray &lines, QWidget *owner) override;
    void LabelAff_Click() override;
    void FormLoad() override { load(); }
    void showCounter() override { show(); }

    bool FicLect();
    bool isUnloaded() const { return m_unloaded; }
    // Milliseconds until the extra tick at the end of the count, -1 when none is due.
    int deadlineTickMs() const { return m_deadlineTick.isActive() ? m_deadlineTick.interval() : -1; }

    // The settings path, built at start-up.
    QString CountFic;
    QString CountRep;
    QString CountRepFic;

    // Countdown state.
    double TimInterv = 333.333;
    double TimeNum = 0;
    double TimDecr = 0;
    double LastBips = 5;
    double BipsSon = 0;
    qint16 ActError = 0;
    double OptBipDem = 1;
    double Opt5Bips = 1;
    double OptExec = 1;
    qint16 OptFerm = 1;
    QString RepAction;

    QTimer Timer1;
    SevenSegmentDisplay display;
    LineObject Line1, Line2, Line3, Line4;

    // Controls.
    QLabel *About1 = nullptr;
    QLabel *LabelTitre = nullptr;
    QLabel *CountAction = nullptr;
    QLabel *CountPause = nullptr;
    ClickLabel *LabelAff = nullptr;
    QLabel *CountObs = nullptr;
    QPushButton *BoutonNon = nullptr;
    QPushButton *BoutonOk = nullptr;
    QPushButton *BoutonPourPointilles = nullptr;
    LineCanvas *canvas = nullptr;

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildLayout();
    // Names and roles for screen readers; nothing visible changes.
    void applyAccessibility();
    // The time panel tells screen readers the time the title shows.
    void announceTime(const QString &TimeAff);
    void resume();
    void scheduleDeadlineTick();
    void reportFileFailure(QWidget *owner, const QString &what, const QString &reason);
    // Holds off the session's idle suspend exactly while the count runs.
    void updateSleepInhibition();
    // Tells the desktop how the count ended, once its action's result is known.
    void announceEnd();
    void reportReadFailure(const QString &reason);
    // Shows the lines just read and starts the count from the full delay.
    void showLines();

    Services &m_services;
    LignMatArray &m_LignMat;
    QString m_settingsFile;
    QPixmap m_background;
    // One extra tick at the exact end of the count when it falls between two
    // regular ticks, so the action comes on time rather than up to a tick late.
    QTimer m_deadlineTick;
    qint64 m_lastTickMs = 0;
    bool m_loadedOnce = false;
    bool m_unloaded = false;
    bool m_acting = false;
    bool m_sleepInhibited = false;
};

// Font families of the original design that Linux lacks, mapped once at start.
void installFontSubstitutions();
