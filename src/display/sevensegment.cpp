#include "sevensegment.h"

#include <algorithm>
#include <stdexcept>

namespace {

// x of the left verticals of each cell, in the order of Cells.
constexpr std::array<int, 6> CellLeft = {960, 1200, 1560, 1800, 2160, 2400};

// End points of Segm1 ... Segm7 relative to the cell's left verticals.
struct SegmentShape
{
    int dx1;
    int y1;
    int dx2;
    int y2;
};
constexpr std::array<SegmentShape, 7> Shapes = {{
    {120, 1590, 120, 1660}, // Segm1 upper right
    {120, 1710, 120, 1780}, // Segm2 lower right
    {15, 1815, 85, 1815},   // Segm3 bottom
    {0, 1710, 0, 1780},     // Segm4 lower left
    {0, 1590, 0, 1660},     // Segm5 upper left
    {15, 1560, 85, 1560},   // Segm6 top
    {15, 1695, 85, 1695},   // Segm7 middle
}};

constexpr int StrokeWidthPx = 2;
constexpr std::array<int, 2> ColonX = {1440, 2040};
constexpr int DotLength = 30;
// Distance of the outer dot ends from the middle line.
constexpr int NearDistance = 40;
constexpr int FarDistance = 65;

} // namespace

const std::array<const char *, 11> SevenSegmentDisplay::Patterns = {
    "1111110", "1100000", "1011011", "1110011", "1100101", "0110111",
    "0111111", "1100010", "1111111", "1110111", "0000000",
};

SevenSegmentDisplay::SevenSegmentDisplay()
{
    for (std::size_t role = 0; role < Shapes.size(); ++role) {
        for (std::size_t c = 0; c < Cells.size(); ++c) {
            const SegmentShape &shape = Shapes[role];
            LineObject &line = m_segments[role][c];
            line.X1 = CellLeft[c] + shape.dx1;
            line.Y1 = shape.y1;
            line.X2 = CellLeft[c] + shape.dx2;
            line.Y2 = shape.y2;
            line.color = LitColor;
            line.widthPx = StrokeWidthPx;
        }
    }
    // The middle segment of the hours' units digit sits 15 twips left of the
    // rest of its cell; the display has always looked that way.
    LineObject &middle12 = Segm(7, 12);
    middle12.X1 = 1200;
    middle12.X2 = 1270;

    for (std::size_t i = 0; i < ColonX.size(); ++i) {
        m_clig1[i] = LineObject{ColonX[i], 1640, ColonX[i], 1670, LitColor, StrokeWidthPx};
        m_clig2[i] = LineObject{ColonX[i], 1720, ColonX[i], 1750, LitColor, StrokeWidthPx};
    }
}

void SevenSegmentDisplay::Afficheur(const QString &TimeAff, double timDecr, const Colours &colours)
{
    // A count of 100 hours or more, or a negative hours line (only a
    // hand-edited settings file holds either), has a longer hours field, so
    // the fixed positions would show wrong digits. Such a text shows 99 hours,
    // or 00 when the field holds a minus sign, with its real minutes and
    // seconds, taken from its last five characters.
    QString text = TimeAff;
    const qsizetype size = TimeAff.size();
    if (size > 8 && TimeAff.at(size - 6) == u':' && TimeAff.at(size - 3) == u':') {
        const bool negative = TimeAff.left(size - 6).contains(u'-');
        text = (negative ? QStringLiteral("00") : QStringLiteral("99")) + TimeAff.right(6);
    }

    for (int group = 1; group <= 3; ++group) {
        const qsizetype start = 3 * (group - 1);
        for (int position = 1; position <= 2; ++position)
            colourCell(10 * group + position, digitValue(text, start + position - 1), colours);
    }
    ProcedClig(timDecr, colours);
}

