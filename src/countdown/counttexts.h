#pragma once

#include <QDateTime>
#include <QString>

// What the desktop is told about a count, worded for a person. Pure: the
// same words for the same facts, in the program's language.

enum class CountEnd
{
    ActionStarted,
    ActionFailed,
    ActionDisabled
};

// The body of the notice sent when a count ends.
QString endNotice(CountEnd end, const QString &actionName);

// Why the session is asked not to suspend while a count runs: what will
// happen, and when (the time of day, or the date as well when it is not
// today; nothing for a delay too long for a date).
QString idleHoldReason(bool actionEnabled, const QString &actionName, const QDateTime &now, double remainingSeconds);
