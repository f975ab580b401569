// SPDX-License-Identifier: MIT
#include "receive/glyphtiles.h"

#include "receive/glyphcache.h"

#include <QGlyphRun>
#include <QPaintEngine>
#include <QPainter>
#include <QtMath>

#include <algorithm>
#include <cstring>

void GlyphTiles::setGrid(qreal cellWidth, qreal ascent, int lineHeight)
{
    m_cellWidth = cellWidth == std::floor(cellWidth) ? int(cellWidth) : 0;
    m_ascent = ascent;
    m_lineHeight = lineHeight;
    forget();
}

std::optional<GlyphTiles::Frame> GlyphTiles::frameOf(QPainter &painter)
{
    QPaintDevice *device = painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    const QTransform transform = painter.deviceTransform();
    if (!device || device->devType() != QInternal::Image || transform.type() > QTransform::TxTranslate
        || !painter.hasClipping())
        return std::nullopt;
    auto *image = static_cast<QImage *>(device);
    const QPoint offset(qRound(transform.dx()), qRound(transform.dy()));
    // The tiles are opaque, so an image with alpha takes them as they are.
    // A shared image would be copied by bits(), away from what is shown.
    if ((image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32_Premultiplied)
        || image->devicePixelRatio() != 1 || !image->isDetached()
        || QPointF(offset) != QPointF(transform.dx(), transform.dy()))
        return std::nullopt;
    // Tiles go around the painter, so they go only where it would draw all
    // of its clip: one rectangle, within the region it was given to paint
    // (a widget's own pixels, not those of a sibling above it).
    const QRegion clipped = painter.clipRegion();
    const QRect clip = clipped.boundingRect().translated(offset) & image->rect();
    const QRegion system = painter.paintEngine()->systemClip();
    if (clipped.rectCount() != 1 || (!system.isEmpty() && !(QRegion(clip) - system).isEmpty()))
        return std::nullopt;
    return Frame{image->bits(), image->bytesPerLine(), offset, clip};
}

void GlyphTiles::setColours(const QColor &background, const QColor &text, const QColor &dim)
{
    if (background.rgba() == m_background && text.rgba() == m_text && dim.rgba() == m_dim)
        return;
    m_background = background.rgba();
    m_text = text.rgba();
    m_dim = dim.rgba();
    forget();
}

void GlyphTiles::forget()
{
    m_tiles.clear();
    m_latin.fill(std::nullopt);
}

bool GlyphTiles::copy(const Frame &frame, const GlyphCache &glyphs, char16_t unit, int cells, bool dim, QPoint at)
{
    const Tile &tile = tileOf(glyphs, unit, cells, dim);
    if (!tile.pixels)
        return false;
    at += frame.offset;
    const QRect target = QRect(at, tile.size) & frame.clip;
    if (target.isEmpty())
        return true;
    uchar *to = frame.bits + target.top() * frame.stride + target.left() * 4;
    const qsizetype tileStride = tile.stride;
    const uchar *from = tile.pixels + (target.top() - at.y()) * tileStride + (target.left() - at.x()) * 4;
    const int pixels = target.width();
    // A cell's line is a few pixels: moved in words, not by a call to memcpy each.
    for (int line = 0; line < target.height(); ++line, to += frame.stride, from += tileStride) {
        int pixel = 0;
        for (; pixel + 2 <= pixels; pixel += 2) {
            quint64 two;
            std::memcpy(&two, from + pixel * 4, 8);
            std::memcpy(to + pixel * 4, &two, 8);
        }
        if (pixel < pixels) {
            quint32 one;
            std::memcpy(&one, from + pixel * 4, 4);
            std::memcpy(to + pixel * 4, &one, 4);
        }
    }
    return true;
}

const GlyphTiles::Tile &GlyphTiles::tileOf(const GlyphCache &glyphs, char16_t unit, int cells, bool dim)
{
    if (unit < 256 && cells == 1) {
        std::optional<Tile> &known = m_latin[size_t(unit) * 2 + dim];
        if (!known)
            known.emplace(drawTile(glyphs, unit, cells, dim));
        return *known;
    }
    const quint32 key = quint32(unit) | quint32(cells > 1) << 16 | quint32(dim) << 17;
    auto known = m_tiles.constFind(key);
    if (known == m_tiles.cend())
        known = m_tiles.insert(key, Tile(drawTile(glyphs, unit, cells, dim)));
    return *known;
}

QImage GlyphTiles::drawTile(const GlyphCache &glyphs, char16_t unit, int cells, bool dim) const
{
    const GlyphCache::Glyph glyph = glyphs.glyphOf(unit);
    // A translucent background would show what lies under the frame's cells.
    if (m_cellWidth <= 0 || qAlpha(m_background) != 255 || glyph.font == GlyphCache::kText)
        return {};
    // Drawn with room around the cells, to see whether any ink falls there.
    const int margin = std::max(m_cellWidth, m_lineHeight / 2);
    const QRect cell(margin, margin, cells * m_cellWidth, m_lineHeight);
    QImage drawn(cell.width() + 2 * margin, cell.height() + 2 * margin, QImage::Format_RGB32);
    drawn.fill(m_background);
    if (glyph.font != GlyphCache::kNone) {
        QGlyphRun run;
        run.setRawFont(glyphs.font(glyph.font));
        run.setGlyphIndexes({glyph.index});
        run.setPositions({QPointF(margin, margin + m_ascent)});
        QPainter painter(&drawn);
        painter.setPen(QColor::fromRgba(dim ? m_dim : m_text));
        painter.drawGlyphRun(QPointF(), run);
    }
    for (int y = 0; y < drawn.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(drawn.constScanLine(y));
        for (int x = 0; x < drawn.width(); ++x) {
            if (line[x] != m_background && !cell.contains(x, y))
                return {};
        }
    }
    return drawn.copy(cell);
}
