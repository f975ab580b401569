// SPDX-License-Identifier: MIT
#include "receive/receiveview.h"

#include "capture/receivesearch.h"
#include "common/menuaccessibility.h"
#include "receive/quietscrollbar.h"
#include "receive/showntext.h"
#include "receive/x11presenter.h"

#include <QBackingStore>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDateTime>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPaintEngine>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <utility>

#include <malloc.h>

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kFrame{16};
// Under a flood every frame is all new rows, and a frame of CJK text costs
// milliseconds of the thread that also reads the line. Frames that take
// long come less often, so that drawing keeps to about this share of the
// time, yet never fewer than ten a second.
constexpr int kPaintShare = 10;
constexpr std::chrono::milliseconds kSlowestFrame{100};
// A steady trickle is read every 14 ms, and each read should bring its own
// frame: the last one was drawn a little after the previous read, so it is
// 13-14 ms old when the next bytes come. Waiting out the rest of 16 ms then
// costs a second wake-up and up to 3 ms of delay, and frames and reads drift
// in and out of step (the middle delay went between 7.3 and 8.4 ms from run
// to run). A frame due within this slack is drawn now instead.
constexpr std::chrono::milliseconds kFrameSlack{4};

// The store's blocks live in the heap: glibc stops giving large blocks
// mappings of their own once one such mapping has been freed, and free()
// hands back only what lies above the highest chunk still in use. Small
// allocations made while the data streamed sit among the blocks, so after
// a long stream the emptied box would keep the heap near its peak.
void returnFreedMemory()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

} // namespace

ReceiveView::ReceiveView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    viewport()->setBackgroundRole(QPalette::Base);
    // Every frame covers the whole viewport.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::IBeamCursor);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Always there, so that its arrival does not change the width mid-stream.
    setVerticalScrollBar(new QuietScrollBar(this));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // The area lays its bars out again after each change of range, by a
    // posted call: one more turn of the event loop every frame. With both
    // policies fixed nothing there can change; resizing still lays them out.
    disconnect(verticalScrollBar(), &QAbstractSlider::rangeChanged, this, nullptr);
    m_frameTimer.setSingleShot(true);
    connect(&m_frameTimer, &QTimer::timeout, this, &ReceiveView::showFrame);
    m_sinceFrame.start();
    applyFont();
}

ReceiveView::~ReceiveView() = default;

void ReceiveView::appendCp932(QByteArrayView bytes)
{
    m_store.appendCp932(bytes, QDateTime::currentMSecsSinceEpoch());
    scheduleFrame();
}

void ReceiveView::appendBytes(QByteArrayView bytes)
{
    m_store.appendBytes(bytes, QDateTime::currentMSecsSinceEpoch());
    scheduleFrame();
}

void ReceiveView::clear()
{
    m_store.clear();
    m_anchor = m_cursor = 0;
    // The rows of the old text go now rather than at the next frame, so that they are returned too.
    syncLayout();
    returnFreedMemory();
    scheduleWholeFrame();
}

void ReceiveView::moveCaretToEnd()
{
    m_followEnd = true;
    scheduleFrame();
}

int ReceiveView::visibleRows() const
{
    return qMax(1, viewport()->height() / m_painter.lineHeight());
}

QString ReceiveView::selectedText() const
{
    return shownText(qMin(m_anchor, m_cursor), qMax(m_anchor, m_cursor));
}

QString ReceiveView::shownText(qint64 from, qint64 to) const
{
    return showntext::between(m_layout, m_store, from, to);
}

bool ReceiveView::writeShown(QIODevice &out)
{
    syncLayout();
    const bool written = showntext::write(m_layout, m_store, out, 0, m_store.length(), &m_writeError);
    followUnreadable();
    return written;
}

bool ReceiveView::writeSelected(QIODevice &out)
{
    syncLayout();
    const bool written =
        showntext::write(m_layout, m_store, out, qMin(m_anchor, m_cursor), qMax(m_anchor, m_cursor), &m_writeError);
    followUnreadable();
    return written;
}

void ReceiveView::syncLayout()
{
    m_layout.setDecorations(m_stamps, m_sixteen);
    m_layout.sync();
}

