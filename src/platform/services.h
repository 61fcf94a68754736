#pragma once

#include <functional>

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class QWidget;

// Everything the program asks of the desktop and the operating system.
// The windows and the logic call only this, so tests swap in FakeServices
// and never sleep, beep or start anything. It does not own any window.
class Services
{
public:
    enum class Icon
    {
        Exclamation,
        Information
    };

    virtual ~Services() = default;

    // One short "bell" sound; returns at once, never waits for the sound.
    virtual void beep() = 0;

    // Message box with a single OK button, modal to its owner's window (to the
    // whole program without an owner). It is shown and this returns at once:
    // nothing waits for the user. onClosed, when set, runs once the user has
    // closed it; never if the owner went first and took the box with it.
    virtual void messageBox(QWidget *owner, const QString &text, Icon icon, const QString &title,
                            std::function<void()> onClosed = {}) = 0;

    // A question with one button per answer, shown and left like messageBox:
    // onAnswer runs with the index of the answer chosen, or -1 when the box
    // was closed without one.
    virtual void question(QWidget *owner, const QString &text, const QString &title, const QStringList &answers,
                          std::function<void(int answer)> onAnswer) = 0;

    // A file-open dialog, modal to its owner, shown and left like messageBox:
    // onChosen runs with the chosen absolute path, or an empty text on
    // cancel; not at all when the owner goes first. The filter is in Qt's
    // form ("Description (*)").
    virtual void openFileName(QWidget *owner, const QString &title, const QString &filter,
                              const QString &initialDirectory, std::function<void(const QString &chosen)> onChosen) = 0;

    // Hands a document or a directory to the desktop's associated application
    // and returns at once. verdict runs later, on the user-interface thread,
    // with the opener's exit status: false when it could not start or reported
    // a failure; an opener still running after a generous bound counts as a
    // success. The verdict is dropped when the owner is gone by then.
    virtual void openWithDesktop(QWidget *owner, const QString &absolutePath,
                                 std::function<void(bool started)> verdict) = 0;

    // Starts a program detached, without a shell, in a session of its own and
    // with the environment the program was started with; false when it cannot
    // be started. An empty working directory keeps the current one.
    virtual bool startProgram(const QString &program, const QStringList &arguments,
                              const QString &workingDirectory) = 0;

    // Directory of the running executable, without a trailing separator.
    virtual QString programDirectory() = 0;
    // Whether a new file can be created in the directory (found out by trying).
    virtual bool canCreateFileIn(const QString &directory) = 0;
    // The per-user configuration directory, created (mode 0700) if needed,
    // without a trailing separator. Empty, with a readable reason in *reason,
    // when there is no absolute base for it or it cannot be created.
    virtual QString userConfigDirectory(QString *reason) = 0;

    // Look-up among ordinary files: true only for an existing regular file.
    virtual bool isRegularFile(const QString &path) = 0;
    // Attributes query: true for any existing file or directory.
    virtual bool pathExists(const QString &path) = 0;
    // A regular file with the execute bit that starts with the ELF magic or "#!".
    virtual bool isExecutableProgram(const QString &path) = 0;

    // Milliseconds on a clock that keeps running through suspend.
    virtual qint64 clockMs() = 0;
    // Runs the window events that are waiting, then returns.
    virtual void processEvents() = 0;

    // -- Desktop session. Each call returns at once and never reports: where
    // the service is missing or refuses, nothing happens.

    // Asks the session not to suspend the machine on idle, for the reason
    // given, until releaseIdleSleep(). A new call replaces the reason.
    virtual void inhibitIdleSleep(const QString &reason) = 0;
    virtual void releaseIdleSleep() = 0;
    // One desktop notification with the program's name and icon. When
    // onActivated is set, activating the notification runs it (on the
    // user-interface thread, only while the program runs).
    virtual void notify(const QString &body, std::function<void()> onActivated) = 0;
    // The count's progress on the program's entry in the taskbar or dock:
    // the fraction of the delay gone (0 to 1) and the seconds left. Each call
    // replaces the last; clearProgress() takes it away.
    virtual void showProgress(double fraction, qint64 secondsLeft) = 0;
    virtual void clearProgress() = 0;
    // The local date and time, for texts that name a time of day.
    virtual QDateTime localDateTime() = 0;
};
