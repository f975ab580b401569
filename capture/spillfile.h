// SPDX-License-Identifier: MIT
#pragma once

#include "capture/blockreader.h"

#include <QString>
#include <QtGlobal>

#include <memory>
#include <utility>

// The file the receive box's older blocks are moved to, in the user's cache
// directory (often a disk, where /tmp is often memory). It loses its name as
// soon as it is open, so nothing stays behind after a crash, and closing it
// gives the space back at once. Blocks are written behind the receiver's
// back by a thread of the file's own, so that a disk busy writing back does
// not hold up the window; a block stays readable from memory until written,
// and for good when the disk refuses it, so no byte is ever lost.
class SpillFile : public BlockReader
{
public:
    SpillFile() = default;
    ~SpillFile() { close(); }
    SpillFile(SpillFile &&other) noexcept = default;
    SpillFile &operator=(SpillFile &&other) noexcept
    {
        if (this != &other) {
            close();
            m_state = std::move(other.m_state);
            m_errorString = std::move(other.m_errorString);
        }
        return *this;
    }

    // Once a write has been refused, the caller keeps its data in memory
    // until the box is emptied; the first refusal is reported through SpillNotice.
    bool refused() const;
    // Takes the block over; waits only while more than a budget's worth is
    // still to be written (a disk slower than the line).
    void write(qint64 offset, std::shared_ptr<const void> block, qint64 size);
    [[nodiscard]] bool read(qint64 offset, void *data, qint64 size) override;
    QString errorString() const override { return m_errorString; }
    void close();

    // $XDG_CACHE_HOME/tolvane, or ~/.cache/tolvane.
    static QString directory();
    // How much of each store stays in memory before its older blocks move here.
    static qint64 memoryBudget();
    static void setMemoryBudget(qint64 bytes);

private:
    struct State;

    static void writeBehind(const std::shared_ptr<State> &state);

    std::shared_ptr<State> m_state;
    QString m_errorString;
};
