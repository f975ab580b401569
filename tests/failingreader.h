// SPDX-License-Identifier: MIT
#pragma once

#include "capture/blockreader.h"

#include <QByteArray>
#include <QSet>

// Reads the store's blocks back from a copy of what was stored, and fails
// for the blocks it is told to, as a disk with a bad sector would.
class FailingReader : public BlockReader
{
public:
    FailingReader(const QByteArray &stored, QSet<qint64> failingOffsets);

    bool read(qint64 offset, void *data, qint64 size) override;
    QString errorString() const override { return QStringLiteral("Input/output error"); }
    int failures() const { return m_failures; }

private:
    QByteArray m_stored;
    QSet<qint64> m_failing;
    int m_failures = 0;
};
