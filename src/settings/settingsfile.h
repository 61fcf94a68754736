#pragma once

#include <QByteArray>
#include <QString>

#include "lines.h"

// Reading and writing the twelve lines of "Minutrex.ini".
// The file is Windows-1252 with CRLF endings, byte for byte as the program has
// always written it; values that Windows-1252 cannot hold make the whole file
// UTF-8 behind a byte-order mark. Saving is atomic: a failed save leaves the
// old file as it was and no temporary file behind.
// These functions report failures through their result and never show anything.

inline constexpr qint64 MaxSettingsFileSize = 1024 * 1024;

// The file's bytes for slots 0 to 11.
QByteArray encodeSettings(const LignMatArray &lines);
// Stores the lines of the bytes as texts into slots 0 upward (at most 16 lines;
// later ones are ignored). Slots past the last line keep their value.
void decodeSettings(const QByteArray &bytes, LignMatArray &lines);

// FicLect: fills the lines from the file. On failure, returns false with a
// readable reason in *error and leaves the lines untouched.
bool readSettingsFile(const QString &path, LignMatArray &lines, QString *error);
// FicEcrit: replaces the file with slots 0 to 11. On failure, returns false with
// a readable reason in *error; the old file is untouched.
bool writeSettingsFile(const QString &path, const LignMatArray &lines, QString *error);

// Writes bytes to path through a synced temporary file in the same directory
// and a rename. Every write is checked. Used by writeSettingsFile.
bool writeFileAtomically(const QString &path, const QByteArray &bytes, QString *error);
