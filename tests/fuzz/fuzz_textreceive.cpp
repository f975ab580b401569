// SPDX-License-Identifier: MIT
#include "receive/cellwidths.h"
#include "capture/controlpictures.h"
#include "capture/receivesearch.h"
#include "capture/receivestore.h"
#include "receive/rowlayout.h"
#include "serial/cp932codec.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace {

// Names the failed check's line, which the inlined stack trace loses
// (clang 14 has no std::source_location).
void require(bool condition, int line = __builtin_LINE())
{
    if (condition)
        return;
    std::fprintf(stderr, "check failed at line %d\n", line);
    std::abort();
}

constexpr int kMaxColumns = 160;
constexpr int kMaxBursts = 2;
constexpr qint64 kBlockSize = ChunkedBuffer<char>::kBlockSize;
// The store's page table: a page is where finding a character start begins.
constexpr qint64 kPageBytes = 4096;

// A fixed width table instead of a font's: 0 keeps the built-in wide
// ranges, anything else makes a scattered half of the characters wide.
CellWidths::Measure measureFor(std::uint8_t seed)
{
    if (seed == 0)
        return {};
    return [seed](char16_t unit) { return ((unit * 0x9E37u + seed) >> 7) & 1 ? 2 : 1; };
}

bool isLineBreak(char16_t unit)
{
    return unit == u'\r' || unit == u'\n';
}

// What the receive side holds after a stream of chunks, as the monitor
// takes them: the channel's whole characters, a chunk starting with NUL dropped.
struct Receiver
{
    Cp932Decoder channel;      // cleared as the port is when a chunk is dropped
    Cp932Decoder splitOnly;    // sees every chunk, for the split-versus-whole check
    QByteArray held;           // what the channel should be holding back
    QByteArray allBytes;
    QString splitText;
    ReceiveStore store;
    RowLayout layout{store};
    QByteArray expected;

    void receive(const QByteArray &chunk);
    // The monitor empties the box and starts the decoder afresh.
    void tabClicked()
    {
        store.clear();
        expected.clear();
        channel.reset();
        held.clear();
    }
};

void Receiver::receive(const QByteArray &chunk)
{
    allBytes += chunk;
    splitText += splitOnly.decode(chunk);

    const bool joinsHeldByte = !held.isEmpty();
    const QByteArray offered = held + chunk;
    const QByteArray bytes = channel.complete(chunk);
    // Only a trailing lead byte that starts a character waits, and nothing is lost.
    require(offered.startsWith(bytes) && offered.size() - bytes.size() <= 1);
    held = offered.mid(bytes.size());
    require(channel.hasPendingByte() == !held.isEmpty());
    require(held.isEmpty() || isCp932LeadByte(static_cast<unsigned char>(held.front())));
    const bool startsWithNul = !bytes.isEmpty() && bytes.front() == 0;
    // A held lead byte comes first, so only a fresh chunk can begin with NUL.
    require(startsWithNul == (!joinsHeldByte && !chunk.isEmpty() && chunk.front() == 0));
    if (startsWithNul) {
        // The monitor drops the chunk and empties the port, held byte included.
        channel.reset();
        held.clear();
        return;
    }
    store.appendCp932(bytes);
    expected += bytes;
}

void checkDecoderSplit(const Receiver &receiver)
{
    Cp932Decoder whole;
    require(whole.decode(receiver.allBytes) == receiver.splitText);
    require(whole.hasPendingByte() == receiver.splitOnly.hasPendingByte());
}

// The expected bytes walked by the decoder's rules: a lead byte followed by
// a trail byte is one character, any other byte one on its own.
struct Characters
{
    QString text;
    std::vector<qint64> starts;
    std::vector<qint64> index; // per byte, and one past the end: the character holding it

    explicit Characters(const QByteArray &bytes);
    bool isStart(qint64 position) const { return position == qint64(index.size()) - 1 || starts[index[position]] == position; }
    qint64 startOf(qint64 character) const { return character < qint64(starts.size()) ? starts[character] : index.size() - 1; }
};

Characters::Characters(const QByteArray &bytes)
    : index(bytes.size() + 1)
{
    Cp932Decoder decoder;
    text = decoder.decode(bytes);
    require(!decoder.hasPendingByte());
    const auto *in = reinterpret_cast<const unsigned char *>(bytes.data());
    for (qint64 at = 0; at < bytes.size();) {
        const bool pair = isCp932LeadByte(in[at]) && at + 1 < bytes.size() && isCp932TrailByte(in[at + 1]);
        index[at] = index[at + pair] = qint64(starts.size());
        starts.push_back(at);
        at += pair ? 2 : 1;
    }
    index.back() = qint64(starts.size());
    require(qint64(starts.size()) == text.size());
}

