// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// The one JSON object monitor --json prints when it ends, whatever the cause.
struct MonitorSummary
{
    int exit = 0;
    qint64 bytes = 0;
    qint64 lines = 0;
    double seconds = 0;
    bool untilSeen = false;

    // "done", "no_answer", "port_error", "file_error", "io_error",
    // "interrupted", "terminated" or "hangup", from the exit status.
    QString outcome() const;
    // One line, LF-terminated.
    QByteArray toJson() const;
};
