// SPDX-License-Identifier: MIT
#include "receive/cellwidths.h"
#include "receive/controlpictures.h"
#include "receive/receivestore.h"
#include "receive/rowlayout.h"
#include "serial/cp932codec.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

constexpr int kMaxColumns = 160;
constexpr int kMaxBursts = 2;
constexpr qint64 kBlockSize = ChunkedBuffer<char16_t>::kBlockSize;

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

// What the receive side holds after a stream of chunks, and how it got there.
struct Receiver
{
    Cp932Decoder channel;      // cleared as the port is when a chunk is dropped
    Cp932Decoder splitOnly;    // sees every chunk, for the split-versus-whole check
    QByteArray allBytes;
    QString splitText;
    ReceiveStore store;
    RowLayout layout{store};
    QString expected;

    void receive(const QByteArray &chunk);
    void tabClicked();
};

void Receiver::receive(const QByteArray &chunk)
{
    allBytes += chunk;
    splitText += splitOnly.decode(chunk);

    const bool joinsHeldByte = channel.hasPendingByte();
    const QString text = channel.decode(chunk);
    const bool startsWithNul = !text.isEmpty() && text.front() == QChar(0);
    // A held lead byte comes first, so only a fresh chunk can begin with NUL.
    require(startsWithNul == (!joinsHeldByte && !chunk.isEmpty() && chunk.front() == 0));
    require(text.size() <= chunk.size() + (joinsHeldByte ? 1 : 0));
    if (startsWithNul) {
        // The monitor drops the chunk and empties the port, held byte included.
        channel.reset();
        return;
    }
    store.appendText(text);
    expected += text;
}

void Receiver::tabClicked()
{
    store.clear();
    expected.clear();
}

void checkDecoderSplit(const Receiver &receiver)
{
    Cp932Decoder whole;
    require(whole.decode(receiver.allBytes) == receiver.splitText);
    require(whole.hasPendingByte() == receiver.splitOnly.hasPendingByte());
}

void checkStore(const ReceiveStore &store, const QString &expected)
{
    require(store.length() == expected.size());
    require(store.text() == expected);
    const qint64 length = store.length();
    for (qint64 from : {qint64(0), length / 3, length / 2, length - 1}) {
        const qint64 to = from + length / 4 + 1;
        require(store.text(from, to) == expected.mid(qMax<qint64>(0, from), to - qMax<qint64>(0, from)));
    }
}

void checkRowStarts(const RowLayout &layout, const RowLayout &whole, qint64 length)
{
    const qint64 rows = layout.rowCount();
    require(rows == whole.rowCount());
    require(layout.rowStart(0) == 0);
    qint64 previous = -1;
    for (qint64 row = 0; row < rows; ++row) {
        const qint64 start = layout.rowStart(row);
        require(start == whole.rowStart(row) && start > previous && start <= length);
        previous = start;
    }
    require(layout.rowEnd(rows - 1) == length);
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

void checkRow(const RowLayout &layout, const CellWidths &cells, const QString &text, qint64 row)
{
    const qint64 start = layout.rowStart(row);
    const qint64 end = layout.rowEnd(row);
    const qint64 shownEnd = layout.shownEnd(row);
    require(start <= shownEnd && shownEnd <= end && end - shownEnd <= 2);
    const QString shown = text.mid(start, shownEnd - start);
    for (QChar c : shown)
        require(!isLineBreak(c.unicode()));
    for (qint64 at = shownEnd; at < end; ++at)
        require(isLineBreak(text[at].unicode()));

    const int hiddenColumns = checkRuns(layout, row, shown);
    const int endColumn = layout.columnOf(row, shownEnd);
    require(endColumn <= qMax(layout.columns(), 2));
    require(layout.columnOf(row, start) == 0);
    require(layout.columnOf(row, start + (shownEnd - start) / 2) <= endColumn);
    require(layout.displayText(row).size() == endColumn - hiddenColumns);
    for (qreal column : {-1.0, 0.0, 0.5, layout.columns() / 2.0, qreal(layout.columns()), 1e9}) {
        const qint64 position = layout.positionAt(row, column);
        require(position >= start && position <= shownEnd);
    }
    if (end == shownEnd && row + 1 < layout.rowCount())
        checkWrapWasNeeded(cells, layout.columns(), endColumn, text[end].unicode());
}

// A burst of one repeated character that brings the text to a few characters
// short of the store's block size, so that what follows crosses a block of
// the text and, with rows of one character, of the row starts.
QByteArray burst(FuzzedDataProvider &input, qint64 length)
{
    struct Filler
    {
        QByteArray bytes;
        int characters;
    };
    static const Filler kFillers[] = {{"x", 1}, {"\n", 1}, {"\r\n", 2}, {"\t", 1}, {"\x1b", 1}, {"\x82\xa0", 1}};
    const Filler &filler = kFillers[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kFillers) - 1)];
    const qint64 shortBy = input.ConsumeIntegralInRange(0, 8);
    qint64 count = kBlockSize - length % kBlockSize - shortBy;
    if (count <= 0)
        count += kBlockSize;
    return filler.bytes.repeated(count / filler.characters);
}

qint64 rowAt(const RowLayout &layout, qint64 position)
{
    qint64 low = 0;
    qint64 high = layout.rowCount() - 1;
    while (low < high) {
        const qint64 middle = (low + high + 1) / 2;
        if (layout.rowStart(middle) <= position)
            low = middle;
        else
            high = middle - 1;
    }
    return low;
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
    checkStore(receiver.store, receiver.expected);

    ReceiveStore wholeStore;
    wholeStore.appendText(receiver.expected);
    RowLayout whole(wholeStore);
    whole.setCellMeasure(measureFor(seed));
    whole.setColumns(receiver.layout.columns());
    whole.sync();
    checkRowStarts(receiver.layout, whole, receiver.expected.size());

    CellWidths cells;
    cells.setMeasure(measureFor(seed));
    // The rows a frame draws: the top of the box, its end, which it follows,
    // and wherever a block of the store ends.
    const qint64 rows = receiver.layout.rowCount();
    const qint64 firstShown[] = {0, rowAt(receiver.layout, kBlockSize) - visibleRows / 2, rows - visibleRows};
    for (qint64 first : firstShown) {
        for (qint64 row = qMax<qint64>(0, first); row < qMin(rows, first + visibleRows); ++row)
            checkRow(receiver.layout, cells, receiver.expected, row);
    }
    return 0;
}
