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

signals:
    void clicked();
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    bool m_pressed = false;
};
