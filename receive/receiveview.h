// SPDX-License-Identifier: MIT
#pragma once

#include "capture/receivestore.h"
#include "receive/rowlayout.h"
#include "receive/rowpainter.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <memory>
#include <optional>

// The receive box: a read-only but selectable view of everything received
// since it was last emptied. A plain text widget lays its whole paragraph
// out again as it grows and falls behind the line; this one keeps the text
// in an append-only store, draws only the rows in view, and repaints at
// most once a frame however often data arrives.
class QIODevice;
class QPainter;
class QWindow;
class ReceiveSearch;
class X11Presenter;

class ReceiveView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit ReceiveView(QWidget *parent = nullptr);
    ~ReceiveView() override;

    // Text as the CP932 bytes of whole characters, as the channel gives it.
    void appendCp932(QByteArrayView bytes);
    void appendBytes(QByteArrayView bytes);
    void clear();
    // The caret goes to the end: the end comes into view at the next frame.
    void moveCaretToEnd();
    // What a take puts in draws no frame while the take lasts. At its end a
    // frame that is due is drawn at once, not at the next turn of the event
    // loop, and only a later one is timed: a take of a steady trickle starts
    // and stops no timer.
    class Take
    {
    public:
        explicit Take(ReceiveView &view) : m_view(view) { m_view.m_takeOpen = true; }
        ~Take() { m_view.closeTake(); }
        Take(const Take &) = delete;
        Take &operator=(const Take &) = delete;

    private:
        ReceiveView &m_view;
    };

    const ReceiveStore &store() const { return m_store; }
    // Where the box's bytes moved to disk are read back from; null: its spill file.
    void setBlockReader(BlockReader *reader) { m_store.setBlockReader(reader); }
    int visibleRows() const;
    bool hasSelection() const { return m_anchor != m_cursor; }
    QString selectedText() const;
    void selectAll();
    // Copies the selection, unless it is larger than the clipboard should
    // carry: then it only says so (copyTooLarge).
    void copy();
    // The largest selection copied, in positions of the store; tests make it small.
    static void setCopyLimit(qint64 characters);
    // The text as shown, times and offsets included, of whole rows where
    // rows carry them; the box's own text otherwise.
    QString shownText(qint64 from, qint64 to) const;
    // Everything shown, as UTF-8, a batch of rows at a time.
    [[nodiscard]] bool writeShown(QIODevice &out);
    // The selection as shown, the same way.
    [[nodiscard]] bool writeSelected(QIODevice &out);
    // Why the last write failed.
    QString writeError() const { return m_writeError; }

    // Display options, all off but following the end at start.
    void setTimestamps(bool on);
    void setSixteenBytes(bool on);
    void setAutoScroll(bool on);
    // While held, new data never moves the view (the find window is open).
    void holdView(bool held);
    // Added to the context menu after copy and select all.
    void setMenuActions(const QList<QAction *> &actions) { m_menuActions = actions; }
    // Matches of the search are marked; the current one is selected and shown.
    void setSearch(const ReceiveSearch *search);
    void selectMatch(qint64 from, qint64 to);

signals:
    void copyTooLarge();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A frame for new data: only rows that grew or came in are drawn again.
    void scheduleFrame();
    // A frame for anything else: the whole box is drawn again.
    void scheduleWholeFrame();
    // How long the next frame is to wait.
    std::chrono::milliseconds frameWait() const;
    void closeTake();
    void showFrame();
    void updateGrownRows();
    void applyFont();
    void fitColumns();
    qint64 positionAt(QPointF point);
    void syncLayout();
    // Tiles, when given, are copied into the painter's frame in place of glyphs.
    void paintRows(QPainter &painter, const QRect &area, const QPalette &colours, const QColor &background,
                   const GlyphTiles::Frame *tiles) const;
    // The frame (GlyphTiles::frameOf) characters may be copied to from tiles: none under marked matches.
    std::optional<GlyphTiles::Frame> tilesFor(const std::optional<GlyphTiles::Frame> &frame) const;
    void followUnreadable();
    bool backingStoreIsOpaque() const;
    bool drawsOnBackingStore(QPainter &painter) const;
    // Draws the rows within area into m_frame, an opaque image of the box.
    void drawFrame(const QRect &area, const QPalette &colours, const QColor &background);

    // On X11 a frame of new data is shown past Qt (X11Presenter), from
    // m_frame, which then always holds the box; Qt's paints draw into it
    // too and copy from it.
    bool presentsItself();
    // Shows a frame that moves the box by m_shiftRows and draws grown anew; false when it cannot.
    bool presentFrame(const QRect &grown);
    // Moves m_frame's rows by rows; the band that came in, or none when all of it did.
    std::optional<QRect> shiftFrame(int rows);
    void paintPresented(QPainter &painter, const QRect &area, const QPalette &colours, const QColor &background);

    ReceiveStore m_store;
    RowLayout m_layout{m_store};
    RowPainter m_painter;
    QTimer m_frameTimer;
    QImage m_frame;
    std::unique_ptr<X11Presenter> m_presenter;
    bool m_presenterSought = false;
    // m_frame holds the whole box as shown.
    bool m_frameCurrent = false;
    // The window shows frames that Qt's backing store lacks.
    bool m_storeBehind = false;
    // The window whose exposures Qt answers from its backing store.
    QPointer<QWindow> m_exposed;
    QElapsedTimer m_sinceFrame;
    std::chrono::nanoseconds m_paintCost{0};
    // What the last frame showed: rows from the last of these on may have grown since.
    struct Shown
    {
        qint64 rows = 0;
        quint64 generation = 0;
        qint64 unreadable = 0;
        ReceiveStore::Mode mode = ReceiveStore::Mode::Text;
    };
    Shown m_shown;
    bool m_inFrame = false;
    // Rows the frame being shown moves the box by.
    int m_shiftRows = 0;
    bool m_wholeFrame = true;
    bool m_takeOpen = false;
    bool m_frameAsked = false;
    bool m_followEnd = false;
    bool m_autoScroll = true;
    bool m_held = false;
    bool m_stamps = false;
    bool m_sixteen = false;
    const ReceiveSearch *m_search = nullptr;
    QList<QAction *> m_menuActions;
    qint64 m_anchor = 0;
    qint64 m_cursor = 0;
    QString m_writeError;
    // 64 MiB of the box: past that the clipboard's owner holds a copy as
    // large again, and pasting it stalls whatever takes it.
    static inline qint64 s_copyLimit = qint64(64) << 20;
};
