#pragma once

#include <QProxyStyle>

// The program's own look for its push buttons and frames, the same on every
// desktop: a flat face in the button's palette colour inside a square
// two-pixel bevel of fixed greys, and a frame drawn as an etched rectangle
// whose top edge runs through the middle of its caption. It draws nothing else differently
// from its base, the toolkit's plain built-in style; text colours, fonts and
// the other controls stay with the desktop.
class ClassicStyle : public QProxyStyle
{
    Q_OBJECT

public:
    ClassicStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    int styleHint(StyleHint hint, const QStyleOption *option = nullptr, const QWidget *widget = nullptr,
                  QStyleHintReturn *returnData = nullptr) const override;

    // One instance for the whole program, owned by the application object.
    static QStyle *instance();
    // Gives the widget this look; its children keep theirs.
    static void apply(QWidget *widget);
};
