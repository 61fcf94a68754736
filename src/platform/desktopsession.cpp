#include "desktopsession.h"

#include <algorithm>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QVariantMap>

namespace {

// No answer in this time counts as a refusal; the program goes on alone.
constexpr int CallTimeoutMs = 3000;

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString NotificationsService = QStringLiteral("org.freedesktop.Notifications");
const QString NotificationsPath = QStringLiteral("/org/freedesktop/Notifications");
const QString DefaultAction = QStringLiteral("default");

// Servers that read markup would take "<" or "&" in an action's name for a tag.
QString markupEscaped(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

DesktopSession::DesktopSession(const QString &desktopEntry, QObject *parent)
    : QObject(parent)
    , m_desktopEntry(desktopEntry)
    , m_buses(new BusGate(this))
{
}

DesktopSession::~DesktopSession() = default;

void DesktopSession::inhibit(const QString &reason)
{
    m_wanted = true;
    m_reason = reason;
    m_tried = false;
    scheduleSync();
}

void DesktopSession::release()
{
    m_wanted = false;
    scheduleSync();
}

void DesktopSession::scheduleSync()
{
    // Queued, so that nothing touches a bus before the event loop runs and a
    // release followed at once by a new hold costs nothing.
    if (m_syncQueued)
        return;
    m_syncQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_syncQueued = false;
        sync();
    });
}

void DesktopSession::sync()
{
    if (m_hold == Hold::Asking)
        return; // the answer syncs again
    if (m_hold != Hold::None && (!m_wanted || m_heldReason != m_reason))
        dropHold();
    if (m_wanted && m_hold == Hold::None && !m_tried) {
        m_tried = true;
        m_heldReason = m_reason;
        m_hold = Hold::Asking;
        askPortal();
    }
}

void DesktopSession::askPortal()
{
    m_buses->use(BusGate::Bus::Session, [this](const QDBusConnection *bus) { askPortal(bus); });
}

void DesktopSession::askPortal(const QDBusConnection *bus)
{
    if (!bus) {
        askLogind();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(PortalService, QStringLiteral("/org/freedesktop/portal/desktop"),
                                                       QStringLiteral("org.freedesktop.portal.Inhibit"),
                                                       QStringLiteral("Inhibit"));
    constexpr uint Suspend = 4;
    constexpr uint Idle = 8;
    call << QString() << uint(Suspend | Idle) << QVariantMap{{QStringLiteral("reason"), m_heldReason}};
    auto *watcher = new QDBusPendingCallWatcher(bus->asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            // No portal on this session, or it offers no inhibition.
            askLogind();
            return;
        }
        m_portalRequest = reply.value().path();
        m_hold = Hold::Portal;
        granted();
    });
}

void DesktopSession::askLogind()
{
    m_buses->use(BusGate::Bus::System, [this](const QDBusConnection *bus) { askLogind(bus); });
}

void DesktopSession::askLogind(const QDBusConnection *bus)
{
    if (!bus) {
        refused();
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
    call << QStringLiteral("sleep:idle") << QStringLiteral("Minutrex") << m_heldReason << QStringLiteral("block");
    auto *watcher = new QDBusPendingCallWatcher(bus->asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
        if (reply.isError() || !reply.value().isValid()) {
            refused();
            return;
        }
        // The hold lasts as long as this descriptor stays open.
        m_logindFd = reply.value();
        m_hold = Hold::Logind;
        granted();
    });
}

void DesktopSession::granted()
{
    // The program may have paused, or changed its reason, meanwhile.
    sync();
}

void DesktopSession::refused()
{
    m_hold = Hold::None;
    sync(); // m_tried keeps a refusal from being asked again until the next hold
}

void DesktopSession::dropHold()
{
    if (m_hold == Hold::Portal) {
        QDBusMessage close = QDBusMessage::createMethodCall(PortalService, m_portalRequest,
                                                            QStringLiteral("org.freedesktop.portal.Request"),
                                                            QStringLiteral("Close"));
        // Held through the portal: the session bus is open.
        m_buses->use(BusGate::Bus::Session, [close](const QDBusConnection *bus) {
            if (bus)
                bus->send(close);
        });
        m_portalRequest.clear();
    }
    m_logindFd = QDBusUnixFileDescriptor(); // closes the descriptor: logind lets go
    m_hold = Hold::None;
}

void DesktopSession::notify(const QString &body, const QImage &icon, std::function<void()> onActivated)
{
    m_buses->use(BusGate::Bus::Session, [this, body, icon, onActivated = std::move(onActivated)](
                                            const QDBusConnection *bus) {
        if (bus)
            notify(*bus, body, icon, onActivated);
    });
}

