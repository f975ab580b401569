// SPDX-License-Identifier: MIT
#include "receive/rowlayout.h"

#include "capture/controlpictures.h"
#include "capture/hexgroups.h"
#include "capture/receivestore.h"
#include "capture/recordlines.h"

#include <bit>
#include <cmath>
#include <cstring>
#include <utility>

namespace {

constexpr int kTabStop = 8;
// A tab, CR or LF: its columns depend on where it stands.
constexpr int kBreaking = 3;
constexpr int kStepBits = 3;
constexpr int kStepMask = (1 << kStepBits) - 1;

// Printable ASCII takes one column everywhere and needs no lookup.
constexpr bool isPlain(char16_t unit)
{
    return char16_t(unit - 0x20) < 0x5F;
}

constexpr bool isLineBreak(char16_t unit)
{
    return unit == u'\r' || unit == u'\n';
}

// Where the run of printable ASCII from `from` on ends; eight bytes a step,
// since this scan is most of the cost of laying out received text.
qsizetype plainRunEnd(std::span<const unsigned char> bytes, qsizetype from)
{
    constexpr quint64 kBit7 = 0x8080808080808080ull;
    const qsizetype size = qsizetype(bytes.size());
    qsizetype at = from;
    for (; at + 8 <= size; at += 8) {
        quint64 word;
        std::memcpy(&word, bytes.data() + at, sizeof word);
        // Every lane below 0x80, so adding to a lane never carries into the next:
        // bit 7 of lane + 0x60 is set from 0x20 on, bit 7 of lane + 1 only for 0x7F.
        if ((word & kBit7) != 0 || ((word + 0x6060606060606060ull) & kBit7) != kBit7
            || ((word + 0x0101010101010101ull) & kBit7) != 0)
            break;
    }
    while (at < size && isPlain(bytes[at]))
        ++at;
    return at;
}

} // namespace

QList<RowRun> unreadableRuns(int column, qint64 count)
{
    // Characters of one width share a run; the mark's wide ones take two columns.
    const QString mark = QStringLiteral("<<< 読み戻せない受信データ %1 バイト >>>").arg(count);
    QList<RowRun> runs;
    for (const QChar character : mark) {
        const int width = character.unicode() < 0x80 ? 1 : 2;
        if (runs.isEmpty() || runs.last().width != runs.last().text.size() * width)
            runs.append(RowRun{column, 0, QString(), false, true});
        runs.last().text += character;
        runs.last().width += width;
        column += width;
    }
    return runs;
}

RowLayout::RowLayout(const ReceiveStore &store)
    : m_store(store)
{
}

void RowLayout::setColumns(int columns)
{
    columns = qMax(1, columns);
    if (columns == m_columns)
        return;
    m_columns = columns;
    m_stale = true;
}

void RowLayout::setDecorations(bool stamps, bool sixteen)
{
    if (stamps == m_stamps && sixteen == m_sixteen)
        return;
    m_stamps = stamps;
    m_sixteen = sixteen;
    m_stale = true;
}

void RowLayout::setCellMeasure(CellWidths::Measure measure)
{
    m_cells.setMeasure(std::move(measure));
    m_steps.fill(0);
    m_stale = true;
}

bool RowLayout::isHex() const
{
    return m_store.mode() == ReceiveStore::Mode::Hex;
}

void RowLayout::sync()
{
    // A block found unreadable since: its rows were laid out from its bytes, or not at all.
    if (m_stale || m_generation != m_store.generation() || m_unreadable != m_store.unreadableCount())
        restart();
    if (isHex()) {
        m_hexRows.setShape(m_columns, m_stamps, m_sixteen);
        m_hexRows.sync();
        return;
    }
    layOutText(m_laidOut, m_store.length());
    m_laidOut = m_store.length();
}

void RowLayout::restart()
{
    m_stale = false;
    m_generation = m_store.generation();
    m_unreadable = m_store.unreadableCount();
    m_laidOut = 0;
    m_column = lineStartColumn();
    m_afterCr = false;
    m_rowStarts.clear();
    m_rowStarts.append(0);
}

void RowLayout::layOutText(qint64 from, qint64 to)
{
    while (from < to) {
        if (!m_store.isReadable(from)) {
            placeUnreadable(from, qMin(to, m_store.blockEnd(from)));
            from = qMin(to, m_store.blockEnd(from));
            continue;
        }
        const std::span<const char> stored = m_store.byteSpan(from, to - from);
        const std::span bytes(reinterpret_cast<const unsigned char *>(stored.data()), stored.size());
        const qsizetype size = qsizetype(bytes.size());
        qsizetype i = 0;
        while (i < size) {
            const qsizetype plainEnd = plainRunEnd(bytes, i);
            if (plainEnd > i) {
                placePlain(from + i, plainEnd - i);
                i = plainEnd;
            } else if (isLineBreak(bytes[i])) {
                placeOther(bytes[i], from + i);
                ++i;
            } else {
                i = placeOthers(bytes, i, from);
            }
        }
        // A character that began in this block may have ended in the next.
        from += i;
    }
}