void SevenSegmentDisplay::ProcedClig(double timDecr, const Colours &colours)
{
    const auto &[CoulON, CoulOFF] = colours;
    const int middle = Segm(7, 11).Y1;
    if (timDecr != 0.0) {
        colourDots(CoulON);
        const int distance = SegClig1(1).Y2 == middle + NearDistance ? FarDistance : NearDistance;
        placeColon(1, distance, middle);
        placeColon(2, distance, middle);
    } else {
        placeColon(1, FarDistance, middle);
        placeColon(2, FarDistance, middle);
        colourDots(SegClig1(1).color == CoulON ? CoulOFF : CoulON);
    }
}

LineObject &SevenSegmentDisplay::Segm(int role, int cell)
{
    return m_segments.at(static_cast<std::size_t>(role - 1)).at(static_cast<std::size_t>(cellIndex(cell)));
}

const LineObject &SevenSegmentDisplay::Segm(int role, int cell) const
{
    return m_segments.at(static_cast<std::size_t>(role - 1)).at(static_cast<std::size_t>(cellIndex(cell)));
}

LineObject &SevenSegmentDisplay::SegClig1(int n)
{
    return m_clig1[static_cast<std::size_t>(colonIndex(n))];
}

LineObject &SevenSegmentDisplay::SegClig2(int n)
{
    return m_clig2[static_cast<std::size_t>(colonIndex(n))];
}

const LineObject &SevenSegmentDisplay::SegClig1(int n) const
{
    return m_clig1[static_cast<std::size_t>(colonIndex(n))];
}

const LineObject &SevenSegmentDisplay::SegClig2(int n) const
{
    return m_clig2[static_cast<std::size_t>(colonIndex(n))];
}

std::vector<const LineObject *> SevenSegmentDisplay::lines() const
{
    std::vector<const LineObject *> all;
    all.reserve(46);
    for (const auto &role : m_segments)
        for (const LineObject &line : role)
            all.push_back(&line);
    for (std::size_t i = 0; i < m_clig1.size(); ++i) {
        all.push_back(&m_clig1[i]);
        all.push_back(&m_clig2[i]);
    }
    return all;
}

int SevenSegmentDisplay::cellIndex(int cell)
{
    const auto it = std::find(Cells.begin(), Cells.end(), cell);
    if (it == Cells.end())
        throw std::out_of_range("SevenSegmentDisplay: no digit cell with this index");
    return int(it - Cells.begin());
}

int SevenSegmentDisplay::colonIndex(int n)
{
    if (n != 1 && n != 2)
        throw std::out_of_range("SevenSegmentDisplay: colons are numbered 1 and 2");
    return n - 1;
}

int SevenSegmentDisplay::digitValue(const QString &text, qsizetype position)
{
    // Only ASCII digits count: a letter, a space, a separator, a digit of
    // another script or a character past the end of the text all show 0.
    if (position >= text.size())
        return 0;
    const char16_t ch = text.at(position).unicode();
    return ch >= u'0' && ch <= u'9' ? int(ch - u'0') : 0;
}

void SevenSegmentDisplay::colourCell(int cell, int digit, const Colours &colours)
{
    const char *pattern = Patterns.at(static_cast<std::size_t>(digit));
    for (int role = 1; role <= 7; ++role)
        Segm(role, cell).color = pattern[role - 1] == '1' ? colours.CoulON : colours.CoulOFF;
}

void SevenSegmentDisplay::placeColon(int n, int distance, int middle)
{
    LineObject &lower = SegClig1(n);
    lower.Y2 = middle + distance;
    lower.Y1 = lower.Y2 - DotLength;
    LineObject &upper = SegClig2(n);
    upper.Y1 = middle - distance;
    upper.Y2 = upper.Y1 + DotLength;
}

void SevenSegmentDisplay::colourDots(quint32 color)
{
    SegClig1(1).color = color;
    SegClig2(1).color = color;
    SegClig1(2).color = color;
    SegClig2(2).color = color;
}