void ReceiveView::setTimestamps(bool on)
{
    m_stamps = on;
    syncLayout();
    scheduleWholeFrame();
}

void ReceiveView::setSixteenBytes(bool on)
{
    m_sixteen = on;
    syncLayout();
    scheduleWholeFrame();
}

void ReceiveView::setAutoScroll(bool on)
{
    m_autoScroll = on;
    if (on)
        moveCaretToEnd();
}

void ReceiveView::holdView(bool held)
{
    m_held = held;
}

void ReceiveView::setSearch(const ReceiveSearch *search)
{
    m_search = search;
    viewport()->update();
}

void ReceiveView::selectMatch(qint64 from, qint64 to)
{
    syncLayout();
    m_anchor = from;
    m_cursor = to;
    QScrollBar *bar = verticalScrollBar();
    const qint64 row = m_layout.rowOf(from);
    if (row < bar->value() || row >= bar->value() + visibleRows())
        bar->setValue(int(qMax<qint64>(0, row - visibleRows() / 2)));
    viewport()->update();
}

void ReceiveView::selectAll()
{
    m_anchor = 0;
    m_cursor = m_store.length();
    viewport()->update();
}

void ReceiveView::copy()
{
    if (!hasSelection())
        return;
    if (qAbs(m_cursor - m_anchor) > s_copyLimit)
        emit copyTooLarge();
    else
        QGuiApplication::clipboard()->setText(selectedText());
    followUnreadable();
}

// A block found unreadable while drawing, copying or saving is laid out
// again as a marked row, and the scroll range follows, at the next frame
// (which sees the count changed and draws the whole box).
void ReceiveView::followUnreadable()
{
    if (m_store.unreadableCount() != m_shown.unreadable)
        scheduleFrame();
}

void ReceiveView::setCopyLimit(qint64 characters)
{
    s_copyLimit = characters;
}

void ReceiveView::scheduleFrame()
{
    if (m_takeOpen) {
        m_frameAsked = true;
        return;
    }
    if (m_frameTimer.isActive())
        return;
    const auto wait = frameWait();
    m_frameTimer.start(wait <= kFrameSlack ? 0ms : wait);
}

std::chrono::milliseconds ReceiveView::frameWait() const
{
    const auto interval = std::clamp(std::chrono::ceil<std::chrono::milliseconds>(m_paintCost * kPaintShare), kFrame,
                                     kSlowestFrame);
    // Bytes are taken once a frame too, by a timer of their own: a frame
    // due within the slack is drawn now rather than by one more wake-up.
    const auto since = std::chrono::nanoseconds(m_sinceFrame.nsecsElapsed());
    return std::chrono::ceil<std::chrono::milliseconds>(interval - since);
}

void ReceiveView::closeTake()
{
    m_takeOpen = false;
    if (!std::exchange(m_frameAsked, false))
        return;
    if (m_frameTimer.isActive() ? m_frameTimer.intervalAsDuration() == 0ms : frameWait() <= kFrameSlack) {
        m_frameTimer.stop();
        showFrame();
    } else {
        scheduleFrame();
    }
}

void ReceiveView::scheduleWholeFrame()
{
    m_wholeFrame = true;
    scheduleFrame();
}

void ReceiveView::showFrame()
{
    m_sinceFrame.restart();
    syncLayout();
    const qint64 last = qMax<qint64>(0, m_layout.rowCount() - visibleRows());
    // Rows that stay in view move up (scrollContentsBy).
    m_inFrame = true;
    static_cast<QuietScrollBar *>(verticalScrollBar())
        ->settle(int(qMin<qint64>(last, std::numeric_limits<int>::max())), visibleRows(),
                 m_followEnd && m_autoScroll && !m_held);
    m_inFrame = false;
    m_followEnd = false;
    updateGrownRows();
}