// Bytes that could not be read back take one row of their own, whatever
// lines and characters they held.
void RowLayout::placeUnreadable(qint64 position, qint64 end)
{
    if (m_rowStarts.last() != position)
        startRow(position);
    startRow(end);
    m_afterCr = false;
}

void RowLayout::placePlain(qint64 position, qint64 count)
{
    m_afterCr = false;
    while (count > 0) {
        if (m_column >= m_columns)
            startRow(position);
        const qint64 taken = qMin<qint64>(count, m_columns - m_column);
        m_column += int(taken);
        position += taken;
        count -= taken;
    }
}

// Places the characters up to the first tab or line break, after which a
// run of plain ASCII is likely. Their starts are found 64 bytes at a time
// and each one's columns by one look-up, so that neither waits on the one
// before and mixed text takes no unpredictable branch per character.
// Returns the index behind the last character placed, which is past the
// block when a double-byte character crosses into the next one.
qsizetype RowLayout::placeOthers(std::span<const unsigned char> bytes, qsizetype from, qint64 base)
{
    // The block's last byte may begin a character that ends in the next block.
    const qsizetype last = qsizetype(bytes.size()) - 1;
    const int columns = m_columns;
    int column = m_column;
    bool afterLead = false;
    qsizetype at = from;
    qsizetype stop = -1;
    while (at < last && stop < 0) {
        const int count = int(qMin<qsizetype>(64, last - at));
        const unsigned char *window = bytes.data() + at;
        for (quint64 starts = cp932CharacterStarts(window, count, afterLead); starts != 0; starts &= starts - 1) {
            const int k = std::countr_zero(starts);
            int entry = m_steps[window[k] << 8 | window[k + 1]];
            if (entry == 0)
                entry = learnStep(window[k], window[k + 1]);
            const int step = entry & kStepMask;
            if (step == kBreaking) {
                stop = at + k;
                break;
            }
            if (column + step > columns && column > 0) {
                m_rowStarts.append(base + at + k);
                column = 0;
            }
            column += step;
        }
        at += count;
    }
    if (stop >= 0)
        at = stop;
    else if (afterLead && isCp932TrailByte(bytes[last]))
        ++at; // the last byte ends a character placed already
    if (at > from)
        m_afterCr = false;
    m_column = column;
    if (at > last)
        return at;
    const Cp932Char character = m_store.characterAt(base + at);
    placeOther(character.unit, base + at);
    return at + character.length;
}

int RowLayout::learnStep(unsigned char first, unsigned char second)
{
    const Cp932Char character = Cp932Table::instance().at(first, second);
    const int entry = stepOf(character.unit) | character.length << kStepBits;
    m_steps[first << 8 | second] = std::uint8_t(entry);
    return entry;
}

int RowLayout::stepOf(char16_t unit) const
{
    return isLineBreak(unit) || unit == u'\t' ? kBreaking : widthOf(unit, 0);
}

void RowLayout::placeOther(char16_t unit, qint64 position)
{
    if (unit == u'\n' && m_afterCr) {
        // The LF of a CR LF that the CR has already broken: the row after
        // the break starts behind the pair.
        m_afterCr = false;
        m_rowStarts.setLast(position + 1);
        return;
    }
    m_afterCr = unit == u'\r';
    if (isLineBreak(unit)) {
        startRow(position + 1);
        m_column = lineStartColumn();
        return;
    }
    if (unit == u'\t') {
        if (m_column >= m_columns)
            startRow(position);
    } else if (m_column > 0 && m_column + widthOf(unit, m_column) > m_columns) {
        startRow(position);
    }
    m_column += widthOf(unit, m_column);
}

void RowLayout::startRow(qint64 position)
{
    m_rowStarts.append(position);
    m_column = 0;
}

int RowLayout::widthOf(char16_t unit, int column) const
{
    if (isPlain(unit))
        return 1;
    if (unit == u'\t')
        return tabWidth(column);
    return m_cells.cells(controlpictures::isControl(unit) ? controlpictures::pictureOf(unit) : unit);
}

int RowLayout::tabWidth(int column) const
{
    // A tab near the right edge stops there instead of wrapping.
    return qMax(1, qMin(kTabStop - column % kTabStop, m_columns - column));
}

int RowLayout::lineStartColumn() const
{
    return m_stamps ? qMin(recordlines::kStampColumns, m_columns - 1) : 0;
}

qint64 RowLayout::rowCount() const
{
    if (isHex())
        return m_hexRows.rowCount();
    return m_rowStarts.size();
}

