// SPDX-License-Identifier: MIT
#pragma once

#include "benchstream.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <vector>

class FrmMain;
class PtyPair;
class QPushButton;
class QTabBar;
class ReceiveStore;
class ReceiveView;

namespace receiverun {

constexpr double kMB = 1e6;

struct Case
{
    const char *name;
    benchstream::Content content;
    int tab;
    // Raw recording to a file while receiving; times shown before every line.
    bool record = false;
    bool stamps = false;
};

struct Result
{
    double ceiling = 0;
    double whole = 0;
    double firstQuarter = 0;
    double lastQuarter = 0;
    double bytesPerByte = 0;
    double worstDelayMs = 0;
    bool complete = false;
    bool exact = false;
    // The recording held exactly the bytes sent.
    bool recordExact = false;
};

// What streaming into the box took: seconds in all, and when each of a
// number of equal shares of the stream had arrived (share k at [k]).
struct Streamed
{
    double seconds = 0;
    qint64 received = 0;
    std::vector<double> shareSeconds;
    double worstDelayMs = 0;
    bool complete = false;
};

// Writes total bytes of cycle into the line from a thread and turns the
// event loop until the window's receive box holds them all, or timeout.
Streamed streamIntoBox(FrmMain &window, const ReceiveView &view, const PtyPair &pty, const QByteArray &cycle,
                       qint64 total, int shares, std::chrono::seconds timeout);

// MB/s of a bare blocking reader on the program's side of the line.
double measureCeiling(const PtyPair &pty, const QByteArray &cycle, qint64 total);
bool storeMatches(const ReceiveStore &store, const QByteArray &cycle, qint64 total);

struct Spread
{
    double median = 0;
    double low = 0;
    double high = 0;
};

Spread spreadOf(const std::vector<Result> &runs, double Result::*field);
// One row of a table: what, median, unit, the range low-high, the limit or peer.
void printRow(const char *what, const Spread &figure, const char *unit, const QString &against);

// Streams a case into the real window's receive box at full speed and
// measures it: rate, peak memory, timer delay and exactness.
class Runner
{
public:
    Runner(FrmMain &window, PtyPair &pty, QString recordPath);

    Result run(const Case &benchCase, qint64 total);

private:
    void receive(const QByteArray &cycle, qint64 total, Result &result);
    void setOptions(const Case &benchCase, bool on);
    bool fileMatches(const QByteArray &cycle, qint64 total) const;

    FrmMain &m_window;
    PtyPair &m_pty;
    ReceiveView &m_view;
    QTabBar &m_tabs;
    QPushButton &m_open;
    QString m_recordPath;
};

} // namespace receiverun
