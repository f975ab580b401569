// SPDX-License-Identifier: MIT
#pragma once

#include "receive/cellwidths.h"
#include "receive/glyphcache.h"
#include "receive/glyphtiles.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPointF>
#include <QRectF>

#include <vector>

class QPainter;
class QPalette;
class ReceiveSearch;
class ReceiveStore;
class RowLayout;
struct RowRun;

// Draws rows of the receive box on a fixed-pitch grid: each run at its
// column, control pictures in a dimmer colour, the selection highlighted.
class RowPainter
{
public:
    void setFont(const QFont &font);
    int lineHeight() const { return m_lineHeight; }
    int columnsIn(int width) const;
    // The grid column under x, between two columns where x lies between them.
    qreal columnAt(qreal x) const;
    CellWidths::Measure cellMeasure() const;

    // Draws the row, highlighting the part of [selectionFrom, selectionTo) in it.
    // Given the painter's frame (GlyphTiles::frameOf, on a background with no
    // match marked), characters are copied from tiles rather than drawn.
    void paintRow(QPainter &painter, const RowLayout &layout, qint64 row, qreal y, qint64 selectionFrom,
                  qint64 selectionTo, const QPalette &palette, const GlyphTiles::Frame *tiles = nullptr) const;

    // Marks the search's matches in rows [firstRow, endRow), under their text.
    void markMatches(QPainter &painter, const RowLayout &layout, const ReceiveStore &store,
                     const ReceiveSearch &search, qint64 firstRow, qint64 endRow) const;

private:
    void drawRuns(QPainter &painter, const QList<RowRun> &runs, qreal y, const QColor &text, const QColor &dim,
                  const GlyphTiles::Frame *tiles = nullptr) const;
    void drawPicture(QPainter &painter, const QRectF &cell, char16_t picture) const;
    void queueGlyph(QPainter &painter, char16_t unit, QPointF at, bool dimmed, const QColor &pen) const;
    void drawBatches(QPainter &painter, const QColor &text, const QColor &dim) const;
    QRectF selectionRect(const RowLayout &layout, qint64 row, qreal y, qint64 from, qint64 to) const;
    qreal xOf(int column) const;

    // The glyphs of one font and one colour in a row, drawn in one call.
    struct Batch
    {
        int font = 0;
        bool dim = false;
        QList<quint32> glyphs;
        QList<QPointF> positions;
    };

    QFont m_font;
    QFont m_pictureFont;
    GlyphCache m_glyphs;
    mutable GlyphTiles m_tiles;
    mutable std::vector<Batch> m_batches;
    // Each control picture drawn as an image, by picture, cell width and colour.
    mutable QHash<quint64, QImage> m_pictures;
    mutable qreal m_pictureRatio = 0;
    qreal m_cellWidth = 1;
    qreal m_ascent = 0;
    int m_lineHeight = 1;
    bool m_drawPictures = false;
};