void DesktopSession::notify(QDBusConnection bus, const QString &body, const QImage &icon,
                            const std::function<void()> &onActivated)
{
    if (!m_notificationSignals) {
        // Any sender: naming the service would make Qt look up its owner, a
        // blocking call. Only the ids this program was given are acted on.
        bus.connect(QString(), NotificationsPath, NotificationsService, QStringLiteral("ActionInvoked"), this,
                    SLOT(onActionInvoked(uint, QString)));
        bus.connect(QString(), NotificationsPath, NotificationsService, QStringLiteral("NotificationClosed"), this,
                    SLOT(onNotificationClosed(uint, uint)));
        m_notificationSignals = true;
    }

    // The server's capabilities first: a server that reads markup gets the
    // body escaped, any other gets it as it is.
    QDBusMessage caps = QDBusMessage::createMethodCall(NotificationsService, NotificationsPath, NotificationsService,
                                                       QStringLiteral("GetCapabilities"));
    auto *asking = new QDBusPendingCallWatcher(bus.asyncCall(caps, CallTimeoutMs), this);
    m_pendingNotifications.append(asking);
    connect(asking, &QDBusPendingCallWatcher::finished, this,
            [this, bus, body, icon, onActivated](QDBusPendingCallWatcher *w) {
                w->deleteLater();
                m_pendingNotifications.removeOne(w);
                const QDBusPendingReply<QStringList> capabilities = *w;
                if (capabilities.isError())
                    return; // no notification service
                const bool markup = capabilities.value().contains(QStringLiteral("body-markup"));

                // The installed desktop entry's name, as the program declared it.
                QVariantMap hints{{QStringLiteral("desktop-entry"), m_desktopEntry}};
                if (!icon.isNull()) {
                    const QImage rgba = icon.convertToFormat(QImage::Format_RGBA8888);
                    QDBusArgument image;
                    image.beginStructure();
                    image << rgba.width() << rgba.height() << int(rgba.bytesPerLine()) << true << 8 << 4
                          << QByteArray(reinterpret_cast<const char *>(rgba.constBits()), rgba.sizeInBytes());
                    image.endStructure();
                    hints.insert(QStringLiteral("image-data"), QVariant::fromValue(image));
                }
                QStringList actions;
                if (onActivated)
                    actions << DefaultAction << tr("Afficher");

                QDBusMessage call = QDBusMessage::createMethodCall(NotificationsService, NotificationsPath,
                                                                   NotificationsService, QStringLiteral("Notify"));
                call << QStringLiteral("Minutrex") << uint(0) << QStringLiteral("minutrex")
                     << QStringLiteral("Minutrex") << (markup ? markupEscaped(body) : body) << actions << hints
                     << int(-1);
                auto *sending = new QDBusPendingCallWatcher(bus.asyncCall(call, CallTimeoutMs), this);
                m_pendingNotifications.append(sending);
                connect(sending, &QDBusPendingCallWatcher::finished, this,
                        [this, onActivated](QDBusPendingCallWatcher *sent) {
                            sent->deleteLater();
                            m_pendingNotifications.removeOne(sent);
                            const QDBusPendingReply<uint> id = *sent;
                            if (!id.isError() && onActivated)
                                m_activations.insert(id.value(), onActivated);
                        });
            });
}

void DesktopSession::showProgress(double fraction, qint64 secondsLeft)
{
    m_progressShown = true;
    // The badge counts whole minutes, the last one included: a dock shows
    // it as a bare number beside the icon.
    const qint64 minutesLeft = (std::max<qint64>(0, secondsLeft) + 59) / 60;
    sendLauncherEntry({{QStringLiteral("progress"), std::clamp(fraction, 0.0, 1.0)},
                       {QStringLiteral("progress-visible"), true},
                       {QStringLiteral("count"), minutesLeft},
                       {QStringLiteral("count-visible"), true}});
}

void DesktopSession::clearProgress()
{
    if (!m_progressShown)
        return;
    m_progressShown = false;
    sendLauncherEntry({{QStringLiteral("progress"), 0.0},
                       {QStringLiteral("progress-visible"), false},
                       {QStringLiteral("count"), qint64(0)},
                       {QStringLiteral("count-visible"), false}});
}

void DesktopSession::sendLauncherEntry(const QVariantMap &properties)
{
    // A signal, not a call: nothing answers it, nothing waits.
    QDBusMessage update = QDBusMessage::createSignal(QStringLiteral("/org/example/minutrex/LauncherEntry"),
                                                     QStringLiteral("com.canonical.Unity.LauncherEntry"),
                                                     QStringLiteral("Update"));
    update << QStringLiteral("application://%1.desktop").arg(m_desktopEntry) << properties;
    m_buses->use(BusGate::Bus::Session, [update](const QDBusConnection *bus) {
        if (bus)
            bus->send(update);
    });
}

void DesktopSession::onActionInvoked(uint id, const QString &actionKey)
{
    if (actionKey != DefaultAction)
        return;
    const auto activation = m_activations.value(id);
    if (activation)
        activation();
}

void DesktopSession::onNotificationClosed(uint id, uint)
{
    m_activations.remove(id);
}

bool DesktopSession::finish()
{
    // A notification sent just before the end must leave before the program
    // does: first the bus it waits for, within the greeting's bound, then
    // each call, within its own timeout.
    const bool settled = m_buses->settle();
    while (!m_pendingNotifications.isEmpty()) {
        QDBusPendingCallWatcher *watcher = m_pendingNotifications.first();
        watcher->waitForFinished(); // runs its handler, which may queue the next step
        m_pendingNotifications.removeOne(watcher);
    }
    clearProgress();
    m_wanted = false;
    if (m_hold != Hold::Asking)
        dropHold();
    return settled;
}
