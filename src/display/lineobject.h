#pragma once

#include <QColor>
#include <QtGlobal>

// A straight stroke between two end points in twips (15 to a logical pixel),
// with a width in pixels and a colour held as &H00BBGGRR. Every field reads
// back exactly as set, which the colon animation relies on.
struct LineObject
{
    int X1 = 0;
    int Y1 = 0;
    int X2 = 0;
    int Y2 = 0;
    quint32 color = 0;
    int widthPx = 1;

    bool operator==(const LineObject &other) const = default;
};

inline constexpr int TwipsPerPixel = 15;

// A colour written &H00BBGGRR (blue in the high byte, red in the low one).
inline QColor fromBgr(quint32 bgr)
{
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}
