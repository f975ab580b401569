// SPDX-License-Identifier: MIT
#pragma once

#include "download/bitheader.h"

#include <QJsonObject>
#include <QString>

#include <cstdint>
#include <optional>

// What `download --json` prints once, whatever the outcome: the figures of
// the bytes handed to the port, the header, whether the answer came.
struct DownloadSummary
{
    int exit = 0;
    qint64 bytes = 0;
    int blocks = 0;
    double seconds = 0;
    std::uint32_t crc32 = 0;
    std::optional<BitHeader> header;
    std::optional<bool> expectSeen; // nothing without --expect

    QJsonObject toJson() const;
};

// The word a script tests for each exit status: "sent", "usage", "port" ...
QString outcomeOfExit(int exit);
