#pragma once

#include <QTimeEdit>

// A time-of-day editor that is one place in the keyboard order: Tab and
// Shift+Tab leave it at once instead of stepping through its hours, minutes
// and seconds, which the arrow keys and the mouse still reach.
class TimePicker : public QTimeEdit
{
    Q_OBJECT

public:
    using QTimeEdit::QTimeEdit;

protected:
    bool focusNextPrevChild(bool next) override { return QAbstractSpinBox::focusNextPrevChild(next); }
};
