// SPDX-License-Identifier: MIT
#include "receive/receivesearch.h"

#include "receive/hexgroups.h"
#include "receive/receivestore.h"

#include <algorithm>
#include <functional>
#include <span>
#include <vector>

namespace {

constexpr qint64 kBackwardWindow = 1 << 16;

// Searches a store kept in blocks: each block's span directly, and the few
// values around each block boundary copied into a small window.
template<typename T, typename SpanAt>
class BlockSearch
{
public:
    BlockSearch(SpanAt spanAt, qint64 size, std::span<const T> pattern)
        : m_spanAt(spanAt)
        , m_size(size)
        , m_pattern(pattern)
        , m_searcher(pattern.begin(), pattern.end())
    {
    }

    // The first match starting in [from, before), or -1.
    qint64 forward(qint64 from, qint64 before) const
    {
        const qint64 n = qint64(m_pattern.size());
        before = qMin(before, m_size - n + 1);
        for (qint64 at = qMax<qint64>(0, from); at < before;) {
            const std::span<const T> piece = m_spanAt(at, m_size - at);
            const auto hit = std::search(piece.begin(), piece.end(), m_searcher);
            if (hit != piece.end())
                return at + (hit - piece.begin()) < before ? at + (hit - piece.begin()) : -1;
            const qint64 end = at + qint64(piece.size());
            const qint64 crossing = acrossBoundary(qMax(at, end - n + 1), end);
            if (crossing >= 0)
                return crossing < before ? crossing : -1;
            at = end;
        }
        return -1;
    }

    // The last match starting before before, or -1: windows taken from the
    // end backwards, each searched forwards.
    qint64 backward(qint64 before) const
    {
        for (qint64 end = qMin(before, m_size); end > 0; end -= kBackwardWindow) {
            const qint64 start = qMax<qint64>(0, end - kBackwardWindow);
            qint64 last = -1;
            for (qint64 hit = forward(start, end); hit >= 0; hit = forward(hit + 1, end))
                last = hit;
            if (last >= 0)
                return last;
        }
        return -1;
    }

private:
    // A match starting in [first, boundary) that runs past boundary.
    qint64 acrossBoundary(qint64 first, qint64 boundary) const
    {
        const qint64 n = qint64(m_pattern.size());
        const qint64 stop = qMin(m_size, boundary + n - 1);
        if (first >= boundary || stop - first < n)
            return -1;
        std::vector<T> window;
        for (qint64 at = first; at < stop;) {
            const std::span<const T> piece = m_spanAt(at, stop - at);
            window.insert(window.end(), piece.begin(), piece.end());
            at += qint64(piece.size());
        }
        const auto hit = std::search(window.begin(), window.end(), m_pattern.begin(), m_pattern.end());
        return hit == window.end() ? -1 : first + (hit - window.begin());
    }

    SpanAt m_spanAt;
    qint64 m_size;
    std::span<const T> m_pattern;
    std::boyer_moore_horspool_searcher<typename std::span<const T>::iterator> m_searcher;
};

template<typename T, typename SpanAt>
BlockSearch<T, SpanAt> blockSearch(SpanAt spanAt, qint64 size, std::span<const T> pattern)
{
    return BlockSearch<T, SpanAt>(spanAt, size, pattern);
}

} // namespace

bool ReceiveSearch::setPattern(const QString &typed, bool hex)
{
    m_text = hex ? QString() : typed;
    m_bytes = hex ? parseHex(typed) : QByteArray();
    return !hex || !m_bytes.isEmpty() || typed.trimmed().isEmpty();
}

QByteArray ReceiveSearch::parseHex(const QString &typed)
{
    QString digits = typed;
    digits.remove(u' ');
    if (digits.size() % 2 != 0)
        return {};
    bool valid = true;
    QByteArray bytes;
    for (qsizetype i = 0; valid && i < digits.size(); i += 2)
        bytes.append(char(digits.mid(i, 2).toUInt(&valid, 16)));
    return valid ? bytes : QByteArray();
}

bool ReceiveSearch::searchesBytes(const ReceiveStore &store) const
{
    return !m_bytes.isEmpty() && store.mode() == ReceiveStore::Mode::Hex;
}

qint64 ReceiveSearch::matchLength(const ReceiveStore &store) const
{
    return searchesBytes(store) ? m_bytes.size() * hexgroups::kGroupWidth - 1 : m_text.size();
}

qint64 ReceiveSearch::next(const ReceiveStore &store, qint64 from) const
{
    if (searchesBytes(store)) {
        const auto spanAt = [&store](qint64 at, qint64 count) { return store.byteSpan(at, count); };
        const qint64 firstByte = (qMax<qint64>(0, from) + hexgroups::kGroupWidth - 1) / hexgroups::kGroupWidth;
        const qint64 hit = blockSearch<char>(spanAt, store.byteCount(), std::span(m_bytes.data(), m_bytes.size()))
                               .forward(firstByte, store.byteCount());
        return hit < 0 ? -1 : hit * hexgroups::kGroupWidth;
    }
    if (m_text.isEmpty() || store.mode() != ReceiveStore::Mode::Text)
        return -1;
    const auto spanAt = [&store](qint64 at, qint64 count) { return store.textSpan(at, count); };
    const std::span pattern(reinterpret_cast<const char16_t *>(m_text.utf16()), size_t(m_text.size()));
    return blockSearch<char16_t>(spanAt, store.length(), pattern).forward(from, store.length());
}

qint64 ReceiveSearch::previous(const ReceiveStore &store, qint64 from) const
{
    if (searchesBytes(store)) {
        const auto spanAt = [&store](qint64 at, qint64 count) { return store.byteSpan(at, count); };
        const qint64 beforeByte = (from + hexgroups::kGroupWidth - 1) / hexgroups::kGroupWidth;
        const qint64 hit = blockSearch<char>(spanAt, store.byteCount(), std::span(m_bytes.data(), m_bytes.size()))
                               .backward(beforeByte);
        return hit < 0 ? -1 : hit * hexgroups::kGroupWidth;
    }
    if (m_text.isEmpty() || store.mode() != ReceiveStore::Mode::Text)
        return -1;
    const auto spanAt = [&store](qint64 at, qint64 count) { return store.textSpan(at, count); };
    const std::span pattern(reinterpret_cast<const char16_t *>(m_text.utf16()), size_t(m_text.size()));
    return blockSearch<char16_t>(spanAt, store.length(), pattern).backward(from);
}

qint64 ReceiveSearch::count(const ReceiveStore &store) const
{
    qint64 found = 0;
    const qint64 step = searchesBytes(store) ? hexgroups::kGroupWidth : 1;
    for (qint64 at = next(store, 0); at >= 0; at = next(store, at + step))
        ++found;
    return found;
}
