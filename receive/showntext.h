// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QIODevice;
class ReceiveStore;
class RowLayout;

// The receive box's content as the operator sees it, for copying and
// saving: the box's own text, or with times and offsets where rows carry
// them (text lines keep their breaks; hex rows end with LF). Bytes that
// could not be read back are left out.
namespace showntext {

// Text mode takes [from, to) with the time of each line starting in it;
// decorated hex takes the whole rows that [from, to) touches.
QString between(const RowLayout &layout, const ReceiveStore &store, qint64 from, qint64 to);
// [from, to) as between() gives it, as UTF-8, a batch of rows at a time;
// false, with the reason in *error, when a write failed or some of the
// bytes could not be read back (a file with a hole is no copy of the box).
[[nodiscard]] bool write(const RowLayout &layout, const ReceiveStore &store, QIODevice &out, qint64 from, qint64 to,
                         QString *error);

} // namespace showntext
