// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QString>

#include <optional>

// The small files the program keeps under $XDG_CONFIG_HOME/tolvane (send
// history, send macros): read with a bound, written whole or not at all.
namespace configfile {

// The folder's path joined with name.
QString path(const QString &name);
// The file's bytes; nothing, with the reason, when it cannot be read or is
// larger than any file the program writes. A missing file reads as empty.
std::optional<QByteArray> read(const QString &path, QString *errorString);
// The file as a JSON list; an empty list for a missing or empty file, and
// nothing, with the reason ("not a list of <what>"), for anything else.
std::optional<QJsonArray> readList(const QString &path, const QString &what, QString *errorString);
// Replaces the file through QSaveFile, creating the folder; false with the reason.
[[nodiscard]] bool write(const QString &path, const QByteArray &bytes, QString *errorString);

} // namespace configfile
