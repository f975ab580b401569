// SPDX-License-Identifier: MIT
#pragma once

#include <QRect>
#include <QScrollBar>
#include <QStyleOptionSlider>

#include <optional>

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
    void changeEvent(QEvent *event) override;

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
    // Where the handle lies depends on the numbers, the bar's size and its
    // style: the rest of the option (palette, font metrics, window state)
    // is built once, not every frame, where it cost more than the settle.
    mutable std::optional<QStyleOptionSlider> m_option;
};
