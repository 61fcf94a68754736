#include "lines.h"

#include <charconv>
#include <cmath>
#include <limits>

LineValue LineValue::number(double value)
{
    LineValue v;
    v.m_kind = Kind::Number;
    v.m_number = value;
    return v;
}

LineValue LineValue::text(const QString &value)
{
    LineValue v;
    v.m_kind = Kind::Text;
    v.m_text = value;
    return v;
}

QString LineValue::toText() const
{
    switch (m_kind) {
    case Kind::Empty:
        return {};
    case Kind::Number:
        return displayForm(m_number);
    case Kind::Text:
        return m_text;
    }
    return {};
}

double LineValue::toNumber() const
{
    switch (m_kind) {
    case Kind::Empty:
        return 0;
    case Kind::Number:
        return m_number;
    case Kind::Text:
        return numericValue(m_text);
    }
    return 0;
}

namespace
{
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Length of the run of ASCII digits at pos.
qsizetype digitRun(const QByteArray &s, qsizetype pos)
{
    qsizetype n = 0;
    while (pos + n < s.size() && isDigit(s[pos + n]))
        ++n;
    return n;
}

// The text without its blanks. Only ASCII can be part of a number; anything
// else ends it, so every other character stands as one byte that no number holds.
QByteArray withoutBlanks(const QString &text)
{
    QByteArray s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        s.append(c.unicode() < 128 ? char(c.unicode()) : '\x7f');
    }
    return s;
}

// End of the digits with an optional point that start at pos ("12", "1.5",
// "5.", ".5"); pos itself when there is no digit.
qsizetype mantissaEnd(const QByteArray &s, qsizetype pos)
{
    const qsizetype intDigits = digitRun(s, pos);
    qsizetype end = pos + intDigits;
    if (end < s.size() && s[end] == '.') {
        const qsizetype fracDigits = digitRun(s, end + 1);
        if (intDigits > 0 || fracDigits > 0)
            end += 1 + fracDigits;
    }
    return end;
}

// End of the exponent ("e5", "E-3") at pos; pos itself when there is none.
qsizetype exponentEnd(const QByteArray &s, qsizetype pos)
{
    if (pos >= s.size() || (s[pos] != 'e' && s[pos] != 'E'))
        return pos;
    qsizetype e = pos + 1;
    if (e < s.size() && (s[e] == '+' || s[e] == '-'))
        ++e;
    const qsizetype expDigits = digitRun(s, e);
    return expDigits > 0 ? e + expDigits : pos;
}

// The value of an unsigned decimal number known to be well formed.
double unsignedValue(const char *first, const char *last)
{
    double value = 0;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    // Out of range: underflow reads as 0 anyway; overflow too, so that no
    // caller has to cope with an infinite delay or option.
    if (ec != std::errc() || ptr == first)
        return 0;
    return value;
}
}

double numericValue(const QString &text)
{
    const QByteArray s = withoutBlanks(text);
    // from_chars takes no sign: it is read here.
    const bool signedNumber = !s.isEmpty() && (s[0] == '+' || s[0] == '-');
    const qsizetype start = signedNumber ? 1 : 0;
    const qsizetype mantissa = mantissaEnd(s, start);
    if (mantissa == start)
        return 0;
    const qsizetype end = exponentEnd(s, mantissa);
    const double value = unsignedValue(s.constData() + start, s.constData() + end);
    return signedNumber && s[0] == '-' ? -value : value;
}

QString displayForm(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral(" 0 ");
    QString digits;
    const double magnitude = std::fabs(value);
    if (magnitude == std::floor(magnitude) && magnitude < 1e15)
        digits = QString::number(magnitude, 'f', 0);
    else
        digits = QString::number(magnitude, 'g', 15);
    return (value < 0 ? QStringLiteral("-") : QStringLiteral(" ")) + digits + u' ';
}

QString twoDigits(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("00");
    const double rounded = std::round(value);
    // The time fields, three times a second: no number formatting for them.
    if (rounded >= 0 && rounded < 100) {
        const int whole = int(rounded);
        const QChar digits[2] = {QChar(u'0' + whole / 10), QChar(u'0' + whole % 10)};
        return QString(digits, 2);
    }
    QString digits = QString::number(std::fabs(rounded), 'f', 0);
    if (digits.size() < 2)
        digits.prepend(u'0');
    return rounded < 0 ? u'-' + digits : digits;
}

qint16 roundToInt16(double value)
{
    if (!std::isfinite(value))
        return 0;
    const double rounded = std::nearbyint(value); // default mode: half to even
    if (rounded < std::numeric_limits<qint16>::min() || rounded > std::numeric_limits<qint16>::max())
        return 0;
    return qint16(rounded);
}

QString defaultActionName()
{
    return QStringLiteral("(aucune action)");
}

QString defaultComment()
{
    return QStringLiteral("         CLIC sur l'heure : Pause       DOUBLE-CLIC : Réglages Paramètres");
}

QString descriptionLine()
{
    return QStringLiteral(
        "Descrip.Lignes : 1-Heures,2-Minutes,3-Secondes,4-Action,5-Fichier,6-Path,7-Observ,8/9/10-Options");
}

LignMatArray firstRunLines()
{
    LignMatArray lines;
    lines[Slot::Description] = LineValue::text(descriptionLine());
    lines[Slot::Hours] = LineValue::number(0);
    lines[Slot::Minutes] = LineValue::number(0);
    lines[Slot::Seconds] = LineValue::number(30);
    lines[Slot::ActionName] = LineValue::text(defaultActionName());
    lines[Slot::TargetFile] = LineValue::text(QString());
    lines[Slot::TargetDirectory] = LineValue::text(QString());
    lines[Slot::Comment] = LineValue::text(defaultComment());
    for (Slot option : {Slot::StartBeep, Slot::FinalBeeps, Slot::RunAction, Slot::CloseAtEnd})
        lines[option] = LineValue::number(1);
    return lines;
}

bool sameStoredLines(const LignMatArray &a, const LignMatArray &b)
{
    for (int i = 0; i < StoredLineCount; ++i) {
        if (a.atPosition(i).toText() != b.atPosition(i).toText())
            return false;
    }
    return true;
}
