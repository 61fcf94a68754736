#include "bell.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <canberra.h>

#include <QApplication>

// What the windows' thread and the bell's thread share.
struct Bell::Shared
{
    std::mutex mutex;
    std::condition_variable wake;
    int pending = 0;    // rings asked for and not yet played
    bool started = false;
    bool stop = false;
    bool stopped = false;
    std::atomic<bool> noServer{false}; // no sound server: every ring is the X bell
};

namespace
{
void ringXBell()
{
    // The X bell belongs to the windows' thread.
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

ca_context *openSound()
{
    ca_context *sound = nullptr;
    if (ca_context_create(&sound) != CA_SUCCESS)
        return nullptr;
    ca_context_change_props(sound, CA_PROP_APPLICATION_NAME, "Minutrex", nullptr);
    if (ca_context_open(sound) != CA_SUCCESS) {
        ca_context_destroy(sound);
        return nullptr;
    }
    return sound;
}

void serve(const std::shared_ptr<Bell::Shared> &shared)
{
    ca_context *sound = nullptr;
    bool tried = false;
    std::unique_lock lock(shared->mutex);
    for (;;) {
        shared->wake.wait(lock, [&] { return shared->pending > 0 || shared->stop; });
        if (shared->stop)
            break;
        int rings = shared->pending;
        shared->pending = 0;
        lock.unlock();
        if (!tried) {
            tried = true;
            sound = openSound();
            // Remembered: trying again at every beep of the last seconds
            // would only make them later.
            shared->noServer = !sound;
        }
        for (; rings > 0; --rings) {
            // Queued and left: the server plays it while the count goes on.
            // Kept in the server's cache, so the next rings are not decoded again.
            if (!sound
                || ca_context_play(sound, 0, CA_PROP_EVENT_ID, "bell", CA_PROP_CANBERRA_CACHE_CONTROL, "permanent",
                                   nullptr)
                    != CA_SUCCESS)
                ringXBell();
        }
        lock.lock();
    }
    lock.unlock();
    if (sound)
        ca_context_destroy(sound);
    lock.lock();
    shared->stopped = true;
    shared->wake.notify_all();
}
} // namespace

Bell::Bell()
    : m_shared(std::make_shared<Shared>())
{
}

Bell::~Bell()
{
    std::unique_lock lock(m_shared->mutex);
    if (!m_shared->started)
        return;
    m_shared->stop = true;
    m_shared->wake.notify_all();
    // The thread runs detached and holds its own share of the state: when
    // the server does not answer, the program ends without waiting for it.
    m_shared->wake.wait_for(lock, std::chrono::milliseconds(300), [this] { return m_shared->stopped; });
}

void Bell::ring()
{
    if (m_shared->noServer) {
        QApplication::beep();
        return;
    }
    std::lock_guard lock(m_shared->mutex);
    if (!m_shared->started) {
        m_shared->started = true;
        std::thread(serve, m_shared).detach();
    }
    ++m_shared->pending;
    m_shared->wake.notify_all();
}
