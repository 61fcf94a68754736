#pragma once

#include <vector>

#include <QWidget>

#include "lineobject.h"

// A transparent layer that paints line objects (twips, colour, pixel width)
// over the widgets beneath it. Mouse events pass through to those widgets, so
// a click on a segment counts as a click on the panel under it.
class LineCanvas : public QWidget
{
    Q_OBJECT

public:
    explicit LineCanvas(QWidget *parent = nullptr);

    // The lines to paint, in painting order; they must outlive the canvas.
    // The canvas does not watch them: call update() after changing them.
    void setLines(std::vector<const LineObject *> lines);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    std::vector<const LineObject *> m_lines;
};
