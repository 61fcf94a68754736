#pragma once

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QIcon>
#include <QPalette>

class QAbstractSpinBox;
class QWidget;

// Small helpers shared by both windows for the look of their controls: fonts
// given by family and points, palette colours, and the hand pointer.

// A font with every attribute set, so nothing is inherited from the parent.
QFont makeFont(const QString &family, qreal pointSize, bool bold = false, bool italic = false,
               bool underline = false);

void setColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour);

// One text colour for every text role (window, button and box text), for a
// widget drawn on a background of fixed colour.
void setTextColour(QWidget *widget, const QColor &colour);

// Gives a field (text box, time picker, check box) the light scheme of the
// program's fixed greys: black text and marks on a white box, and a light grey
// for its arrows, whatever the desktop's palette. Every field of a window then
// looks alike, and a ticked box stands out from an unticked one under a dark
// palette too.
void useLightField(QWidget *field);
// The PNG picture at `path`, read by Qt's own PNG reader alone: asked for a
// picture of unnamed format, Qt would first load every image-format plugin
// installed to ask each whether it reads it. Null when it cannot be read.
QPixmap pngPicture(const QString &path);

// An icon of the PNG picture at `path` and of its drawing at twice the size
// (the same name with "@2x" before the extension) when there is one.
QIcon pngIcon(const QString &path);

// The picture at `path` for a screen of the given pixel ratio: above 1, the
// drawing at twice the size (the same name with "@2x" before the extension),
// smoothly scaled to the ratio; the ordinary drawing otherwise, or when there
// is no larger one.
QPixmap artwork(const QString &path, qreal ratio);

// The pointing hand, hot spot at the fingertip (12, 1), drawn at twice the
// size on dense screens; Qt's own pointing hand when the picture is missing
// from the build.
QCursor handCursor();

// Makes sure the spin box's edit field can show `sample` whole: a style whose
// arrows leave too little room (wide side-by-side buttons) is replaced, for
// this box alone, by one with narrow arrows. Call once the font is set.
void keepTextWhole(QAbstractSpinBox *box, const QString &sample);

// The text with a word joiner after each hyphen that stands between two
// letters, so word wrapping breaks lines only between words
// ("DOUBLE-CLIC" stays whole). The joiner is invisible.
QString withUnbreakableHyphens(const QString &text);
