#pragma once

#include <functional>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QList>

#include "services.h"

// Recording stand-in for Services in tests: remembers every call, answers
// from fields the test sets, and touches neither the screen nor the system.
// Its clock only moves when the test moves it.
class FakeServices final : public Services
{
public:
    struct Message
    {
        QWidget *owner = nullptr;
        QString text;
        Icon icon = Icon::Exclamation;
        QString title;
        std::function<void()> onClosed;
    };
    struct FileDialog
    {
        QWidget *owner = nullptr;
        QString title;
        QString filter;
        QString initialDirectory;
    };
    struct Opened
    {
        QWidget *owner = nullptr;
        QString path;
        // Set while the verdict is held back (holdOpenVerdicts).
        std::function<void(bool)> verdict;
        QPointer<QWidget> guard;
        bool hadOwner = false;
    };
    struct Started
    {
        QString program;
        QStringList arguments;
        QString workingDirectory;
    };

    void beep() override;
    void messageBox(QWidget *owner, const QString &text, Icon icon, const QString &title,
                    std::function<void()> onClosed = {}) override;
    void question(QWidget *owner, const QString &text, const QString &title, const QStringList &answers,
                  std::function<void(int answer)> onAnswer) override;
    void openFileName(QWidget *owner, const QString &title, const QString &filter, const QString &initialDirectory,
                      std::function<void(const QString &chosen)> onChosen) override;
    void openWithDesktop(QWidget *owner, const QString &absolutePath,
                         std::function<void(bool started)> verdict) override;
    bool startProgram(const QString &program, const QStringList &arguments,
                      const QString &workingDirectory) override;
    QString programDirectory() override;
    bool canCreateFileIn(const QString &directory) override;
    QString userConfigDirectory(QString *reason) override;
    bool isRegularFile(const QString &path) override;
    bool pathExists(const QString &path) override;
    bool isExecutableProgram(const QString &path) override;
    qint64 clockMs() override;
    void processEvents() override;

    void inhibitIdleSleep(const QString &reason) override;
    void releaseIdleSleep() override;
    void notify(const QString &body, std::function<void()> onActivated) override;
    void showProgress(double fraction, qint64 secondsLeft) override;
    void clearProgress() override;
    QDateTime localDateTime() override;

    // Recorded calls.
    struct Question
    {
        QWidget *owner = nullptr;
        QString text;
        QString title;
        QStringList answers;
        std::function<void(int)> onAnswer;
    };
    int beeps = 0;
    QList<Message> messages;
    QList<Question> questions;
    QList<FileDialog> fileDialogs;
    QList<Opened> opened;
    QList<Started> started;
    int processEventsCalls = 0;

    // Recorded desktop-session calls.
    struct Notification
    {
        QString body;
        std::function<void()> onActivated;
    };
    QStringList sleepInhibitions;             // reasons, one per inhibitIdleSleep()
    int sleepReleases = 0;
    bool idleSleepInhibited = false;          // held now
    QList<Notification> notifications;
    struct Progress
    {
        qint64 atMs = 0; // clockMs() when it was shown
        double fraction = 0;
        qint64 secondsLeft = 0;
    };
    QList<Progress> progress;                 // one per showProgress()
    int progressClears = 0;
    QDateTime localNow = QDateTime(QDate(2026, 3, 14), QTime(9, 30, 0));

    // Answers.
    QString fileDialogResult;                 // returned by openFileName
    bool openResult = true;                   // openWithDesktop's verdict
    // Holds the opener's verdicts back until releaseOpen(); otherwise each
    // verdict is given before openWithDesktop returns.
    bool holdOpenVerdicts = false;
    bool startResult = true;                  // returned by startProgram
    QString programDir = QStringLiteral("/opt/minutrex");
    bool programDirWritable = true;
    QStringList creationTests;                // directories canCreateFileIn was asked about
    QString userConfigDir = QStringLiteral("/home/u/.config/Minutrex");
    QSet<QString> regularFiles;               // paths that are regular files
    QSet<QString> directories;                // paths that are directories
    QSet<QString> executablePrograms;         // regular files that are programs
    qint64 now = 0;                           // clockMs()

    // Gives the held verdict of opened[index]; dropped, as by the real
    // services, when its owner is gone. False when there was none to give.
    bool releaseOpen(qsizetype index, bool started);
    // The user closes messages[index]: its onClosed runs, once.
    void closeMessage(qsizetype index);
    // The user answers questions[index] (-1: closes it without answering).
    void answerQuestion(qsizetype index, int answer);

    // Run inside processEvents(), and inside messageBox() after recording,
    // to play the user acting while the program waits.
    std::function<void()> onProcessEvents;
    std::function<void(const Message &)> onMessageBox;
};
