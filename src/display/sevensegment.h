#pragma once

#include <array>
#include <vector>

#include <QString>

#include "lineobject.h"

// The six seven-segment digits (HH:MM:SS) and the two colons of the main
// window, as line objects in twips. Afficheur colours the 42 segments from a
// time text; ProcedClig moves and blinks the colon dots one step per call.
// It draws nothing itself: LineCanvas paints the lines it holds.
class SevenSegmentDisplay
{
public:
    static constexpr quint32 LitColor = 0x0000FF00;    // CoulON
    static constexpr quint32 UnlitColor = 0x00005400;  // CoulOFF
    // Digit patterns 0 to 10: character k lights Segm(k) of the cell.
    static const std::array<const char *, 11> Patterns;
    // Cells from left to right.
    static constexpr std::array<int, 6> Cells = {11, 12, 21, 22, 31, 32};

    // The colours of a lit and an unlit segment, the display's unless told otherwise.
    struct Colours
    {
        quint32 CoulON = LitColor;
        quint32 CoulOFF = UnlitColor;
    };

    // Design-time state: geometry in place, everything lit.
    SevenSegmentDisplay();

    // Colours the six digits from characters 1-2, 4-5 and 7-8 of TimeAff, then
    // calls ProcedClig. timDecr is the main window's TimDecr (0 while paused).
    // Anything but an ASCII digit, or a missing character, shows 0. A text
    // longer than eight characters that ends in ":MM:SS" shows its real
    // minutes and seconds with 99 hours (100 hours or more), or 00 hours when
    // its hours field holds a minus sign.
    void Afficheur(const QString &TimeAff, double timDecr, const Colours &colours);
    void Afficheur(const QString &TimeAff, double timDecr) { Afficheur(TimeAff, timDecr, Colours()); }
    // One step of the colon animation: moves while counting, blinks while paused.
    void ProcedClig(double timDecr, const Colours &colours);
    void ProcedClig(double timDecr) { ProcedClig(timDecr, Colours()); }

    // Segm1 ... Segm7 by role (1 to 7) and cell (11, 12, 21, 22, 31, 32).
    // A role, cell or colon number outside those ranges is a programming
    // error and throws std::out_of_range.
    LineObject &Segm(int role, int cell);
    const LineObject &Segm(int role, int cell) const;
    // SegClig1(n) and SegClig2(n), n = 1 or 2.
    LineObject &SegClig1(int n);
    LineObject &SegClig2(int n);
    const LineObject &SegClig1(int n) const;
    const LineObject &SegClig2(int n) const;

    // All 46 strokes, for painting.
    std::vector<const LineObject *> lines() const;

private:
    static int cellIndex(int cell);
    static int colonIndex(int n);
    // Reads the digit shown for one character of the time text.
    static int digitValue(const QString &text, qsizetype position);
    void colourCell(int cell, int digit, const Colours &colours);
    void placeColon(int n, int distance, int middle);
    void colourDots(quint32 color);

    std::array<std::array<LineObject, 6>, 7> m_segments; // [role-1][cellIndex]
    std::array<LineObject, 2> m_clig1;
    std::array<LineObject, 2> m_clig2;
};
