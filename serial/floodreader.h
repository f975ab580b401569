// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Reads a tty on a thread of its own while a flood lasts. On the event
// loop's thread each turn first reads what the kernel holds, then handles
// it, and meanwhile the kernel's few KiB fill and the sender waits: reading
// and handling take turns, and a flood comes in at well under the line's
// pace. Here the two overlap. The thread ends by itself after a quiet spell,
// on an error or hang-up (left for the port's own reader to find), or when
// stopped; it never holds more than a bound, so a slow taker makes the
// sender wait rather than the memory grow.
class FloodReader
{
public:
    // news runs on the reading thread: the first bytes since the last take came, or the thread ended.
    explicit FloodReader(std::function<void()> news);
    ~FloodReader();
    FloodReader(const FloodReader &) = delete;
    FloodReader &operator=(const FloodReader &) = delete;

    void start(int fd);
    // Waits for the thread; what it read stays to be taken.
    void stop();
    bool running() const { return m_thread.joinable(); }
    // The thread ended by itself and waits to be joined (stop()).
    bool ended() const { return m_ended.load(); }
    QByteArray take();
    qint64 buffered() const;

    // Quiet this long, the thread ends and reads go back to notifications.
    static constexpr int kQuietMs = 50;
    static constexpr qsizetype kMostHeld = 256 * 1024;

private:
    void run(int fd);

    std::function<void()> m_news;
    std::thread m_thread;
    int m_wake = -1;
    mutable std::mutex m_mutex;
    std::condition_variable m_room;
    QByteArray m_buffer;
    bool m_stopping = false;
    std::atomic<bool> m_ended{false};
    // Bytes were added since the last take and said so; guarded by the mutex.
    bool m_announced = false;
};
