// SPDX-License-Identifier: MIT
// The receive box's frames shown past Qt's backing store, on X11.
#include "receive/receiveview.h"

#include "receive/x11presenter.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QWindow>

#include <cstring>
#include <utility>

bool ReceiveView::presentsItself()
{
    // Sought once the window exists, and only on X11.
    if (!m_presenterSought && window()->windowHandle()) {
        m_presenterSought = true;
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            m_presenter = X11Presenter::create(window()->winId());
    }
    // The box's pixels one to a point, as the window takes them.
    return m_presenter && viewport()->devicePixelRatioF() == 1;
}

bool ReceiveView::presentFrame(const QRect &grown)
{
    QWindow *shown = window()->windowHandle();
    if (!m_frameCurrent || m_frame.size() != viewport()->size() || !shown || !shown->isExposed()
        || !viewport()->isVisible() || !viewport()->updatesEnabled())
        return false;
    QElapsedTimer clock;
    clock.start();
    const int rows = std::exchange(m_shiftRows, 0);
    QRect area = grown;
    if (rows != 0) {
        const std::optional<QRect> band = shiftFrame(rows);
        if (!band)
            return false;
        area |= *band;
    }
    area &= viewport()->rect();
    const QPalette &colours = palette();
    drawFrame(area, colours, colours.color(viewport()->backgroundRole()));
    followUnreadable();
    m_paintCost = std::chrono::nanoseconds(clock.nsecsElapsed());
    if (!m_presenter->present(window()->winId(), viewport()->mapTo(window(), QPoint()), m_frame,
                              rows * m_painter.lineHeight(), area))
        return false;
    m_storeBehind = true;
    if (m_exposed != shown) {
        if (m_exposed)
            m_exposed->removeEventFilter(this);
        shown->installEventFilter(this);
        m_exposed = shown;
    }
    return true;
}

std::optional<QRect> ReceiveView::shiftFrame(int rows)
{
    const int pixels = rows * m_painter.lineHeight();
    const int height = m_frame.height();
    if (qAbs(pixels) >= height)
        return std::nullopt;
    const int lines = height - qAbs(pixels);
    const qsizetype width = qsizetype(m_frame.width()) * 4;
    const qsizetype stride = m_frame.bytesPerLine();
    uchar *const bits = m_frame.bits();
    // Up when the rows move up, so that no line is overwritten before it is moved.
    for (int i = 0; i < lines; ++i) {
        const int to = pixels < 0 ? i : height - 1 - i;
        std::memcpy(bits + to * stride, bits + (to - pixels) * stride, width);
    }
    return pixels < 0 ? QRect(0, lines, m_frame.width(), -pixels) : QRect(0, 0, m_frame.width(), pixels);
}

void ReceiveView::paintPresented(QPainter &painter, const QRect &area, const QPalette &colours,
                                 const QColor &background)
{
    drawFrame(area, colours, background);
    painter.drawImage(area.topLeft(), m_frame, area);
    // The next frame shown past Qt sends the box whole.
    m_presenter->forget();
    if (area.contains(viewport()->rect())) {
        m_frameCurrent = true;
        if (drawsOnBackingStore(painter))
            m_storeBehind = false;
    }
}

bool ReceiveView::eventFilter(QObject *watched, QEvent *event)
{
    // Qt answers an exposure with what its backing store holds, which lacks
    // the frames shown past it: the box is drawn there again first.
    if (watched == m_exposed && event->type() == QEvent::Expose && m_storeBehind)
        viewport()->update();
    return QAbstractScrollArea::eventFilter(watched, event);
}
