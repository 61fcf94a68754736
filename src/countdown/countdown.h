#pragma once

#include <QString>
#include <QtGlobal>

// The countdown of the main window, without the window: the remaining time
// measured on the clock it is given, the pause, the beeps of the last seconds
// and the phase of the count. Each tick takes the clock's time and answers
// what the window must show and do. It owns no timer, draws nothing, beeps
// nothing and launches nothing: the window does all of that with the answer.
class Countdown
{
public:
    enum class Phase
    {
        Counting,  // time runs
        Paused,    // time stands still; also before the first start
        Acting,    // an action is being carried out; time stands still
        Ended      // the count reached zero; no more ticks
    };

    // What one tick asks of the window.
    struct Tick
    {
        QString TimeAff;         // HH:MM:SS, for the display and the title
        bool beep = false;       // sound one final-phase beep
        bool blinkName = false;  // show or blank the action name
        bool ended = false;      // zero is reached: switch the tick timer off
        bool finish = false;     // ...and this tick carries out the end of the count
        bool launch = false;     // ...starting the action (the phase is then Acting)
        int extraTickMs = -1;    // an extra tick is due at the exact end, -1 when none
    };

    static constexpr double TimInterv = 333.333;  // tick interval in milliseconds
    static constexpr double LastBips = 5;         // seconds of the final phase

    // The timer interval: TimInterv in whole milliseconds.
    static int intervalMs();
    // HH:MM:SS with each field written "0#".
    static QString timeText(double hours, double minutes, double seconds);

    // A new count of the given delay, leaving the phase as it is until start().
    // finalBeeps and actionEnabled are the options that the tick needs.
    // The delay text is the lines as they stand, unnormalised.
    QString load(double hours, double minutes, double seconds, bool finalBeeps, bool actionEnabled);
    // Starts counting the loaded delay from startMs, as seen at nowMs: the
    // time in between is already counted (a count that runs from the
    // program's launch). A start in the future counts from nowMs.
    void start(qint64 startMs, qint64 nowMs);
    void start(qint64 nowMs) { start(nowMs, nowMs); }

    // One tick at nowMs.
    Tick tick(qint64 nowMs);

    // The click on the time: pauses a running count, resumes a paused one.
    // Either changes nothing while acting or after the end.
    void toggle(qint64 nowMs);
    // While acting, pause and resume say how the count goes on once the
    // action is back (the settings window opened, then closed, meanwhile).
    void pause(qint64 nowMs);
    void resume(qint64 nowMs);
    // An action is carried out now: the count stands still meanwhile.
    void beginAction(qint64 nowMs);
    // The action came back: the count runs again from where it stood (or
    // stands paused if it was paused meanwhile), or stays at zero if it had
    // ended. Nothing changes if a new count was started meanwhile.
    void endAction(qint64 nowMs);
    // The window closes: the count stops for good.
    void stop();

    Phase phase() const { return m_phase; }
    // Remaining seconds, never negative once ticked.
    double TimeNum() const { return m_remainingMs / 1000; }
    // The fraction of the loaded delay gone, 0 to 1 (1 for a zero delay).
    double progress() const;
    // Seconds per tick as the display reads it: 0 while the count stands still.
    // An ended count keeps the running value it ended with.
    double TimDecr() const;
    // The seconds value of the next final-phase beep.
    double BipsSon() const { return m_BipsSon; }
    // Milliseconds to the exact end when it falls before the next regular
    // tick, -1 when no extra tick is due (paused, acting, ended, or further).
    int extraTickMs() const;

private:
    // Takes the counting time up to nowMs off the remaining time.
    void takeOffUntil(qint64 nowMs);

    Phase m_phase = Phase::Paused;
    // Kept in milliseconds so that whole-millisecond clock steps add up exactly.
    double m_remainingMs = 0;
    double m_delayMs = 0;
    qint64 m_lastMs = 0;
    double m_BipsSon = 0;
    bool m_pausedWhileActing = false;
    bool m_finalBeeps = true;
    bool m_actionEnabled = true;
};
