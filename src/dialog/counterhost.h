#pragma once

#include "lines.h"

class QWidget;

// What the settings window needs from the countdown window that opened it.
// The countdown window implements it; tests use a recording stand-in.
class CounterHost
{
public:
    virtual ~CounterHost() = default;

    // The program-wide settings lines.
    virtual LignMatArray &LignMat() = 0;
    // Writes slots 0 to 11 of lines to the settings file. On failure it has
    // already told the user (message owned by owner) and returns false; the
    // file is then as it was.
    virtual bool FicEcrit(const LignMatArray &lines, QWidget *owner) = 0;
    // The pause toggle of the countdown.
    virtual void LabelAff_Click() = 0;
    // Reloads the settings file and restarts the count from the full delay.
    virtual void FormLoad() = 0;
    // Shows the countdown window again.
    virtual void showCounter() = 0;
};
