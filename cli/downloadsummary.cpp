// SPDX-License-Identifier: MIT
#include "cli/downloadsummary.h"

#include "cli/commandline.h"

#include <QJsonValue>

#include <cmath>

QString outcomeOfExit(int exit)
{
    switch (exit) {
    case exitstatus::kDone: return QStringLiteral("sent");
    case exitstatus::kUsage: return QStringLiteral("usage");
    case exitstatus::kPort: return QStringLiteral("port");
    case exitstatus::kFile: return QStringLiteral("file");
    case exitstatus::kInputOutput: return QStringLiteral("io");
    case exitstatus::kNoAnswer: return QStringLiteral("no-answer");
    case exitstatus::kPartDiffers: return QStringLiteral("part-differs");
    case exitstatus::kInterrupted: return QStringLiteral("interrupted");
    case 128 + 1: return QStringLiteral("hangup");
    case 128 + 15: return QStringLiteral("terminated");
    default: return QStringLiteral("failed");
    }
}

QJsonObject DownloadSummary::toJson() const
{
    QJsonValue shownHeader;
    if (header) {
        shownHeader = QJsonObject{{QStringLiteral("design"), header->design},
                                  {QStringLiteral("part"), header->part},
                                  {QStringLiteral("date"), header->date},
                                  {QStringLiteral("time"), header->time}};
    }
    // Whole milliseconds and whole bytes per second: a script compares them, nobody reads 1e-5.
    const double shownSeconds = std::round(seconds * 1000) / 1000;
    return {{QStringLiteral("outcome"), outcomeOfExit(exit)},
            {QStringLiteral("exit"), exit},
            {QStringLiteral("bytes"), bytes},
            {QStringLiteral("blocks"), blocks},
            {QStringLiteral("seconds"), shownSeconds},
            {QStringLiteral("rate_Bps"), seconds > 0 ? qint64(bytes / seconds) : 0},
            {QStringLiteral("crc32"), QStringLiteral("%1").arg(crc32, 8, 16, QLatin1Char('0'))},
            {QStringLiteral("header"), shownHeader},
            {QStringLiteral("expect_seen"), expectSeen ? QJsonValue(*expectSeen) : QJsonValue()}};
}
