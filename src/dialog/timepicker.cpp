#include "timepicker.h"

#include <QEvent>
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
        && currentSection() != NoSection)
        setSelectedSection(currentSection());
    return QTimeEdit::eventFilter(watched, event);
}
