// SPDX-License-Identifier: MIT
#include "capture/receivesearch.h"

#include "capture/hexgroups.h"
#include "capture/hexpattern.h"
#include "capture/receivestore.h"

#include <algorithm>
#include <functional>
#include <span>
#include <vector>

namespace {

constexpr qint64 kBackwardWindow = 1 << 16;

// The last match starting before before, or -1: windows taken from the end
// backwards, each searched forwards.
template<typename Search>
qint64 searchBackward(const Search &search, qint64 size, qint64 before)
{
    for (qint64 end = qMin(before, size); end > 0; end -= kBackwardWindow) {
        const qint64 start = qMax<qint64>(0, end - kBackwardWindow);
        qint64 last = -1;
        for (qint64 hit = search.forward(start, end); hit >= 0; hit = search.forward(hit + 1, end))
            last = hit;
        if (last >= 0)
            return last;
    }
    return -1;
}

// Searches text kept as CP932 bytes: windows decoded from a character start,
// small at first and doubling, so that finding the next of many matches
// costs what lies between them.
class TextSearch
{
public:
    TextSearch(const ReceiveStore &store, const QString &pattern)
        : m_store(store)
        , m_pattern(pattern)
    {
    }

    // The first match starting in [from, before), or -1.
    qint64 forward(qint64 from, qint64 before) const
    {
        const qint64 size = m_store.length();
        // A character takes at most two bytes.
        const qint64 reach = 2 * m_pattern.size();
        before = qMin(before, size);
        qint64 window = qMax<qint64>(256, 2 * reach);
        for (qint64 at = m_store.characterStart(qMax<qint64>(0, from)); at < before;) {
            const qint64 windowEnd = qMin(size, at + window);
            const QString text = m_store.text(at, qMin(size, windowEnd + reach), ReceiveStore::Unreadable::AsNul);
            qint64 position = at;
            qsizetype index = 0;
            for (qsizetype hit = text.indexOf(m_pattern); hit >= 0; hit = text.indexOf(m_pattern, index + 1)) {
                position = m_store.advance(position, hit - index);
                index = hit;
                if (position >= windowEnd || position >= before)
                    break;
                if (position >= from)
                    return position;
            }
            at = m_store.characterStart(windowEnd);
            window = qMin(window * 2, kBackwardWindow);
        }
        return -1;
    }

    qint64 backward(qint64 before) const { return searchBackward(*this, m_store.length(), before); }

private:
    const ReceiveStore &m_store;
    const QString &m_pattern;
};

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

    qint64 backward(qint64 before) const { return searchBackward(*this, m_size, before); }

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
    m_bytes.clear();
    m_refusedColumn = 0;
    if (!hex || typed.trimmed().isEmpty())
        return true;
    const hexpattern::Parsed parsed = hexpattern::parse(typed);
    m_bytes = parsed.bytes;
    m_refusedColumn = parsed.refusedColumn;
    return parsed.ok();
}

bool ReceiveSearch::searchesBytes(const ReceiveStore &store) const
{
    return !m_bytes.isEmpty() && store.mode() == ReceiveStore::Mode::Hex;
}

qint64 ReceiveSearch::matchEnd(const ReceiveStore &store, qint64 at) const
{
    return searchesBytes(store) ? at + m_bytes.size() * hexgroups::kGroupWidth - 1 : store.advance(at, m_text.size());
}

qint64 ReceiveSearch::reach(const ReceiveStore &store) const
{
    return searchesBytes(store) ? m_bytes.size() * hexgroups::kGroupWidth - 1 : 2 * m_text.size();
}

qint64 ReceiveSearch::next(const ReceiveStore &store, qint64 from) const
{
    return next(store, from, store.length());
}

// Bytes that could not be read back are no data: a match touching them is none.
qint64 ReceiveSearch::next(const ReceiveStore &store, qint64 from, qint64 before) const
{
    for (;;) {
        const qint64 hit = nextInStore(store, from, before);
        // The search has read the match's blocks: none unreadable means none here.
        const qint64 unreadableEnd =
            hit < 0 || store.unreadableCount() == 0 ? -1 : store.unreadableEnd(hit, matchEnd(store, hit));
        if (unreadableEnd < 0)
            return hit;
        from = unreadableEnd;
    }
}

qint64 ReceiveSearch::nextInStore(const ReceiveStore &store, qint64 from, qint64 before) const
{
    if (searchesBytes(store)) {
        const auto spanAt = [&store](qint64 at, qint64 count) { return store.byteSpan(at, count); };
        const qint64 firstByte = (qMax<qint64>(0, from) + hexgroups::kGroupWidth - 1) / hexgroups::kGroupWidth;
        const qint64 beforeByte = (qMin(before, store.length()) + hexgroups::kGroupWidth - 1) / hexgroups::kGroupWidth;
        const qint64 hit = blockSearch<char>(spanAt, store.byteCount(), std::span(m_bytes.data(), m_bytes.size()))
                               .forward(firstByte, beforeByte);
        return hit < 0 ? -1 : hit * hexgroups::kGroupWidth;
    }
    if (m_text.isEmpty() || store.mode() != ReceiveStore::Mode::Text)
        return -1;
    return TextSearch(store, m_text).forward(from, qMin(before, store.length()));
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
    return TextSearch(store, m_text).backward(from);
}

qint64 ReceiveSearch::count(const ReceiveStore &store) const
{
    return count(store, 0, store.length());
}

qint64 ReceiveSearch::count(const ReceiveStore &store, qint64 from, qint64 before) const
{
    qint64 found = 0;
    const qint64 step = searchesBytes(store) ? hexgroups::kGroupWidth : 1;
    for (qint64 at = next(store, from, before); at >= 0; at = next(store, at + step, before))
        ++found;
    return found;
}
