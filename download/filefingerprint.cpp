// SPDX-License-Identifier: MIT
#include "download/filefingerprint.h"

#include <QFile>
#include <QFileInfo>

#include <zlib.h>

std::optional<FileFingerprint> fingerprintOfFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    constexpr qint64 kPiece = 1024 * 1024;
    QByteArray piece(kPiece, Qt::Uninitialized);
    uLong crc = ::crc32(0, nullptr, 0);
    qint64 size = 0;
    for (qint64 got; (got = file.read(piece.data(), kPiece)) > 0; size += got)
        crc = ::crc32(crc, reinterpret_cast<const Bytef *>(piece.constData()), uInt(got));
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return FileFingerprint{size, QFileInfo(file).lastModified(), quint32(crc)};
}

QStringList downloadNotes(const QString &path, const std::optional<BitHeader> &header,
                          const std::optional<FileFingerprint> &now, const std::optional<FileFingerprint> &last)
{
    QStringList notes{QStringLiteral("ファイル: %1").arg(QFileInfo(path).fileName())};
    if (header && !(header->date + header->time).isEmpty())
        notes.append(QStringLiteral("作成日時: %1 %2").arg(header->date, header->time).trimmed());
    if (!now || !last)
        return notes;
    QStringList changed;
    if (now->size != last->size)
        changed.append(QStringLiteral("サイズ"));
    if (now->modified != last->modified)
        changed.append(QStringLiteral("更新日時"));
    if (now->crc32 != last->crc32)
        changed.append(QStringLiteral("CRC-32"));
    if (!changed.isEmpty())
        notes.append(QStringLiteral("前回のダウンロードから変更: %1").arg(changed.join(QStringLiteral(", "))));
    return notes;
}
