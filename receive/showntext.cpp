// SPDX-License-Identifier: MIT
#include "receive/showntext.h"

#include "capture/receivestore.h"
#include "common/messagebox.h"
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
        if (layout.isUnreadable(row))
            continue;
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

bool write(const RowLayout &layout, const ReceiveStore &store, QIODevice &out, qint64 from, qint64 to, QString *error)
{
    constexpr qint64 kRowsPerBatch = 4096;
    if (from >= to)
        return true;
    for (qint64 row = layout.rowOf(from); row < layout.rowCount() && layout.rowStart(row) < to; row += kRowsPerBatch) {
        const qint64 end = row + kRowsPerBatch;
        const qint64 batchEnd = end < layout.rowCount() ? qMin(to, layout.rowStart(end)) : to;
        const qint64 batchFrom = qMax(from, layout.rowStart(row));
        const QByteArray batch = between(layout, store, batchFrom, batchEnd).toUtf8();
        if (store.unreadableEnd(batchFrom, batchEnd) >= 0) {
            *error = messages::receivedDataUnreadable(store.unreadableReason());
            return false;
        }
        if (out.write(batch) < 0) {
            *error = out.errorString();
            return false;
        }
    }
    return true;
}

} // namespace showntext
