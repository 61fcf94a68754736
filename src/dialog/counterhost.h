#pragma once

#include "lines.h"

class QWidget;

// What the settings window needs from the countdown window that opened it.
// The countdown window implements it; tests use a recording stand-in.
class CounterHost
{
public:
    virtual ~CounterHost() = default;

    // The program-wide settings lines, to fill the window from.
    virtual const LignMatArray &lines() const = 0;
    // Writes slots 0 to 11 of lines to the settings file; once written they
    // become the program's lines and the count restarts from their delay.
    // On failure the user has been told (message owned by owner), the file
    // and the lines are as they were, and the result is false.
    virtual bool commitLines(const LignMatArray &lines, QWidget *owner) = 0;
    // Resumes the count that opening the settings window paused.
    virtual void resumeCount() = 0;
    // Shows the countdown window again.
    virtual void showCounter() = 0;
};
