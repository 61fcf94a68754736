#pragma once

#include <functional>
#include <memory>
#include <QDBusConnection>
#include <QList>
#include <QObject>

#include "busprobe.h"

class QThread;

// Hands out the session and system buses without the window's thread ever
// waiting on them. The D-Bus library opens a connection with no bound of its
// own: a daemon that takes it and never greets holds the caller, and with it
// every other D-Bus user in the process, with no end. So a bus is first
// greeted on a thread of its own (within the probe's bound), and opened only
// once it has just greeted back; what asked for it meanwhile waits its turn.
// It does not retry a bus found absent, nor call anything on one.
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

    // Runs use with the bus, on this object's thread: at once when it is
    // open, or once it has answered; with a connection that is not connected
    // when the bus is absent or silent.
    void use(Bus bus, std::function<void(const QDBusConnection &)> use);

    // For the program's end: waits for the greetings still on their way
    // (each within the probe's bound) and runs what waited for them.
    void settle();

private:
    enum class State
    {
        Unasked,
        Greeting, // a probe is on its way
        Open,
        Absent
    };

    struct Gate
    {
        State state = State::Unasked;
        QThread *greeting = nullptr; // while Greeting
        std::shared_ptr<BusProbe::Answer> answer;
        QList<std::function<void(const QDBusConnection &)>> waiting;
    };

    void greet(Bus bus);
    void greeted(Bus bus);
    Gate &gate(Bus bus) { return bus == Bus::Session ? m_session : m_system; }
    QDBusConnection connection(Bus bus) const;

    Gate m_session;
    Gate m_system;
};