qint64 RowLayout::rowStart(qint64 row) const
{
    if (isHex())
        return m_hexRows.firstByte(row) * hexgroups::kGroupWidth;
    return m_rowStarts.at(row);
}

qint64 RowLayout::rowEnd(qint64 row) const
{
    if (isHex())
        return qMin(m_hexRows.endByte(row) * hexgroups::kGroupWidth, m_store.length());
    return row + 1 < m_rowStarts.size() ? m_rowStarts.at(row + 1) : m_laidOut;
}

qint64 RowLayout::rowOf(qint64 position) const
{
    if (isHex())
        return m_hexRows.rowOf(qMin(position, m_store.length() - 1) / hexgroups::kGroupWidth);
    return qMax<qint64>(0, m_rowStarts.lastAtOrBelow(position));
}

bool RowLayout::startsLine(qint64 row) const
{
    return !isHex() && (row == 0 || isLineBreak(char16_t(m_store.byteAt(rowStart(row) - 1))));
}

template<typename Visit>
qint64 RowLayout::walkRow(qint64 row, Visit visit) const
{
    qint64 position = rowStart(row);
    const qint64 end = rowEnd(row);
    int column = startsLine(row) ? lineStartColumn() : 0;
    while (position < end) {
        const Cp932Char character = m_store.characterAt(position);
        if (isLineBreak(character.unit))
            return position;
        const int width = widthOf(character.unit, column);
        if (!visit(Step{position, character.unit, column, width}))
            return position;
        column += width;
        position += character.length;
    }
    return position;
}

bool RowLayout::isUnreadable(qint64 row) const
{
    if (isHex())
        return m_hexRows.isUnreadable(row);
    return m_store.unreadableCount() > 0 && !m_store.isReadable(rowStart(row));
}

QList<RowRun> RowLayout::runs(qint64 row) const
{
    if (isHex())
        return m_hexRows.runs(row);
    if (isUnreadable(row))
        return unreadableRuns(0, rowEnd(row) - rowStart(row));
    QList<RowRun> runs;
    // A line's time is its first byte's: a row with nothing yet has none.
    if (m_stamps && startsLine(row) && rowStart(row) < m_store.length()) {
        const qint64 stamp = m_store.stampIndexOf(rowStart(row));
        if (stamp >= 0)
            runs.append(RowRun{0, recordlines::kStampColumns, recordlines::shortStamp(m_store.stampTime(stamp)), false, true});
    }
    walkRow(row, [&runs](const Step &step) {
        if (step.unit == u'\t')
            return true;
        const bool control = controlpictures::isControl(step.unit);
        const QChar shown(control ? controlpictures::pictureOf(step.unit) : step.unit);
        // Characters that follow each other and take as many columns each
        // share a run, so that a row is drawn in few pieces.
        if (!control && !runs.isEmpty() && !runs.last().control && !runs.last().dim
            && runs.last().column + runs.last().width == step.column
            && runs.last().width == runs.last().text.size() * step.width) {
            runs.last().text.append(shown);
            runs.last().width += step.width;
        } else {
            runs.append(RowRun{step.column, step.width, QString(shown), control});
        }
        return true;
    });
    return runs;
}

qint64 RowLayout::positionAt(qint64 row, qreal column) const
{
    if (isHex()) {
        const qint64 offset = std::llround(qMax<qreal>(0, column - m_hexRows.prefixColumns()));
        return qMin(rowStart(row) + offset, shownEnd(row));
    }
    qint64 found = -1;
    const qint64 stop = walkRow(row, [&](const Step &step) {
        if (column < step.column + step.width / 2.0) {
            found = step.position;
            return false;
        }
        return true;
    });
    return found >= 0 ? found : stop;
}

int RowLayout::columnOf(qint64 row, qint64 position) const
{
    if (isHex())
        return m_hexRows.prefixColumns() + int(qBound(rowStart(row), position, rowEnd(row)) - rowStart(row));
    int column = startsLine(row) ? lineStartColumn() : 0;
    walkRow(row, [&](const Step &step) {
        if (step.position >= position)
            return false;
        column = step.column + step.width;
        return true;
    });
    return column;
}

qint64 RowLayout::shownEnd(qint64 row) const
{
    if (isHex())
        return rowEnd(row);
    return walkRow(row, [](const Step &) { return true; });
}

QString RowLayout::displayText(qint64 row) const
{
    QString text;
    int column = 0;
    for (const RowRun &run : runs(row)) {
        text += QString(run.column - column, u' ') + run.text;
        column = run.column + run.width;
    }
    // A tab at the end of the row still moves the columns on; a marked row has none.
    if (!isUnreadable(row))
        text += QString(qMax(0, columnOf(row, shownEnd(row)) - column), u' ');
    return text;
}
