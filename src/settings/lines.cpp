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
}

double numericValue(const QString &text)
{
    // Only ASCII can be part of a number; anything else ends it, so Latin-1
    // narrowing of the other characters is harmless.
    QByteArray s;
    s.reserve(text.size());
    for (QChar c : text) {
        if (c == u' ' || c == u'\t' || c == u'\n')
            continue;
        s.append(c.unicode() < 128 ? char(c.unicode()) : '\x7f');
    }

    qsizetype pos = 0;
    bool negative = false;
    if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) {
        negative = s[pos] == '-';
        ++pos;
    }
    const qsizetype start = pos;
    const qsizetype intDigits = digitRun(s, pos);
    pos += intDigits;
    qsizetype fracDigits = 0;
    if (pos < s.size() && s[pos] == '.') {
        fracDigits = digitRun(s, pos + 1);
        if (intDigits > 0 || fracDigits > 0)
            pos += 1 + fracDigits;
    }
    if (intDigits == 0 && fracDigits == 0)
        return 0;
    if (pos < s.size() && (s[pos] == 'e' || s[pos] == 'E')) {
        qsizetype e = pos + 1;
        if (e < s.size() && (s[e] == '+' || s[e] == '-'))
            ++e;
        const qsizetype expDigits = digitRun(s, e);
        if (expDigits > 0)
            pos = e + expDigits;
    }

    // from_chars takes no leading '+', hence the sign handled above.
    double value = 0;
    const char *first = s.constData() + start;
    const char *last = s.constData() + pos;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ec == std::errc::result_out_of_range) {
        // Underflow reads as 0 anyway; overflow too, so that no caller has to
        // cope with an infinite delay or option.
        return 0;
    }
    if (ec != std::errc() || ptr == first)
        return 0;
    return negative ? -value : value;
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
