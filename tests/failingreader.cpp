// SPDX-License-Identifier: MIT
#include "failingreader.h"

#include <cstring>

FailingReader::FailingReader(const QByteArray &stored, QSet<qint64> failingOffsets)
    : m_stored(stored)
    , m_failing(std::move(failingOffsets))
{
}

bool FailingReader::read(qint64 offset, void *data, qint64 size)
{
    if (m_failing.contains(offset) || offset + size > m_stored.size()) {
        ++m_failures;
        return false;
    }
    std::memcpy(data, m_stored.constData() + offset, size_t(size));
    return true;
}
