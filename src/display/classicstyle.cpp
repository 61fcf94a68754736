#include "classicstyle.h"

#include <QApplication>
#include <QCommonStyle>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>
#include <qdrawutil.h>

namespace
{
// The bevels' and edges' own greys, the same on every desktop: a dark
// desktop palette must not turn the raised edges black.
QPalette classicEdges(const QPalette &palette)
{
    QPalette edges(palette);
    edges.setColor(QPalette::Light, QColor(255, 255, 255));
    edges.setColor(QPalette::Midlight, QColor(223, 223, 223));
    edges.setColor(QPalette::Mid, QColor(160, 160, 160));
    edges.setColor(QPalette::Dark, QColor(128, 128, 128));
    edges.setColor(QPalette::Shadow, QColor(0, 0, 0));
    return edges;
}

QStyle *plainBase()
{
    // The built-in plain style; the common base of all styles if a build lacks it.
    if (QStyle *style = QStyleFactory::create(QStringLiteral("Windows")))
        return style;
    return new QCommonStyle;
}
}

ClassicStyle::ClassicStyle()
    : QProxyStyle(plainBase())
{
}

void ClassicStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                 const QWidget *widget) const
{
    switch (element) {
    case PE_PanelButtonCommand: {
        const bool down = option->state & (State_Sunken | State_On);
        const QBrush face = option->palette.brush(QPalette::Button);
        qDrawWinButton(painter, option->rect, classicEdges(option->palette), down, &face);
        return;
    }
    case PE_FrameGroupBox:
        qDrawShadeRect(painter, option->rect, classicEdges(option->palette), true, 1, 0);
        return;
    default:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
}

int ClassicStyle::styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                            QStyleHintReturn *returnData) const
{
    if (hint == SH_GroupBox_TextLabelVerticalAlignment)
        return Qt::AlignVCenter;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

QStyle *ClassicStyle::instance()
{
    static QPointer<ClassicStyle> style;
    if (!style) {
        style = new ClassicStyle;
        style->setParent(qApp);
    }
    return style;
}

void ClassicStyle::apply(QWidget *widget)
{
    widget->setStyle(instance());
}
