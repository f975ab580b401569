#pragma once

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

// Reads a master side on a thread of its own no faster than a line would
// bring the bytes: a pause in the program's sending is time lost, not made
// up later in a burst. A rate of 0 reads as fast as it can. It keeps what
// it reads only when asked to, so a long run costs no memory.
class PacedReader
{
public:
    using Clock = std::chrono::steady_clock;

    PacedReader(int fd, qint64 bytesPerSecond, bool keep);
    ~PacedReader();
    PacedReader(const PacedReader &) = delete;
    PacedReader &operator=(const PacedReader &) = delete;

    qint64 count() const { return m_count; }
    QByteArray received() const;
    Clock::time_point lastByteAt() const { return Clock::time_point(Clock::duration(m_lastByteAt.load())); }
    // Runs the Qt event loop until at least count bytes have come or the time is up.
    bool waitFor(qint64 count, std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    void run();
    qint64 allowance(Clock::time_point &last, double &credit) const;
    void record(const char *bytes, qint64 size);

    int m_fd;
    qint64 m_bytesPerSecond;
    bool m_keep;
    int m_wakePipe[2] = {-1, -1};
    mutable std::mutex m_mutex;
    QByteArray m_data;
    std::atomic<qint64> m_count{0};
    std::atomic<Clock::rep> m_lastByteAt{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
