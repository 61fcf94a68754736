#include "countdown.h"

#include <algorithm>
#include <cmath>

#include "lines.h"

int Countdown::intervalMs()
{
    return int(std::lround(TimInterv));
}

QString Countdown::timeText(double hours, double minutes, double seconds)
{
    return twoDigits(hours) + u':' + twoDigits(minutes) + u':' + twoDigits(seconds);
}

QString Countdown::load(double hours, double minutes, double seconds, bool finalBeeps, bool actionEnabled)
{
    m_finalBeeps = finalBeeps;
    m_actionEnabled = actionEnabled;
    double timeNum = hours * 3600 + minutes * 60 + seconds;
    // Opposite delays beyond the range of a double give no number at all:
    // such a count ends on its first tick.
    if (std::isnan(timeNum))
        timeNum = 0;
    m_remainingMs = timeNum * 1000;
    m_delayMs = m_remainingMs;
    m_BipsSon = LastBips;
    if (timeNum <= LastBips)
        m_BipsSon = timeNum - 1;
    return timeText(hours, minutes, seconds);
}

void Countdown::start(qint64 startMs, qint64 nowMs)
{
    m_phase = Phase::Counting;
    m_pausedWhileActing = false;
    m_lastMs = std::min(startMs, nowMs);
    takeOffUntil(nowMs);
}

void Countdown::takeOffUntil(qint64 nowMs)
{
    if (m_phase == Phase::Counting) {
        const double elapsed = double(std::max<qint64>(0, nowMs - m_lastMs));
        m_remainingMs = std::max(0.0, m_remainingMs - elapsed);
    }
    m_lastMs = nowMs;
}

Countdown::Tick Countdown::tick(qint64 nowMs)
{
    Tick result;
    if (m_phase != Phase::Ended)
        takeOffUntil(nowMs);

    const double timeNum = TimeNum();
    const double hours = std::floor(timeNum / 3600);
    const double minutes = std::floor((timeNum - 3600 * hours) / 60);
    const double seconds = std::floor((timeNum - 3600 * hours) - 60 * minutes);
    result.TimeAff = timeText(hours, minutes, seconds);

    if (m_phase == Phase::Ended) {
        result.ended = true;
        return result;
    }

    const bool finalPhase = hours == 0 && minutes == 0;
    // Every value the count lands on at or below the next beep's gets one
    // beep, so a late tick that skips values neither loses the remaining
    // beeps nor sounds a burst.
    if (finalPhase && seconds <= m_BipsSon && m_finalBeeps) {
        result.beep = true;
        m_BipsSon = seconds - 1;
    }
    result.blinkName = finalPhase && seconds < LastBips && m_actionEnabled;

    if (!(m_remainingMs > 0)) {
        result.ended = true;
        // While an action is being carried out, that action decides what
        // follows; the end of the count only stops the ticks.
        if (m_phase != Phase::Acting) {
            result.finish = true;
            result.launch = m_actionEnabled;
            m_phase = result.launch ? Phase::Acting : Phase::Ended;
        }
    }
    result.extraTickMs = extraTickMs();
    return result;
}

void Countdown::toggle(qint64 nowMs)
{
    if (m_phase == Phase::Counting)
        pause(nowMs);
    else if (m_phase == Phase::Paused)
        resume(nowMs);
}

void Countdown::pause(qint64 nowMs)
{
    if (m_phase == Phase::Acting)
        m_pausedWhileActing = true;
    if (m_phase != Phase::Counting)
        return;
    // The time counted since the last tick belongs to the count.
    takeOffUntil(nowMs);
    m_phase = Phase::Paused;
}

void Countdown::resume(qint64 nowMs)
{
    if (m_phase == Phase::Acting)
        m_pausedWhileActing = false;
    if (m_phase != Phase::Paused)
        return;
    m_phase = Phase::Counting;
    m_lastMs = nowMs;
}

void Countdown::beginAction(qint64 nowMs)
{
    takeOffUntil(nowMs);
    m_phase = Phase::Acting;
    m_pausedWhileActing = false;
}

void Countdown::endAction(qint64 nowMs)
{
    if (m_phase != Phase::Acting)
        return;
    if (!(m_remainingMs > 0))
        m_phase = Phase::Ended;
    else
        m_phase = m_pausedWhileActing ? Phase::Paused : Phase::Counting;
    m_lastMs = nowMs;
}

void Countdown::stop()
{
    m_phase = Phase::Ended;
}

double Countdown::progress() const
{
    if (!(m_delayMs > 0))
        return 1;
    return std::clamp(1 - m_remainingMs / m_delayMs, 0.0, 1.0);
}

double Countdown::TimDecr() const
{
    return m_phase == Phase::Counting || m_phase == Phase::Ended ? TimInterv / 1000 : 0;
}

int Countdown::extraTickMs() const
{
    if (m_phase != Phase::Counting || !(m_remainingMs > 0 && m_remainingMs < intervalMs()))
        return -1;
    // Whole milliseconds rounded up: the tick never comes before the end.
    return int(std::ceil(m_remainingMs));
}
