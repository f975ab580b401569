// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include <termios.h>

// A pseudo-terminal whose slave side stands in a port dir as com<n>, so the
// program finds it through its normal port lookup; the owner gets the master
// side, the board's end of the line. Used by the tests, the loopback board
// and the benchmarks.
class PtyPair
{
public:
    PtyPair(const QString &portDir, int port = 3);
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }
    QString linkPath() const { return m_linkPath; }

    // The line settings as the program left them (the master reports the slave's).
    termios lineSettings() const;
    // Writes every byte to the program's side, waiting for room.
    bool write(const QByteArray &bytes);
    // The board goes away: the program's side is hung up.
    void closeMaster();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
    QString m_linkPath;
};

// Drains a master side on a thread of its own, so the program's writes and
// its close never wait on a reader that is not reading. Given a rate, it
// reads no faster than a line would bring the bytes: a pause in the
// program's sending is time lost, not made up later in a burst. It keeps
// what it reads unless told not to, so a long run need cost no memory.
class PtyReader
{
public:
    using Clock = std::chrono::steady_clock;

    explicit PtyReader(int fd, qint64 bytesPerSecond = 0, bool keep = true);
    ~PtyReader();
    PtyReader(const PtyReader &) = delete;
    PtyReader &operator=(const PtyReader &) = delete;

    qint64 count() const { return m_count; }
    qsizetype size() const { return qsizetype(m_count); }
    QByteArray received() const;
    void clear();
    Clock::time_point lastByteAt() const { return Clock::time_point(Clock::duration(m_lastByteAt.load())); }
    // Runs the Qt event loop until at least count bytes have come or the time is up.
    bool waitFor(qint64 count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Runs the Qt event loop until nothing has come for the quiet time.
    void settle(std::chrono::milliseconds quiet = std::chrono::milliseconds(100));

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
