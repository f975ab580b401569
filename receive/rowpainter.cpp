// SPDX-License-Identifier: MIT
#include "receive/rowpainter.h"

#include "capture/controlpictures.h"
#include "capture/receivesearch.h"
#include "receive/rowlayout.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>
#include <QPalette>
#include <QTextLayout>
#include <QtMath>

#include <algorithm>

namespace {

constexpr int kMargin = 2;

// Whether the font, or a font Qt falls back to, has a glyph for the character.
bool hasGlyph(const QFont &font, char16_t unit)
{
    QTextLayout layout(QString(QChar(unit)), font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun &run : layout.glyphRuns()) {
        if (run.glyphIndexes().contains(0))
            return false;
    }
    return true;
}

} // namespace

void RowPainter::setFont(const QFont &font)
{
    const QFontMetricsF metrics(font);
    m_font = font;
    m_glyphs.setFont(font);
    m_cellWidth = qMax<qreal>(1, metrics.horizontalAdvance(QLatin1Char('0')));
    m_ascent = metrics.ascent();
    m_lineHeight = qMax(1, qCeil(metrics.lineSpacing()));
    m_tiles.setGrid(m_cellWidth, m_ascent, m_lineHeight);
    // Few fonts have the control pictures (the CJK fonts do not); without
    // them the picture is drawn here from the character's abbreviation.
    m_drawPictures = !hasGlyph(font, controlpictures::pictureOf(0x1B));
    m_pictures.clear();
    m_pictureFont = font;
    m_pictureFont.setPixelSize(qMax(6, qRound(m_lineHeight * 0.42)));
}

int RowPainter::columnsIn(int width) const
{
    return int((width - 2 * kMargin) / m_cellWidth);
}

qreal RowPainter::columnAt(qreal x) const
{
    return (x - kMargin) / m_cellWidth;
}

qreal RowPainter::xOf(int column) const
{
    return kMargin + column * m_cellWidth;
}

CellWidths::Measure RowPainter::cellMeasure() const
{
    const qreal wide = m_cellWidth * 1.5;
    return [metrics = QFontMetricsF(m_font), wide](char16_t unit) {
        return metrics.horizontalAdvance(QChar(unit)) > wide ? 2 : 1;
    };
}

void RowPainter::paintRow(QPainter &painter, const RowLayout &layout, qint64 row, qreal y, qint64 selectionFrom,
                          qint64 selectionTo, const QPalette &palette, const GlyphTiles::Frame *tiles) const
{
    const QList<RowRun> runs = layout.runs(row);
    painter.setFont(m_font);
    const QColor text = palette.color(QPalette::Text);
    const QColor dim = palette.color(QPalette::PlaceholderText);
    if (tiles)
        m_tiles.setColours(palette.color(QPalette::Base), text, dim);
    drawRuns(painter, runs, y, text, dim, tiles);
    const QRectF selected = selectionRect(layout, row, y, selectionFrom, selectionTo);
    if (selected.isEmpty())
        return;
    painter.save();
    painter.setClipRect(selected);
    painter.fillRect(selected, palette.color(QPalette::Highlight));
    const QColor highlighted = palette.color(QPalette::HighlightedText);
    drawRuns(painter, runs, y, highlighted, highlighted);
    painter.restore();
}

void RowPainter::markMatches(QPainter &painter, const RowLayout &layout, const ReceiveStore &store,
                             const ReceiveSearch &search, qint64 firstRow, qint64 endRow) const
{
    if (search.isEmpty() || firstRow >= endRow)
        return;
    const qint64 to = layout.rowEnd(endRow - 1);
    const QColor mark(255, 230, 120);
    // Bounded by the rows in view: a pattern found nowhere further on must
    // not send each frame through the rest of the box.
    for (qint64 at = search.next(store, qMax<qint64>(0, layout.rowStart(firstRow) - search.reach(store) + 1), to);
         at >= 0; at = search.next(store, at + 1, to)) {
        const qint64 end = search.matchEnd(store, at);
        for (qint64 row = qMax(firstRow, layout.rowOf(at)); row < endRow && layout.rowStart(row) < end; ++row) {
            const QRectF marked = selectionRect(layout, row, qreal((row - firstRow) * m_lineHeight), at, end);
            if (!marked.isEmpty())
                painter.fillRect(marked, mark);
        }
    }
}

