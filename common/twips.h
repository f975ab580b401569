// SPDX-License-Identifier: MIT
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Window geometry is laid out in twips: 1/1440 inch, 15 to a
// device-independent pixel.
constexpr int kTwipsPerPixel = 15;

// Rounded to the nearest pixel: 1000 twips, the windows' distance from the
// screen corner, is 66.7 px.
constexpr int twips(int value)
{
    return (value + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return {twips(left), twips(top), twips(width), twips(height)};
}
