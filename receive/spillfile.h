// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <utility>

// The file the receive box's older blocks are moved to, in the user's cache
// directory (often a disk, where /tmp is often memory). It loses its name as
// soon as it is open, so nothing stays behind after a crash, and closing it
// gives the space back at once.
class SpillFile
{
public:
    SpillFile() = default;
    ~SpillFile() { close(); }
    SpillFile(SpillFile &&other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
        , m_refused(std::exchange(other.m_refused, false))
    {
    }
    SpillFile &operator=(SpillFile &&other) noexcept
    {
        if (this != &other) {
            close();
            m_fd = std::exchange(other.m_fd, -1);
            m_refused = std::exchange(other.m_refused, false);
        }
        return *this;
    }

    // Once a write has been refused, the caller keeps its data in memory
    // until the box is emptied; the first refusal is reported through SpillNotice.
    bool refused() const { return m_refused; }
    [[nodiscard]] bool write(qint64 offset, const void *data, qint64 size);
    void read(qint64 offset, void *data, qint64 size) const;
    void close();

    // $XDG_CACHE_HOME/tolvane, or ~/.cache/tolvane.
    static QString directory();
    // How much of each store stays in memory before its older blocks move here.
    static qint64 memoryBudget();
    static void setMemoryBudget(qint64 bytes);

private:
    bool open();
    bool refuse(const QString &reason);

    int m_fd = -1;
    bool m_refused = false;
};