// At line rate a frame brings a row or two: drawing only those, not the
// whole box, is most of what a frame costs the window and the X server.
void ReceiveView::updateGrownRows()
{
    const Shown now{m_layout.rowCount(), m_store.generation(), m_store.unreadableCount(), m_store.mode()};
    const Shown before = std::exchange(m_shown, now);
    // Emptied, laid out again or switched: no row of the last frame is sure to stay.
    const bool whole = std::exchange(m_wholeFrame, false) || now.rows < before.rows
                       || now.generation != before.generation || now.unreadable != before.unreadable
                       || now.mode != before.mode;
    // Drawn now: a frame is due, and an update would wait one more turn of the event loop.
    if (whole) {
        m_shiftRows = 0;
        viewport()->repaint();
        return;
    }
    // The last row shown may have grown; rows after it are new.
    const qint64 first = verticalScrollBar()->value();
    const qint64 from = qMax(first, before.rows - 1);
    const qint64 end = qMin(now.rows, first + visibleRows() + 1);
    const int lineHeight = m_painter.lineHeight();
    const QRect grown(0, int((from - first) * lineHeight), viewport()->width(),
                      int(qMax<qint64>(0, end - from) * lineHeight));
    if (presentsItself()) {
        if (!presentFrame(grown)) {
            m_shiftRows = 0;
            viewport()->repaint();
        }
        return;
    }
    if (!grown.isEmpty())
        viewport()->repaint(grown);
}

void ReceiveView::applyFont()
{
    m_painter.setFont(font());
    m_layout.setCellMeasure(m_painter.cellMeasure());
    fitColumns();
}

void ReceiveView::fitColumns()
{
    m_layout.setColumns(m_painter.columnsIn(viewport()->width()));
    scheduleWholeFrame();
}

void ReceiveView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    fitColumns();
}

void ReceiveView::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        applyFont();
}

void ReceiveView::scrollContentsBy(int, int dy)
{
    // dy counts rows. The rows that stay in view are moved, not drawn again:
    // on X11 by the frame, within m_frame and the presenter's pixmap; by Qt elsewhere.
    if (presentsItself()) {
        // Only a frame moves m_frame; anything else draws the box again.
        if (m_inFrame && m_frameCurrent && qAbs(m_shiftRows + dy) < visibleRows()) {
            m_shiftRows += dy;
        } else if (m_inFrame) {
            m_shiftRows = 0;
            m_wholeFrame = true;
        } else {
            viewport()->update();
        }
        return;
    }
    if (qAbs(dy) < visibleRows())
        viewport()->scroll(0, dy * m_painter.lineHeight());
    else
        viewport()->update();
}

qint64 ReceiveView::positionAt(QPointF point)
{
    syncLayout();
    const qint64 row = verticalScrollBar()->value() + qint64(std::floor(point.y() / m_painter.lineHeight()));
    if (row < 0)
        return 0;
    if (row >= m_layout.rowCount())
        return m_store.length();
    return m_layout.positionAt(row, m_painter.columnAt(point.x()));
}

void ReceiveView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_cursor = positionAt(event->position());
    if (!(event->modifiers() & Qt::ShiftModifier))
        m_anchor = m_cursor;
    viewport()->update();
}

void ReceiveView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    // Dragging past an edge scrolls a row at a time.
    if (event->position().y() < 0)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (event->position().y() > viewport()->height())
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    m_cursor = positionAt(event->position());
    viewport()->update();
}

void ReceiveView::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy))
        copy();
    else if (event->matches(QKeySequence::SelectAll))
        selectAll();
    else
        QAbstractScrollArea::keyPressEvent(event);
}

void ReceiveView::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("rtxtAscRcvMenu"));
    keepMenuItemsAccessible(&menu);
    QAction *copyAction = menu.addAction(QStringLiteral("コピー(&C)"), this, &ReceiveView::copy);
    copyAction->setShortcut(QKeySequence::Copy);
    copyAction->setEnabled(hasSelection());
    QAction *selectAllAction = menu.addAction(QStringLiteral("すべて選択(&A)"), this, &ReceiveView::selectAll);
    selectAllAction->setShortcut(QKeySequence::SelectAll);
    selectAllAction->setEnabled(!m_store.isEmpty());
    if (!m_menuActions.isEmpty()) {
        menu.addSeparator();
        menu.addActions(m_menuActions);
    }
    menu.exec(event->globalPos());
}

