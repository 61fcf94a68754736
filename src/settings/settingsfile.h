#pragma once

#include <QByteArray>
#include <QString>

#include "lines.h"

// Reading and writing the twelve lines of "Minutrex.ini".
// The file is Windows-1252 with CRLF endings, byte for byte as the program has
// always written it; values that Windows-1252 cannot hold make the whole file
// UTF-8 behind a byte-order mark. Whatever stands at the end of a chain of
// links is what is read and written; anything there that is not a regular
// file is refused and left alone. Saving never leaves a partial file: a failed
// or interrupted save leaves the old file as it was.
// These functions report failures through their result and never show anything.

inline constexpr qint64 MaxSettingsFileSize = 1024 * 1024;

// The file's bytes for slots 0 to 11. A carriage return inside a value (with
// the line feed after it, if any) becomes one space, since it would end the
// line. Empty when the lines cannot be stored so that they read back as they
// are: never silently altered.
QByteArray encodeSettings(const LignMatArray &lines);
// Stores the lines of the bytes as texts into slots 0 upward (at most 16 lines;
// later ones are ignored). Slots past the last line keep their value.
// Pure: no file system, so it can be run on any bytes in memory.
void decodeSettings(const QByteArray &bytes, LignMatArray &lines);

// What reading the settings file found.
struct SettingsRead
{
    enum class Status
    {
        Read,
        Missing,        // nothing at the end of the path (a dangling link included)
        NotRegularFile, // a folder, a pipe, a socket or a device
        TooLarge,
        Unreadable
    };
    Status status = Status::Unreadable;
    QString reason; // readable, for every status but Read
    bool ok() const { return status == Status::Read; }
};

// What saving the settings file did.
struct SettingsWrite
{
    enum class Status
    {
        Written,
        NotStorable,    // a value cannot be stored so that it reads back as it is
        TooLarge,       // the file would be refused when read again
        NotRegularFile, // a folder, a pipe, a socket or a device at the end of the path
        ReadOnly,       // the file has no write permission: it is left as it is
        FolderRefuses,  // the folder takes no new file
        Failed          // a system call failed; the reason says why
    };
    Status status = Status::Failed;
    QString reason; // readable, for every status but Written
    bool ok() const { return status == Status::Written; }
};

// FicLect: fills the lines from the file. Opens without blocking and judges
// what it opened, not the name. On failure the lines are untouched.
SettingsRead readSettingsFile(const QString &path, LignMatArray &lines);
// FicEcrit: replaces the file with slots 0 to 11. On failure nothing on disk
// has changed.
SettingsWrite writeSettingsFile(const QString &path, const LignMatArray &lines);

// Writes bytes to what path names at the end of its links, through an unnamed
// synced temporary file in the same directory and a rename. Every write is
// checked. Used by writeSettingsFile.
SettingsWrite writeFileAtomically(const QString &path, const QByteArray &bytes);

// Removes the temporaries that a save killed between linking its new file in
// and renaming it left beside the file. Start-up and every save call it.
void removeStaleTemporaries(const QString &path);
