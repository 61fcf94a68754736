#pragma once

#include <array>

#include <QString>

// One slot of the settings lines: empty, a number or a text. A slot filled
// from the file always holds text; numbers only live between a default or a
// confirmed dialog and the next write. Reading a slot as a number or a text
// never fails: an empty slot is "" and 0, a text is read by numericValue().
class LineValue
{
public:
    enum class Kind
    {
        Empty,
        Number,
        Text
    };

    LineValue() = default;
    static LineValue number(double value);
    static LineValue text(const QString &value);

    Kind kind() const { return m_kind; }
    bool isEmpty() const { return m_kind == Kind::Empty; }

    // The text of a text slot, the display form of a number, "" when empty.
    QString toText() const;
    // The number of a number slot, numericValue() of a text, 0 when empty.
    double toNumber() const;

    bool operator==(const LineValue &other) const = default;

private:
    Kind m_kind = Kind::Empty;
    double m_number = 0;
    QString m_text;
};

inline constexpr int LineCount = 16;
inline constexpr int StoredLineCount = 12;

// The twelve settings lines by what they hold, in the file's order.
enum class Slot
{
    Description,     // for a person reading the file; written back as read
    Hours,           // the delay
    Minutes,
    Seconds,
    ActionName,
    TargetFile,      // a file name, optionally followed by parameters
    TargetDirectory, // ends with "/" as the settings window stores it
    Comment,
    StartBeep,       // the options: on when the line's value is 1
    FinalBeeps,
    RunAction,
    CloseAtEnd
};

// The program-wide settings lines. A setting is reached by its name; the
// position is for reading and writing the file alone, where slots 12 to 15
// catch the extra lines of an over-long file.
class LignMatArray
{
public:
    LineValue &operator[](Slot slot) { return m_values[size_t(slot)]; }
    const LineValue &operator[](Slot slot) const { return m_values[size_t(slot)]; }
    LineValue &atPosition(int position) { return m_values.at(size_t(position)); }
    const LineValue &atPosition(int position) const { return m_values.at(size_t(position)); }

    bool operator==(const LignMatArray &other) const = default;

private:
    std::array<LineValue, LineCount> m_values;
};

// The lines a first run writes: the description, a delay of 30 seconds, no
// action, no target, the default comment and every option on.
LignMatArray firstRunLines();

// Whether two sets of lines would write the same twelve lines to the file.
bool sameStoredLines(const LignMatArray &a, const LignMatArray &b);

// Numeric value of a text: blanks (space, tab, line feed) dropped wherever they
// stand, then the longest leading decimal number ("." as the point, optional
// sign and exponent). 0 when there is none, and also when the number is beyond
// the range of a double, so no caller ever sees an infinity.
double numericValue(const QString &text);

// Display form of a number as the settings file holds it: a space (or the minus
// sign), the digits, a space. Whole numbers carry no decimal point.
QString displayForm(double value);

// Pattern "0#": a number rounded to a whole one, written with at least two
// digits (7 gives "07", 123 gives "123", -5 gives "-05").
QString twoDigits(double value);

// A number rounded to the nearest whole one, a half to the even neighbour, as a
// 16-bit integer; 0 when it does not fit (so an option read that way is off).
qint16 roundToInt16(double value);

// The default texts of lines 4 and 7, set at every start.
QString defaultActionName();   // NomActionDefaut
QString defaultComment();      // ObsDefaut
// The description written in line 0 on a first run.
QString descriptionLine();
