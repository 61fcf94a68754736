#pragma once

#include <QString>

class Services;

// Where the settings file lives, decided from file queries alone; nothing is
// read or written here.
struct SettingsLocation
{
    enum class Status
    {
        Found,
        NoUserFolder // the per-user folder is needed and there is none: reason says why
    };
    Status status = Status::Found;
    QString directory; // CountRep: the folder, with its final "/"
    QString fileName;  // CountFic
    QString reason;

    bool ok() const { return status == Status::Found; }
    QString path() const { return directory + fileName; } // CountRepFic
};

// The settings file's place: the file given on the command line, wherever it
// is; else "Minutrex.ini" beside the program, when the program runs from its
// own folder and that folder has the file or accepts a new one; else the same
// name in the user's configuration folder. An installed copy (the marker file,
// named relative to the program's folder, exists) always keeps its settings
// per user, so that users never share them, root included.
SettingsLocation settingsLocation(const QString &givenFile, const QString &installMarker, Services &services);