// Every position of short text; of long text those around the page starts and a spread.
std::vector<qint64> samplePositions(qint64 length)
{
    std::vector<qint64> positions;
    const qint64 step = length <= 1024 ? 1 : length / 61;
    for (qint64 at = 0; at <= length; at += step)
        positions.push_back(at);
    for (qint64 page = kPageBytes; step > 1 && page - 2 <= length; page += kPageBytes) {
        for (qint64 at = page - 2; at <= qMin(length, page + 2); ++at)
            positions.push_back(at);
    }
    positions.push_back(length);
    return positions;
}

void checkStore(const ReceiveStore &store, const QByteArray &expected, const Characters &chars)
{
    const qint64 length = expected.size();
    require(store.length() == length && store.byteCount() == length);
    require(store.text() == chars.text);
    if (length < 4096)
        require(chars.text == decodeCp932WithPlatform(expected));
    const std::vector<qint64> positions = samplePositions(length);
    for (qint64 at : positions) {
        require(store.characterStart(at) == chars.startOf(chars.index[at]));
        if (at < length && chars.isStart(at)) {
            const Cp932Char found = store.characterAt(at);
            require(found.unit == chars.text[chars.index[at]].unicode());
            require(at + found.length == chars.startOf(chars.index[at] + 1));
            for (qint64 count : {0, 1, 2, 7, 300})
                require(store.advance(at, count) == chars.startOf(qMin(chars.index[at] + count, qint64(chars.starts.size()))));
        }
    }
    // From a non-start goes back to its character; a character cut at the end is left out.
    for (qint64 i = 0; i + 1 < qint64(positions.size()); i += 3) {
        const qint64 from = positions[i];
        const qint64 to = qMin(length, from + positions[i + 1] / 4 + 1);
        require(store.text(from, to) == chars.text.mid(chars.index[from], chars.index[to] - chars.index[from]));
    }
}

void checkRowStarts(const RowLayout &layout, const RowLayout &whole, const Characters &chars)
{
    const qint64 rows = layout.rowCount();
    require(rows == whole.rowCount());
    require(layout.rowStart(0) == 0);
    qint64 previous = -1;
    for (qint64 row = 0; row < rows; ++row) {
        const qint64 start = layout.rowStart(row);
        require(start == whole.rowStart(row) && start > previous && chars.isStart(start));
        previous = start;
    }
    require(layout.rowEnd(rows - 1) == qint64(chars.index.size()) - 1);
}

// The runs show the row's characters, tabs left out and controls as pictures,
// left to right without overlapping.
int checkRuns(const RowLayout &layout, qint64 row, const QString &shown)
{
    QString pictured;
    for (QChar c : shown) {
        if (c != u'\t')
            pictured += controlpictures::isControl(c.unicode()) ? QChar(controlpictures::pictureOf(c.unicode())) : c;
    }
    QString drawn;
    int column = 0;
    int hiddenColumns = 0;
    for (const RowRun &run : layout.runs(row)) {
        require(run.column >= column && run.width >= run.text.size() && !run.text.isEmpty());
        drawn += run.text;
        column = run.column + run.width;
        hiddenColumns += run.width - int(run.text.size());
    }
    require(drawn == pictured);
    return hiddenColumns;
}

// The next row's first character would not have fitted on a row that wrapped.
void checkWrapWasNeeded(const CellWidths &cells, int columns, int endColumn, char16_t next)
{
    if (next == u'\t' || (next >= 0x20 && next < 0x7F)) {
        require(endColumn >= columns);
        return;
    }
    const int width = cells.cells(controlpictures::isControl(next) ? controlpictures::pictureOf(next) : next);
    require(endColumn > 0 && endColumn + width > columns);
}

void checkRow(const RowLayout &layout, const CellWidths &cells, const Characters &chars, qint64 row)
{
    const qint64 start = layout.rowStart(row);
    const qint64 end = layout.rowEnd(row);
    const qint64 shownEnd = layout.shownEnd(row);
    require(start <= shownEnd && shownEnd <= end && end - shownEnd <= 2 && chars.isStart(shownEnd));
    const QString shown = chars.text.mid(chars.index[start], chars.index[shownEnd] - chars.index[start]);
    for (QChar c : shown)
        require(!isLineBreak(c.unicode()));
    for (qint64 at = chars.index[shownEnd]; at < chars.index[end]; ++at)
        require(isLineBreak(chars.text[at].unicode()));

    const int hiddenColumns = checkRuns(layout, row, shown);
    const int endColumn = layout.columnOf(row, shownEnd);
    require(endColumn <= qMax(layout.columns(), 2));
    require(layout.columnOf(row, start) == 0);
    require(layout.columnOf(row, chars.startOf((chars.index[start] + chars.index[shownEnd]) / 2)) <= endColumn);
    require(layout.displayText(row).size() == endColumn - hiddenColumns);
    for (qreal column : {-1.0, 0.0, 0.5, layout.columns() / 2.0, qreal(layout.columns()), 1e9}) {
        const qint64 position = layout.positionAt(row, column);
        require(position >= start && position <= shownEnd && chars.isStart(position));
    }
    if (end == shownEnd && row + 1 < layout.rowCount())
        checkWrapWasNeeded(cells, layout.columns(), endColumn, chars.text[chars.index[end]].unicode());
}

