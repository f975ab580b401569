// SPDX-License-Identifier: MIT
#include "receive/cellwidths.h"

#include <utility>

CellWidths::CellWidths()
    : m_measure(&CellWidths::defaultCells)
{
}

void CellWidths::setMeasure(Measure measure)
{
    m_measure = measure ? std::move(measure) : Measure(&CellWidths::defaultCells);
    m_known.fill(0);
}

int CellWidths::defaultCells(char16_t unit)
{
    const bool wide = (unit >= 0x1100 && unit <= 0x115F) || (unit >= 0x2E80 && unit <= 0xA4CF && unit != 0x303F)
                      || (unit >= 0xAC00 && unit <= 0xD7A3) || (unit >= 0xF900 && unit <= 0xFAFF)
                      || (unit >= 0xFE30 && unit <= 0xFE4F) || (unit >= 0xFF00 && unit <= 0xFF60)
                      || (unit >= 0xFFE0 && unit <= 0xFFE6);
    return wide ? 2 : 1;
}
