// SPDX-License-Identifier: MIT
#include "serial/configfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QStandardPaths>

namespace configfile {
namespace {

// A hundred long pasted lines fit many times over; a bigger file is not ours.
constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;

} // namespace

QString path(const QString &name)
{
    // GenericConfigLocation honours XDG_CONFIG_HOME and falls back to ~/.config.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/tolvane/")
           + name;
}

std::optional<QByteArray> read(const QString &path, QString *errorString)
{
    QFile file(path);
    if (!file.exists())
        return QByteArray();
    if (!file.open(QIODevice::ReadOnly)) {
        *errorString = file.errorString();
        return std::nullopt;
    }
    if (file.size() > kMaxFileSize) {
        *errorString = QStringLiteral("file too large");
        return std::nullopt;
    }
    QByteArray bytes = file.read(kMaxFileSize + 1);
    if (file.error() != QFile::NoError || bytes.size() > kMaxFileSize) {
        *errorString = file.error() != QFile::NoError ? file.errorString() : QStringLiteral("file too large");
        return std::nullopt;
    }
    return bytes;
}

std::optional<QJsonArray> readList(const QString &path, const QString &what, QString *errorString)
{
    const std::optional<QByteArray> bytes = read(path, errorString);
    if (!bytes)
        return std::nullopt;
    if (bytes->isEmpty())
        return QJsonArray();
    const QJsonDocument document = QJsonDocument::fromJson(*bytes);
    if (!document.isArray()) {
        *errorString = QStringLiteral("not a list of %1").arg(what);
        return std::nullopt;
    }
    return document.array();
}

bool write(const QString &path, const QByteArray &bytes, QString *errorString)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *errorString = QStringLiteral("cannot create %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        *errorString = file.errorString();
        return false;
    }
    return true;
}

} // namespace configfile
