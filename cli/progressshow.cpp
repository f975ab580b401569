// SPDX-License-Identifier: MIT
#include "cli/progressshow.h"

#include "cli/commandline.h"
#include "cli/transferfigures.h"

#include <cstdio>
#include <unistd.h>

ProgressShow::ProgressShow(qint64 total, bool quiet, QObject *parent)
    : QObject(parent)
    , m_mode(quiet ? Mode::Quiet : commandline::isTerminal(STDERR_FILENO) ? Mode::Terminal : Mode::Plain)
    , m_total(qMax<qint64>(0, total))
{
    m_clock.start();
}

void ProgressShow::show(qint64 sent)
{
    m_lastSent = sent;
    if (m_mode == Mode::Terminal) {
        const QString line = transferfigures::terminalLine(sent, m_total, m_clock.elapsed() / 1000.0);
        std::fprintf(stderr, "\r%s\x1b[K", line.toLocal8Bit().constData());
        std::fflush(stderr);
        m_drawn = true;
        return;
    }
    // A line each time another tenth is reached; the last comes with the summary.
    const int tenths = qMin(9, transferfigures::tenthsReached(sent, m_total));
    if (m_mode == Mode::Plain && tenths > m_tenthsShown) {
        m_tenthsShown = tenths;
        commandline::printError(transferfigures::plainLine(tenths, sent, m_total));
    }
}

void ProgressShow::count(const QByteArray &block)
{
    m_crc = transferfigures::crc32(block, m_crc);
    m_handedOver += block.size();
    ++m_blocks;
}

void ProgressShow::finish(bool sent)
{
    if (sent && m_mode == Mode::Terminal)
        show(m_handedOver);
    if (m_drawn)
        std::fputs(sent ? "\n" : "\r\x1b[K", stderr);
    if (!sent)
        return;
    if (m_mode == Mode::Plain && m_total > 0)
        commandline::printError(transferfigures::plainLine(10, m_total, m_total));
    m_lastSent = m_handedOver;
    commandline::printError(transferfigures::summary(m_handedOver, m_blocks, m_clock.elapsed() / 1000.0, m_crc));
}