void RowPainter::drawRuns(QPainter &painter, const QList<RowRun> &runs, qreal y, const QColor &text,
                          const QColor &dim, const GlyphTiles::Frame *tiles) const
{
    // Every glyph at its grid column: copied from its tile, or else drawn
    // in one call per font and colour after the tiles, so that ink reaching
    // past its cells is not covered by a neighbour's tile.
    const qreal baseline = y + m_ascent;
    for (const RowRun &run : runs) {
        if (run.control && m_drawPictures) {
            painter.setPen(dim);
            drawPicture(painter, QRectF(xOf(run.column), y, run.width * m_cellWidth, m_lineHeight),
                        run.text.front().unicode());
            continue;
        }
        const bool dimmed = run.control || run.dim;
        const int cells = run.width / qMax<qsizetype>(1, run.text.size());
        for (qsizetype i = 0; i < run.text.size(); ++i) {
            const char16_t unit = run.text.at(i).unicode();
            const qreal x = xOf(run.column + int(i) * cells);
            if (tiles && m_tiles.copy(*tiles, m_glyphs, unit, cells, dimmed, QPoint(qRound(x), qRound(y))))
                continue;
            queueGlyph(painter, unit, QPointF(x, baseline), dimmed, dimmed ? dim : text);
        }
    }
    drawBatches(painter, text, dim);
}

// Adds the character's glyph to the row's batch for its font and colour.
void RowPainter::queueGlyph(QPainter &painter, char16_t unit, QPointF at, bool dimmed, const QColor &pen) const
{
    const GlyphCache::Glyph glyph = m_glyphs.glyphOf(unit);
    if (glyph.font == GlyphCache::kNone)
        return;
    if (glyph.font == GlyphCache::kText) {
        painter.setPen(pen);
        painter.drawText(at, QString(QChar(unit)));
        return;
    }
    auto batch = std::find_if(m_batches.begin(), m_batches.end(),
                              [&](const Batch &known) { return known.font == glyph.font && known.dim == dimmed; });
    if (batch == m_batches.end())
        batch = m_batches.insert(m_batches.end(), Batch{glyph.font, dimmed, {}, {}});
    batch->glyphs.append(glyph.index);
    batch->positions.append(at);
}

void RowPainter::drawBatches(QPainter &painter, const QColor &text, const QColor &dim) const
{
    for (const Batch &batch : m_batches) {
        if (batch.glyphs.isEmpty())
            continue;
        QGlyphRun glyphRun;
        glyphRun.setRawFont(m_glyphs.font(batch.font));
        glyphRun.setGlyphIndexes(batch.glyphs);
        glyphRun.setPositions(batch.positions);
        painter.setPen(batch.dim ? dim : text);
        painter.drawGlyphRun(QPointF(), glyphRun);
    }
    // Emptied once no run shares them, so that the next row reuses the memory.
    for (Batch &batch : m_batches) {
        batch.glyphs.clear();
        batch.positions.clear();
    }
}

// The abbreviation set diagonally, as the Unicode control pictures are.
// Two pieces of small text per control character cost more than the rest
// of a row, so each picture is drawn once per colour and then copied.
void RowPainter::drawPicture(QPainter &painter, const QRectF &cell, char16_t picture) const
{
    const qreal ratio = painter.device()->devicePixelRatioF();
    if (ratio != m_pictureRatio) {
        m_pictures.clear();
        m_pictureRatio = ratio;
    }
    const quint64 key = quint64(picture) << 40 | quint64(qRound(cell.width())) << 32 | painter.pen().color().rgba();
    auto known = m_pictures.constFind(key);
    if (known == m_pictures.cend()) {
        QImage image((cell.size() * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        image.fill(Qt::transparent);
        QPainter drawn(&image);
        drawn.setPen(painter.pen());
        drawn.setFont(m_pictureFont);
        const QRectF area(QPointF(), cell.size());
        const QString name = controlpictures::nameOf(picture);
        const qsizetype split = name.size() - 1;
        drawn.drawText(area, Qt::AlignLeft | Qt::AlignTop, name.left(split));
        drawn.drawText(area, Qt::AlignRight | Qt::AlignBottom, name.mid(split));
        drawn.end();
        known = m_pictures.insert(key, image);
    }
    painter.drawImage(cell.topLeft(), *known);
}

QRectF RowPainter::selectionRect(const RowLayout &layout, qint64 row, qreal y, qint64 from, qint64 to) const
{
    const qint64 start = qMax(from, layout.rowStart(row));
    const qint64 end = qMin(to, layout.rowEnd(row));
    if (start >= end)
        return {};
    const int left = layout.columnOf(row, start);
    int right = layout.columnOf(row, end);
    // A selected line break shows as one more selected cell.
    if (end > layout.shownEnd(row))
        ++right;
    return QRectF(xOf(left), y, (right - left) * m_cellWidth, m_lineHeight);
}
