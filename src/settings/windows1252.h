#pragma once

#include <optional>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Windows-1252, exactly as Qt's "windows-1252" converter reads it and as far
// as that converter writes it: bytes 0x80 to 0x9F are the typographic
// characters of Windows, the five bytes Windows leaves unassigned (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) the control characters of the same number, and
// every other byte the character of the same number. Kept here as a table so
// that reading twelve lines of settings does not load a whole library of
// character sets before the window can show.

// Every byte gives one character; nothing fails.
QString fromWindows1252(QByteArrayView bytes);

// One byte per character, or nothing when a character has no byte in
// Windows-1252 (the file is then written otherwise).
std::optional<QByteArray> toWindows1252(QStringView text);
