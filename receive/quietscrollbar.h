// SPDX-License-Identifier: MIT
#pragma once

#include <QRect>
#include <QScrollBar>

// A scroll bar that repaints only when what it shows changes. While data
// streams, the range and the value change with nearly every frame, yet the
// handle stays on the same pixels once the box holds more than a few
// screens; each repaint fills the groove with a gradient, which Qt spreads
// over a pool of threads, waking each of them.
class QuietScrollBar : public QScrollBar
{
public:
    explicit QuietScrollBar(QWidget *parent = nullptr);

    // A new range from 0 and page, then the end if asked, as one change:
    // the handle is not drawn where it stands only between the two.
    void settle(int maximum, int pageStep, bool toEnd);

protected:
    void sliderChange(SliderChange change) override;

private:
    struct Look
    {
        QRect handle;
        bool atStart = false;
        bool atEnd = false;
        bool operator==(const Look &) const = default;
    };
    Look look() const;

    void updateIfChanged();

    Look m_shown;
    bool m_settling = false;
};
