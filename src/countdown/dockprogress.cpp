#include "dockprogress.h"

#include <cmath>

#include "countdown.h"

DockProgress::Step DockProgress::next(bool underWay, qint64 nowMs, const Countdown &countdown)
{
    Step step;
    if (!underWay) {
        if (m_fraction >= 0)
            step.kind = Step::Kind::Clear;
        m_fraction = -1;
        m_shownAtMs = -1;
        return step;
    }
    if (m_shownAtMs >= 0 && nowMs - m_shownAtMs < 1000)
        return step;
    const double fraction = countdown.progress();
    const double left = std::ceil(countdown.TimeNum());
    const qint64 secondsLeft = left < 1e15 ? qint64(left) : qint64(1e15);
    if (fraction == m_fraction && secondsLeft == m_secondsLeft)
        return step;
    m_shownAtMs = nowMs;
    m_fraction = fraction;
    m_secondsLeft = secondsLeft;
    return Step{Step::Kind::Show, fraction, secondsLeft};
}
