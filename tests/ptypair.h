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
// its close never wait on a reader that is not reading.
class PtyReader
{
public:
    explicit PtyReader(int fd);
    ~PtyReader();
    PtyReader(const PtyReader &) = delete;
    PtyReader &operator=(const PtyReader &) = delete;

    QByteArray received() const;
    qsizetype size() const;
    void clear();
    // Runs the Qt event loop until at least count bytes have come or the time is up.
    bool waitFor(qsizetype count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Runs the Qt event loop until nothing has come for the quiet time.
    void settle(std::chrono::milliseconds quiet = std::chrono::milliseconds(100));

private:
    void run();

    int m_fd;
    int m_wakePipe[2] = {-1, -1};
    mutable std::mutex m_mutex;
    QByteArray m_data;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
