#pragma once

#include <QLabel>

// A label that reports clicks and double-clicks, a click always first: the
// first press and release of a double-click is an ordinary click, the second
// press is the double-click and its release reports nothing.
class ClickLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickLabel(QWidget *parent = nullptr);

    // A label whose text is not to be seen keeps it (for screen readers and
    // whoever reads it) but paints only its background: laying out a text
    // nobody sees would cost its font and its shaping at every repaint.
    void setTextPainted(bool painted) { m_textPainted = painted; }

signals:
    void clicked();
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_pressed = false;
    bool m_textPainted = true;
};
