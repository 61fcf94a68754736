#pragma once

#include <QString>

class QWidget;

// What both windows tell assistive technologies beyond Qt's defaults: which
// widgets are only decoration (drawn twice, or drawn for the eye alone) and
// the countdown's remaining time. Nothing here changes what the windows show.

// Leaves the widget out of what a screen reader presents: it reports itself
// as not shown. Call before the widget is first queried (at construction).
void hideFromAccessibility(QWidget *widget);

// Presents a top-level widget as an application window ("frame" to screen
// readers) rather than as a plain area. Call at construction.
void exposeAsWindow(QWidget *window);

// Makes the widget present a time: its accessible name is `text`, its
// accessible value the remaining whole seconds. Call at construction with any
// values, then whenever the time changes.
void exposeTime(QWidget *widget, const QString &text, double seconds);
