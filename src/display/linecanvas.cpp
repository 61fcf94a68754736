#include "linecanvas.h"

#include <utility>

#include <QPainter>
#include <QPen>

LineCanvas::LineCanvas(QWidget *parent)
    : QWidget(parent)
{
    // Clicks belong to the widgets underneath (the time panel), and nothing
    // but the strokes is painted, so those widgets show through.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    setFocusPolicy(Qt::NoFocus);
}

void LineCanvas::setLines(std::vector<const LineObject *> lines)
{
    m_lines = std::move(lines);
    update();
}

void LineCanvas::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    // Crisp strokes of exactly widthPx pixels, ending at their end points,
    // as the segments of a seven-segment display should look.
    painter.setRenderHint(QPainter::Antialiasing, false);
    for (const LineObject *line : m_lines) {
        if (line == nullptr)
            continue;
        QPen pen(fromBgr(line->color));
        pen.setWidth(line->widthPx);
        pen.setCapStyle(Qt::FlatCap);
        painter.setPen(pen);
        painter.drawLine(QPointF(line->X1 / double(TwipsPerPixel), line->Y1 / double(TwipsPerPixel)),
                         QPointF(line->X2 / double(TwipsPerPixel), line->Y2 / double(TwipsPerPixel)));
    }
}
