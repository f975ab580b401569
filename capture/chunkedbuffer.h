// SPDX-License-Identifier: MIT
#pragma once

#include "capture/spillfile.h"
#include "capture/spillnotice.h"

#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <set>
#include <span>
#include <type_traits>
#include <vector>

// An append-only array of trivially copyable values kept in fixed-size
// blocks: growing never copies what is already stored and never reserves
// more than one block ahead, unlike a QList/QString whose capacity doubles.
// Beyond SpillFile::memoryBudget() the oldest blocks move to a SpillFile and
// are read back into a few cached blocks when asked for, so a session costs
// disk rather than memory; the newest block always stays in memory. A
// block that cannot be read back is remembered as unreadable and reads as
// zeros, which the caller must not show as data: readable() says which.
template<typename T>
class ChunkedBuffer
{
    static_assert(std::is_trivially_copyable_v<T>);

public:
    static constexpr int kBlockBits = 16;
    static constexpr qsizetype kBlockSize = qsizetype(1) << kBlockBits;
    static constexpr qint64 kBlockBytes = kBlockSize * qint64(sizeof(T));

    ChunkedBuffer() = default;
    ChunkedBuffer(ChunkedBuffer &&) noexcept = default;
    ChunkedBuffer &operator=(ChunkedBuffer &&) noexcept = default;
    ~ChunkedBuffer()
    {
        if (!m_unreadable.empty())
            SpillNotice::instance().rearmUnreadable();
    }

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    // Blocks living in the file rather than in memory.
    qsizetype spilledBlocks() const { return m_spilled; }

    T at(qsizetype index) const { return block(index >> kBlockBits)[index & (kBlockSize - 1)]; }
    // Of values kept in ascending order: the index of the last one not above value, -1 if none.
    qsizetype lastAtOrBelow(T value) const
    {
        qsizetype low = 0;
        qsizetype high = m_size;
        while (low < high) {
            const qsizetype mid = (low + high) / 2;
            if (at(mid) <= value)
                low = mid + 1;
            else
                high = mid;
        }
        return low - 1;
    }
    T last() const { return at(m_size - 1); }
    void setLast(T value) { m_blocks.back()[(m_size - 1) & (kBlockSize - 1)] = value; }

    // The stored values from index to the end of its block, at most count of
    // them; valid until a few other spilled blocks have been read.
    std::span<const T> span(qsizetype index, qsizetype count) const
    {
        if (count <= 0 || index >= m_size)
            return {};
        const qsizetype offset = index & (kBlockSize - 1);
        const qsizetype length = std::min({count, kBlockSize - offset, m_size - index});
        return {block(index >> kBlockBits) + offset, size_t(length)};
    }

    // Reads the block of index back if need be; false when that failed.
    bool readable(qsizetype index) const
    {
        if (index < 0 || index >= m_size)
            return true;
        block(index >> kBlockBits);
        return m_unreadable.count(index >> kBlockBits) == 0;
    }
    // Whether the block of index is known to be unreadable, without reading it.
    bool knownUnreadable(qsizetype index) const { return m_unreadable.count(index >> kBlockBits) != 0; }
    qsizetype unreadableBlocks() const { return qsizetype(m_unreadable.size()); }
    QString unreadableReason() const { return m_unreadableReason; }
    // Spilled blocks are read through reader from now on; null: the spill file.
    void setReader(BlockReader *reader)
    {
        m_reader = reader;
        m_cache = {};
    }

    void append(T value) { append(&value, 1); }

    // A block is added only together with the values written into it, so
    // the last value is always in the newest block, which stays in memory.
    void append(const T *values, qsizetype count)
    {
        while (count > 0) {
            const qsizetype offset = m_size & (kBlockSize - 1);
            if (offset == 0 && (m_size >> kBlockBits) == qsizetype(m_blocks.size()))
                addBlock();
            const qsizetype length = std::min(count, kBlockSize - offset);
            std::memcpy(m_blocks.back().get() + offset, values, size_t(length) * sizeof(T));
            values += length;
            count -= length;
            m_size += length;
        }
    }

    void copy(qsizetype from, qsizetype count, T *out) const
    {
        while (count > 0) {
            const std::span<const T> piece = span(from, count);
            std::memcpy(out, piece.data(), piece.size_bytes());
            out += piece.size();
            from += qsizetype(piece.size());
            count -= qsizetype(piece.size());
        }
    }

    void clear()
    {
        m_blocks.clear();
        m_blocks.shrink_to_fit();
        m_cache = {};
        m_file.close();
        if (!m_unreadable.empty())
            SpillNotice::instance().rearmUnreadable();
        m_unreadable.clear();
        m_spilled = 0;
        m_size = 0;
    }

private:
    struct CachedBlock
    {
        qsizetype index = -1;
        std::unique_ptr<T[]> values;
    };

    const T *block(qsizetype index) const
    {
        return index >= m_spilled ? m_blocks[index].get() : cached(index);
    }

    const T *cached(qsizetype index) const
    {
        for (const CachedBlock &slot : m_cache) {
            if (slot.index == index)
                return slot.values.get();
        }
        if (m_unreadable.count(index) != 0)
            return zeros();
        CachedBlock &slot = m_cache[m_nextSlot++ % m_cache.size()];
        if (!slot.values)
            slot.values = std::make_unique_for_overwrite<T[]>(kBlockSize);
        BlockReader &reader = m_reader ? *m_reader : m_file;
        slot.index = -1;
        if (!reader.read(qint64(index) * kBlockBytes, slot.values.get(), kBlockBytes)) {
            // Never tried again: a block that came back later would change rows already shown.
            m_unreadableReason = reader.errorString();
            if (m_unreadable.empty())
                SpillNotice::instance().reportUnreadable(m_unreadableReason);
            m_unreadable.insert(index);
            return zeros();
        }
        slot.index = index;
        return slot.values.get();
    }

    const T *zeros() const
    {
        if (!m_zeros)
            m_zeros = std::make_unique<T[]>(kBlockSize);
        return m_zeros.get();
    }

    // Hands the oldest block in memory to the file when the budget is used up.
    void addBlock()
    {
        const qsizetype inMemory = qsizetype(m_blocks.size()) - m_spilled;
        if (inMemory > 0 && inMemory * kBlockBytes >= SpillFile::memoryBudget() && !m_file.refused()) {
            const std::shared_ptr<const void> oldest(m_blocks[m_spilled].release(),
                                                     [](const void *values) { delete[] static_cast<const T *>(values); });
            // Spilled blocks are the oldest ones, so block i lives at i blocks into the file.
            m_file.write(qint64(m_spilled) * kBlockBytes, oldest, kBlockBytes);
            ++m_spilled;
        }
        m_blocks.push_back(std::make_unique_for_overwrite<T[]>(kBlockSize));
    }

    std::vector<std::unique_ptr<T[]>> m_blocks;
    qsizetype m_spilled = 0;
    qsizetype m_size = 0;
    mutable SpillFile m_file;
    BlockReader *m_reader = nullptr;
    mutable std::set<qsizetype> m_unreadable;
    mutable QString m_unreadableReason;
    mutable std::unique_ptr<T[]> m_zeros;
    mutable std::array<CachedBlock, 4> m_cache;
    mutable unsigned m_nextSlot = 0;
};
