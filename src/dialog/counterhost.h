#pragma once

#include "lines.h"

class QWidget;

// What the settings window needs from the countdown window that opened it.
// The countdown window implements it; tests use a recording stand-in.
class CounterHost
{
public:
    virtual ~CounterHost() = default;

    // The program-wide settings lines, as the count was loaded from them.
    virtual const LignMatArray &lines() const = 0;
    // The settings file as it is now, read again: another copy of the
    // program may have saved it since this one loaded it. The program-wide
    // lines when it cannot be read. Changes nothing.
    virtual LignMatArray linesOnFile() = 0;

    enum class Commit
    {
        Written,         // the file holds the lines; the count restarted from them
        Failed,          // the user has been told why; nothing changed
        ChangedMeanwhile // the file no longer holds basis: nothing was written
    };
    // Writes slots 0 to 11 of lines to the settings file; once written they
    // become the program's lines and the count restarts from their delay.
    // With a basis, only while the file still holds it, so that a change
    // another copy saved meanwhile is never undone unasked. On failure the
    // user has been told (message owned by owner).
    virtual Commit commitLines(const LignMatArray &lines, const LignMatArray *basis, QWidget *owner) = 0;
    // Takes the settings file as another copy left it: the count restarts
    // from what it holds, as after a confirmed settings window.
    virtual void adoptFileLines() = 0;
    // Resumes the count that opening the settings window paused.
    virtual void resumeCount() = 0;
    // Shows the countdown window again.
    virtual void showCounter() = 0;
};
