#pragma once

#include <vector>

#include <QColor>
#include <QWidget>

#include "lineobject.h"

class QPainter;

// A layer that paints line objects (twips, colour, pixel width) over the
// widgets beneath it. Mouse events pass through to those widgets, so a click
// on a segment counts as a click on the panel under it.
//
// The lines are placed in the parent's coordinates; the canvas covers just
// the area they can reach, and repaints only the strokes that changed, so a
// tick that moves the colon dots repaints the dots, not the window.
class LineCanvas : public QWidget
{
    Q_OBJECT

public:
    explicit LineCanvas(QWidget *parent = nullptr);

    // The lines to paint, in painting order; they must outlive the canvas.
    // The canvas takes the place of their bounds, with room for their widths,
    // and grows when a stroke later moves out of them.
    void setLines(std::vector<const LineObject *> lines);

    // Transparent by default: what lies beneath shows between the strokes.
    // Over a surface of one colour, the canvas can fill its place with that
    // colour itself; then nothing beneath it is repainted with it.
    void setBackground(const QColor &colour);

    // After lines were changed: repaints the strokes that differ from what was
    // last painted, where they were and where they are now, in one rectangle.
    // That rectangle, in the parent's coordinates; empty when nothing changed.
    QRect refresh();

    // One line drawn as the canvas draws it, in the painter's coordinates.
    static void paintLine(QPainter &painter, const LineObject &line);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    // The pixels a stroke can touch, in the parent's coordinates.
    static QRect strokeBounds(const LineObject &line);

    std::vector<const LineObject *> m_lines;
    // Each line as it was when last asked to be painted.
    std::vector<LineObject> m_shown;
    QColor m_background;
};
