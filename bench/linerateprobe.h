// SPDX-License-Identifier: MIT
#pragma once

#include "benchstream.h"
#include "damageprobe.h"
#include "linefeeder.h"
#include "procusage.h"
#include "ser2netdaemon.h"
#include "windowhost.h"

#include <QProcess>
#include <QTemporaryDir>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

class PtyPair;

// The X server, the window in its own process, its pseudo-terminal and a
// bare reader's, and what one case of feeding them cost.
class LinerateProbe
{
public:
    struct Figures
    {
        procusage::Rates window;
        procusage::Rates xServer;
        procusage::Rates bare;
        // Write to next change of the window's pixels, ms.
        double p50 = 0;
        double p99 = 0;
        double max = 0;
        qsizetype samples = 0;
        qsizetype unseen = 0;
        double windowMBs = 0;
        double bareMBs = 0;
    };

    LinerateProbe();
    ~LinerateProbe();

    bool setUp(const QString &program);
    QString failure() const { return m_failure; }
    WindowHost &window() { return m_window; }
    QString recordPath() const { return m_dir.filePath(QStringLiteral("recorded.bin")); }

    // Feeds the window's line and the bare reader's alike for the given time.
    Figures stream(benchstream::Content content, const LineFeeder::Pace &pace, std::chrono::milliseconds duration);
    // Nothing arrives for the given time; then isolated bytes are timed.
    Figures idle(benchstream::Content content, std::chrono::milliseconds duration, int samples);
    // Reopens the window's port on a far board served by ser2net, or
    // without an accepter on the local pseudo-terminal again; the cases
    // that follow feed the board the window then listens to.
    bool route(std::optional<Ser2netDaemon::Accepter> accepter);
    // tolvane-cli monitor fed text lines at rate, its output into a pipe or onto a terminal.
    Figures cliMonitor(const QString &cli, bool ontoTerminal, double rate, std::chrono::milliseconds duration);

private:
    void readBare();
    int boardFd() const;
    procusage::Usage bareUsage() const;

    QTemporaryDir m_dir;
    QString m_failure;
    QProcess m_xServer;
    WindowHost m_window;
    DamageProbe m_damage;
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<PtyPair> m_barePty;
    std::unique_ptr<PtyPair> m_farPty;
    std::unique_ptr<Ser2netDaemon> m_daemon;
    int m_bareFd = -1;
    std::atomic<int> m_bareTid{0};
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_bareBytes{0};
    std::thread m_bareReader;
};
