// SPDX-License-Identifier: MIT
#pragma once

#include <QFont>
#include <QRawFont>

#include <vector>

// The glyph that draws each character and the font it comes from (the
// view's own or one Qt falls back to), found once per character. Qt offers
// no per-character fallback look-up; drawText lays the text out afresh on
// every frame, which cost more than all else in a frame of CJK text.
class GlyphCache
{
public:
    struct Glyph
    {
        // Index into fonts(); kNone when the character draws nothing,
        // kText when it takes more than one glyph and is drawn as text.
        int font = kNone;
        quint32 index = 0;
    };
    static constexpr int kNone = -1;
    static constexpr int kText = -3;

    void setFont(const QFont &font);
    Glyph glyphOf(char16_t unit) const
    {
        const Glyph &known = m_known[unit];
        return known.font == kUnknown ? find(unit) : known;
    }
    const QRawFont &font(int index) const { return m_fonts[size_t(index)]; }

private:
    static constexpr int kUnknown = -2;

    Glyph find(char16_t unit) const;

    QFont m_font;
    mutable std::vector<QRawFont> m_fonts;
    mutable std::vector<Glyph> m_known = std::vector<Glyph>(0x10000, Glyph{kUnknown, 0});
};
