// SPDX-License-Identifier: MIT
#pragma once

#include "download/bitheader.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// What tells one build of a configuration file from the next.
struct FileFingerprint
{
    qint64 size = 0;
    QDateTime modified;
    quint32 crc32 = 0;
    bool operator==(const FileFingerprint &) const = default;
};

// Nothing when the file cannot be read to its end.
std::optional<FileFingerprint> fingerprintOfFile(const QString &path);

// The lines a prompt adds about the file it is about to send: its name, its
// header's date and time, and what differs from the last download of it
// (last is empty when there was none).
QStringList downloadNotes(const QString &path, const std::optional<BitHeader> &header,
                          const std::optional<FileFingerprint> &now, const std::optional<FileFingerprint> &last);
