// SPDX-License-Identifier: MIT
#include "receive/quietscrollbar.h"

QuietScrollBar::QuietScrollBar(QWidget *parent)
    : QScrollBar(Qt::Vertical, parent)
{
}

void QuietScrollBar::settle(int maximum, int pageStep, bool toEnd)
{
    m_settling = true;
    setRange(0, maximum);
    setPageStep(pageStep);
    if (toEnd)
        setValue(maximum);
    m_settling = false;
    updateIfChanged();
}

void QuietScrollBar::sliderChange(SliderChange change)
{
    if (m_settling)
        return;
    if (change == SliderOrientationChange) {
        m_shown = look();
        QScrollBar::sliderChange(change);
        return;
    }
    updateIfChanged();
}

void QuietScrollBar::updateIfChanged()
{
    const Look now = look();
    if (now == m_shown)
        return;
    m_shown = now;
    update();
}

void QuietScrollBar::changeEvent(QEvent *event)
{
    m_option.reset();
    QScrollBar::changeEvent(event);
}

QuietScrollBar::Look QuietScrollBar::look() const
{
    if (!m_option || m_option->rect != rect()) {
        m_option.emplace();
        initStyleOption(&*m_option);
    }
    QStyleOptionSlider &option = *m_option;
    option.minimum = minimum();
    option.maximum = maximum();
    option.sliderPosition = sliderPosition();
    option.sliderValue = value();
    option.singleStep = singleStep();
    option.pageStep = pageStep();
    option.upsideDown = invertedAppearance();
    // A style may grey an arrow at either end.
    return {style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
            value() == minimum(), value() == maximum()};
}
