#include "look.h"

#include <QPixmap>
#include <QWidget>

QFont makeFont(const QString &family, qreal pointSize, bool bold, bool italic, bool underline)
{
    QFont font(family);
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    font.setStrikeOut(false);
    return font;
}

void setColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QCursor handCursor()
{
    const QPixmap hand(QStringLiteral(":/cursors/hand.png"));
    if (hand.isNull())
        return QCursor(Qt::PointingHandCursor);
    return QCursor(hand, 12, 1);
}
