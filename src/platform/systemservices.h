#pragma once

#include <memory>

#include <QProcessEnvironment>

#include "bell.h"
#include "services.h"

class DesktopSession;

// The real desktop and operating system behind Services: the desktop's bell,
// Qt's message box and file dialog, xdg-open, detached process starts and
// file queries, and the desktop session over D-Bus. It keeps no state but the
// bell and the session, and shows nothing unless asked to.
class SystemServices final : public Services
{
public:
    // An opener still running after openerBoundMs counts as started.
    explicit SystemServices(int openerBoundMs = DefaultOpenerBoundMs);
    // Generous: a loaded machine has taken over five seconds to report that a
    // document has no application.
    static constexpr int DefaultOpenerBoundMs = 30000;
    ~SystemServices() override;
    SystemServices(const SystemServices &) = delete;
    SystemServices &operator=(const SystemServices &) = delete;

    void beep() override;
    // What every started program gets as its environment: the one the program
    // was started with, before it changed its own (by default, the
    // environment at construction).
    void setChildEnvironment(const QProcessEnvironment &environment) { m_childEnvironment = environment; }

    // Lets the desktop session finish before the program ends: notifications
    // on their way leave (each waited for at most its call's short timeout),
    // holds are let go. The windows are gone by then. False when a bus held
    // its opening: the program must then end at once (_exit), as the D-Bus
    // library's own farewell would wait on that bus.
    bool finishSession();

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
    // The same clock, readable before any object exists: main() reads it
    // first of all, as the moment the program was launched.
    static qint64 bootClockMs();
    void processEvents() override;

    void inhibitIdleSleep(const QString &reason) override;
    void releaseIdleSleep() override;
    void notify(const QString &body, std::function<void()> onActivated) override;
    void showProgress(double fraction, qint64 secondsLeft) override;
    void clearProgress() override;
    QDateTime localDateTime() override;

private:
    DesktopSession &session();

    std::unique_ptr<DesktopSession> m_session; // made at first use
    QProcessEnvironment m_childEnvironment;
    int m_openerBoundMs;
    Bell m_bell;
};
