#include "fakeservices.h"

#include <QWidget>

void FakeServices::beep()
{
    ++beeps;
}

void FakeServices::messageBox(QWidget *owner, const QString &text, Icon icon, const QString &title,
                              std::function<void()> onClosed)
{
    messages.append({owner, text, icon, title, std::move(onClosed)});
    if (onMessageBox)
        onMessageBox(messages.last());
}

void FakeServices::question(QWidget *owner, const QString &text, const QString &title, const QStringList &answers,
                            std::function<void(int answer)> onAnswer)
{
    questions.append({owner, text, title, answers, std::move(onAnswer)});
}

void FakeServices::answerQuestion(qsizetype index, int answer)
{
    if (index < 0 || index >= questions.size() || !questions[index].onAnswer)
        return;
    const auto onAnswer = std::move(questions[index].onAnswer);
    questions[index].onAnswer = nullptr;
    onAnswer(answer);
}

void FakeServices::openFileName(QWidget *owner, const QString &title, const QString &filter,
                                const QString &initialDirectory, std::function<void(const QString &chosen)> onChosen)
{
    fileDialogs.append({owner, title, filter, initialDirectory});
    // Chosen at once: the real dialog's choice comes later, through the same call.
    onChosen(fileDialogResult);
}

void FakeServices::openWithDesktop(QWidget *owner, const QString &absolutePath,
                                   std::function<void(bool started)> verdict)
{
    opened.append({owner, absolutePath, std::move(verdict), owner, owner != nullptr});
    if (!holdOpenVerdicts)
        releaseOpen(opened.size() - 1, openResult);
}

bool FakeServices::releaseOpen(qsizetype index, bool started)
{
    if (index < 0 || index >= opened.size() || !opened[index].verdict)
        return false;
    const auto verdict = std::move(opened[index].verdict);
    opened[index].verdict = nullptr;
    if (opened[index].hadOwner && !opened[index].guard)
        return true; // its owner is gone: dropped, as the real one does
    verdict(started);
    return true;
}

void FakeServices::closeMessage(qsizetype index)
{
    if (index < 0 || index >= messages.size() || !messages[index].onClosed)
        return;
    const auto onClosed = std::move(messages[index].onClosed);
    messages[index].onClosed = nullptr;
    onClosed();
}

bool FakeServices::startProgram(const QString &program, const QStringList &arguments,
                                const QString &workingDirectory)
{
    started.append({program, arguments, workingDirectory});
    return startResult;
}

QString FakeServices::programDirectory()
{
    return programDir;
}

bool FakeServices::canCreateFileIn(const QString &directory)
{
    creationTests.append(directory);
    return programDirWritable;
}

QString FakeServices::userConfigDirectory(QString *reason)
{
    if (userConfigDir.isEmpty() && reason)
        *reason = QStringLiteral("no user configuration directory");
    return userConfigDir;
}

bool FakeServices::isRegularFile(const QString &path)
{
    return regularFiles.contains(path);
}

bool FakeServices::pathExists(const QString &path)
{
    return regularFiles.contains(path) || directories.contains(path);
}

bool FakeServices::isExecutableProgram(const QString &path)
{
    return regularFiles.contains(path) && executablePrograms.contains(path);
}

qint64 FakeServices::clockMs()
{
    return now;
}

void FakeServices::processEvents()
{
    ++processEventsCalls;
    if (onProcessEvents)
        onProcessEvents();
}

void FakeServices::inhibitIdleSleep(const QString &reason)
{
    sleepInhibitions.append(reason);
    idleSleepInhibited = true;
}

void FakeServices::releaseIdleSleep()
{
    ++sleepReleases;
    idleSleepInhibited = false;
}

void FakeServices::notify(const QString &body, std::function<void()> onActivated)
{
    notifications.append({body, std::move(onActivated)});
}

void FakeServices::showProgress(double fraction, qint64 secondsLeft)
{
    progress.append({now, fraction, secondsLeft});
}

void FakeServices::clearProgress()
{
    ++progressClears;
}

QDateTime FakeServices::localDateTime()
{
    return localNow;
}
