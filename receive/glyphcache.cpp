// SPDX-License-Identifier: MIT
#include "receive/glyphcache.h"

#include <QGlyphRun>
#include <QTextLayout>

#include <algorithm>

void GlyphCache::setFont(const QFont &font)
{
    m_font = font;
    m_fonts.clear();
    std::fill(m_known.begin(), m_known.end(), Glyph{kUnknown, 0});
}

GlyphCache::Glyph GlyphCache::find(char16_t unit) const
{
    // Laid out alone, as drawText would lay out a run of one character.
    QTextLayout layout(QString(QChar(unit)), m_font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    Glyph glyph{kNone, 0};
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() > 1 || (runs.size() == 1 && runs.front().glyphIndexes().size() > 1)) {
        glyph.font = kText;
    } else if (!runs.isEmpty() && !runs.front().glyphIndexes().isEmpty()) {
        const QRawFont raw = runs.front().rawFont();
        auto known = std::find(m_fonts.begin(), m_fonts.end(), raw);
        if (known == m_fonts.end())
            known = m_fonts.insert(m_fonts.end(), raw);
        glyph = {int(known - m_fonts.begin()), runs.front().glyphIndexes().front()};
    }
    m_known[unit] = glyph;
    return glyph;
}
