// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QHash>
#include <QImage>
#include <QRect>

#include <array>
#include <optional>
#include <utility>

class GlyphCache;
class QPainter;

// Each character's cells as they look drawn on the box's background, kept
// to be copied into the frame. Blending every glyph's coverage onto the
// frame was most of what a frame of the running hex dump cost; copying a
// cell is a few word moves a line. Qt copies pixels only through
// QPainter::drawImage, whose cost per call is about what the blend saved.
class GlyphTiles
{
public:
    // The grid the tiles are cut to; no tiles unless the cell is a whole number of pixels.
    void setGrid(qreal cellWidth, qreal ascent, int lineHeight);
    // Forgets the tiles when the colours differ from those they were drawn in.
    void setColours(const QColor &background, const QColor &text, const QColor &dim);
    // The pixels a painter draws on, as copy() takes them.
    struct Frame
    {
        uchar *bits = nullptr;
        qsizetype stride = 0;
        // Where the painter's origin lies in the image.
        QPoint offset;
        // Where tiles may be copied, in the image: the painter's clip.
        QRect clip;
    };
    // The pixels of the image the painter draws on (for a widget, its
    // backing store), when tiles can be copied there: a 32-bit image at one
    // pixel a point, moved by whole pixels at most, and one rectangle set as
    // the clip that the painter may draw on everywhere.
    static std::optional<Frame> frameOf(QPainter &painter);
    // Copies the character's cells to the frame with their top left at `at`.
    // False when the character's ink reaches past its cells or it takes more
    // than one glyph: it is then drawn as usual.
    bool copy(const Frame &frame, const GlyphCache &glyphs, char16_t unit, int cells, bool dim, QPoint at);

private:
    // The image with what a copy reads of it at hand: QImage answers each through a call.
    struct Tile
    {
        explicit Tile(QImage drawn)
            : image(std::move(drawn)), pixels(image.constBits()), stride(image.bytesPerLine()), size(image.size())
        {
        }
        QImage image;
        const uchar *pixels;
        qsizetype stride;
        QSize size;
    };

    void forget();
    const Tile &tileOf(const GlyphCache &glyphs, char16_t unit, int cells, bool dim);
    QImage drawTile(const GlyphCache &glyphs, char16_t unit, int cells, bool dim) const;

    int m_cellWidth = 0;
    qreal m_ascent = 0;
    int m_lineHeight = 0;
    QRgb m_background = 0;
    QRgb m_text = 0;
    QRgb m_dim = 0;
    // A null image: the character is drawn as usual. Single-cell characters
    // below 256, all a hex dump shows, are looked up without hashing.
    std::array<std::optional<Tile>, 512> m_latin;
    QHash<quint32, Tile> m_tiles;
};
