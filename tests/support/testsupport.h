#pragma once

#include <initializer_list>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

// Helpers that several test programs share. They touch only what a test
// gives them: its own objects and the files inside its temporary folders.

// The control of that object name under parent. A missing one ends the test
// program at once: every later check would only dereference nothing.
template <class T>
T *child(const QObject *parent, const char *name)
{
    T *found = parent ? parent->findChild<T *>(QString::fromUtf8(name)) : nullptr;
    if (!found)
        qFatal("no control named %s", name);
    return found;
}

// The controls of those names under parent, in that order.
template <class T>
QList<T *> childrenNamed(const QObject *parent, std::initializer_list<const char *> names)
{
    QList<T *> found;
    for (const char *name : names)
        found << child<T>(parent, name);
    return found;
}

// Runs the deletions that closed or unloaded windows asked for.
void runDeferredDeletes();

// The whole content of a file; empty when it cannot be read.
QByteArray readBytes(const QString &path);
// Replaces a file's content and gives it mode 0644, or 0755 when executable;
// false when any of that fails.
bool writeBytes(const QString &path, const QByteArray &content, bool executable = false);

// Processor time this test program has used, in milliseconds: a bound on it
// holds however busy the rest of the machine is.
qint64 processCpuMs();
