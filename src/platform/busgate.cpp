#include "busgate.h"

#include <utility>

#include <QThread>

#include "busprobe.h"

BusGate::BusGate(QObject *parent)
    : QObject(parent)
{
}

BusGate::~BusGate() = default;

void BusGate::use(Bus bus, std::function<void(const QDBusConnection *)> use)
{
    Gate &g = gate(bus);
    switch (g.state) {
    case State::Open:
    case State::Absent:
        use(g.connection ? &*g.connection : nullptr);
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
    g.state = State::Greeting;
    g.opened = std::make_shared<std::optional<QDBusConnection>>();
    if (address.isEmpty()) {
        // No bus announced: asked for one, the library would start its own.
        greeted(bus);
        return;
    }
    g.greeting = QThread::create([opened = g.opened, address, bus] {
        using BusProbe::Answer;
        const Answer answer = BusProbe::probe(address, BusProbe::DefaultTimeoutMs);
        // Just greeted back, it opens at once; an address of a kind the probe
        // does not speak is opened as it stands.
        if (answer != Answer::Answers && answer != Answer::NotProbed)
            return;
        QDBusConnection connection = bus == Bus::Session ? QDBusConnection::sessionBus() : QDBusConnection::systemBus();
        if (connection.isConnected())
            *opened = connection;
    });
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
    g.connection = std::exchange(*g.opened, std::nullopt);
    g.state = g.connection ? State::Open : State::Absent;
    const auto waiting = std::exchange(g.waiting, {});
    for (const auto &use : waiting)
        use(g.connection ? &*g.connection : nullptr);
}

bool BusGate::settle()
{
    bool settled = true;
    for (Bus bus : {Bus::Session, Bus::System}) {
        Gate &g = gate(bus);
        if (g.state != State::Greeting || !g.greeting)
            continue;
        if (g.greeting->wait(BusProbe::DefaultTimeoutMs + 1000))
            greeted(bus);
        else
            settled = false;
    }
    return settled;
}
