#pragma once

#include <QtGlobal>

class Countdown;

// When a count's progress goes to the dock: at once for a new count, then at
// most once a second and only when it moved (a paused count is not sent again
// and again), and taken away once when the count is over. It sends nothing
// itself: the window does what each step says.
class DockProgress
{
public:
    struct Step
    {
        enum class Kind
        {
            Nothing,
            Show,
            Clear
        };
        Kind kind = Kind::Nothing;
        double fraction = 0;
        qint64 secondsLeft = 0;
    };

    // What to do at nowMs; underWay says whether a count is under way
    // (running, paused or carrying out its action).
    Step next(bool underWay, qint64 nowMs, const Countdown &countdown);
    // A new count: its progress goes out at the next step.
    void restart() { m_shownAtMs = -1; }

private:
    qint64 m_shownAtMs = -1; // -1: nothing shown since the last restart
    double m_fraction = -1;  // -1: nothing on the dock
    qint64 m_secondsLeft = -1;
};
