// SPDX-License-Identifier: MIT
#pragma once

#include <QChar>

#include <array>
#include <cstdint>
#include <functional>

// How many columns of the fixed-pitch grid each character takes: 1 or 2.
// Qt tells neither a character's East Asian width nor whether a font draws
// it wide, so the view measures each character once with its font; without
// a measure the common wide ranges (CJK, kana, Hangul, full-width forms)
// take two columns.
class CellWidths
{
public:
    using Measure = std::function<int(char16_t)>;

    CellWidths();

    void setMeasure(Measure measure);
    int cells(char16_t unit) const
    {
        std::uint8_t &known = m_known[unit];
        if (known == 0)
            known = std::uint8_t(qBound(1, m_measure(unit), 2));
        return known;
    }

    static int defaultCells(char16_t unit);

private:
    Measure m_measure;
    mutable std::array<std::uint8_t, 0x10000> m_known{};
};
