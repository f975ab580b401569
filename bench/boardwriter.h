// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <atomic>
#include <thread>

// The board's side of the line for as long as it lives: writes a repeating
// stream to the pseudo-terminal's master at full speed on a thread of its
// own. It starts held, and holds again whenever asked.
class BoardWriter
{
public:
    BoardWriter(int fd, QByteArray cycle);
    ~BoardWriter();
    BoardWriter(const BoardWriter &) = delete;
    BoardWriter &operator=(const BoardWriter &) = delete;

    void hold() { m_pause = true; }
    void resume() { m_pause = false; }
    qint64 sent() const { return m_sent; }

private:
    void run();

    int m_fd;
    QByteArray m_cycle;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_pause{true};
    std::atomic<qint64> m_sent{0};
    std::thread m_thread;
};
