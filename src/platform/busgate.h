#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <QDBusConnection>
#include <QList>
#include <QObject>

class QThread;

// Hands out the session and system buses without the window's thread ever
// waiting on them. The D-Bus library opens a connection with no bound of its
// own: a daemon that takes it and never greets holds the caller with no end,
// and Qt's registry of connections stays locked meanwhile. So a bus is
// greeted, and opened only once it has greeted back, on a thread of its own;
// the window's thread only ever gets the connection that thread obtained.
// What asked for a bus meanwhile waits its turn. It does not retry a bus found
// absent, nor call anything on one.
class BusGate final : public QObject
{
    Q_OBJECT

public:
    enum class Bus
    {
        Session,
        System
    };

    explicit BusGate(QObject *parent = nullptr);
    ~BusGate() override;

    // Runs use on this object's thread with the open bus, or with none when
    // the bus is absent or silent: at once when that is known, else once the
    // bus has answered.
    void use(Bus bus, std::function<void(const QDBusConnection *bus)> use);

    // For the program's end: waits for the greetings still on their way
    // (each within the probe's bound) and runs what waited for them. False
    // when a bus greeted and then held its opening: the D-Bus library would
    // then hold the program's exit too.
    bool settle();

private:
    enum class State
    {
        Unasked,
        Greeting, // greeted and opened on the thread `greeting`
        Open,
        Absent
    };

    struct Gate
    {
        State state = State::Unasked;
        QThread *greeting = nullptr; // while Greeting
        // Written by the greeting's thread, read once it has finished.
        std::shared_ptr<std::optional<QDBusConnection>> opened;
        std::optional<QDBusConnection> connection; // while Open
        QList<std::function<void(const QDBusConnection *)>> waiting;
    };

    void greet(Bus bus);
    void greeted(Bus bus);
    Gate &gate(Bus bus) { return bus == Bus::Session ? m_session : m_system; }

    Gate m_session;
    Gate m_system;
};
