// SPDX-License-Identifier: MIT
#pragma once

#include <QElapsedTimer>
#include <QObject>

#include <cstdint>

// Shows a download's progress on standard error: one line redrawn in place
// on a terminal, a line per tenth elsewhere, nothing when quiet; and the
// summary at the end, with the CRC-32 of the bytes that were handed over.
class ProgressShow : public QObject
{
    Q_OBJECT

public:
    ProgressShow(qint64 total, bool quiet, QObject *parent = nullptr);

    void show(qint64 sent);
    // Every block handed to the channel.
    void count(const QByteArray &block);
    void finish(bool sent);
    qint64 lastSent() const { return m_lastSent; }
    // What was handed to the port so far, and since when.
    qint64 handedOver() const { return m_handedOver; }
    int blocks() const { return m_blocks; }
    std::uint32_t crc() const { return m_crc; }
    double seconds() const { return m_clock.elapsed() / 1000.0; }

private:
    enum class Mode { Terminal, Plain, Quiet };

    Mode m_mode;
    qint64 m_total;
    qint64 m_lastSent = 0;
    qint64 m_handedOver = 0;
    int m_tenthsShown = 0;
    int m_blocks = 0;
    bool m_drawn = false;
    std::uint32_t m_crc = 0;
    QElapsedTimer m_clock;
};
