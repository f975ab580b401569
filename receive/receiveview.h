#pragma once

#include "receive/receivestore.h"
#include "receive/rowlayout.h"
#include "receive/rowpainter.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QTimer>

// The receive box: a read-only but selectable view of everything received
// since it was last emptied. A plain text widget lays its whole paragraph
// out again as it grows and falls behind the line; this one keeps the text
// in an append-only store, draws only the rows in view, and repaints at
// most once a frame however often data arrives.
class ReceiveView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit ReceiveView(QWidget *parent = nullptr);

    void appendText(QStringView text);
    void appendBytes(QByteArrayView bytes);
    void clear();
    // The caret goes to the end: the end comes into view at the next frame.
    void moveCaretToEnd();

    const ReceiveStore &store() const { return m_store; }
    int visibleRows() const;
    bool hasSelection() const { return m_anchor != m_cursor; }
    QString selectedText() const;
    void selectAll();
    void copy() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void scheduleFrame();
    void showFrame();
    void applyFont();
    void fitColumns();
    qint64 positionAt(QPointF point);

    ReceiveStore m_store;
    RowLayout m_layout{m_store};
    RowPainter m_painter;
    QTimer m_frameTimer;
    QElapsedTimer m_sinceFrame;
    bool m_followEnd = false;
    qint64 m_anchor = 0;
    qint64 m_cursor = 0;
};