void ReceiveView::paintEvent(QPaintEvent *event)
{
    // Rows are read from the store: lay out first, in case it was emptied since the last frame.
    syncLayout();
    QElapsedTimer clock;
    clock.start();
    // Looked up once a paint: the widget's palette asks whether its window is active.
    const QPalette &colours = palette();
    const QColor background = colours.color(viewport()->backgroundRole());
    // Only rows that grew, came in by scrolling or changed are asked for.
    const QRect area = event->rect();
    QPainter painter(viewport());
    painter.setClipRect(area);
    if (presentsItself()) {
        paintPresented(painter, area, colours, background);
        followUnreadable();
        m_paintCost = std::chrono::nanoseconds(clock.nsecsElapsed());
        return;
    }
    // Drawn in place where the backing store is opaque, or where characters
    // are copied from tiles rather than blended: the frame is then not
    // copied once more.
    if (const auto tiles = tilesFor(GlyphTiles::frameOf(painter)); backingStoreIsOpaque() || tiles) {
        paintRows(painter, area, colours, background, tiles ? &*tiles : nullptr);
    } else {
        // Text blends onto an opaque image several times faster than onto a
        // backing store with alpha, which is what Qt keeps on X11, Wayland and
        // offscreen; the finished rows are then copied in one go.
        const qreal ratio = viewport()->devicePixelRatioF();
        drawFrame(area, colours, background);
        painter.drawImage(area, m_frame, QRectF(QRectF(area).topLeft() * ratio, QRectF(area).size() * ratio));
    }
    followUnreadable();
    m_paintCost = std::chrono::nanoseconds(clock.nsecsElapsed());
}

void ReceiveView::drawFrame(const QRect &area, const QPalette &colours, const QColor &background)
{
    const qreal ratio = viewport()->devicePixelRatioF();
    const QSize pixels = (QSizeF(viewport()->size()) * ratio).toSize();
    if (m_frame.size() != pixels) {
        m_frame = QImage(pixels, QImage::Format_RGB32);
        m_frame.setDevicePixelRatio(ratio);
        m_frameCurrent = false;
    }
    QPainter painter(&m_frame);
    painter.setClipRect(area);
    const auto tiles = tilesFor(GlyphTiles::frameOf(painter));
    paintRows(painter, area, colours, background, tiles ? &*tiles : nullptr);
}

std::optional<GlyphTiles::Frame> ReceiveView::tilesFor(const std::optional<GlyphTiles::Frame> &frame) const
{
    // Tiles carry the plain background: not under marked matches.
    if (m_search && !m_search->isEmpty())
        return std::nullopt;
    return frame;
}

bool ReceiveView::drawsOnBackingStore(QPainter &painter) const
{
    QBackingStore *store = viewport()->backingStore();
    return store && painter.paintEngine() && painter.paintEngine()->paintDevice() == store->paintDevice();
}

bool ReceiveView::backingStoreIsOpaque() const
{
    QBackingStore *store = viewport()->backingStore();
    const QPaintDevice *device = store ? store->paintDevice() : nullptr;
    return device && device->devType() == QInternal::Image && !static_cast<const QImage *>(device)->hasAlphaChannel();
}

void ReceiveView::paintRows(QPainter &painter, const QRect &area, const QPalette &colours, const QColor &background,
                            const GlyphTiles::Frame *tiles) const
{
    // One painter for the background and the rows: at 70 frames a second a begin shows in a profile.
    painter.fillRect(area, background);
    const int lineHeight = m_painter.lineHeight();
    const qint64 top = verticalScrollBar()->value();
    const qint64 first = top + qMax(0, area.top()) / lineHeight;
    const qint64 end = qMin(m_layout.rowCount(), top + (area.bottom() + lineHeight) / lineHeight);
    if (m_search) {
        // Marks are placed from the first row they are given.
        painter.save();
        painter.translate(0, qreal((first - top) * lineHeight));
        m_painter.markMatches(painter, m_layout, m_store, *m_search, first, end);
        painter.restore();
    }
    const qint64 from = qMin(m_anchor, m_cursor);
    const qint64 to = qMax(m_anchor, m_cursor);
    for (qint64 row = first; row < end; ++row)
        m_painter.paintRow(painter, m_layout, row, qreal((row - top) * lineHeight), from, to, colours, tiles);
}
