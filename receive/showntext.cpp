// SPDX-License-Identifier: MIT
#include "receive/showntext.h"

#include "capture/receivestore.h"
#include "receive/rowlayout.h"

#include <QIODevice>

namespace showntext {

QString between(const RowLayout &layout, const ReceiveStore &store, qint64 from, qint64 to)
{
    if (!layout.isDecorated() || from >= to)
        return store.text(from, to);
    const bool hex = store.mode() == ReceiveStore::Mode::Hex;
    QString text;
    for (qint64 row = layout.rowOf(from); row < layout.rowCount() && layout.rowStart(row) < to; ++row) {
        if (hex) {
            text += layout.displayText(row) + u'\n';
            continue;
        }
        const qint64 start = layout.rowStart(row);
        if (start >= from && layout.startsLine(row))
            text += layout.runs(row).constFirst().text;
        text += store.text(qMax(from, start), qMin(to, layout.rowEnd(row)));
    }
    return text;
}

bool write(const RowLayout &layout, const ReceiveStore &store, QIODevice &out, qint64 from, qint64 to)
{
    constexpr qint64 kRowsPerBatch = 4096;
    if (from >= to)
        return true;
    for (qint64 row = layout.rowOf(from); row < layout.rowCount() && layout.rowStart(row) < to; row += kRowsPerBatch) {
        const qint64 end = row + kRowsPerBatch;
        const qint64 batchEnd = end < layout.rowCount() ? qMin(to, layout.rowStart(end)) : to;
        if (out.write(between(layout, store, qMax(from, layout.rowStart(row)), batchEnd).toUtf8()) < 0)
            return false;
    }
    return true;
}

} // namespace showntext
