#pragma once

#include <functional>

#include <QString>
#include <QStringList>

class QWidget;
class Services;

// What a target line and its directory amount to, decided from file queries
// alone; nothing is started here.
struct ActionPlan
{
    enum class Kind
    {
        NoTarget,    // empty target line
        Missing,     // no file or directory found: programName is what the line meant
        Open,        // a document or directory for the desktop's opener
        RunProgram,  // an executable program named by the whole line, no parameters
        CommandLine  // a program followed by parameters
    };

    Kind kind = Kind::NoTarget;
    QString programName;       // the program part of the target line
    QString path;              // absolute path of what is opened or started
    QStringList arguments;     // CommandLine only
    QString workingDirectory;  // the target directory as given (empty: current)
};

// Splits the target line into program and parameters: the whole line when it
// names an existing file or directory in the directory, otherwise the shortest
// part ending before a space that names a regular file, the rest being the
// parameters.
// The directory is joined to the line as it stands, without adding a separator.
ActionPlan planAction(const QString &targetLine, const QString &directory, Services &services);

// The program part that a line naming nothing most plausibly meant: the line
// cut three characters after its first "." when that cut ends the line or
// stands before a space, otherwise the line up to its first space.
QString plausibleProgramName(const QString &targetLine);

// The title and messages of one caller: the countdown's action or the settings
// dialog's simulation. The launcher builds every message from these.
struct LaunchTexts
{
    QString title;
    QString noTarget;          // whole message for an empty target line
    QString missingSuffix;     // appended to the not-found message
    static LaunchTexts action();
    static LaunchTexts simulation();
};

// How one launch ended: started, or a failure with the message to show.
struct LaunchOutcome
{
    bool started = true;
    QString title;    // of the failure's message box
    QString message;  // empty when started
};

// Carries out the target of a line and directory: opens it or starts it. It
// shows nothing and never waits: done runs once with the outcome, at once
// when nothing is to be awaited, else when the desktop's opener gives its
// verdict (never, when owner is gone by then). owner is the window the
// opener is asked for.
void launchAction(const QString &targetLine, const QString &directory, QWidget *owner, const LaunchTexts &texts,
                  Services &services, std::function<void(const LaunchOutcome &)> done);

// The failure's exclamation box, modal to owner; nothing for a start.
void showLaunchFailure(QWidget *owner, const LaunchOutcome &outcome, Services &services);
