// SPDX-License-Identifier: MIT
#include "boardwriter.h"

#include "benchstream.h"

#include <chrono>
#include <limits>

BoardWriter::BoardWriter(int fd, QByteArray cycle)
    : m_fd(fd)
    , m_cycle(std::move(cycle))
    , m_thread([this] { run(); })
{
}

BoardWriter::~BoardWriter()
{
    m_stop = true;
    m_pause = true;
    m_thread.join();
}

void BoardWriter::run()
{
    while (!m_stop) {
        const qint64 from = m_sent;
        if (!m_pause)
            m_sent = benchstream::writeCycle(m_fd, m_cycle, from, std::numeric_limits<qint64>::max(), m_pause);
        if (m_sent == from)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}
