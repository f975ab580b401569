// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

class ReceiveStore;

// Finds a pattern in everything the receive box holds, block by block of
// the store, so that matches across two blocks are found and nothing is
// copied out. Text mode matches characters; hex mode matches bytes, typed
// in the one hex syntax (capture/hexpattern.h). Results are positions in the store.
class ReceiveSearch
{
public:
    // False when the pattern cannot be read as hex bytes in hex mode;
    // refusedColumn() then says where.
    [[nodiscard]] bool setPattern(const QString &typed, bool hex);
    int refusedColumn() const { return m_refusedColumn; }
    bool isEmpty() const { return m_text.isEmpty() && m_bytes.isEmpty(); }
    // Where the match that starts at `at` ends.
    qint64 matchEnd(const ReceiveStore &store, qint64 at) const;
    // How far a match reaches at most, in positions of the store.
    qint64 reach(const ReceiveStore &store) const;

    // The first match starting at or after from, or -1.
    qint64 next(const ReceiveStore &store, qint64 from) const;
    // The same, among matches starting before before.
    qint64 next(const ReceiveStore &store, qint64 from, qint64 before) const;
    // The last match starting before from, or -1.
    qint64 previous(const ReceiveStore &store, qint64 from) const;
    qint64 count(const ReceiveStore &store) const;
    // The matches starting in [from, before).
    qint64 count(const ReceiveStore &store, qint64 from, qint64 before) const;

private:
    bool searchesBytes(const ReceiveStore &store) const;
    qint64 nextInStore(const ReceiveStore &store, qint64 from, qint64 before) const;

    QString m_text;
    QByteArray m_bytes;
    int m_refusedColumn = 0;
};