// Forward and backward search of a piece of the text find, in byte
// positions, where QString::indexOf finds it in the decoded text.
void checkSearch(const ReceiveStore &store, const Characters &chars, qsizetype at, qsizetype count)
{
    if (chars.text.isEmpty())
        return;
    const QString pattern = chars.text.mid(at % chars.text.size(), count);
    ReceiveSearch search;
    require(search.setPattern(pattern, false));
    std::vector<qint64> matches;
    for (qsizetype hit = chars.text.indexOf(pattern); hit >= 0 && matches.size() <= 512; hit = chars.text.indexOf(pattern, hit + 1))
        matches.push_back(chars.starts[hit]);
    if (matches.size() > 512)
        return;
    require(search.count(store) == qint64(matches.size()));
    qint64 found = search.next(store, 0);
    for (std::size_t k = 0; k < matches.size(); found = search.next(store, found + 1), ++k) {
        const qint64 end = search.matchEnd(store, found);
        require(found == matches[k] && end == chars.startOf(chars.index[found] + pattern.size()));
        require(end - found <= search.reach(store));
    }
    require(found == -1 && search.previous(store, 0) == -1);
    require(search.previous(store, store.length()) == matches.back());
    require(search.previous(store, matches.front() + 1) == matches.front());
}

// A burst of one repeated piece that ends the text a few bytes before or
// after a block end, so that it and what follows cross a block of the bytes,
// pages of the store and, with rows of one character, a block of row starts.
// A byte in front shifts double-byte fillers to cross at either parity.
QByteArray burst(FuzzedDataProvider &input, qint64 length)
{
    static const QByteArray kFillers[] = {"x", "\n", "\r\n", "\t", "\x1b", "\x82\xa0", "\x81\x81", "\x81\n"};
    static const QByteArray kFronts[] = {"", "x", "\x81"};
    QByteArray bytes = kFronts[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kFronts) - 1)];
    const QByteArray &filler = kFillers[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kFillers) - 1)];
    const qint64 end = (length / kBlockSize + 1) * kBlockSize + input.ConsumeIntegralInRange(-8, 8);
    return bytes + filler.repeated((end - length - bytes.size() + filler.size() - 1) / filler.size());
}

} // namespace

// Byte chunks arrive as the text tab receives them, with a tab click or a
// resize now and then and frames drawn at chosen points; the rows laid out
// on the way must be those of the whole text laid out at once.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const std::uint8_t seed = input.ConsumeIntegral<std::uint8_t>();
    const int visibleRows = input.ConsumeIntegralInRange(1, 40);
    Receiver receiver;
    receiver.layout.setCellMeasure(measureFor(seed));
    receiver.layout.setColumns(input.ConsumeIntegralInRange(1, kMaxColumns));

    int bursts = 0;
    while (input.remaining_bytes() > 0) {
        const std::uint8_t action = input.ConsumeIntegral<std::uint8_t>();
        if (action == 0xFF) {
            receiver.tabClicked();
        } else if (action == 0xFE) {
            receiver.layout.setColumns(input.ConsumeIntegralInRange(1, kMaxColumns));
        } else if (action == 0xFD && bursts < kMaxBursts) {
            ++bursts;
            receiver.receive(burst(input, receiver.expected.size()));
        } else {
            const std::vector<char> chunk = input.ConsumeBytes<char>(action & 0x3F);
            receiver.receive(QByteArray(chunk.data(), qsizetype(chunk.size())));
            if (action & 0x40)
                receiver.layout.sync();
        }
    }
    receiver.layout.sync();

    checkDecoderSplit(receiver);
    const Characters chars(receiver.expected);
    checkStore(receiver.store, receiver.expected, chars);
    // The pattern comes from what is already drawn, so that the seeds keep their meaning.
    checkSearch(receiver.store, chars, seed * 257 + visibleRows * 7919, 1 + visibleRows % 4);

    ReceiveStore wholeStore;
    wholeStore.appendCp932(receiver.expected);
    RowLayout whole(wholeStore);
    whole.setCellMeasure(measureFor(seed));
    whole.setColumns(receiver.layout.columns());
    whole.sync();
    checkRowStarts(receiver.layout, whole, chars);

    CellWidths cells;
    cells.setMeasure(measureFor(seed));
    // The rows a frame draws: the top of the box, its end, which it follows,
    // and wherever a block of the store ends.
    const qint64 rows = receiver.layout.rowCount();
    const qint64 firstShown[] = {0, receiver.layout.rowOf(kBlockSize) - visibleRows / 2, rows - visibleRows};
    for (qint64 first : firstShown) {
        for (qint64 row = qMax<qint64>(0, first); row < qMin(rows, first + visibleRows); ++row)
            checkRow(receiver.layout, cells, chars, row);
    }
    return 0;
}
