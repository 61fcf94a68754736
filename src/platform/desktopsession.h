#pragma once

#include <functional>
#include <QDBusUnixFileDescriptor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include "busgate.h"

class QDBusConnection;
class QDBusPendingCallWatcher;

// Talks to the desktop session over D-Bus: holds off idle suspend (through the
// desktop portal on the session bus, else logind on the system bus) and shows
// notifications. Every call is asynchronous with a short timeout; a missing
// bus or service, or a refusal, is silently ignored. A bus is opened only
// after the event loop runs, and only once it has just greeted back (the bus
// gate): a daemon that takes connections and never answers is no bus here.
// It shows no window.
class DesktopSession final : public QObject
{
    Q_OBJECT

public:
    // desktopEntry: the id of the program's desktop entry, which names it
    // to the notification server and the dock.
    explicit DesktopSession(const QString &desktopEntry, QObject *parent = nullptr);
    ~DesktopSession() override;

    void inhibit(const QString &reason);
    void release();
    void notify(const QString &body, const QImage &icon, std::function<void()> onActivated);
    // The count's progress on the program's launcher entry, for the docks and
    // task managers that read the LauncherEntry signals.
    void showProgress(double fraction, qint64 secondsLeft);
    void clearProgress();

    // Waits, each at most its call's timeout, for the notifications still on
    // their way, and lets go of any hold: the program is about to end. False
    // when a bus held its opening: the program must then end without the
    // D-Bus library's own farewell, which would wait on it.
    bool finish();

private:
    enum class Hold
    {
        None,    // nothing held, nothing asked
        Asking,  // a request is on its way
        Portal,  // held by the portal request m_portalRequest
        Logind   // held by the file descriptor m_logindFd
    };

    void scheduleSync();
    void sync();
    // Each asks once its bus is open or known absent (none).
    void askPortal();
    void askPortal(const QDBusConnection *bus);
    void askLogind();
    void askLogind(const QDBusConnection *bus);
    void notify(QDBusConnection bus, const QString &body, const QImage &icon,
                const std::function<void()> &onActivated);
    void granted();
    void refused();
    void dropHold();

private Q_SLOTS:
    // Signals of the notification server.
    void onActionInvoked(uint id, const QString &actionKey);
    void onNotificationClosed(uint id, uint reason);

private:

    void sendLauncherEntry(const QVariantMap &properties);

    QString m_desktopEntry;
    BusGate *m_buses;
    bool m_progressShown = false;

    // What the program wants.
    bool m_wanted = false;
    QString m_reason;
    bool m_tried = false; // asked once for this want: a refusal is not repeated
    bool m_syncQueued = false;

    // What is held.
    Hold m_hold = Hold::None;
    QString m_heldReason;
    QString m_portalRequest;
    QDBusUnixFileDescriptor m_logindFd;

    bool m_notificationSignals = false;
    QHash<uint, std::function<void()>> m_activations;
    QList<QDBusPendingCallWatcher *> m_pendingNotifications;
};
