#pragma once

#include <QTimeEdit>

// A time-of-day editor that is one place in the keyboard order: Tab and
// Shift+Tab leave it at once instead of stepping through its hours, minutes
// and seconds, which the arrow keys and the mouse still reach. A click in its
// text selects the section under the pointer, so the digits typed next
// replace that section's value.
class TimePicker : public QTimeEdit
{
    Q_OBJECT

public:
    explicit TimePicker(QWidget *parent = nullptr);

protected:
    bool focusNextPrevChild(bool next) override { return QAbstractSpinBox::focusNextPrevChild(next); }
    bool eventFilter(QObject *watched, QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    QPoint m_pressedAt;
    // The section a click selected while the window was not active yet.
    Section m_clickedSection = NoSection;
};
