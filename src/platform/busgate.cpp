#include "busgate.h"

#include <utility>

#include <QThread>

namespace {

// The library's own connection, opened on first use and kept.
QDBusConnection opened(BusGate::Bus bus)
{
    return bus == BusGate::Bus::Session ? QDBusConnection::sessionBus() : QDBusConnection::systemBus();
}

} // namespace

BusGate::BusGate(QObject *parent)
    : QObject(parent)
{
}

BusGate::~BusGate() = default;

void BusGate::use(Bus bus, std::function<void(const QDBusConnection &)> use)
{
    Gate &g = gate(bus);
    switch (g.state) {
    case State::Open:
    case State::Absent:
        use(connection(bus));
        return;
    case State::Greeting:
        g.waiting.append(std::move(use));
        return;
    case State::Unasked:
        g.waiting.append(std::move(use));
        greet(bus);
        return;
    }
}

void BusGate::greet(Bus bus)
{
    Gate &g = gate(bus);
    const QByteArray address =
        bus == Bus::Session ? BusProbe::sessionBusAddress() : BusProbe::systemBusAddress();
    if (address.isEmpty()) {
        // No bus announced: asked for one, the library would start its own.
        g.state = State::Greeting;
        g.answer = std::make_shared<BusProbe::Answer>(BusProbe::Answer::Unreachable);
        greeted(bus);
        return;
    }
    auto answer = std::make_shared<BusProbe::Answer>(BusProbe::Answer::Silent);
    g.state = State::Greeting;
    g.answer = answer;
    g.greeting = QThread::create([answer, address] { *answer = BusProbe::probe(address, BusProbe::DefaultTimeoutMs); });
    // The thread deletes itself once done, whether or not this is still there.
    connect(g.greeting, &QThread::finished, g.greeting, &QObject::deleteLater);
    connect(g.greeting, &QThread::finished, this, [this, bus] { greeted(bus); });
    g.greeting->start();
}

void BusGate::greeted(Bus bus)
{
    Gate &g = gate(bus);
    if (g.state != State::Greeting)
        return; // settled already
    g.greeting = nullptr;
    using BusProbe::Answer;
    const Answer answer = *g.answer;
    // Just greeted back, it opens at once; an address of a kind the probe
    // does not speak is opened as it stands.
    const bool open = (answer == Answer::Answers || answer == Answer::NotProbed) && opened(bus).isConnected();
    g.state = open ? State::Open : State::Absent;
    const auto waiting = std::exchange(g.waiting, {});
    const QDBusConnection connected = connection(bus);
    for (const auto &use : waiting)
        use(connected);
}

QDBusConnection BusGate::connection(Bus bus) const
{
    if ((bus == Bus::Session ? m_session : m_system).state != State::Open)
        return QDBusConnection(QStringLiteral("minutrex-no-bus"));
    return opened(bus);
}

void BusGate::settle()
{
    for (Bus bus : {Bus::Session, Bus::System}) {
        Gate &g = gate(bus);
        if (g.state == State::Greeting && g.greeting && g.greeting->wait(BusProbe::DefaultTimeoutMs + 1000))
            greeted(bus);
    }
}
