// SPDX-License-Identifier: MIT
#include "cli/monitorsummary.h"

#include "cli/commandline.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

QString MonitorSummary::outcome() const
{
    switch (exit) {
    case exitstatus::kDone: return QStringLiteral("done");
    case exitstatus::kPort: return QStringLiteral("port_error");
    case exitstatus::kFile: return QStringLiteral("file_error");
    case exitstatus::kInputOutput: return QStringLiteral("io_error");
    case exitstatus::kNoAnswer: return QStringLiteral("no_answer");
    case exitstatus::kInterrupted: return QStringLiteral("interrupted");
    case exitstatus::kTerminated: return QStringLiteral("terminated");
    case exitstatus::kHangUp: return QStringLiteral("hangup");
    default: return QStringLiteral("error");
    }
}

QByteArray MonitorSummary::toJson() const
{
    const QJsonObject object{
        {QStringLiteral("outcome"), outcome()},
        {QStringLiteral("exit"), exit},
        {QStringLiteral("bytes"), bytes},
        {QStringLiteral("lines"), lines},
        {QStringLiteral("seconds"), std::round(seconds * 1000) / 1000},
        {QStringLiteral("until_seen"), untilSeen},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}
