#pragma once

#include <QByteArray>

// Asks a message bus, before anything else in the program may open it, whether
// it answers at all. A bus that accepts connections and never answers (a
// stopped or hung daemon) would hold every connection to it, Qt's own
// accessibility bridge included, in the window's thread with no end; a bus
// that does not answer within the bound is taken as absent for the whole run.
// Nothing here speaks D-Bus beyond the first greeting; it opens no connection
// that stays.
namespace BusProbe
{
// About a second: a bus that has not greeted back by then is taken as absent.
constexpr int DefaultTimeoutMs = 1000;

enum class Answer
{
    Answers,     // it greeted back
    Silent,      // it took the connection and said nothing in time
    Unreachable, // no such socket, refused: libraries fail on it at once anyway
    NotProbed    // an address of a kind not probed here (tcp, autolaunch, ...)
};

// Connects to the first local socket of a D-Bus address ("unix:path=..." or
// "unix:abstract=...") and offers to authenticate; waits at most timeoutMs.
Answer probe(const QByteArray &address, int timeoutMs);

// The address that libraries would use for the session or system bus, from
// the environment, with the same defaults as the D-Bus library.
QByteArray sessionBusAddress();
QByteArray systemBusAddress();

// Probes both buses side by side, within timeoutMs in all; the address of a
// silent one is replaced, in this process's environment only, by one that
// every library refuses at once.
void silenceMuteBuses(int timeoutMs);
}
