#include "busprobe.h"

#include "descriptorwait.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QList>
#include <QtGlobal>

namespace
{

using Clock = std::chrono::steady_clock;

// "%2f" and the like in an address value.
QByteArray unescaped(const QByteArray &value)
{
    return QByteArray::fromPercentEncoding(value);
}

struct SocketAddress
{
    sockaddr_un where{};
    socklen_t length = 0;
};

// The local socket of the first address of a D-Bus address list
// ("unix:path=..." or "unix:abstract=..."): the one the library tries first.
std::optional<SocketAddress> socketAddressOf(const QByteArray &address)
{
    const QByteArray first = address.split(';').value(0);
    if (!first.startsWith("unix:"))
        return std::nullopt;
    SocketAddress result;
    result.where.sun_family = AF_UNIX;
    for (const QByteArray &pair : first.mid(5).split(',')) {
        const qsizetype equals = pair.indexOf('=');
        const QByteArray key = pair.left(equals);
        const QByteArray value = unescaped(pair.mid(equals + 1));
        if ((key != "path" && key != "abstract") || value.size() >= qsizetype(sizeof result.where.sun_path))
            continue;
        const qsizetype offset = key == "abstract" ? 1 : 0; // abstract names start with a NUL byte
        std::memcpy(result.where.sun_path + offset, value.constData(), size_t(value.size()));
        result.length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + value.size() + (offset ? 0 : 1));
        return result;
    }
    return std::nullopt;
}

using BusProbe::Answer;

// Answers when connected; the daemon has yet to greet.
Answer connectWithin(int fd, const SocketAddress &address, Clock::time_point deadline)
{
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address.where), address.length) == 0)
        return Answer::Answers;
    if (errno != EINPROGRESS && errno != EAGAIN)
        return Answer::Unreachable;
    // A full backlog: the daemon is not taking connections.
    if (!waitForDescriptor(fd, POLLOUT, deadline))
        return Answer::Silent;
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0)
        return Answer::Unreachable;
    return Answer::Answers;
}

// The greeting of the D-Bus authentication: a NUL byte, then the mechanism
// with the user id in hexadecimal digits. Any reply, even a refusal, shows
// that the daemon is alive.
Answer greetWithin(int fd, Clock::time_point deadline)
{
    const QByteArray uid = QByteArray::number(qulonglong(::getuid()));
    const QByteArray hello = QByteArray(1, '\0') + "AUTH EXTERNAL " + uid.toHex() + "\r\n";
    if (::send(fd, hello.constData(), size_t(hello.size()), MSG_NOSIGNAL) != hello.size())
        return Answer::Unreachable;
    if (!waitForDescriptor(fd, POLLIN, deadline))
        return Answer::Silent;
    char reply[64];
    return ::recv(fd, reply, sizeof reply, 0) > 0 ? Answer::Answers : Answer::Unreachable;
}

} // namespace

namespace BusProbe
{

QByteArray sessionBusAddress()
{
    const QByteArray set = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    if (!set.isEmpty())
        return set;
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? QByteArray() : "unix:path=" + runtime + "/bus";
}

QByteArray systemBusAddress()
{
    const QByteArray set = qgetenv("DBUS_SYSTEM_BUS_ADDRESS");
    return set.isEmpty() ? QByteArrayLiteral("unix:path=/var/run/dbus/system_bus_socket") : set;
}

Answer probe(const QByteArray &address, int timeoutMs)
{
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    const std::optional<SocketAddress> where = socketAddressOf(address);
    if (!where)
        return Answer::NotProbed;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return Answer::NotProbed;
    Answer answer = connectWithin(fd, *where, deadline);
    if (answer == Answer::Answers)
        answer = greetWithin(fd, deadline);
    ::close(fd);
    return answer;
}

void silenceMuteBuses(int timeoutMs)
{
    const QByteArray session = sessionBusAddress();
    const QByteArray system = systemBusAddress();
    auto sessionAnswer = std::async(std::launch::async, [&] { return probe(session, timeoutMs); });
    const Answer systemAnswer = probe(system, timeoutMs);
    // "disabled:" is no transport: the library refuses it without trying.
    if (sessionAnswer.get() == Answer::Silent)
        qputenv("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    if (systemAnswer == Answer::Silent)
        qputenv("DBUS_SYSTEM_BUS_ADDRESS", "disabled:");
}

} // namespace BusProbe
