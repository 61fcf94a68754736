#include "linecanvas.h"

#include <algorithm>
#include <utility>

#include <QPaintEvent>
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

QRect LineCanvas::strokeBounds(const LineObject &line)
{
    // From the pixel where the stroke starts to the one where it ends, with
    // half the width on each side and a pixel more for the rounding of its
    // end points to pixels. Twips are never negative.
    const int margin = line.widthPx / 2 + 2;
    const int left = std::min(line.X1, line.X2) / TwipsPerPixel;
    const int top = std::min(line.Y1, line.Y2) / TwipsPerPixel;
    const int right = (std::max(line.X1, line.X2) + TwipsPerPixel - 1) / TwipsPerPixel;
    const int bottom = (std::max(line.Y1, line.Y2) + TwipsPerPixel - 1) / TwipsPerPixel;
    return QRect(QPoint(left - margin, top - margin), QPoint(right + margin, bottom + margin));
}

void LineCanvas::setLines(std::vector<const LineObject *> lines)
{
    m_lines = std::move(lines);
    m_shown.clear();
    QRect bounds;
    for (const LineObject *line : m_lines) {
        m_shown.push_back(line ? *line : LineObject{});
        if (line)
            bounds |= strokeBounds(*line);
    }
    setGeometry(bounds);
    update();
}

QRect LineCanvas::refresh()
{
    // One rectangle: the strokes are few pixels, while each rectangle of a
    // repaint costs a request to the display server.
    QRect reach;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const LineObject *line = m_lines[i];
        if (line == nullptr || *line == m_shown[i])
            continue;
        reach |= strokeBounds(m_shown[i]) | strokeBounds(*line);
        m_shown[i] = *line;
    }
    if (reach.isEmpty())
        return reach;
    if (!geometry().contains(reach))
        setGeometry(geometry() | reach); // repaints the whole canvas
    else
        update(reach.translated(-pos()));
    return reach;
}

void LineCanvas::setBackground(const QColor &colour)
{
    m_background = colour;
    // Opaque: the widgets beneath are left out of its repaints.
    setAttribute(Qt::WA_OpaquePaintEvent, colour.isValid());
    update();
}

void LineCanvas::paintLine(QPainter &painter, const LineObject &line)
{
    QPen pen(fromBgr(line.color));
    pen.setWidth(line.widthPx);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    painter.drawLine(QPointF(line.X1 / double(TwipsPerPixel), line.Y1 / double(TwipsPerPixel)),
                     QPointF(line.X2 / double(TwipsPerPixel), line.Y2 / double(TwipsPerPixel)));
}

void LineCanvas::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    if (m_background.isValid())
        painter.fillRect(event->rect(), m_background);
    // Crisp strokes of exactly widthPx pixels, ending at their end points,
    // as the segments of a seven-segment display should look.
    painter.setRenderHint(QPainter::Antialiasing, false);
    // The lines are in the parent's coordinates.
    painter.translate(-pos());
    const QRect dirty = event->rect().translated(pos());
    for (const LineObject *line : m_lines) {
        if (line != nullptr && strokeBounds(*line).intersects(dirty))
            paintLine(painter, *line);
    }
}
