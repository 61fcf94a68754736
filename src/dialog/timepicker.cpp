#include "timepicker.h"

#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QMouseEvent>
#include <QLineEdit>

TimePicker::TimePicker(QWidget *parent)
    : QTimeEdit(parent)
{
    lineEdit()->installEventFilter(this);
}

bool TimePicker::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lineEdit() && (event->type() == QEvent::MouseButtonPress
                                  || event->type() == QEvent::MouseButtonRelease)) {
        const QPoint at = static_cast<QMouseEvent *>(event)->position().toPoint();
        if (event->type() == QEvent::MouseButtonPress) {
            m_pressedAt = at;
        } else if ((at - m_pressedAt).manhattanLength() < QApplication::startDragDistance()) {
            // A click, not a drag. Without a selection, a digit typed at the
            // cursor would make the section one digit too long and be
            // refused; the window's activation may also have selected the
            // first section meanwhile.
            lineEdit()->setCursorPosition(lineEdit()->cursorPositionAt(at));
            if (currentSection() != NoSection) {
                setSelectedSection(currentSection());
                if (!hasFocus())
                    m_clickedSection = currentSection();
            }
        }
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
