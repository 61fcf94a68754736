#include "timepicker.h"

#include <QEvent>
#include <QFocusEvent>
#include <QLineEdit>

TimePicker::TimePicker(QWidget *parent)
    : QTimeEdit(parent)
{
    lineEdit()->installEventFilter(this);
}

bool TimePicker::eventFilter(QObject *watched, QEvent *event)
{
    // By the release the press has put the cursor where the user clicked and
    // the editor has taken that section as its current one. Without a
    // selection, a digit typed there would make the section one digit too
    // long and be refused. A drag or a double-click keeps what it selected.
    if (watched == lineEdit() && event->type() == QEvent::MouseButtonRelease && !lineEdit()->hasSelectedText()
        && currentSection() != NoSection) {
        setSelectedSection(currentSection());
        if (!hasFocus())
            m_clickedSection = currentSection();
    }
    return QTimeEdit::eventFilter(watched, event);
}

void TimePicker::focusInEvent(QFocusEvent *event)
{
    const Section clicked = m_clickedSection;
    m_clickedSection = NoSection;
    QTimeEdit::focusInEvent(event);
    // A click into a window that is not active gives the focus only once the
    // window becomes active, and the editor then selects its first section:
    // the section clicked is the one the user meant.
    if (event->reason() == Qt::ActiveWindowFocusReason && clicked != NoSection)
        setSelectedSection(clicked);
}

void TimePicker::focusOutEvent(QFocusEvent *event)
{
    m_clickedSection = NoSection;
    QTimeEdit::focusOutEvent(event);
}
