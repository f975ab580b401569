// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

struct xcb_connection_t;

// Watches a window of another X client through the DAMAGE extension and
// notes when each change of its pixels reached the X server's clients:
// what the screen shows, seen from outside the program that draws.
class DamageProbe
{
public:
    using Clock = std::chrono::steady_clock;

    DamageProbe() = default;
    ~DamageProbe();
    DamageProbe(const DamageProbe &) = delete;
    DamageProbe &operator=(const DamageProbe &) = delete;

    // Connects to display and starts listening for changes of window.
    bool watch(const QByteArray &display, quint32 window);
    // The change times noted since the last call.
    std::vector<Clock::time_point> take();
    // The first change at or after since, waiting up to timeout for it.
    std::optional<Clock::time_point> firstAfter(Clock::time_point since, std::chrono::milliseconds timeout);

private:
    void listen();
    int extensionEvent() const;

    xcb_connection_t *m_connection = nullptr;
    int m_stopPipe[2] = {-1, -1};
    std::thread m_listener;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Clock::time_point> m_times;
};
