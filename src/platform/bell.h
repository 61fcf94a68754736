#pragma once

#include <memory>

// The desktop's "bell" event sound, played from a thread of its own: opening
// the sound server's connection and asking it to play may take as long as the
// server likes, and a server that has stopped answering must not hold the
// windows. Where no sound server answers, the X bell rings instead, from the
// windows' thread. Each ring returns at once.
class Bell
{
public:
    Bell();
    // Lets the thread go: waits a moment for it, never for a server that
    // does not answer.
    ~Bell();
    Bell(const Bell &) = delete;
    Bell &operator=(const Bell &) = delete;

    void ring();

    // What the windows' thread and the bell's thread share; opaque.
    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};
