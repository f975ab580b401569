#pragma once

#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <type_traits>
#include <vector>

// An append-only array of trivially copyable values kept in fixed-size
// blocks: growing never copies what is already stored and never reserves
// more than one block ahead, unlike a QList/QString whose capacity doubles.
template<typename T>
class ChunkedBuffer
{
    static_assert(std::is_trivially_copyable_v<T>);

public:
    static constexpr int kBlockBits = 16;
    static constexpr qsizetype kBlockSize = qsizetype(1) << kBlockBits;

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }

    T at(qsizetype index) const { return m_blocks[index >> kBlockBits][index & (kBlockSize - 1)]; }
    T last() const { return at(m_size - 1); }
    void setLast(T value) { m_blocks[(m_size - 1) >> kBlockBits][(m_size - 1) & (kBlockSize - 1)] = value; }

    // The stored values from index to the end of its block, at most count of them.
    std::span<const T> span(qsizetype index, qsizetype count) const
    {
        if (count <= 0 || index >= m_size)
            return {};
        const qsizetype offset = index & (kBlockSize - 1);
        const qsizetype length = std::min({count, kBlockSize - offset, m_size - index});
        return {m_blocks[index >> kBlockBits].get() + offset, size_t(length)};
    }

    void append(T value) { append(&value, 1); }

    void append(const T *values, qsizetype count)
    {
        while (count > 0) {
            const qsizetype offset = m_size & (kBlockSize - 1);
            if (offset == 0 && (m_size >> kBlockBits) == qsizetype(m_blocks.size()))
                m_blocks.push_back(std::make_unique_for_overwrite<T[]>(kBlockSize));
            const qsizetype length = std::min(count, kBlockSize - offset);
            std::memcpy(m_blocks[m_size >> kBlockBits].get() + offset, values, size_t(length) * sizeof(T));
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
        m_size = 0;
    }

private:
    std::vector<std::unique_ptr<T[]>> m_blocks;
    qsizetype m_size = 0;
};
